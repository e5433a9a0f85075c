#pragma once

#include <QString>
#include <QStringList>

namespace qm {

// The contents of Data/FaxPath.txt: which fax backend queues the jobs.
// One setting per line in the settings-line style, key then value:
//   "backend","spool"            spool (default) or hylafax
//   "spool","C:/..."             spool folder; default <Data>/FaxSpool
//   "host","127.0.0.1:4559"      HylaFAX server (host or host:port)
//   "sendfax","/usr/bin/sendfax" HylaFAX submit client
//   "faxstat","/usr/bin/faxstat" HylaFAX status client
//   "user","faxuser"             HylaFAX user name (FAXUSER) when not empty
//   "resolution","fine"          fine (204x196) or normal (204x98)
//   "timeout","60"               seconds one submit may take
// Which numbers may be dialled (prefixes separated by spaces, compared with the number as
// dialled, separators removed; a refusing prefix wins over an allowing one):
//   "allow",""                   every job; empty allows every number
//   "deny",""                    every job
//   "mailfax-allow","0 +81"      numbers a mail chose (mail-to-fax, stored attachments)
//   "mailfax-deny","00 010 ..."  numbers a mail chose
//   "mailfax-per-day","20"       jobs a mail may ask for per sender per day; 0: none
// Unknown keys and lines are ignored with a warning; a missing file gives the defaults.
struct FaxConfig
{
    enum class Backend { Spool, Hylafax };

    Backend backend = Backend::Spool;
    QString spoolDir;
    QString host = QStringLiteral("localhost");
    QString sendfaxPath = QStringLiteral("/usr/bin/sendfax");
    QString faxstatPath = QStringLiteral("/usr/bin/faxstat");
    QString faxUser;
    bool fineResolution = true;
    int timeoutSeconds = 60;

    QStringList allowPrefixes;
    QStringList denyPrefixes;
    // A mail's sender chooses these numbers, so only domestic numbers that cost a normal call.
    QStringList mailAllowPrefixes{QStringLiteral("0"), QStringLiteral("+81")};
    QStringList mailDenyPrefixes{
        QStringLiteral("00"),     QStringLiteral("010"),    QStringLiteral("0570"),
        QStringLiteral("0990"),   QStringLiteral("0180"),   QStringLiteral("+810"),
        QStringLiteral("+81570"), QStringLiteral("+81990"), QStringLiteral("+81180")};
    int mailJobsPerSenderPerDay = 20;
};

// Who chose the number of a fax job.
enum class FaxNumberSource {
    Account, // the account's own numbers, and those its remote-settings address sets
    Mail     // a mail's sender: mail-to-fax and stored-attachment requests
};

// Why the dial string (digits and a leading "+") may not be dialled, naming the rule, or ""
// when it may.
QString diallingRuleAgainst(const FaxConfig& config, const QString& dialString,
                            FaxNumberSource source);

// Parses the lines of the file (quotes already part of the lines; they are removed here).
FaxConfig parseFaxConfig(const QStringList& lines, const QString& dataDir,
                         QStringList* warnings = nullptr);

// Reads <dataDir>/FaxPath.txt through the data layer's codec. A missing file gives the defaults.
FaxConfig loadFaxConfig(const QString& dataDir, QStringList* warnings = nullptr);

// What can be told about the configured backend from this machine alone, without creating
// folders or asking a fax server: the programs it needs are installed and the spool folder
// (or the nearest folder above it, when it does not exist yet) is writable. Both programs use
// it; the service then also checks what needs the network or a write.
bool faxBackendInstalled(const FaxConfig& config, QString* why = nullptr);

// The file text for a configuration, in the same format (used to write a template).
QStringList faxConfigLines(const FaxConfig& config);

} // namespace qm
