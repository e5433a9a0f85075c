#include "service/SignIn.h"

#include "service/EngineContext.h"

namespace qm::service {

namespace {

// Renewed this long before expiry (a fifth of a short token's life), so a token never
// runs out between the check and the login.
constexpr int kRenewAheadSeconds = 300;

std::optional<BearerMechanism> mechanismOf(const QString& value)
{
    if (value.compare(u"xoauth2", Qt::CaseInsensitive) == 0)
        return BearerMechanism::XOAuth2;
    if (value.compare(u"oauthbearer", Qt::CaseInsensitive) == 0)
        return BearerMechanism::OAuthBearer;
    return std::nullopt;
}

} // namespace

bool usesToken(const MailConnectionValues& values)
{
    return mechanismOf(values.value(QStringLiteral("PopAuth"))) ||
           mechanismOf(values.value(QStringLiteral("SmtpAuth")));
}

QString SignInTokens::token(EngineContext& ctx, const QString& accountNo, bool renew)
{
    const MailConnectionValues values = readMailConnectionValues(accountNo);
    const oauth::Settings settings = oauth::Settings::fromValues(values);
    const bool service = settings.clientCredentials;
    const QString refreshToken = values.value(QStringLiteral("OAuthRefreshToken"));
    const QString basis = QStringList{settings.provider,
                                      settings.tenant,
                                      settings.issuer,
                                      settings.clientId,
                                      settings.clientSecret,
                                      settings.scopes,
                                      service ? QStringLiteral("cc") : refreshToken}
                              .join(QChar(0));
    Held& held = m_held[accountNo];
    if (held.basis != basis) {
        held = Held{};
        held.basis = basis;
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const qint64 ahead = std::min<qint64>(kRenewAheadSeconds, held.lifetimeSeconds / 5);
    if (!renew && !held.accessToken.isEmpty() && now.secsTo(held.expiresAt) > ahead)
        return held.accessToken;
    held.accessToken.clear();

    const QString& name = ctx.account.accountName;
    // The person (or the administrator) must sign in again: said once a cycle.
    auto mustSignIn = [&](const QString& why) {
        ctx.logOncePerCycle(accountNo, QStringLiteral("signin"), name,
                            QStringLiteral("サインインし直してください (quillmarcB --sign-in %1 "
                                           "またはアカウント編集画面の「サインイン」)")
                                .arg(accountNo),
                            why);
        return QString();
    };
    if (!service && refreshToken.isEmpty())
        return mustSignIn(QStringLiteral("サインインしていません"));
    QString error;
    if (!held.provider)
        held.provider = oauth::resolveProvider(settings, &error);
    if (!held.provider) {
        ctx.logOncePerCycle(accountNo, QStringLiteral("signin"), name, error, QString());
        return {};
    }
    const oauth::TokenResult result = service
                                          ? oauth::clientCredentials(*held.provider, settings)
                                          : oauth::refresh(*held.provider, settings, refreshToken);
    if (!result.tokens) {
        if (result.refused)
            return mustSignIn(result.error);
        ctx.logOncePerCycle(accountNo, QStringLiteral("signin"), name, result.error, QString());
        return {};
    }
    if (!service && !result.tokens->refreshToken.isEmpty() &&
        result.tokens->refreshToken != refreshToken) {
        // A rotated refresh token: the old one no longer works, so the new one must be kept.
        QString saveError;
        if (!updateMailConnectionValues(
                accountNo, {{QStringLiteral("OAuthRefreshToken"), result.tokens->refreshToken}},
                &saveError))
            ctx.logOncePerCycle(accountNo, QStringLiteral("signin-save"), name,
                                QStringLiteral("新しいサインイン情報を保存できません"), saveError);
        held.basis = QStringList{settings.provider,          settings.tenant,       settings.issuer,
                                 settings.clientId,          settings.clientSecret, settings.scopes,
                                 result.tokens->refreshToken}
                         .join(QChar(0));
    }
    held.accessToken = result.tokens->accessToken;
    held.expiresAt = result.tokens->expiresAt;
    held.lifetimeSeconds = now.secsTo(held.expiresAt);
    return held.accessToken;
}

bool SignInTokens::apply(EngineContext& ctx)
{
    const QString accountNo = ctx.account.accountNo;
    const MailConnectionValues values = readMailConnectionValues(accountNo);
    const auto pop = mechanismOf(values.value(QStringLiteral("PopAuth")));
    const auto smtp = mechanismOf(values.value(QStringLiteral("SmtpAuth")));
    if (!pop && !smtp) {
        m_held.remove(accountNo);
        return true;
    }
    const QString access = token(ctx, accountNo, false);
    if (access.isEmpty())
        return false; // the mail stays on the server for a cycle that can sign in
    auto renew = [this, &ctx, accountNo] { return token(ctx, accountNo, true); };
    if (pop)
        ctx.account.pop.bearer = BearerLogin{access, *pop, renew};
    if (smtp) {
        // The mailbox's own name when no SMTP user is set: hosted mail sends as the mailbox.
        const QString user =
            ctx.account.smtpUser.isEmpty() ? ctx.account.pop.user : ctx.account.smtpUser;
        ctx.account.smtp.login =
            SmtpLogin{user, QString(), SmtpAuthMethod::Plain, BearerLogin{access, *smtp, renew}};
    }
    return true;
}

bool ApplySignIn(EngineContext& ctx)
{
    if (!ctx.signIn)
        ctx.signIn = std::make_shared<SignInTokens>();
    return ctx.signIn->apply(ctx);
}

} // namespace qm::service
