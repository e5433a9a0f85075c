#pragma once

#include "data/MailConnectionFile.h"
#include "platform/oauth/OAuthClient.h"

#include <QDateTime>
#include <QMap>
#include <QString>
#include <optional>

namespace qm::service {

struct EngineContext;

// Whether POP3 or SMTP signs in with a token (PopAuth / SmtpAuth = xoauth2 | oauthbearer).
bool usesToken(const MailConnectionValues& values);

// Access tokens of the accounts that sign in with OAuth 2.0, kept in memory only (the
// refresh token is what is stored); renewed a few minutes ahead of expiry, and once more
// when a server refuses one.
class SignInTokens
{
public:
    // Gives the current account's POP3 and SMTP logins their token. false when the account
    // cannot sign in this cycle (logged once for the cycle): nothing is collected then.
    bool apply(EngineContext& ctx);

private:
    struct Held
    {
        QString accessToken;
        QDateTime expiresAt;
        qint64 lifetimeSeconds = 0;
        QString basis; // the settings and refresh token it came from
        std::optional<oauth::Provider> provider;
    };
    QString token(EngineContext& ctx, const QString& accountNo, bool renew);

    QMap<QString, Held> m_held;
};

// apply() of the context's token source, made on first use.
bool ApplySignIn(EngineContext& ctx);

} // namespace qm::service
