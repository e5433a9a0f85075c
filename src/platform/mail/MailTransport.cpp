#include "platform/mail/MailTransport.h"

#include "platform/mail/MailLibrary.h"

#include <cstdio>
#include <cstring>
#include <mutex>

namespace qm::mail {

namespace {

constexpr int kMaxReplies = 50;

void globalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

QString protocolName(Protocol p)
{
    return p == Protocol::Pop3 ? QStringLiteral("POP3") : QStringLiteral("SMTP");
}

} // namespace

CurlSession::CurlSession(Protocol protocol) : m_protocol(protocol)
{
    globalInit();
    m_curl = curl_easy_init();
}

CURL* CurlSession::newHandle()
{
    globalInit();
    return curl_easy_init();
}

CurlSession::CurlSession(Protocol protocol, CURL* kept)
    : m_protocol(protocol), m_curl(kept), m_owned(false)
{
    if (m_curl)
        curl_easy_reset(m_curl); // options only: open connections stay for reuse
}

CurlSession::~CurlSession()
{
    if (m_curl && m_owned)
        curl_easy_cleanup(m_curl); // sends QUIT, which is what commits POP3 deletions
}

QByteArray CurlSession::configure(const ServerAddress& server, bool implicitTls)
{
    m_server = server;
    const MailTimeouts t = mailTimeouts();
    CURL* c = m_curl;
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, m_errorBuffer);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, long(t.connectSeconds));
    curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(t.idleSeconds));
    // A transfer that moves nothing for idleSeconds is dead; a slow but moving one is not.
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, long(t.idleSeconds));
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(c, CURLOPT_USE_SSL, implicitTls ? long(CURLUSESSL_ALL) : long(CURLUSESSL_TRY));
    m_caFile = qgetenv("QM_CA_FILE");
    if (!m_caFile.isEmpty())
        curl_easy_setopt(c, CURLOPT_CAINFO, m_caFile.constData());
    curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, &CurlSession::debugCallback);
    curl_easy_setopt(c, CURLOPT_DEBUGDATA, this);
    curl_easy_setopt(c, CURLOPT_VERBOSE, 1L);

    QByteArray scheme = m_protocol == Protocol::Pop3 ? "pop3" : "smtp";
    if (implicitTls)
        scheme += 's';
    QByteArray host = server.host.toUtf8();
    if (host.contains(':') && !host.startsWith('['))
        host = '[' + host + ']';
    return scheme + "://" + host + ':' + QByteArray::number(server.port);
}

CURLcode CurlSession::perform()
{
    m_errorBuffer[0] = '\0';
    return curl_easy_perform(m_curl);
}

int CurlSession::debugCallback(CURL*, curl_infotype type, char* data, size_t size, void* selfPtr)
{
    auto* self = static_cast<CurlSession*>(selfPtr);
    // Only RCPT lines are looked at of what we send: the rest may carry credentials.
    if (type == CURLINFO_HEADER_OUT && self->m_trackRecipients) {
        const QByteArray line = QByteArray(data, qsizetype(size)).trimmed();
        if (line.startsWith("RCPT TO:")) {
            QByteArray address = line.mid(8).trimmed();
            if (address.startsWith('<') && address.endsWith('>'))
                address = address.mid(1, address.size() - 2);
            self->m_rcptAddress = QString::fromUtf8(address);
        }
        return 0;
    }
    if (type != CURLINFO_HEADER_IN)
        return 0;
    self->m_pending.append(data, qsizetype(size));
    qsizetype nl;
    while ((nl = self->m_pending.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(self->m_pending.left(nl)).trimmed();
        self->m_pending.remove(0, nl + 1);
        if (line.isEmpty())
            continue;
        if (self->m_greeting.isEmpty())
            self->m_greeting = line;
        self->m_replies.append(line);
        if (self->m_replies.size() > kMaxReplies)
            self->m_replies.removeFirst();
        const bool lastLineOfReply = line.size() < 4 || line.at(3) != u'-';
        if (!self->m_rcptAddress.isEmpty() && lastLineOfReply) {
            if (line.startsWith(u'4') || line.startsWith(u'5'))
                self->m_refused << self->m_rcptAddress + QStringLiteral(": ") + line;
            self->m_rcptAddress.clear();
        }
    }
    return 0;
}

QString CurlSession::lastReplyStartingWith(const QString& prefix) const
{
    for (auto it = m_replies.crbegin(); it != m_replies.crend(); ++it) {
        if (it->startsWith(prefix))
            return *it;
    }
    return {};
}

long CurlSession::responseCode() const
{
    long code = 0;
    curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &code);
    return code;
}

QString CurlSession::errorText(CURLcode code, const QString& serverAnswer) const
{
    const QString who =
        QStringLiteral("%1サーバー %2").arg(protocolName(m_protocol), m_server.display());
    QString what;
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        what = QStringLiteral("が見つかりません");
        break;
    case CURLE_COULDNT_CONNECT:
        what = QStringLiteral("に接続できません");
        break;
    case CURLE_OPERATION_TIMEDOUT:
        what = QStringLiteral("が応答しません (時間切れ)");
        break;
    case CURLE_LOGIN_DENIED:
        what = QStringLiteral("にログインできません");
        break;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
        what = QStringLiteral("の証明書を確認できません");
        break;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_USE_SSL_FAILED:
        what = QStringLiteral("との暗号化通信を開始できません");
        break;
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_WEIRD_SERVER_REPLY:
        what = QStringLiteral("との通信が途中で切れました");
        break;
    case CURLE_WRITE_ERROR:
        what = QStringLiteral("から受け取ったメールを保存できません");
        break;
    default:
        what = QStringLiteral("との通信でエラーが起きました");
        break;
    }
    QString detail = QString::fromUtf8(m_errorBuffer).trimmed();
    if (detail.isEmpty())
        detail = QString::fromUtf8(curl_easy_strerror(code));
    QString text = who + what + QStringLiteral(" (") + detail + QLatin1Char(')');
    if (!serverAnswer.isEmpty())
        text += QStringLiteral(" サーバーの応答: ") + serverAnswer;
    return text;
}

size_t writeToFile(char* data, size_t size, size_t count, void* file)
{
    return std::fwrite(data, size, count, static_cast<std::FILE*>(file)) * size;
}

size_t writeToBuffer(char* data, size_t size, size_t count, void* buffer)
{
    static_cast<QByteArray*>(buffer)->append(data, qsizetype(size * count));
    return size * count;
}

} // namespace qm::mail
