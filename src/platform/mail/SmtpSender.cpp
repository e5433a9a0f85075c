// Composes one message and hands it to an SMTP server.

#include "platform/mail/MailLibrary.h"
#include "platform/mail/MailTransport.h"
#include "platform/mail/MessageComposer.h"

#include <QMutex>
#include <QSysInfo>
#include <QUrl>
#include <algorithm>
#include <cstring>

namespace qm::mail {

namespace {

constexpr int kSmtpsPort = 465;

struct Upload
{
    const QByteArray* data;
    qsizetype offset = 0;
};

size_t readUpload(char* buffer, size_t size, size_t count, void* userdata)
{
    auto* u = static_cast<Upload*>(userdata);
    const size_t n = std::min(size * count, size_t(u->data->size() - u->offset));
    std::memcpy(buffer, u->data->constData() + u->offset, n);
    u->offset += qsizetype(n);
    return n;
}

struct SlistGuard
{
    curl_slist* list = nullptr;
    ~SlistGuard() { curl_slist_free_all(list); }
};

QByteArray envelopeAddress(const QString& text)
{
    return '<' + addressSpec(text).toUtf8() + '>';
}

QByteArray methodOption(SmtpAuthMethod method)
{
    switch (method) {
    case SmtpAuthMethod::Plain:
        return "AUTH=PLAIN";
    case SmtpAuthMethod::Login:
        return "AUTH=LOGIN";
    case SmtpAuthMethod::CramMd5:
        return "AUTH=CRAM-MD5";
    }
    return {};
}

// What a kept connection was opened with; another server or login never gets it.
QByteArray connectionKey(const SmtpServer& server)
{
    QByteArray key = server.server.host.toUtf8() + '\0' + QByteArray::number(server.server.port) +
                     '\0' + connectionSecurityName(server.security).toUtf8() + '\0' +
                     server.trust.caFile.toUtf8() + '\0' + server.trust.pin.toUtf8();
    if (server.login)
        key += '\0' + server.login->user.toUtf8() + '\0' + server.login->password.toUtf8() + '\0' +
               methodOption(server.login->method);
    if (server.login && server.login->bearer)
        key += '\0' + server.login->bearer->token.toUtf8();
    return key;
}

} // namespace

// The SIZE a server announced in its EHLO reply; 0 when it named none.
qint64 announcedSize(const QStringList& replies)
{
    for (const QString& line : replies) {
        if (line.size() > 9 && line.startsWith(QLatin1String("250")) &&
            line.mid(4, 5).compare(QLatin1String("SIZE "), Qt::CaseInsensitive) == 0) {
            bool ok = false;
            const qint64 n = line.mid(9).trimmed().toLongLong(&ok);
            return ok && n > 0 ? n : 0;
        }
    }
    return 0;
}

bool isTlsFailure(CURLcode rc)
{
    return rc == CURLE_SSL_CONNECT_ERROR || rc == CURLE_USE_SSL_FAILED ||
           CurlSession::isCertificateError(rc);
}

// Replies that refuse the login, not the mail: 530 authentication required, 534 mechanism
// too weak, 535 credentials invalid, 538 encryption required.
bool isLoginRefusal(long code, const QString& reply, const QString& command)
{
    if (code == 530 || code == 534 || code == 535 || code == 538)
        return true;
    if (command == "AUTH")
        return code >= 500;
    return command == "MAIL" && code >= 500 &&
           reply.contains(QLatin1String("auth"), Qt::CaseInsensitive);
}

QString megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / (1024.0 * 1024.0), 'f', 1) + QStringLiteral(" MB");
}

struct SystemMailLibrary::KeptSmtp
{
    QMutex mutex;
    CURL* handle = nullptr;
    QByteArray key;
    int sent = 0;       // mails taken on this connection
    qint64 maxSize = 0; // the server's SIZE, once seen on this connection

