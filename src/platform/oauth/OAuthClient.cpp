#include "platform/oauth/OAuthClient.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <QUrl>
#include <QUrlQuery>
#include <arpa/inet.h>
#include <curl/curl.h>
#include <mutex>
#include <netinet/in.h>
#include <openssl/rand.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qm::oauth {

namespace {

constexpr int kConnectSeconds = 20;
constexpr int kTransferSeconds = 60;
constexpr qsizetype kMaxAnswer = 1024 * 1024;

struct HttpAnswer
{
    long status = 0;
    QByteArray body;
    QString error; // transport failure, "" when an answer came
};

size_t collect(char* data, size_t size, size_t count, void* out)
{
    auto* body = static_cast<QByteArray*>(out);
    if (body->size() + qsizetype(size * count) > kMaxAnswer)
        return 0;
    body->append(data, qsizetype(size * count));
    return size * count;
}

bool isHttps(const QString& url)
{
    return QUrl(url).scheme() == u"https" && !QUrl(url).host().isEmpty();
}

// GET when form is empty, else a form POST. Certificates checked as for mail.
HttpAnswer call(const QString& url, const QUrlQuery* form)
{
    HttpAnswer answer;
    if (!isHttps(url)) {
        answer.error = QStringLiteral("認証サーバーのアドレスが https ではありません: %1").arg(url);
        return answer;
    }
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    CURL* c = curl_easy_init();
    if (!c) {
        answer.error = QStringLiteral("通信ライブラリを初期化できません");
        return answer;
    }
    char errorBuffer[CURL_ERROR_SIZE] = {};
    const QByteArray u = url.toUtf8();
    curl_easy_setopt(c, CURLOPT_URL, u.constData());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, long(kConnectSeconds));
    curl_easy_setopt(c, CURLOPT_TIMEOUT, long(kTransferSeconds));
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
    const QByteArray caFile = qgetenv("QM_CA_FILE");
    if (!caFile.isEmpty())
        curl_easy_setopt(c, CURLOPT_CAINFO, caFile.constData());
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &answer.body);
    curl_slist* headers = curl_slist_append(nullptr, "Accept: application/json");
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
    QByteArray body;
    if (form) {
        body = form->query(QUrl::FullyEncoded).toUtf8();
        // QUrlQuery leaves "+" alone, which a form decoder reads as a space.
        body.replace("+", "%2B");
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.constData());
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, long(body.size()));
    }
    const CURLcode rc = curl_easy_perform(c);
    if (rc == CURLE_OK) {
        curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &answer.status);
    } else {
        QString detail = QString::fromUtf8(errorBuffer).trimmed();
        if (detail.isEmpty())
            detail = QString::fromUtf8(curl_easy_strerror(rc));
        const QString host = QUrl(url).host();
        const bool tls = rc == CURLE_PEER_FAILED_VERIFICATION || rc == CURLE_SSL_CACERT_BADFILE ||
                         rc == CURLE_SSL_ISSUER_ERROR;
        answer.error = (tls ? QStringLiteral("認証サーバー %1 の証明書を確認できません (%2)")
                            : QStringLiteral("認証サーバー %1 と通信できません (%2)"))
                           .arg(host, detail);
    }
    curl_slist_free_all(headers);
    curl_easy_cleanup(c);
    return answer;
}

