#include "platform/mail/MailTransport.h"

#include "platform/mail/MailLibrary.h"

#include <QFile>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

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

// The verbs a failing step is named by. Anything else sent (an AUTH continuation, say)
// may be a credential and is not kept.
const QStringList& knownVerbs()
{
    static const QStringList verbs = {
        QStringLiteral("EHLO"), QStringLiteral("HELO"), QStringLiteral("STARTTLS"),
        QStringLiteral("AUTH"), QStringLiteral("MAIL"), QStringLiteral("RCPT"),
        QStringLiteral("DATA"), QStringLiteral("QUIT"), QStringLiteral("CAPA"),
        QStringLiteral("STLS"), QStringLiteral("USER"), QStringLiteral("PASS"),
        QStringLiteral("APOP"), QStringLiteral("STAT"), QStringLiteral("LIST"),
        QStringLiteral("UIDL"), QStringLiteral("RETR"), QStringLiteral("TOP"),
        QStringLiteral("DELE"), QStringLiteral("NOOP"), QStringLiteral("RSET"),
    };
    return verbs;
}

QString stepName(const QString& verb, bool implicitTls, CURLcode code)
{
    if (verb.isEmpty()) {
        switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
            return QStringLiteral("サーバー名の確認");
        case CURLE_COULDNT_CONNECT:
        case CURLE_OPERATION_TIMEDOUT:
            return QStringLiteral("接続");
        default:
            break;
        }
        return implicitTls ? QStringLiteral("暗号化の開始 (TLS)")
                           : QStringLiteral("接続直後のあいさつ");
    }
    if (verb == u"STARTTLS" || verb == u"STLS")
        return QStringLiteral("暗号化の開始 (%1)").arg(verb);
    if (verb == u"EHLO" || verb == u"HELO")
        return QStringLiteral("あいさつ (%1)").arg(verb);
    if (verb == u"CAPA")
        return QStringLiteral("機能の確認 (CAPA)");
    if (verb == u"AUTH" || verb == u"USER" || verb == u"PASS" || verb == u"APOP")
        return QStringLiteral("ログイン (%1)").arg(verb);
    if (verb == u"MAIL")
        return QStringLiteral("送信者の指定 (MAIL FROM)");
    if (verb == u"RCPT")
        return QStringLiteral("宛先の指定 (RCPT TO)");
    if (verb == u"DATA")
        return QStringLiteral("本文の送信 (DATA)");
    if (verb == u"RETR" || verb == u"TOP")
        return QStringLiteral("メールの受信 (%1)").arg(verb);
    if (verb == u"DELE")
        return QStringLiteral("メールの削除 (DELE)");
    if (verb == u"QUIT")
        return QStringLiteral("終了 (QUIT)");
    return QStringLiteral("メールの一覧 (%1)").arg(verb);
}

bool soundsLocked(const QString& answer)
{
    return answer.contains(QStringLiteral("[IN-USE]"), Qt::CaseInsensitive) ||
           answer.contains(QStringLiteral("lock"), Qt::CaseInsensitive);
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

QByteArray CurlSession::configure(const ServerAddress& server, ConnectionSecurity security,
                                  const ServerTrust& trust, int tlsPort)
{
    m_server = server;
    const bool implicitTls =
        security == ConnectionSecurity::ImplicitTls ||
        (server.port == tlsPort &&
         (security == ConnectionSecurity::Automatic || security == ConnectionSecurity::Required));
    long useSsl = long(CURLUSESSL_TRY);
    if (implicitTls || security == ConnectionSecurity::Required)
        useSsl = long(CURLUSESSL_ALL);
    else if (security == ConnectionSecurity::None)
        useSsl = long(CURLUSESSL_NONE);
    const MailTimeouts t = mailTimeouts();
    CURL* c = m_curl;
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, m_errorBuffer);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, long(t.connectSeconds));
    curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(t.idleSeconds));
    // A transfer that moves nothing for idleSeconds is dead; a slow but moving one is not.
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, long(t.idleSeconds));
    m_pin = trust.pin;
    // A pinned certificate is trusted for itself, whoever signed it and whatever its name;
    // the fingerprint is compared in the handshake, before any password goes out.
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, m_pin.isEmpty() ? 1L : 0L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, m_pin.isEmpty() ? 2L : 0L);
    curl_easy_setopt(c, CURLOPT_USE_SSL, useSsl);
    // A resumed session skips the certificate, and with it the check and what the log shows.
    curl_easy_setopt(c, CURLOPT_SSL_SESSIONID_CACHE, 0L);
    curl_easy_setopt(c, CURLOPT_SSL_CTX_FUNCTION, &CurlSession::sslContextCallback);
    curl_easy_setopt(c, CURLOPT_SSL_CTX_DATA, this);
    m_implicitTls = implicitTls;
    m_caFile = trust.caFile.isEmpty() ? qgetenv("QM_CA_FILE") : QFile::encodeName(trust.caFile);
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
    m_lastCommand.clear();
    m_lastCode = curl_easy_perform(m_curl);
    return m_lastCode;
}

