// Signing in with OAuth 2.0 against the test authorization server (tests/servers/start-oauth.sh),
// POP3 and SMTP servers that take only its tokens, and the forwarding cycle on top.

#include "data/AccountFile.h"
#include "data/ForwardLog.h"
#include "data/MailConnectionFile.h"
#include "data/Paths.h"
#include "platform/mail/MailLibrary.h"
#include "platform/oauth/OAuthClient.h"
#include "service/EngineContext.h"
#include "service/ForwardingCycle.h"
#include "service/Screen.h"
#include "support/ProgramFolder.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

using namespace qm;
using namespace qm::test;

namespace {

struct OAuthServers
{
    QString issuer;
    int pop3Port = 0;
    int pop3XOAuth2Port = 0;
    int smtpPort = 0;
    QString spool;
    QString browser;
    QString logs;
};

OAuthServers oauthServers()
{
    OAuthServers s;
    s.issuer = qEnvironmentVariable("QM_OAUTH_ISSUER");
    s.pop3Port = qEnvironmentVariableIntValue("QM_OAUTH_POP3_PORT");
    s.pop3XOAuth2Port = qEnvironmentVariableIntValue("QM_OAUTH_POP3_XOAUTH2_PORT");
    s.smtpPort = qEnvironmentVariableIntValue("QM_OAUTH_SMTP_PORT");
    s.spool = qEnvironmentVariable("QM_OAUTH_SMTP_SPOOL");
    s.browser = qEnvironmentVariable("QM_OAUTH_BROWSER");
    s.logs = qEnvironmentVariable("QM_OAUTH_LOGS");
    return s;
}

#define QM_REQUIRE_OAUTH_SERVERS(servers)                                                          \
    QM_REQUIRE_MAIL_SERVERS(mail##servers);                                                        \
    const OAuthServers servers = oauthServers();                                                   \
    if (servers.issuer.isEmpty()) {                                                                \
        if (runningInCi())                                                                         \
            FAIL() << "sign-in test servers missing";                                              \
        GTEST_SKIP() << "sign-in test servers not running (tests/servers/run.sh)";                 \
    }

oauth::Settings desktopClient(const OAuthServers& servers)
{
    oauth::Settings s;
    s.provider = QStringLiteral("issuer");
    s.issuer = servers.issuer;
    s.clientId = QStringLiteral("qm-desktop");
    s.clientSecret = QStringLiteral("desktop-secret");
    s.scopes = QStringLiteral("openid offline_access pop smtp");
    return s;
}

// The person at the browser: the test server's own login and consent pages, over HTTPS.
bool browse(const OAuthServers& servers, const QString& url, const QString& user,
            const QString& userCode = QString())
{
    QProcess p;
    QStringList args{servers.browser, url, user};
    if (!userCode.isEmpty())
        args << userCode;
    p.start(QStringLiteral("/usr/bin/python3"), args);
    return p.waitForFinished(60000) && p.exitCode() == 0;
}

struct SignInRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

// quillmarcB --sign-in, with the browser steps done where it prints the address and code.
SignInRun signInByDevice(const OAuthServers& servers, const QString& dataDir,
                         const QString& accountNo, const QString& user)
{
    QProcess p;
    p.start(QStringLiteral(QM_QUILLMARCB),
            {QStringLiteral("--data"), dataDir, QStringLiteral("--sign-in"), accountNo});
    SignInRun run;
    QString uri;
    QString code;
    for (int wait = 0; wait < 20 && uri.isEmpty() && p.state() != QProcess::NotRunning; ++wait) {
        p.waitForReadyRead(1000);
        run.out += QString::fromUtf8(p.readAllStandardOutput());
        const auto u = QRegularExpression(QStringLiteral("アドレス: (\\S+)")).match(run.out);
        const auto c = QRegularExpression(QStringLiteral("コード:\\s+(\\S+)")).match(run.out);
        if (u.hasMatch() && c.hasMatch()) {
            uri = u.captured(1);
            code = c.captured(1);
        }
    }
    if (!uri.isEmpty())
        EXPECT_TRUE(browse(servers, uri, user, code));
    if (!p.waitForFinished(60000))
        p.kill();
    run.out += QString::fromUtf8(p.readAllStandardOutput());
    run.err = QString::fromUtf8(p.readAllStandardError());
    run.exitCode = p.exitCode();
    return run;
}

struct QuietScreen : service::Screen
{
    QStringList boxes;
    service::BoxAnswer messageBox(const QString& text, const QString&, service::BoxIcon,
                                  service::BoxButtons) override
    {
        boxes << text;
        return service::BoxAnswer::Ok;
    }
    void showLog() override {}
    void processEvents() override {}
};

} // namespace

TEST(OAuthClient, CodeWithPkceClientCredentialsAndRefreshAgainstARealAuthorizationServer)
{
    QM_REQUIRE_OAUTH_SERVERS(servers);
    const oauth::Settings settings = desktopClient(servers);
    QString error;
    const auto provider = oauth::resolveProvider(settings, &error);
    ASSERT_TRUE(provider) << error.toStdString();
    EXPECT_TRUE(provider->tokenEndpoint.startsWith(servers.issuer));

    // Authorization code: the browser is sent to the loopback listener, which checks state.
    oauth::LoopbackListener listener;
    ASSERT_TRUE(listener.listening());
    const oauth::CodeRequest request =
        oauth::codeRequest(*provider, settings, listener.redirectUri());
    EXPECT_TRUE(request.url.contains(QStringLiteral("code_challenge_method=S256")));
    QProcess browser;
    browser.start(QStringLiteral("/usr/bin/python3"),
                  {servers.browser, request.url, QStringLiteral("u70")});
    const QString code = listener.waitForCode(request.state, 60, &error);
    browser.waitForFinished(30000);
    ASSERT_FALSE(code.isEmpty()) << error.toStdString();
    EXPECT_FALSE(listener.listening()) << "closed once the redirect came";
    // The code is bound to the verifier: another one is refused.
    oauth::CodeRequest forged = request;
    forged.verifier = oauth::randomToken(48);
    EXPECT_FALSE(oauth::exchangeCode(*provider, settings, forged, code).tokens);
    const oauth::TokenResult first = oauth::exchangeCode(*provider, settings, request, code);
    ASSERT_TRUE(first.tokens) << first.error.toStdString();
    ASSERT_FALSE(first.tokens->refreshToken.isEmpty());

    // Refresh rotates the refresh token; the old one is then refused as a lost grant.
    const oauth::TokenResult second =
        oauth::refresh(*provider, settings, first.tokens->refreshToken);
    ASSERT_TRUE(second.tokens) << second.error.toStdString();
    EXPECT_NE(second.tokens->refreshToken, first.tokens->refreshToken);
    const oauth::TokenResult stale =
        oauth::refresh(*provider, settings, first.tokens->refreshToken);
    EXPECT_FALSE(stale.tokens);
    EXPECT_TRUE(stale.refused);
    EXPECT_FALSE(stale.error.contains(first.tokens->refreshToken));

    // Client credentials: no person, a token for the service's mailbox.
    oauth::Settings service;
    service.provider = QStringLiteral("issuer");
    service.issuer = servers.issuer;
    service.clientId = QStringLiteral("qm-service");
    service.clientSecret = QStringLiteral("service-secret");
    service.scopes = QStringLiteral("pop smtp");
    const oauth::TokenResult app = oauth::clientCredentials(*provider, service);
    ASSERT_TRUE(app.tokens) << app.error.toStdString();
    service.clientSecret = QStringLiteral("wrong");
    const oauth::TokenResult wrong = oauth::clientCredentials(*provider, service);
    EXPECT_TRUE(wrong.refused);

    // A token endpoint whose certificate is not trusted is never called.
    qputenv("QM_CA_FILE", qgetenv("QM_TEST_OTHER_CA"));
    const oauth::TokenResult untrusted =
        oauth::refresh(*provider, settings, second.tokens->refreshToken);
    qputenv("QM_CA_FILE", mailservers.caFile.toUtf8());
    EXPECT_FALSE(untrusted.tokens);
    EXPECT_TRUE(untrusted.error.contains(QStringLiteral("証明書")))
        << untrusted.error.toStdString();

    // Google's device grant cannot carry the mail scope: said before anything is sent.
    oauth::Settings google;
    google.provider = QStringLiteral("google");
    google.clientId = QStringLiteral("x");
    const auto googleProvider = oauth::resolveProvider(google, &error);
    ASSERT_TRUE(googleProvider);
    EXPECT_FALSE(oauth::startDevice(*googleProvider, google, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("デバイス認可"))) << error.toStdString();
}

TEST(MailBearer, BothMechanismsOnPop3AndSmtpAndARefusedTokenIsRenewedOnce)
{
    QM_REQUIRE_OAUTH_SERVERS(servers);
    oauth::Settings service;
    service.provider = QStringLiteral("issuer");
    service.issuer = servers.issuer;
    service.clientId = QStringLiteral("qm-service");
    service.clientSecret = QStringLiteral("service-secret");
    service.scopes = QStringLiteral("pop smtp");
    QString error;
    const auto provider = oauth::resolveProvider(service, &error);
    ASSERT_TRUE(provider) << error.toStdString();
    const oauth::TokenResult app = oauth::clientCredentials(*provider, service);
    ASSERT_TRUE(app.tokens) << app.error.toStdString();
    const QString token = app.tokens->accessToken;
    ASSERT_GT(token.size(), 500);

    emptyMailbox(QStringLiteral("u61"));
    deliver(61, QStringLiteral("a@sender.test"), QStringLiteral("件名"), QStringLiteral("本文\n"));
    mail::SystemMailLibrary library;
    QTemporaryDir folder;
    int renewals = 0;
    // Microsoft's kind of server offers XOAUTH2 alone (the two-step AUTH); the other both.
    const QList<std::pair<int, mail::BearerMechanism>> logins{
        {servers.pop3XOAuth2Port, mail::BearerMechanism::XOAuth2},
        {servers.pop3Port, mail::BearerMechanism::XOAuth2},
        {servers.pop3Port, mail::BearerMechanism::OAuthBearer}};
    for (const auto& [port, mechanism] : logins) {
        {
            mail::PopAccount account;
            account.server = mail::ServerAddress{QStringLiteral("127.0.0.1"), port};
            account.user = QStringLiteral("u61");
            // A token the server refuses, then the renewed one.
            account.bearer = mail::BearerLogin{QStringLiteral("not-a-token"), mechanism, [&] {
                                                   ++renewals;
                                                   return token;
                                               }};
            const mail::MailResult box = library.RcvMail(account, folder.filePath("box"));
            EXPECT_TRUE(box.isList) << box.text.toStdString();
            EXPECT_EQ(box.items.size(), 1);
            // Without a renewal the refusal stands, and says nothing of the token.
            account.bearer->renew = nullptr;
            const mail::MailResult refused = library.RcvMail(account, folder.filePath("box"));
            EXPECT_TRUE(refused.isError());
            EXPECT_FALSE(refused.text.contains(QStringLiteral("not-a-token")));
        }
    }
    EXPECT_EQ(renewals, 3);

    qputenv("QM_SMTP_SPOOL", servers.spool.toUtf8());
    clearReceivedMails(QStringLiteral("bearer@dest.test"));
    mail::SmtpServer smtp;
    smtp.server = mail::ServerAddress{QStringLiteral("127.0.0.1"), servers.smtpPort};
    smtp.login =
        mail::SmtpLogin{QStringLiteral("u61"), QString(), mail::SmtpAuthMethod::Plain,
                        mail::BearerLogin{QStringLiteral("stale"), mail::BearerMechanism::XOAuth2,
                                          [&] { return token; }}};
    mail::OutgoingMail out;
    out.from = QStringLiteral("u61@quillmarc.test");
    out.to = {QStringLiteral("bearer@dest.test")};
    out.subject = QStringLiteral("試験");
    out.body = QStringLiteral("本文\r\n");
    EXPECT_TRUE(library.SendMail(smtp, out).accepted());
    smtp.login->bearer->mechanism = mail::BearerMechanism::OAuthBearer;
    smtp.login->bearer->token = token;
    EXPECT_TRUE(library.SendMail(smtp, out).accepted());
    // A refused token is no verdict on the mail: no reply code in front.
    smtp.login->bearer->token = QStringLiteral("stale");
    smtp.login->bearer->renew = nullptr;
    const mail::SendResult refused = library.SendMail(smtp, out);
    EXPECT_FALSE(refused.accepted());
    EXPECT_FALSE(refused.error.at(0).isDigit()) << refused.error.toStdString();
    EXPECT_EQ(receivedMails(QStringLiteral("bearer@dest.test")).size(), 2);
}

TEST(SignInCycle, DeviceSignInForwardsRefreshesAndARevokedGrantLosesNothing)
{
    QM_REQUIRE_OAUTH_SERVERS(servers);
    qputenv("QM_SMTP_SPOOL", servers.spool.toUtf8());
    ProgramFolder program;
    program.writeSettings(1);
    const QString to = QStringLiteral("signin62@dest.test");
    AccountRecord a = testAccount(mailservers, "01", 62, to);
    a.PopPassword.clear();
    a.PopPort = QString::number(servers.pop3Port);
    a.SmtpPort = QString::number(servers.smtpPort);
    program.writeAccounts({a});
    const MailConnectionValues signIn{
        {QStringLiteral("OAuthProvider"), QStringLiteral("issuer")},
        {QStringLiteral("OAuthIssuer"), servers.issuer},
        {QStringLiteral("OAuthClientId"), QStringLiteral("qm-desktop")},
        {QStringLiteral("OAuthClientSecret"), QStringLiteral("desktop-secret")},
        {QStringLiteral("OAuthScopes"), QStringLiteral("openid offline_access pop smtp")},
        {QStringLiteral("PopAuth"), QStringLiteral("xoauth2")},
        {QStringLiteral("SmtpAuth"), QStringLiteral("oauthbearer")},
    };
    QString error;
    ASSERT_TRUE(saveMailConnectionValues(QStringLiteral("01"), signIn, &error))
        << error.toStdString();
    const QString dataDir = filePaths().dataHome;
    QStringList secrets; // every refresh token the account had
    auto refreshToken = [] {
        return readMailConnectionValues(QStringLiteral("01")).value("OAuthRefreshToken");
    };

    const SignInRun first = signInByDevice(servers, program.path(), "01", "u62");
    ASSERT_EQ(first.exitCode, 0) << first.out.toStdString() << first.err.toStdString();
    ASSERT_FALSE(refreshToken().isEmpty());
    secrets << refreshToken();

    QuietScreen screen;
    mail::SystemMailLibrary library;
    service::EngineContext ctx;
    ctx.paths = filePaths();
    ctx.screen = &screen;
    ctx.mail = &library;
    ctx.wait = [](int) {};
    auto forwarded = [&] { return receivedMails(to).size(); };
    auto mustSignInLines = [&] {
        int n = 0;
        for (const LogRow& r : program.log())
            n += r.sender.contains(QStringLiteral("サインインし直してください")) ? 1 : 0;
        return n;
    };

    deliver(62, QStringLiteral("a@sender.test"), QStringLiteral("一"), QStringLiteral("1\n"));
    deliver(62, QStringLiteral("a@sender.test"), QStringLiteral("二"), QStringLiteral("2\n"));
    service::RunForwardingCycle(ctx);
    EXPECT_EQ(forwarded(), 2) << program.logDump().toStdString();
    secrets << refreshToken(); // rotated on refresh, kept

    // The access token outlives its 15 s: the next cycle refreshes it.
    QThread::sleep(16);
    deliver(62, QStringLiteral("a@sender.test"), QStringLiteral("三"), QStringLiteral("3\n"));
    service::RunForwardingCycle(ctx);
    EXPECT_EQ(forwarded(), 3) << program.logDump().toStdString();
    EXPECT_EQ(mustSignInLines(), 0);
    secrets << refreshToken();

    // The grant is revoked: once the access token has gone too, each cycle says once that
    // the account must sign in again, and the mail stays on the server.
    QProcess revoke;
    revoke.start(QStringLiteral("curl"),
                 {QStringLiteral("-sf"), QStringLiteral("--cacert"), mailservers.caFile,
                  QStringLiteral("-d"), QStringLiteral("client_id=qm-desktop"),
                  QStringLiteral("-d"), QStringLiteral("client_secret=desktop-secret"),
                  QStringLiteral("-d"), QStringLiteral("token=") + refreshToken(),
                  servers.issuer + QStringLiteral("/token/revocation")});
    ASSERT_TRUE(revoke.waitForFinished(20000));
    ASSERT_EQ(revoke.exitCode(), 0);
    QThread::sleep(16);
    deliver(62, QStringLiteral("a@sender.test"), QStringLiteral("四"), QStringLiteral("4\n"));
    deliver(62, QStringLiteral("a@sender.test"), QStringLiteral("五"), QStringLiteral("5\n"));
    service::RunForwardingCycle(ctx);
    EXPECT_EQ(mustSignInLines(), 1) << program.logDump().toStdString();
    service::RunForwardingCycle(ctx);
    EXPECT_EQ(mustSignInLines(), 2);
    EXPECT_EQ(forwarded(), 3);
    EXPECT_EQ(mailboxCount(QStringLiteral("u62")), 5);

    // Signed in again: the held messages go out once each, the forwarded ones not again.
    const SignInRun again = signInByDevice(servers, program.path(), "01", "u62");
    ASSERT_EQ(again.exitCode, 0) << again.err.toStdString();
    secrets << refreshToken();
    service::RunForwardingCycle(ctx);
    service::RunForwardingCycle(ctx);
    QStringList subjects;
    for (const ReceivedMail& m : receivedMails(to))
        subjects << parseMail(m.raw).subject;
    subjects.sort();
    EXPECT_EQ(subjects, QStringList({"一", "三", "二", "五", "四"}));
    secrets << refreshToken();

    // The program itself, and what the manager shows.
    const auto run = program.runOnce();
    EXPECT_EQ(run.exitCode, 0) << run.stdErr.toStdString();
    QProcess show;
    show.start(QStringLiteral(QM_QUILLMARCB), {QStringLiteral("--data"), program.path(),
                                               QStringLiteral("--show"), QStringLiteral("01")});
    ASSERT_TRUE(show.waitForFinished(20000));
    const QString shown =
        QString::fromUtf8(show.readAllStandardOutput() + show.readAllStandardError());
    EXPECT_TRUE(shown.contains(QStringLiteral("OAuthRefreshToken=********")))
        << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("PopAuth=xoauth2")));

    // No token anywhere a person or a log reader sees.
    const QString seen = program.logDump() + screen.boxes.join(u'\n') + run.stdErr + shown +
                         first.out + first.err + again.out + again.err;
    for (const QString& secret : secrets)
        EXPECT_FALSE(!secret.isEmpty() && seen.contains(secret));
    EXPECT_FALSE(seen.contains(QStringLiteral("eyJ"))) << "no access token (a JWT)";
    EXPECT_FALSE(seen.contains(QStringLiteral("desktop-secret")));
    Q_UNUSED(dataDir);
}