// Only the endpoint's error code and description reach the user: never the whole answer.
TokenResult tokenCall(const QString& endpoint, QUrlQuery form, const Settings& settings)
{
    TokenResult result;
    form.addQueryItem(QStringLiteral("client_id"), settings.clientId);
    if (!settings.clientSecret.isEmpty())
        form.addQueryItem(QStringLiteral("client_secret"), settings.clientSecret);
    const HttpAnswer answer = call(endpoint, &form);
    if (!answer.error.isEmpty()) {
        result.error = answer.error;
        return result;
    }
    const QJsonObject json = QJsonDocument::fromJson(answer.body).object();
    if (answer.status == 200 && json.value(u"access_token").isString()) {
        Tokens t;
        t.accessToken = json.value(u"access_token").toString();
        t.refreshToken = json.value(u"refresh_token").toString();
        const int expiresIn = json.value(u"expires_in").toVariant().toInt();
        t.expiresAt = QDateTime::currentDateTimeUtc().addSecs(expiresIn > 0 ? expiresIn : 3600);
        result.tokens = t;
        return result;
    }
    result.errorCode = json.value(u"error").toString();
    QString description = json.value(u"error_description").toString().simplified().left(200);
    // Grants the person or the administrator must give again.
    result.refused = result.errorCode == u"invalid_grant" ||
                     result.errorCode == u"invalid_client" ||
                     result.errorCode == u"unauthorized_client" ||
                     result.errorCode == u"access_denied" || result.errorCode == u"expired_token";
    if (result.errorCode.isEmpty())
        result.error = QStringLiteral("認証サーバー %1 が応答 %2 を返しました")
                           .arg(QUrl(endpoint).host())
                           .arg(answer.status);
    else
        result.error =
            QStringLiteral("認証サーバー %1 が拒否しました: %2%3")
                .arg(QUrl(endpoint).host(), result.errorCode,
                     description.isEmpty() ? QString() : QStringLiteral(" (") + description + u')');
    return result;
}

QString scopesOf(const Provider& provider, const Settings& settings)
{
    return settings.scopes.isEmpty() ? provider.scopes : settings.scopes;
}

bool validTenant(const QString& tenant)
{
    for (QChar ch : tenant) {
        if (!(ch.isLetterOrNumber() && ch.unicode() < 128) && ch != u'.' && ch != u'-')
            return false;
    }
    return true;
}

} // namespace

Settings Settings::fromValues(const QMap<QString, QString>& values)
{
    Settings s;
    s.provider = values.value(QStringLiteral("OAuthProvider")).toLower();
    s.tenant = values.value(QStringLiteral("OAuthTenant"));
    s.issuer = values.value(QStringLiteral("OAuthIssuer"));
    s.clientId = values.value(QStringLiteral("OAuthClientId"));
    s.clientSecret = values.value(QStringLiteral("OAuthClientSecret"));
    s.scopes = values.value(QStringLiteral("OAuthScopes"));
    s.clientCredentials = values.value(QStringLiteral("OAuthGrant")) == u"client_credentials";
    return s;
}