CURLcode CurlSession::sslContextCallback(CURL*, void* sslContext, void* selfPtr)
{
    auto* context = static_cast<SSL_CTX*>(sslContext);
    SSL_CTX_set_cert_verify_callback(context, &CurlSession::verifyCallback, selfPtr);
    // libcurl leaves the check off for a pin; the pin is the check.
    if (!static_cast<CurlSession*>(selfPtr)->m_pin.isEmpty())
        SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    return CURLE_OK;
}

int CurlSession::verifyCallback(X509_STORE_CTX* store, void* selfPtr)
{
    auto* self = static_cast<CurlSession*>(selfPtr);
    self->m_fingerprint.clear();
    self->m_subject.clear();
    self->m_refusal.clear();
    X509* leaf = X509_STORE_CTX_get0_cert(store);
    if (leaf) {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (X509_digest(leaf, EVP_sha256(), digest, &length) == 1) {
            QStringList bytes;
            for (unsigned int i = 0; i < length; ++i)
                bytes << QStringLiteral("%1").arg(digest[i], 2, 16, QLatin1Char('0')).toUpper();
            self->m_fingerprint = bytes.join(u':');
        }
        char name[512] = {};
        X509_NAME_oneline(X509_get_subject_name(leaf), name, sizeof name - 1);
        self->m_subject = QString::fromUtf8(name);
    }
    if (!self->m_pin.isEmpty()) {
        if (!self->m_fingerprint.isEmpty() && self->m_fingerprint == self->m_pin) {
            X509_STORE_CTX_set_error(store, X509_V_OK);
            return 1;
        }
        self->m_refusal = QStringLiteral("登録された指紋と一致しません");
        X509_STORE_CTX_set_error(store, X509_V_ERR_APPLICATION_VERIFICATION);
        return 0;
    }
    const int ok = X509_verify_cert(store);
    if (ok <= 0)
        self->m_refusal =
            QString::fromUtf8(X509_verify_cert_error_string(X509_STORE_CTX_get_error(store)));
    return ok;
}

std::optional<RefusedCertificate> CurlSession::refusedCertificate() const
{
    // A name that does not match is found by libcurl after the chain was accepted.
    if (m_fingerprint.isEmpty() || (m_refusal.isEmpty() && !isCertificateError(m_lastCode)))
        return std::nullopt;
    return RefusedCertificate{m_fingerprint, m_subject};
}

bool CurlSession::isCertificateError(CURLcode code)
{
    return code == CURLE_PEER_FAILED_VERIFICATION || code == CURLE_SSL_CACERT_BADFILE ||
           code == CURLE_SSL_ISSUER_ERROR;
}

bool CurlSession::onLoopback() const
{
    char* ip = nullptr;
    if (curl_easy_getinfo(m_curl, CURLINFO_PRIMARY_IP, &ip) != CURLE_OK || !ip)
        return false;
    const QByteArray a(ip);
    return a.startsWith("127.") || a == "::1" || a.startsWith("::ffff:127.");
}

