#pragma once

#include <QString>
#include <QStringList>

// The mail library: POP3 collection, message reading and SMTP sending.
//
// Three calls, each taking texts and answering either a list or a text:
//   RcvMail  -> list of stored message paths, "" for an empty mailbox, or an error text
//   ReadMail -> list of fields ("Date: ", "From: ", "To: ", "cc: ", "Subject: ", "Body: ",
//               then "File: " + path per attachment), or an error text
//   SendMail -> "" when the server accepted the mail, else an error text that starts with
//               the SMTP reply code when the server gave one
//
// Certificates are always verified against the system store; the environment variable
// QM_CA_FILE may name a PEM file trusted besides it (the test servers' own CA).
namespace qm::mail {

struct MailResult
{
    bool isList = false;
    QStringList items; // valid when isList
    QString text;      // valid when !isList: "" = success with nothing to list, else an error

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

// server: host, or host TAB port (POP3: 995 = implicit TLS, else STARTTLS when offered).
// password: "a " + password asks for APOP.
// command: "SAVEALL", or "DELE " + 1-based position in the list the last SAVEALL returned.
// folder: the work folder the messages are stored in; a trailing ">" is allowed and ignored.
MailResult RcvMail(const QString& server, const QString& user, const QString& password,
                   const QString& command, const QString& folder);

// fieldList: "date:from:to:cc:subject:body:". Attachments are stored below attachmentFolder
// under sanitised, never-overwriting names.
MailResult ReadMail(const QString& messageFile, const QString& fieldList,
                    const QString& attachmentFolder);

// server: host, or host TAB port (465 = implicit TLS, else STARTTLS when offered).
// recipients: To addresses separated by TAB; then optionally TAB "cc" TAB list,
//   TAB "bcc" TAB list, TAB ">reply-to: " + address.
// sender: address, or address TAB user ":" password TAB "PLAIN" | "LOGIN" | "CRAM-MD5".
// attachments: full paths separated by TAB, or "".
QString SendMail(const QString& server, const QString& recipients, const QString& sender,
                 const QString& subject, const QString& body, const QString& attachments);

// Time-outs for every connection. Defaults: connect 20 s; a transfer that makes no progress
// for 30 s is aborted, so a dead server never holds the caller for a minute. Tests shorten them.
struct MailTimeouts
{
    int connectSeconds = 20;
    int idleSeconds = 30;
};
void setMailTimeouts(const MailTimeouts& timeouts);
MailTimeouts mailTimeouts();

// The same three calls behind an interface, so the engine can be given another one.
class MailLibrary
{
public:
    virtual ~MailLibrary() = default;
    virtual MailResult RcvMail(const QString& server, const QString& user, const QString& password,
                               const QString& command, const QString& folder) = 0;
    virtual MailResult ReadMail(const QString& messageFile, const QString& fieldList,
                                const QString& attachmentFolder) = 0;
    virtual QString SendMail(const QString& server, const QString& recipients,
                             const QString& sender, const QString& subject, const QString& body,
                             const QString& attachments) = 0;
};

// The library the engine uses when it is given none. Programs that load the mail library
// only when needed define it differently from the one in the library itself.
MailLibrary& systemMailLibrary();

} // namespace qm::mail