std::optional<Provider> resolveProvider(const Settings& settings, QString* error)
{
    if (settings.clientId.isEmpty()) {
        *error = QStringLiteral("クライアント ID が設定されていません");
        return std::nullopt;
    }
    if (settings.provider == u"microsoft") {
        const QString tenant =
            settings.tenant.isEmpty() ? QStringLiteral("organizations") : settings.tenant;
        if (!validTenant(tenant)) {
            *error = QStringLiteral("テナントの指定が正しくありません");
            return std::nullopt;
        }
        const QString base = QStringLiteral("https://login.microsoftonline.com/") + tenant +
                             QStringLiteral("/oauth2/v2.0/");
        Provider p;
        p.authorizationEndpoint = base + QStringLiteral("authorize");
        p.tokenEndpoint = base + QStringLiteral("token");
        p.deviceEndpoint = base + QStringLiteral("devicecode");
        p.scopes = QStringLiteral("offline_access https://outlook.office.com/POP.AccessAsUser.All "
                                  "https://outlook.office.com/SMTP.Send");
        p.serviceScopes = QStringLiteral("https://outlook.office365.com/.default");
        return p;
    }
    if (settings.provider == u"google") {
        Provider p;
        p.authorizationEndpoint = QStringLiteral("https://accounts.google.com/o/oauth2/v2/auth");
        p.tokenEndpoint = QStringLiteral("https://oauth2.googleapis.com/token");
        p.deviceEndpoint = QStringLiteral("https://oauth2.googleapis.com/device/code");
        p.revocationEndpoint = QStringLiteral("https://oauth2.googleapis.com/revoke");
        p.scopes = QStringLiteral("https://mail.google.com/");
        p.deviceRefusal = QStringLiteral(
            "Google はメールの権限 (https://mail.google.com/) をデバイス認可では許可していません。"
            "ブラウザーのある機械でアカウント編集画面の「サインイン」を一度行い、"
            "設定ファイルをこの機械にコピーしてください");
        return p;
    }
    if (settings.provider == u"issuer") {
        if (!isHttps(settings.issuer)) {
            *error = QStringLiteral("発行者 (issuer) のアドレスが https ではありません");
            return std::nullopt;
        }
        QString base = settings.issuer;
        while (base.endsWith(u'/'))
            base.chop(1);
        const HttpAnswer answer =
            call(base + QStringLiteral("/.well-known/openid-configuration"), nullptr);
        if (!answer.error.isEmpty()) {
            *error = answer.error;
            return std::nullopt;
        }
        const QJsonObject json = QJsonDocument::fromJson(answer.body).object();
        Provider p;
        p.authorizationEndpoint = json.value(u"authorization_endpoint").toString();
        p.tokenEndpoint = json.value(u"token_endpoint").toString();
        p.deviceEndpoint = json.value(u"device_authorization_endpoint").toString();
        p.revocationEndpoint = json.value(u"revocation_endpoint").toString();
        p.scopes = QStringLiteral("openid offline_access");
        if (answer.status != 200 || !isHttps(p.tokenEndpoint)) {
            *error = QStringLiteral("発行者 %1 の設定 (discovery) を読めません")
                         .arg(QUrl(settings.issuer).host());
            return std::nullopt;
        }
        return p;
    }
    *error = QStringLiteral("サインイン先 (プロバイダー) が設定されていません");
    return std::nullopt;
}

TokenResult refresh(const Provider& provider, const Settings& settings, const QString& refreshToken)
{
    QUrlQuery form;
    form.addQueryItem(QStringLiteral("grant_type"), QStringLiteral("refresh_token"));
    form.addQueryItem(QStringLiteral("refresh_token"), refreshToken);
    return tokenCall(provider.tokenEndpoint, form, settings);
}

TokenResult clientCredentials(const Provider& provider, const Settings& settings)
{
    QUrlQuery form;
    form.addQueryItem(QStringLiteral("grant_type"), QStringLiteral("client_credentials"));
    const QString scope = settings.scopes.isEmpty() ? provider.serviceScopes : settings.scopes;
    if (!scope.isEmpty())
        form.addQueryItem(QStringLiteral("scope"), scope);
    return tokenCall(provider.tokenEndpoint, form, settings);
}

std::optional<DeviceStart> startDevice(const Provider& provider, const Settings& settings,
                                       QString* error)
{
    if (!provider.deviceRefusal.isEmpty() && settings.scopes.isEmpty()) {
        *error = provider.deviceRefusal;
        return std::nullopt;
    }
    if (provider.deviceEndpoint.isEmpty()) {
        *error = QStringLiteral("このプロバイダーはデバイス認可に対応していません");
        return std::nullopt;
    }
    QUrlQuery form;
    form.addQueryItem(QStringLiteral("client_id"), settings.clientId);
    if (!settings.clientSecret.isEmpty())
        form.addQueryItem(QStringLiteral("client_secret"), settings.clientSecret);
    form.addQueryItem(QStringLiteral("scope"), scopesOf(provider, settings));
    const HttpAnswer answer = call(provider.deviceEndpoint, &form);
    if (!answer.error.isEmpty()) {
        *error = answer.error;
        return std::nullopt;
    }
    const QJsonObject json = QJsonDocument::fromJson(answer.body).object();
    DeviceStart d;
    d.deviceCode = json.value(u"device_code").toString();
    d.userCode = json.value(u"user_code").toString();
    d.verificationUri = json.value(u"verification_uri").toString();
    if (d.verificationUri.isEmpty()) // an older Google name
        d.verificationUri = json.value(u"verification_url").toString();
    d.verificationUriComplete = json.value(u"verification_uri_complete").toString();
    const int interval = json.value(u"interval").toVariant().toInt();
    d.intervalSeconds = interval > 0 ? interval : 5;
    const int expiresIn = json.value(u"expires_in").toVariant().toInt();
    d.expiresAt = QDateTime::currentDateTimeUtc().addSecs(expiresIn > 0 ? expiresIn : 900);
    if (answer.status != 200 || d.deviceCode.isEmpty() || d.userCode.isEmpty()) {
        const QString code = json.value(u"error").toString();
        *error = code.isEmpty()
                     ? QStringLiteral("認証サーバーがデバイス認可を始められません (応答 %1)")
                           .arg(answer.status)
                     : QStringLiteral("認証サーバーがデバイス認可を拒否しました: %1 %2")
                           .arg(code,
                                json.value(u"error_description").toString().simplified().left(200));
        return std::nullopt;
    }
    return d;
}

