#include "platform/mail/MailTransport.h"

#include "platform/mail/MailLibrary.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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

// The adopted connection, and the socket handed to libcurl from it until libcurl has
// asked whether it still needs connecting.
int g_adopted = -1;
curl_socket_t g_handedOver = CURL_SOCKET_BAD;

bool samePeer(int fd, const sockaddr* address, socklen_t length)
{
    sockaddr_storage peer{};
    socklen_t peerLength = sizeof peer;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0 ||
        peer.ss_family != address->sa_family)
        return false;
    if (address->sa_family == AF_INET && length >= socklen_t(sizeof(sockaddr_in))) {
        const auto* a = reinterpret_cast<const sockaddr_in*>(&peer);
        const auto* b = reinterpret_cast<const sockaddr_in*>(address);
        return a->sin_port == b->sin_port && a->sin_addr.s_addr == b->sin_addr.s_addr;
    }
    if (address->sa_family == AF_INET6 && length >= socklen_t(sizeof(sockaddr_in6))) {
        const auto* a = reinterpret_cast<const sockaddr_in6*>(&peer);
        const auto* b = reinterpret_cast<const sockaddr_in6*>(address);
        return a->sin6_port == b->sin6_port &&
               std::memcmp(&a->sin6_addr, &b->sin6_addr, sizeof a->sin6_addr) == 0;
    }
    return false;
}

curl_socket_t openSocket(void*, curlsocktype purpose, curl_sockaddr* address)
{
    if (purpose == CURLSOCKTYPE_IPCXN && g_adopted >= 0 &&
        samePeer(g_adopted, &address->addr, address->addrlen)) {
        g_handedOver = g_adopted;
        g_adopted = -1;
        return g_handedOver;
    }
    return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

int socketOptions(void*, curl_socket_t socket, curlsocktype)
{
    if (socket == CURL_SOCKET_BAD || socket != g_handedOver)
        return CURL_SOCKOPT_OK;
    g_handedOver = CURL_SOCKET_BAD;
    return CURL_SOCKOPT_ALREADY_CONNECTED;
}

} // namespace

void adoptConnection(int socket)
{
    dropAdoptedConnection();
    g_adopted = socket;
}

void dropAdoptedConnection()
{
    if (g_adopted >= 0)
        ::close(g_adopted);
    g_adopted = -1;
}

CurlSession::CurlSession(Protocol protocol) : m_protocol(protocol)
{
    globalInit();
    m_curl = curl_easy_init();
}

CurlSession::~CurlSession()
{
    if (m_curl)
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
    if (g_adopted >= 0) {
        curl_easy_setopt(c, CURLOPT_OPENSOCKETFUNCTION, &openSocket);
        curl_easy_setopt(c, CURLOPT_SOCKOPTFUNCTION, &socketOptions);
    }

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
    if (type != CURLINFO_HEADER_IN)
        return 0;
    auto* self = static_cast<CurlSession*>(selfPtr);
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