int CurlSession::debugCallback(CURL*, curl_infotype type, char* data, size_t size, void* selfPtr)
{
    auto* self = static_cast<CurlSession*>(selfPtr);
    if (type == CURLINFO_SSL_DATA_IN || type == CURLINFO_SSL_DATA_OUT) {
        self->m_tlsSeen = true;
        return 0;
    }
    // Of what we send only the verb is kept, and RCPT's address: the rest may carry
    // credentials.
    if (type == CURLINFO_HEADER_OUT) {
        const QByteArray line = QByteArray(data, qsizetype(size)).trimmed();
        const qsizetype space = line.indexOf(' ');
        const QString verb = QString::fromLatin1(space < 0 ? line : line.left(space)).toUpper();
        if (knownVerbs().contains(verb))
            self->m_lastCommand = verb;
        if (self->m_trackRecipients && line.startsWith("RCPT TO:")) {
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
    // No ASCII commas: the log drops them from the column this text goes to.
    QString what;
    QString advice;
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        what = QStringLiteral("が見つかりません");
        advice = QStringLiteral("サーバー名のつづりとネットワークの接続を確かめてください。");
        break;
    case CURLE_COULDNT_CONNECT:
        what = QStringLiteral("に接続できません");
        advice = QStringLiteral("サーバーが止まっているか、サーバー名かポート番号が違います。"
                                "アカウントの編集で確かめてください。");
        break;
    case CURLE_OPERATION_TIMEDOUT:
        what = QStringLiteral("が応答しません (時間切れ)");
        advice = QStringLiteral("サーバーが混んでいるか、ファイアウォールが通信を止めています。"
                                "続くときはポート番号と暗号化の設定を確かめてください。");
        break;
    case CURLE_LOGIN_DENIED:
        if (soundsLocked(serverAnswer)) {
            what = QStringLiteral("のメールボックスが使用中です");
            advice = QStringLiteral("他のメールソフトが同じメールボックスを受信中です。"
                                    "次の転送で自動的にやり直します。");
        } else {
            what = QStringLiteral("にログインできません");
            advice =
                QStringLiteral("ユーザー名かパスワード（または認証方式）が違います。"
                               "プロバイダでの設定を確かめ、アカウントの編集で直してください。");
        }
        break;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
        what = QStringLiteral("の証明書を確認できません");
        advice = QStringLiteral("証明書が信頼できないか、サーバー名と合いません。"
                                "サーバー名を確かめてください。社内のサーバーならその証明書を"
                                "信頼する設定が必要です。");
        break;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_USE_SSL_FAILED:
        what = QStringLiteral("との暗号化通信を開始できません");
        advice =
            QStringLiteral("ポート番号と暗号化の方式がサーバーと合っているか確かめてください。");
        break;
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_WEIRD_SERVER_REPLY:
        if (soundsLocked(serverAnswer)) {
            what = QStringLiteral("のメールボックスが使用中です");
            advice = QStringLiteral("他のメールソフトが同じメールボックスを受信中です。"
                                    "次の転送で自動的にやり直します。");
        } else {
            what = QStringLiteral("との通信が途中で切れました");
            advice = QStringLiteral("次の転送で自動的にやり直します。");
        }
        break;
    case CURLE_WRITE_ERROR:
        what = QStringLiteral("から受け取ったメールを保存できません");
        advice = QStringLiteral("ディスクの空きと作業フォルダーの書き込み権限を確かめてください。");
        break;
    default:
        what = QStringLiteral("との通信でエラーが起きました");
        break;
    }
    QString detail = QString::fromUtf8(m_errorBuffer).trimmed();
    if (detail.isEmpty())
        detail = QString::fromUtf8(curl_easy_strerror(code));
    QString text = who + what + QStringLiteral("。") + advice + QStringLiteral(" 手順: ") +
                   stepName(m_lastCommand, m_implicitTls, code);
    // What the user needs to decide whether to trust the certificate.
    if (isCertificateError(code) || !m_refusal.isEmpty()) {
        if (!m_refusal.isEmpty())
            text += QStringLiteral(" 理由: ") + m_refusal;
        if (!m_fingerprint.isEmpty())
            text += QStringLiteral(" 証明書の指紋 (SHA-256): ") + m_fingerprint +
                    QStringLiteral(" 発行先: ") + m_subject;
        return text + QStringLiteral(" (") + detail + QLatin1Char(')');
    }
    if (!serverAnswer.isEmpty())
        text += QStringLiteral(" サーバーの応答: ") + serverAnswer;
    return text + QStringLiteral(" (") + detail + QLatin1Char(')');
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