TokenResult waitForDevice(const Provider& provider, const Settings& settings,
                          const DeviceStart& device, const std::function<bool()>& cancelled,
                          const std::function<void(int)>& sleepSeconds)
{
    int interval = device.intervalSeconds;
    while (true) {
        if (cancelled && cancelled()) {
            TokenResult r;
            r.error = QStringLiteral("サインインを中止しました");
            return r;
        }
        if (QDateTime::currentDateTimeUtc() >= device.expiresAt) {
            TokenResult r;
            r.error =
                QStringLiteral("コードの有効期限が切れました。もう一度サインインしてください");
            r.refused = true;
            return r;
        }
        if (sleepSeconds)
            sleepSeconds(interval);
        else
            QThread::sleep(interval);
        QUrlQuery form;
        form.addQueryItem(QStringLiteral("grant_type"),
                          QStringLiteral("urn:ietf:params:oauth:grant-type:device_code"));
        form.addQueryItem(QStringLiteral("device_code"), device.deviceCode);
        TokenResult r = tokenCall(provider.tokenEndpoint, form, settings);
        if (r.errorCode == u"authorization_pending")
            continue;
        if (r.errorCode == u"slow_down") {
            interval += 5;
            continue;
        }
        return r;
    }
}

CodeRequest codeRequest(const Provider& provider, const Settings& settings,
                        const QString& redirectUri)
{
    CodeRequest r;
    r.redirectUri = redirectUri;
    r.state = randomToken(24);
    r.verifier = randomToken(48);
    QUrl url(provider.authorizationEndpoint);
    QUrlQuery q(url);
    q.addQueryItem(QStringLiteral("response_type"), QStringLiteral("code"));
    q.addQueryItem(QStringLiteral("client_id"), settings.clientId);
    q.addQueryItem(QStringLiteral("redirect_uri"), redirectUri);
    q.addQueryItem(QStringLiteral("scope"), scopesOf(provider, settings));
    q.addQueryItem(QStringLiteral("state"), r.state);
    q.addQueryItem(QStringLiteral("code_challenge"), pkceChallenge(r.verifier));
    q.addQueryItem(QStringLiteral("code_challenge_method"), QStringLiteral("S256"));
    // Without consent asked for again, some servers drop offline_access (no refresh token).
    q.addQueryItem(QStringLiteral("prompt"), QStringLiteral("consent"));
    if (settings.provider == u"google")
        q.addQueryItem(QStringLiteral("access_type"), QStringLiteral("offline"));
    url.setQuery(q.query(QUrl::FullyEncoded).replace(u'+', QStringLiteral("%2B")),
                 QUrl::StrictMode);
    r.url = url.toString(QUrl::FullyEncoded);
    return r;
}

TokenResult exchangeCode(const Provider& provider, const Settings& settings,
                         const CodeRequest& request, const QString& code)
{
    QUrlQuery form;
    form.addQueryItem(QStringLiteral("grant_type"), QStringLiteral("authorization_code"));
    form.addQueryItem(QStringLiteral("code"), code);
    form.addQueryItem(QStringLiteral("redirect_uri"), request.redirectUri);
    form.addQueryItem(QStringLiteral("code_verifier"), request.verifier);
    return tokenCall(provider.tokenEndpoint, form, settings);
}

