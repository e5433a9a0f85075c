#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace qm {

// The contents of Data/FaxPath.txt: which fax backend queues the jobs.
// One setting per line in the settings-line style, key then value:
//   "backend","spool"            spool (default), hylafax or mail (an Internet fax gateway)
//   "spool","C:/..."             spool folder; default <Data>/FaxSpool
//   "host","127.0.0.1:4559"      HylaFAX server (host or host:port)
//   "sendfax","/usr/bin/sendfax" HylaFAX submit client
//   "faxstat","/usr/bin/faxstat" HylaFAX status client
//   "user","faxuser"             HylaFAX user name (FAXUSER) when not empty
//   "resolution","fine"          fine (204x196) or normal (204x98)
//   "timeout","60"               seconds one submit may take
//   "dials",""                   dials a job may take (sendfax -T); empty: HylaFAX's default
//   "killtime",""                minutes a job may wait (sendfax -k); empty: HylaFAX's 3 hours
// What is said when a job ends (its outcome is always a log line):
//   "reply-requests","1"         answer the sender of a mail-to-fax or stored-attachment request
//   "reply-account","0"          answer the account's remote-settings address for its own faxes
// The mail backend: the pages as one PDF in a mail to an address made from the number.
//   "mail-to","{number}@fax-gateway.example"   address; {number} is the number as dialled
//   "mail-smtp",""               SMTP server (host or host:port); empty: the account's own
//   "mail-from",""               sender of the mails; empty: the account's own address
//   "mail-notice-from",""        who may send delivery notices (addresses or @domain, spaces
//                                between); empty: the gateway's domain from mail-to
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
    enum class Backend { Spool, Hylafax, Mail };

    Backend backend = Backend::Spool;
    QString spoolDir;
    QString host = QStringLiteral("localhost");
    QString sendfaxPath = QStringLiteral("/usr/bin/sendfax");
    QString faxstatPath = QStringLiteral("/usr/bin/faxstat");
    QString faxUser;
    bool fineResolution = true;
    int timeoutSeconds = 60;
    int dials = 0;       // 0: the server's default
    int killMinutes = 0; // 0: the server's default (for the mail backend: 180 minutes)

    bool replyToRequests = true;
    bool replyToAccount = false;

    QString mailAddressTemplate;
    QString mailSmtp;
    QString mailFrom;
    QStringList mailNoticeFrom;

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

// The backend's name in the record of queued jobs and the log: "spool", "hylafax", "mail".
QString faxBackendName(FaxConfig::Backend backend);
std::optional<FaxConfig::Backend> faxBackendNamed(const QString& name);

// The gateway address for a dial string, "" when the template has no "@" or the number
// cannot stand in an address.
QString mailFaxAddress(const FaxConfig& config, const QString& dialString);
// Who may send the gateway's notices: mail-notice-from, or "@" + the template's domain.
QStringList mailFaxNoticeSenders(const FaxConfig& config);

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
