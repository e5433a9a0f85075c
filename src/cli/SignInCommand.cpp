#include "cli/SignInCommand.h"

#include "data/MailConnectionFile.h"
#include "platform/oauth/OAuthClient.h"

#include <QTextStream>
#include <algorithm>

namespace qm::cli {

namespace {

bool validAccountNo(const QString& no)
{
    return (no.size() == 1 || no.size() == 2) &&
           std::all_of(no.begin(), no.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

const QStringList& signInKeys()
{
    static const QStringList keys{
        QStringLiteral("OAuthProvider"),     QStringLiteral("OAuthTenant"),
        QStringLiteral("OAuthIssuer"),       QStringLiteral("OAuthClientId"),
        QStringLiteral("OAuthClientSecret"), QStringLiteral("OAuthScopes"),
        QStringLiteral("OAuthGrant"),        QStringLiteral("PopAuth"),
        QStringLiteral("SmtpAuth"),          QStringLiteral("OAuthRefreshToken")};
    return keys;
}

bool isSecret(const QString& key)
{
    return key == u"OAuthClientSecret" || key == u"OAuthRefreshToken";
}

} // namespace

bool isSignInKey(const QString& key)
{
    return signInKeys().contains(key);
}

bool setSignInValue(QMap<QString, QString>& values, const QString& key, const QString& value,
                    QString* problem)
{
    static const QMap<QString, QStringList> choices{
        {QStringLiteral("OAuthProvider"),
         {QString(), QStringLiteral("microsoft"), QStringLiteral("google"),
          QStringLiteral("issuer")}},
        {QStringLiteral("OAuthGrant"),
         {QString(), QStringLiteral("user"), QStringLiteral("client_credentials")}},
        {QStringLiteral("PopAuth"),
         {QString(), QStringLiteral("password"), QStringLiteral("xoauth2"),
          QStringLiteral("oauthbearer")}},
        {QStringLiteral("SmtpAuth"),
         {QString(), QStringLiteral("password"), QStringLiteral("xoauth2"),
          QStringLiteral("oauthbearer")}},
    };
    if (choices.contains(key) && !choices.value(key).contains(value)) {
        *problem = QStringLiteral("%1 のどれかを指定してください")
                       .arg(choices.value(key).mid(1).join(u' '));
        return false;
    }
    if (key == u"OAuthRefreshToken" && !value.isEmpty()) {
        *problem = QStringLiteral("quillmarcB --sign-in で設定します (空にするとサインアウト)");
        return false;
    }
    if (key == u"OAuthIssuer" && !value.isEmpty() && !value.startsWith(u"https://")) {
        *problem = QStringLiteral("https:// で始まるアドレスを指定してください");
        return false;
    }
    for (QChar c : value) {
        if (c == u',' || c == u'"' || c == u'\r' || c == u'\n') {
            *problem = QStringLiteral("「,」「\"」や改行は使えません");
            return false;
        }
    }
    if (value.isEmpty())
        values.remove(key);
    else
        values.insert(key, value);
    return true;
}

QStringList signInShowLines(const QMap<QString, QString>& values)
{
    QStringList lines;
    for (const QString& key : signInKeys()) {
        if (!values.contains(key))
            continue;
        lines << key + u'=' + (isSecret(key) ? QStringLiteral("********") : values.value(key));
    }
    return lines;
}

QString signInHelp()
{
    return QStringLiteral(
        "サインインの項目: OAuthProvider (microsoft google issuer) OAuthTenant OAuthIssuer\n"
        "  OAuthClientId OAuthClientSecret OAuthScopes OAuthGrant (user client_credentials)\n"
        "  PopAuth SmtpAuth (password xoauth2 oauthbearer)\n");
}

bool isSignInCommand(const QStringList& args)
{
    return !args.isEmpty() && args.first() == u"--sign-in";
}

int runSignInCommand(const QStringList& args, QTextStream& out, QTextStream& err)
{
    if (args.size() != 2 || !validAccountNo(args.at(1))) {
        err << QStringLiteral("使い方: quillmarcB --sign-in アカウント番号\n");
        return 2;
    }
    const QString accountNo = args.at(1);
    QString error;
    const auto all = readAllMailConnectionValues(&error);
    if (!all) {
        err << error << u'\n';
        return 1;
    }
    const MailConnectionValues values = all->value(accountNo);
    const oauth::Settings settings = oauth::Settings::fromValues(values);
    if (settings.provider.isEmpty() || settings.clientId.isEmpty()) {
        err << QStringLiteral("アカウント %1 にはサインインの設定 (OAuthProvider, OAuthClientId) "
                              "がありません。quillmarcB --set %1 OAuthProvider=... "
                              "OAuthClientId=... で設定してください\n")
                   .arg(accountNo);
        return 1;
    }
    const std::optional<oauth::Provider> provider = oauth::resolveProvider(settings, &error);
    if (!provider) {
        err << error << u'\n';
        return 1;
    }
    if (settings.clientCredentials) {
        // No person signs in: the service asks for its own tokens. Checked here once.
        const oauth::TokenResult r = oauth::clientCredentials(*provider, settings);
        if (!r.tokens) {
            err << r.error << u'\n';
            return 1;
        }
        out << QStringLiteral(
                   "アカウント %1 はアプリとしてサインインできます (クライアント資格情報)\n")
                   .arg(accountNo);
        return 0;
    }
    const std::optional<oauth::DeviceStart> device =
        oauth::startDevice(*provider, settings, &error);
    if (!device) {
        err << error << u'\n';
        return 1;
    }
    out << QStringLiteral("ブラウザーのある機械で次のアドレスを開き、コードを入力してください。\n")
        << QStringLiteral("  アドレス: ") << device->verificationUri << u'\n'
        << QStringLiteral("  コード:   ") << device->userCode << u'\n';
    if (!device->verificationUriComplete.isEmpty())
        out << QStringLiteral("  (コード入りのアドレス: ") << device->verificationUriComplete
            << QStringLiteral(")\n");
    out << QStringLiteral("サインインが終わるまで待っています...\n");
    out.flush();
    const oauth::TokenResult r = oauth::waitForDevice(*provider, settings, *device);
    if (!r.tokens) {
        err << r.error << u'\n';
        return 1;
    }
    if (r.tokens->refreshToken.isEmpty()) {
        err << QStringLiteral("認証サーバーが更新用トークンを返しませんでした "
                              "(offline_access の権限を確認してください)\n");
        return 1;
    }
    if (!updateMailConnectionValues(
            accountNo, {{QStringLiteral("OAuthRefreshToken"), r.tokens->refreshToken}}, &error)) {
        err << QStringLiteral("サインイン情報を保存できません: ") << error << u'\n';
        return 1;
    }
    out << QStringLiteral("アカウント %1 はサインインしました\n").arg(accountNo);
    return 0;
}

} // namespace qm::cli