QString randomToken(int bytes)
{
    QByteArray raw(bytes, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(raw.data()), bytes) != 1)
        qFatal("no random bytes");
    return QString::fromLatin1(
        raw.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

QString pkceChallenge(const QString& verifier)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(verifier.toLatin1(), QCryptographicHash::Sha256)
            .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

LoopbackListener::LoopbackListener()
{
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        return;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(m_fd, 4) != 0 ||
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        close();
        return;
    }
    m_port = ntohs(addr.sin_port);
}

LoopbackListener::~LoopbackListener()
{
    close();
}

void LoopbackListener::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

QString LoopbackListener::redirectUri() const
{
    return QStringLiteral("http://127.0.0.1:%1/").arg(m_port);
}

namespace {

void answerPage(int fd, bool ok)
{
    const QByteArray text =
        ok ? QStringLiteral("サインインしました。このページを閉じて quillmarc に戻ってください。")
                 .toUtf8()
           : QStringLiteral("サインインできませんでした。quillmarc の画面を確認してください。")
                 .toUtf8();
    const QByteArray page = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body><p>" +
                            text + "</p></body></html>";
    const QByteArray reply = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n"
                             "Content-Length: " +
                             QByteArray::number(page.size()) +
                             "\r\nConnection: close\r\nCache-Control: no-store\r\n\r\n" + page;
    qsizetype sent = 0;
    while (sent < reply.size()) {
        const ssize_t n =
            ::send(fd, reply.constData() + sent, size_t(reply.size() - sent), MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += n;
    }
}

// The request line of one connection ("GET /?code=... HTTP/1.1"), read within a few seconds.
QByteArray requestLine(int fd)
{
    QByteArray data;
    const qint64 deadline = QDateTime::currentMSecsSinceEpoch() + 5000;
    while (!data.contains("\r\n") && data.size() < 16384) {
        const qint64 left = deadline - QDateTime::currentMSecsSinceEpoch();
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, int(left)) <= 0)
            return {};
        char buffer[4096];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return {};
        data.append(buffer, n);
    }
    return data.left(data.indexOf("\r\n"));
}

} // namespace

QString LoopbackListener::waitForCode(const QString& state, int timeoutSeconds, QString* error,
                                      const std::function<bool()>& cancelled)
{
    const qint64 deadline = QDateTime::currentMSecsSinceEpoch() + qint64(timeoutSeconds) * 1000;
    while (m_fd >= 0) {
        if (cancelled && cancelled()) {
            *error = QStringLiteral("サインインを中止しました");
            break;
        }
        const qint64 left = deadline - QDateTime::currentMSecsSinceEpoch();
        if (left <= 0) {
            *error = QStringLiteral("ブラウザーからの応答がないまま時間切れになりました");
            break;
        }
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, int(std::min<qint64>(left, 200))) <= 0)
            continue;
        const int client = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        const QList<QByteArray> parts = requestLine(client).split(' ');
        if (parts.size() < 2 || parts.at(0) != "GET") {
            ::close(client);
            continue;
        }
        const QUrlQuery query(QUrl(QString::fromLatin1(parts.at(1))).query());
        // A request without our state (a favicon, another page) is not the redirect.
        if (query.queryItemValue(QStringLiteral("state"), QUrl::FullyDecoded) != state) {
            answerPage(client, false);
            ::close(client);
            continue;
        }
        const QString code = query.queryItemValue(QStringLiteral("code"), QUrl::FullyDecoded);
        answerPage(client, !code.isEmpty());
        ::close(client);
        close();
        if (code.isEmpty()) {
            const QString why =
                query.queryItemValue(QStringLiteral("error"), QUrl::FullyDecoded).left(100);
            *error = QStringLiteral("サインインが拒否されました: %1").arg(why);
            return {};
        }
        return code;
    }
    close();
    return {};
}

} // namespace qm::oauth
