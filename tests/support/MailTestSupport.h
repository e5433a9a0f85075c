#pragma once

// Helpers for tests that talk to the mail test servers started by tests/servers/run.sh
// (tests/servers/start-mail.sh). Everything here works on the real servers' files:
// mail is delivered by writing into a user's Maildir, and mail that was sent is read
// from the SMTP server's spool folder.
//
// Users: u01..u99 with passwords p01..p99 (userName(n) / userPassword(n)), plus "bench"
// ("benchpw"); the SMTP server also knows "colon" ("pa:ss:word"). To keep suites apart:
//   u01..u79  engine and other tests (u61, u62 the sign-in tests), u80..u99  mail library
//   tests, bench  benchmarks.
// The SMTP server accepts mail with or without AUTH (the users above, PLAIN/LOGIN/CRAM-MD5)
// and refuses every sender of QM_SMTP_REFUSED_DOMAIN with 521 and every recipient of
// QM_SMTP_UNKNOWN_DOMAIN with 550. Filter received mail by a
// recipient address unique to your test.
//
// The library under test trusts the servers' certificate through QM_CA_FILE, which
// run.sh exports.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

namespace qm::test {

struct MailServers
{
    QString pop3Host;       // 127.0.0.1
    int pop3Port = 0;       // plain POP3 with STLS, APOP allowed
    int pop3sPort = 0;      // POP3 over implicit TLS
    int pop3NoApopPort = 0; // plain POP3 without APOP and without TLS, same mailboxes
    QString smtpHost;       // 127.0.0.1
    int smtpPort = 0;       // SMTP with STARTTLS offered, AUTH optional
    int smtpsPort = 0;      // SMTP over implicit TLS
    QString stdPortsHost;   // "" unless root: 995 (POP3S) and 465 (SMTPS) on this address
    QString maildirRoot;    // <root>/<user>/Maildir
    QString smtpSpool;      // one folder per accepted mail
    QString refusedDomain;  // senders @ this domain get 521
    QString unknownDomain;  // recipients @ this domain get 550
    QString caFile;         // CA that signed the servers' certificate
    QString otherCaFile;    // an unrelated CA (for certificate failures)

    // "" when every variable is there, else which ones are missing.
    QString missing;
    bool available() const { return missing.isEmpty(); }

    // Server arguments as the mail library takes them: host TAB port.
    QString pop3Server() const;
    QString pop3sServer() const;
    QString pop3NoApopServer() const;
    QString smtpServer() const;
    QString smtpsServer() const;
};

// Reads the QM_* variables each time (cheap).
MailServers mailServers();

// In a TEST body: fails when the servers are missing under CI (CI=true), skips otherwise.
#define QM_REQUIRE_MAIL_SERVERS(servers)                                                           \
    const ::qm::test::MailServers servers = ::qm::test::mailServers();                             \
    if (!servers.available()) {                                                                    \
        if (::qm::test::runningInCi())                                                             \
            FAIL() << "mail test servers missing: " << servers.missing.toStdString();              \
        GTEST_SKIP() << "mail test servers not running (run through tests/servers/run.sh): "       \
                     << servers.missing.toStdString();                                             \
    }

bool runningInCi();

QString userName(int n);     // "u07"
QString userPassword(int n); // "p07"
QString maildirOf(const QString& user);

// Puts a raw message into user's Maildir (tmp/, then renamed into new/), with the owner
// Dovecot needs. Returns the file name in new/, or "" and sets *error.
QString deliverRaw(const QString& user, const QByteArray& raw, QString* error = nullptr);

// Removes every message of the mailbox (new/ and cur/).
void emptyMailbox(const QString& user);

// Empties the mailbox, then fills it with `messages` Japanese order mails of about 4 KB each,
// as a busy office mailbox holds (the benchmarks' standard load). false and *error on failure.
bool fillOfficeMailbox(const QString& user, int messages, QString* error = nullptr);
int mailboxCount(const QString& user);

// A Japanese mail composed independently of the library under test.
struct ComposedAttachment
{
    QString fileName;
    QByteArray data;
    QString contentType = QStringLiteral("application/octet-stream");
};
struct ComposedMail
{
    QString from;
    QStringList to;
    QStringList cc;
    QString subject;
    QString body;                                    // "\n" line ends; sent as CR LF
    QString charset = QStringLiteral("iso-2022-jp"); // also "utf-8", "shift_jis", "euc-jp"
    QString date = QStringLiteral("Mon, 07 Dec 2026 10:00:00 +0900");
    QList<ComposedAttachment> attachments;
};
QByteArray composeMail(const ComposedMail& mail);

// One mail the SMTP server accepted.
struct ReceivedMail
{
    QString folder;
    QString mailFrom;
    QStringList rcptTos;
    QString authUser; // "" without AUTH
    QByteArray raw;
};
// Every accepted mail, oldest first; only those whose envelope has `recipient` when given.
QList<ReceivedMail> receivedMails(const QString& recipient = QString());
// Deletes the accepted mails (only those for `recipient` when given).
void clearReceivedMails(const QString& recipient = QString());

// A received mail decoded by GMime, for checking what was sent.
struct ParsedAttachment
{
    QString fileName;
    QString contentType;
    QByteArray data;
};
struct ParsedMail
{
    bool ok = false;
    QString from, to, cc, replyTo, subject, date, messageId;
    QByteArray rawSubject; // the header as sent, before decoding
    QString bodyCharset;   // charset of the text part
    QString body;          // decoded text part
    QList<ParsedAttachment> attachments;
};
ParsedMail parseMail(const QByteArray& raw);

} // namespace qm::test
