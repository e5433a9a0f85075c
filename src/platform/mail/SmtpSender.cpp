// SendMail: composes one message and hands it to an SMTP server.

#include "platform/mail/MailLibrary.h"
#include "platform/mail/MailTransport.h"
#include "platform/mail/MessageComposer.h"

#include <QSysInfo>
#include <QUrl>
#include <cstring>

namespace qm::mail {

namespace {

constexpr int kSmtpPort = 25;
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

struct SenderLogin
{
    QString address;
    bool authenticate = false;
    QByteArray user;
    QByteArray password;
    QByteArray mechanism;
};

bool parseSender(const QString& sender, SenderLogin* out, QString* error)
{
    const QStringList parts = sender.split(QLatin1Char('\t'));
    out->address = parts.value(0).trimmed();
    if (out->address.isEmpty()) {
        *error = QStringLiteral("送信者のアドレスがありません");
        return false;
    }
    const QString credentials = parts.value(1);
    if (credentials.isEmpty())
        return true;
    // Only the first ":" separates: the password may hold more of them.
    const qsizetype colon = credentials.indexOf(QLatin1Char(':'));
    out->authenticate = true;
    out->user = (colon >= 0 ? credentials.left(colon) : credentials).toUtf8();
    out->password = colon >= 0 ? credentials.mid(colon + 1).toUtf8() : QByteArray();
    const QString mechanism = parts.value(2).trimmed().toUpper();
    if (mechanism.isEmpty())
        return true;
    if (mechanism != QLatin1String("PLAIN") && mechanism != QLatin1String("LOGIN") &&
        mechanism != QLatin1String("CRAM-MD5")) {
        *error = QStringLiteral("SMTP認証方式 %1 には対応していません").arg(parts.value(2));
        return false;
    }
    out->mechanism = mechanism.toLatin1();
    return true;
}

QByteArray envelopeAddress(const QString& text)
{
    return '<' + addressSpec(text).toUtf8() + '>';
}

} // namespace

QString SendMail(const QString& server, const QString& recipients, const QString& sender,
                 const QString& subject, const QString& body, const QString& attachments)
{
    ServerAddress address;
    if (!parseServerAddress(server, kSmtpPort, &address))
        return QStringLiteral("SMTPサーバーの指定が正しくありません: %1").arg(server);
    SenderLogin login;
    QString error;
    if (!parseSender(sender, &login, &error))
        return error;

    OutgoingMail mail;
    mail.from = login.address;
    parseRecipients(recipients, &mail);
    mail.subject = subject;
    mail.body = body;
    for (const QString& path : attachments.split(QLatin1Char('\t'), Qt::SkipEmptyParts)) {
        if (!path.trimmed().isEmpty())
            mail.attachments << path;
    }
    if (mail.to.isEmpty() && mail.cc.isEmpty() && mail.bcc.isEmpty())
        return QStringLiteral("宛先がありません");

    QByteArray message;
    if (!composeMessage(mail, &message, &error))
        return error;

    CurlSession session(Protocol::Smtp);
    if (!session.valid())
        return QStringLiteral("通信ライブラリを初期化できません");
    const QByteArray base = session.configure(address, address.port == kSmtpsPort);
    CURL* c = session.handle();
    // The URL's path is what libcurl says in EHLO.
    QByteArray helo = QSysInfo::machineHostName().toUtf8();
    if (helo.isEmpty())
        helo = "localhost";
    const QByteArray url = base + '/' + QUrl::toPercentEncoding(QString::fromUtf8(helo));
    curl_easy_setopt(c, CURLOPT_URL, url.constData());

    const QByteArray from = envelopeAddress(login.address);
    curl_easy_setopt(c, CURLOPT_MAIL_FROM, from.constData());
    SlistGuard rcpt;
    QStringList seen;
    for (const QStringList* list : {&mail.to, &mail.cc, &mail.bcc}) {
        for (const QString& item : *list) {
            const QByteArray a = envelopeAddress(item);
            if (seen.contains(QString::fromUtf8(a), Qt::CaseInsensitive))
                continue;
            seen << QString::fromUtf8(a);
            rcpt.list = curl_slist_append(rcpt.list, a.constData());
        }
    }
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, rcpt.list);
    if (login.authenticate) {
        curl_easy_setopt(c, CURLOPT_USERNAME, login.user.constData());
        curl_easy_setopt(c, CURLOPT_PASSWORD, login.password.constData());
        const QByteArray options = "AUTH=" + login.mechanism;
        if (!login.mechanism.isEmpty())
            curl_easy_setopt(c, CURLOPT_LOGIN_OPTIONS, options.constData());
    }
    Upload upload{&message};
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c, CURLOPT_READFUNCTION, &readUpload);
    curl_easy_setopt(c, CURLOPT_READDATA, &upload);
    curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, curl_off_t(message.size()));

    const CURLcode rc = session.perform();
    if (rc == CURLE_OK)
        return QString();
    // A refusal starts with the server's reply code, so callers can tell "521" apart.
    const long code = session.responseCode();
    if (code >= 400 && code <= 599) {
        const QString number = QString::number(code);
        QString reply = session.lastReplyStartingWith(number);
        if (reply.isEmpty())
            reply = number + QLatin1Char(' ') + session.lastReply();
        return reply + QStringLiteral(" (SMTPサーバー %1)").arg(address.display());
    }
    return session.errorText(rc, session.lastReply());
}

} // namespace qm::mail
