#pragma once

// OAuth 2.0 for signing in to hosted mailboxes: the token endpoint's grants (authorization
// code with PKCE, device code, client credentials, refresh), OpenID discovery and the
// presets of the hosted providers. Every call goes over HTTPS with certificates verified
// as the mail connections do (the system store, plus QM_CA_FILE when set).
//
// Tokens are secrets: no text these functions return carries one, except the fields named
// for them.

#include <QDateTime>
#include <QMap>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace qm::oauth {

// Where a provider signs in and what it grants.
struct Provider
{
    QString authorizationEndpoint;
    QString tokenEndpoint;
    QString deviceEndpoint;     // "" when the provider has no device grant
    QString revocationEndpoint; // "" when none
    QString scopes;             // for a person signing in, space-separated
    QString serviceScopes;      // for client credentials ("" when the provider has none)
    // Why the device grant cannot give mail access here ("" when it can).
    QString deviceRefusal;
};

// The sign-in settings of one account, as stored with its connection settings.
struct Settings
{
    QString provider; // "microsoft", "google" or "issuer"
    QString tenant;   // Microsoft: the directory (tenant) ID or domain; "" = "organizations"
    QString issuer;   // "issuer": its address, for the discovery document
    QString clientId;
    QString clientSecret;           // "" for a public client
    QString scopes;                 // "" = the provider's own
    bool clientCredentials = false; // app-only: the program signs in itself, no person

    // From an account's stored connection settings (keys OAuthProvider, OAuthTenant,
    // OAuthIssuer, OAuthClientId, OAuthClientSecret, OAuthScopes, OAuthGrant).
    static Settings fromValues(const QMap<QString, QString>& values);
};

// The provider of the settings: a preset, or the issuer's discovery document (fetched).
// nullopt and *error when it cannot be had.
std::optional<Provider> resolveProvider(const Settings& settings, QString* error);

// What a token endpoint answered.
struct Tokens
{
    QString accessToken;
    QString refreshToken; // "" when the endpoint sent none (keep the old one)
    QDateTime expiresAt;  // UTC; an hour from now when the endpoint did not say
};

struct TokenResult
{
    std::optional<Tokens> tokens;
    // When no tokens: a Japanese text for the user (no token in it), and whether the
    // provider refused the grant itself (revoked, expired, consent withdrawn: the person
    // must sign in again) rather than being out of reach.
    QString error;
    bool refused = false;
    QString errorCode; // the endpoint's "error" ("authorization_pending", ...), or ""
};

TokenResult refresh(const Provider& provider, const Settings& settings,
                    const QString& refreshToken);
TokenResult clientCredentials(const Provider& provider, const Settings& settings);

// The device authorization grant (RFC 8628).
struct DeviceStart
{
    QString deviceCode;
    QString userCode;
    QString verificationUri;
    QString verificationUriComplete; // "" when the provider gives none
    int intervalSeconds = 5;
    QDateTime expiresAt;
};
std::optional<DeviceStart> startDevice(const Provider& provider, const Settings& settings,
                                       QString* error);
// Polls until the person has signed in, the code expires or cancelled() says stop.
TokenResult waitForDevice(const Provider& provider, const Settings& settings,
                          const DeviceStart& device,
                          const std::function<bool()>& cancelled = nullptr,
                          const std::function<void(int)>& sleepSeconds = nullptr);

// Authorization code with PKCE (RFC 7636) and a loopback redirect (RFC 8252).
struct CodeRequest
{
    QString url; // to open in the browser
    QString redirectUri;
    QString state;
    QString verifier;
};
CodeRequest codeRequest(const Provider& provider, const Settings& settings,
                        const QString& redirectUri);
TokenResult exchangeCode(const Provider& provider, const Settings& settings,
                         const CodeRequest& request, const QString& code);

// A listener on 127.0.0.1 for the one redirect of a sign-in. Closed when destroyed.
class LoopbackListener
{
public:
    LoopbackListener();
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    bool listening() const { return m_fd >= 0; }
    QString redirectUri() const; // http://127.0.0.1:PORT/

    // Waits for the browser's redirect carrying state; answers it with a page and closes.
    // The code, or "" and *error (refused, wrong state, timed out, cancelled).
    QString waitForCode(const QString& state, int timeoutSeconds, QString* error,
                        const std::function<bool()>& cancelled = nullptr);
    void close();

private:
    int m_fd = -1;
    int m_port = 0;
};

// The random texts a sign-in needs (PKCE verifier, state): URL-safe base64 of n bytes.
QString randomToken(int bytes);
// The PKCE S256 challenge of a verifier.
QString pkceChallenge(const QString& verifier);

} // namespace qm::oauth