    ~KeptSmtp() { drop(); }
    void drop()
    {
        if (handle)
            curl_easy_cleanup(handle); // QUIT, then the connection closes
        handle = nullptr;
        key.clear();
        sent = 0;
        maxSize = 0;
    }
    // A server that queues what comes after some messages on one connection (rather than
    // delivering it) gets a new connection after perConnection mails.
    CURL* handleFor(const QByteArray& k, int perConnection)
    {
        if (handle && (key != k || sent >= std::max(1, perConnection)))
            drop();
        if (!handle) {
            handle = CurlSession::newHandle();
            key = k;
        }
        return handle;
    }
};

SystemMailLibrary::SystemMailLibrary() : m_smtp(std::make_unique<KeptSmtp>()) {}

SystemMailLibrary::~SystemMailLibrary() = default;

SendResult SystemMailLibrary::SendMail(const SmtpServer& server, const OutgoingMail& mail)
{
    bool tokenRefused = false;
    SendResult result = sendOnce(server, mail, &tokenRefused);
    if (!tokenRefused || !server.login->bearer->renew)
        return result;
    SmtpServer renewed = server;
    renewed.login->bearer->token = server.login->bearer->renew();
    if (renewed.login->bearer->token.isEmpty())
        return result;
    return sendOnce(renewed, mail, &tokenRefused);
}

