#pragma once

// libcurl plumbing shared by the POP3 and SMTP sides: one configured handle per
// session, the server's replies kept for error texts, and error texts a user can act on.

#include "data/MailSecurity.h"
#include "platform/mail/ServerAddress.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <curl/curl.h>
#include <optional>

struct x509_store_ctx_st;

namespace qm::mail {

struct RefusedCertificate;

enum class Protocol { Pop3, Smtp };

class CurlSession
{
public:
    explicit CurlSession(Protocol protocol);
    // A session on a handle its owner keeps between sessions, so that a connection it left
    // open can serve this one: its options start afresh and it is not cleaned up here.
    CurlSession(Protocol protocol, CURL* kept);
    ~CurlSession();
    // A handle for a caller to keep (libcurl set up first); nullptr when there is none.
    static CURL* newHandle();
    CurlSession(const CurlSession&) = delete;
    CurlSession& operator=(const CurlSession&) = delete;

    CURL* handle() const { return m_curl; }
    bool valid() const { return m_curl != nullptr; }

    // Sets up TLS as security asks (tlsPort: the port where automatic and required mean
    // TLS from the first byte), certificate checks against trust, time-outs and the reply
    // capture. Returns the URL prefix ("pop3s://host:port").
    QByteArray configure(const ServerAddress& server, ConnectionSecurity security,
                         const ServerTrust& trust, int tlsPort);

    // Runs one transfer; remembers the result for errorText().
    CURLcode perform();

    // The server's reply lines seen so far (most recent last, bounded).
    const QStringList& replies() const { return m_replies; }
    QString greeting() const { return m_greeting; }
    QString lastReply() const { return m_replies.isEmpty() ? QString() : m_replies.last(); }
    // Last reply that starts with the given prefix ("-ERR"), or "".
    QString lastReplyStartingWith(const QString& prefix) const;
    long responseCode() const;

    // Japanese error text: the server, what went wrong, what to do about it, the step that
    // failed and what the server said (an answer of the failing step only), and libcurl's
    // own text last, for whoever looks deeper.
    QString errorText(CURLcode code, const QString& serverAnswer = QString()) const;
    // The protocol command last sent (its verb only, never its arguments), or "".
    QString lastCommand() const { return m_lastCommand; }

    void clearReplies() { m_replies.clear(); }

    // Whether any TLS data went over the connection so far.
    bool tlsSeen() const { return m_tlsSeen; }
    // Whether the connected address is a loopback one.
    bool onLoopback() const;
    // The server certificate seen in the last handshake and why it was refused ("" when not).
    const QString& certificateFingerprint() const { return m_fingerprint; }
    const QString& certificateSubject() const { return m_subject; }
    const QString& certificateRefusal() const { return m_refusal; }
    // The certificate of the last handshake when it was not trusted.
    std::optional<RefusedCertificate> refusedCertificate() const;
    // Whether the last failure was a certificate that was not trusted.
    static bool isCertificateError(CURLcode code);

    // Remember the server's refusal of each RCPT (SMTP), for refusedRecipients().
    void trackRecipients() { m_trackRecipients = true; }
    // "address: reply" for every recipient the server refused.
    const QStringList& refusedRecipients() const { return m_refused; }

private:
    static int debugCallback(CURL*, curl_infotype type, char* data, size_t size, void* self);
    static CURLcode sslContextCallback(CURL*, void* sslContext, void* self);
    static int verifyCallback(::x509_store_ctx_st* store, void* self);

    Protocol m_protocol;
    CURL* m_curl = nullptr;
    bool m_owned = true;
    ServerAddress m_server;
    char m_errorBuffer[CURL_ERROR_SIZE] = {};
    QStringList m_replies;
    QString m_greeting;
    QByteArray m_pending;
    QByteArray m_caFile;
    bool m_trackRecipients = false;
    QString m_rcptAddress; // the RCPT whose reply is awaited
    QString m_lastCommand;
    bool m_implicitTls = false;
    QStringList m_refused;
    bool m_tlsSeen = false;
    CURLcode m_lastCode = CURLE_OK;
    QString m_pin;
    QString m_fingerprint;
    QString m_subject;
    QString m_refusal;
};

// Writes transferred data to a stdio FILE.
size_t writeToFile(char* data, size_t size, size_t count, void* file);
// Appends transferred data to a QByteArray.
size_t writeToBuffer(char* data, size_t size, size_t count, void* buffer);

} // namespace qm::mail