TEST(SignInCycle, TheServiceSignsInAsAnAppWithClientCredentials)
{
    QM_REQUIRE_OAUTH_SERVERS(servers);
    qputenv("QM_SMTP_SPOOL", servers.spool.toUtf8());
    ProgramFolder program;
    program.writeSettings(1);
    const QString to = QStringLiteral("app61@dest.test");
    AccountRecord a = testAccount(mailservers, "01", 61, to);
    a.PopPassword.clear();
    a.PopPort = QString::number(servers.pop3XOAuth2Port);
    a.SmtpPort = QString::number(servers.smtpPort);
    program.writeAccounts({a});
    QString error;
    ASSERT_TRUE(saveMailConnectionValues(
        QStringLiteral("01"),
        {{QStringLiteral("OAuthProvider"), QStringLiteral("issuer")},
         {QStringLiteral("OAuthIssuer"), servers.issuer},
         {QStringLiteral("OAuthClientId"), QStringLiteral("qm-service")},
         {QStringLiteral("OAuthClientSecret"), QStringLiteral("service-secret")},
         {QStringLiteral("OAuthScopes"), QStringLiteral("pop smtp")},
         {QStringLiteral("OAuthGrant"), QStringLiteral("client_credentials")},
         {QStringLiteral("PopAuth"), QStringLiteral("xoauth2")},
         {QStringLiteral("SmtpAuth"), QStringLiteral("xoauth2")}},
        &error))
        << error.toStdString();

    // --sign-in only checks that the app gets a token: nobody is asked anything.
    QProcess check;
    check.start(QStringLiteral(QM_QUILLMARCB), {QStringLiteral("--data"), program.path(),
                                                QStringLiteral("--sign-in"), QStringLiteral("01")});
    ASSERT_TRUE(check.waitForFinished(30000));
    EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardError().toStdString();

    deliver(61, QStringLiteral("a@sender.test"), QStringLiteral("アプリ"), QStringLiteral("1\n"));
    const auto run = program.runOnce();
    EXPECT_EQ(run.exitCode, 0) << run.stdErr.toStdString();
    const QList<ReceivedMail> sent = receivedMails(to);
    ASSERT_EQ(sent.size(), 1) << program.logDump().toStdString();
    EXPECT_EQ(sent.first().authUser, QStringLiteral("u61"));
    EXPECT_FALSE((run.stdErr + program.logDump()).contains(QStringLiteral("eyJ")));
}
