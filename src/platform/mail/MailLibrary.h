#pragma once

#include "data/MailSecurity.h"
#include "platform/mail/ServerAddress.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

// The mail library: POP3 collection and deletion, message reading and SMTP sending.
//
// Everything is passed as typed values; nothing a mail said is ever parsed back out of a
// joined text, so a header cannot smuggle a separator into a recipient list or a login.
//
// Certificates are verified against the account's own trusted certificate when it names one,
// else the system store and the PEM file the environment variable QM_CA_FILE may name (the
// test servers' own CA); a pinned fingerprint trusts that one certificate whatever its name.
namespace qm::mail {

// One mailbox of an address header: the bare address as the raw header writes it, and the
// display name decoded for display. Who sent a mail is decided on the address alone: a
// name, however it is encoded, can say anything.
struct MailAddress
{
    QString address; // local@domain; "" when the header holds no mailbox
    QString name;    // decoded, on one line; "" when there is none

    // "name <address>", or whichever of the two there is.
    QString display() const;
    // The mailbox as a header can take it back: the name quoted, so that nothing in it
    // can be read as an address again.
    QString headerText() const;
    // Whether this is the given bare address: the whole address, without regard to case in
    // the local part or the domain.
    bool is(const QString& other) const;
};

// The first mailbox of an address header's raw, undecoded value (From, Reply-To), parsed
// by the MIME library's address parser; a group yields its first member.
MailAddress parseMailbox(const QByteArray& rawValue);

// A server certificate that was not trusted, for the user to decide whether to trust it.
struct RefusedCertificate
{
    QString fingerprint; // SHA-256 "AB:CD:..."
    QString subject;
};

struct MailResult
{
    bool isList = false;
    QStringList items; // valid when isList
    QString text;      // valid when !isList: "" = success with nothing to list, else an error
    // A password went to a server off the loopback without encryption (automatic mode).
    bool passwordInClear = false;
    std::optional<RefusedCertificate> refusedCertificate;

    static MailResult list(QStringList items)
    {
        MailResult r;
        r.isList = true;
        r.items = std::move(items);
        return r;
    }
    static MailResult message(QString text)
    {
        MailResult r;
        r.text = std::move(text);
        return r;
    }
    bool isError() const { return !isList && !text.isEmpty(); }
};

// An attachment of a received message, saved below the attachment folder.
struct ReceivedAttachment
{
    QString path;
    QString name; // the file's name as saved: sanitised, and made unique in its folder
};

// A stored message as read. Header texts are decoded and on one line; "" where the message
// has no such header.
struct ReceivedMessage
{
    QString date;       // the Date header as written
    QDateTime sent;     // the Date header as a time; invalid when it does not read as one
    MailAddress sender; // from the raw From header: every decision about the sender uses this
    QString fromText;   // the From header decoded: what is shown, and the From condition
    QString toText;
    QString ccText;
    QString subject; // white space at its end kept: "転送開始 " is not the command word
    QString body;    // CR LF line ends
    QList<ReceivedAttachment> attachments; // in the order of the message's parts

    QStringList attachmentPaths() const;
};

// Either the message or why it could not be read.
struct ReadResult
{
    QString error; // "" when the message was read
    ReceivedMessage message;

    bool ok() const { return error.isEmpty(); }
};

// The account's servers and logins are the data layer's; the library's own names for them.
using qm::BearerLogin;
using qm::BearerMechanism;
using qm::PopAccount;
using qm::SmtpAuthMethod;
using qm::SmtpLogin;
using qm::SmtpServer;

// One mail to send. Addresses may carry display names ("Name <a@b.jp>"); the envelope
// uses the bare address.
struct OutgoingMail
{
    QString from;
    QStringList to;  // header and envelope
    QStringList cc;  // header and envelope
    QStringList bcc; // envelope only
    QString replyTo; // "" for none
    QString subject;
    QString body;            // CR LF line ends
    QStringList attachments; // full paths
};

struct SendResult
{
    // "" when the server took the mail for at least one recipient; else why not, starting
    // with the server's three-digit reply code when the server gave one.
    QString error;
    // Recipients the server refused while it took the mail for others: one text each,
    // the address, then the server's reply.
    QStringList refused;
    // Why the mail was never judged, when it was not: the connection or its TLS failed, or
    // the login (or the server refused the sender for want of one). No verdict on the mail.
    enum class NotSent { No, Connection, Tls, Login };
    NotSent notSent = NotSent::No;
    // The mail is bigger than the account's bound or the server's SIZE, or the server
    // refused it for its size (552).
    bool tooLarge = false;
    bool passwordInClear = false; // as MailResult's
    std::optional<RefusedCertificate> refusedCertificate;

    bool accepted() const { return error.isEmpty(); }
};

// The bare address (local@domain) of "Name <local@domain>", "local@domain (comment)" or
// "local@domain"; the text itself when it holds no address.
QString addressSpec(const QString& text);

// Whether an address can stand in an SMTP envelope as it is: ASCII, one "@" between a
// local part and a domain, nothing that would need quoting.
bool isPlainAddress(const QString& address);

// Time-outs for every connection. Defaults: connect 20 s; a transfer that makes no progress
// for 30 s is aborted, so a dead server never holds the caller for a minute. Tests shorten them.
struct MailTimeouts
{
    int connectSeconds = 20;
    int idleSeconds = 30;
};
void setMailTimeouts(const MailTimeouts& timeouts);
MailTimeouts mailTimeouts();

// The engine reaches the mail library through this interface; tests may hand it another.
class MailLibrary
{
public:
    virtual ~MailLibrary() = default;

    // Stores every message of the mailbox in folder, one file each, named from its UIDL so
    // that a message that stays on the server keeps its file. Answers the files' paths in
    // server order, "" for an empty mailbox, or an error text.
    virtual MailResult RcvMail(const PopAccount& account, const QString& folder) = 0;

    // Deletes the message that the last RcvMail stored as messageFile, found on the server
    // by its UIDL wherever it stands now. "" when it was deleted, else why not.
    virtual QString DeleteMail(const PopAccount& account, const QString& messageFile) = 0;

    // Reads a stored message, saving its attachments below attachmentFolder (under
    // sanitised, never-overwriting names). Only a file that cannot be opened, or an
    // attachment that cannot be saved, is an error: whatever else it holds is a message.
    virtual ReadResult ReadMail(const QString& messageFile, const QString& attachmentFolder) = 0;

    virtual SendResult SendMail(const SmtpServer& server, const OutgoingMail& mail) = 0;
};

// The library itself: libcurl for the transport, GMime for the messages.
//
// Sends that follow each other to the same SMTP server with the same login share one
// connection (a new TLS handshake and login per mail would cost more than the mail); it is
// given up after any failed send, and not reused after 30 s idle.
class SystemMailLibrary final : public MailLibrary
{
public:
    SystemMailLibrary();
    ~SystemMailLibrary() override;
    SystemMailLibrary(const SystemMailLibrary&) = delete;
    SystemMailLibrary& operator=(const SystemMailLibrary&) = delete;

    MailResult RcvMail(const PopAccount& account, const QString& folder) override;
    QString DeleteMail(const PopAccount& account, const QString& messageFile) override;
    ReadResult ReadMail(const QString& messageFile, const QString& attachmentFolder) override;
    SendResult SendMail(const SmtpServer& server, const OutgoingMail& mail) override;

private:
    SendResult sendOnce(const SmtpServer& server, const OutgoingMail& mail, bool* tokenRefused);
    struct KeptSmtp;
    std::unique_ptr<KeptSmtp> m_smtp;
};

} // namespace qm::mail