SendResult SystemMailLibrary::sendOnce(const SmtpServer& server, const OutgoingMail& mail,
                                       bool* tokenRefused)
{
    SendResult result;
    const ServerAddress& address = server.server;
    if (!address.isValid()) {
        result.error =
            QStringLiteral("SMTPサーバーの指定が正しくありません: %1").arg(address.display());
        return result;
    }
    if (addressSpec(mail.from).isEmpty()) {
        result.error = QStringLiteral("送信者のアドレスがありません");
        return result;
    }
    if (mail.to.isEmpty() && mail.cc.isEmpty() && mail.bcc.isEmpty()) {
        result.error = QStringLiteral("宛先がありません");
        return result;
    }

    QByteArray message;
    if (!composeMessage(mail, &message, &result.error))
        return result;
    if (server.sizeLimit > 0 && message.size() > server.sizeLimit) {
        result.tooLarge = true;
        result.error = QStringLiteral("メールが大きすぎます (%1、アカウントの上限 %2)")
                           .arg(megabytes(message.size()), megabytes(server.sizeLimit));
        return result;
    }

    QMutexLocker keptLock(&m_smtp->mutex);
    // Declared before the session, so it runs after the session is done with the handle.
    struct DropUnlessClean
    {
        KeptSmtp* kept;
        bool clean = true;
        ~DropUnlessClean()
        {
            if (!clean)
                kept->drop();
        }
    } connection{m_smtp.get()};
    CurlSession session(Protocol::Smtp,
                        m_smtp->handleFor(connectionKey(server), server.messagesPerConnection));
    if (!session.valid()) {
        result.error = QStringLiteral("通信ライブラリを初期化できません");
        return result;
    }
    if (m_smtp->maxSize > 0 && message.size() > m_smtp->maxSize) {
        result.tooLarge = true;
        result.error = QStringLiteral("メールが大きすぎます (%1、サーバーの上限 %2)")
                           .arg(megabytes(message.size()), megabytes(m_smtp->maxSize));
        return result;
    }
    const QByteArray base = session.configure(address, server.security, server.trust, kSmtpsPort);
    CURL* c = session.handle();
    // A connection that sat idle longer may have been closed by the server meanwhile.
    curl_easy_setopt(c, CURLOPT_MAXAGE_CONN, 30L);
    // The URL's path is what libcurl says in EHLO.
    QByteArray helo = QSysInfo::machineHostName().toUtf8();
    if (helo.isEmpty())
        helo = "localhost";
    const QByteArray url = base + '/' + QUrl::toPercentEncoding(QString::fromUtf8(helo));
    curl_easy_setopt(c, CURLOPT_URL, url.constData());

    const QByteArray from = envelopeAddress(mail.from);
    curl_easy_setopt(c, CURLOPT_MAIL_FROM, from.constData());
    SlistGuard rcpt;
    QStringList seen;
    for (const QStringList* list : {&mail.to, &mail.cc, &mail.bcc}) {
        for (const QString& item : *list) {
            const QByteArray a = envelopeAddress(item);
            if (a == "<>" || seen.contains(QString::fromUtf8(a), Qt::CaseInsensitive))
                continue;
            seen << QString::fromUtf8(a);
            rcpt.list = curl_slist_append(rcpt.list, a.constData());
        }
    }
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, rcpt.list);
    // One stale address must not keep the mail from everyone else: the server's refusals
    // are collected per recipient, and only a mail nobody would take fails as a whole.
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT_ALLLOWFAILS, 1L);
    session.trackRecipients();
    QByteArray user;
    QByteArray password;
    QByteArray options;
    QByteArray token;
    const bool bearer = server.login && server.login->bearer;
    if (bearer) {
        user = server.login->user.toUtf8();
        token = server.login->bearer->token.toUtf8();
        curl_easy_setopt(c, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(c, CURLOPT_XOAUTH2_BEARER, token.constData());
        curl_easy_setopt(c, CURLOPT_LOGIN_OPTIONS,
                         server.login->bearer->mechanism == BearerMechanism::XOAuth2
                             ? "AUTH=XOAUTH2"
                             : "AUTH=OAUTHBEARER");
    } else if (server.login) {
        user = server.login->user.toUtf8();
        password = server.login->password.toUtf8();
        options = methodOption(server.login->method);
        curl_easy_setopt(c, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(c, CURLOPT_PASSWORD, password.constData());
        curl_easy_setopt(c, CURLOPT_LOGIN_OPTIONS, options.constData());
    }
    Upload upload{&message};
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c, CURLOPT_READFUNCTION, &readUpload);
    curl_easy_setopt(c, CURLOPT_READDATA, &upload);
    curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, curl_off_t(message.size()));

    const CURLcode rc = session.perform();
    if (const qint64 size = announcedSize(session.replies()))
        m_smtp->maxSize = size;
    result.passwordInClear = server.login && server.security == ConnectionSecurity::Automatic &&
                             !session.tlsSeen() && !session.onLoopback();
    // After a failure the server's state is unknown: the next mail starts a new connection.
    connection.clean = rc == CURLE_OK;
    if (rc == CURLE_OK) {
        ++m_smtp->sent;
        result.refused = session.refusedRecipients();
        return result;
    }
    // A refused token is a sign-in to renew, not the server refusing the mail: no reply
    // code in front, so the mail stays unhandled.
    if (bearer && rc == CURLE_LOGIN_DENIED) {
        *tokenRefused = true;
        result.error = session.errorText(rc, session.lastReply());
        return result;
    }
    // A refusal starts with the server's reply code, so callers can tell "521" apart.
    const long code = session.responseCode();
    if (code >= 400 && code <= 599 && !isTlsFailure(rc)) {
        const QString number = QString::number(code);
        QString reply = session.lastReplyStartingWith(number);
        if (reply.isEmpty())
            reply = number + QLatin1Char(' ') + session.lastReply();
        result.error = reply + QStringLiteral(" (SMTPサーバー %1)").arg(address.display());
        if (rc == CURLE_LOGIN_DENIED || isLoginRefusal(code, reply, session.lastCommand()))
            result.notSent = SendResult::NotSent::Login;
        // 552 is also a full mailbox, refused at RCPT: only the mail's size is asked about.
        result.tooLarge =
            code == 552 && (session.lastCommand() != "RCPT" ||
                            reply.contains(QLatin1String("size"), Qt::CaseInsensitive));
        return result;
    }
    // Only a refusal is the failing step's answer; a good reply before it ("220 TLS go
    // ahead") would point the user the wrong way.
    const QString last = session.lastReply();
    const bool refusal = !isTlsFailure(rc) && (last.startsWith(u'4') || last.startsWith(u'5'));
    result.error = session.errorText(rc, refusal ? last : QString());
    result.refusedCertificate = session.refusedCertificate();
    result.notSent = rc == CURLE_LOGIN_DENIED ? SendResult::NotSent::Login
                     : isTlsFailure(rc)       ? SendResult::NotSent::Tls
                                              : SendResult::NotSent::Connection;
    return result;
}

} // namespace qm::mail
