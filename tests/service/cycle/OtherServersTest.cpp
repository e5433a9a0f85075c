// The forwarding cycle against servers we did not write: GNU Mailutils pop3d and Exim 4
// (tests/servers/start-mailutils.sh, start-mta-exim.sh), and, for what both pairs must do
// alike, Dovecot with the aiosmtpd server. Connection settings go through Data/MailConn.txt.

#include "data/MailConnectionFile.h"
#include "support/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <gtest/gtest.h>

using namespace qm;
using namespace qm::test;

namespace {

const QString kSender = QStringLiteral("佐藤 <sato@sender.test>");

struct OtherServers
{
    QString popPort, popTlsPort, popSelfPort, popWrongPort, popPlainPort, popCa, maildirRoot;
    QString smtpPort, smtpTlsPort, smtpSelfPort, smtpWrongPort, smtpPlainPort, smtpCa, delivered;
    bool available() const { return !popPort.isEmpty() && !smtpPort.isEmpty(); }
};

OtherServers otherServers()
{
    const auto env = [](const char* name) { return qEnvironmentVariable(name); };
    return {env("QM_POP3D_PORT"),
            env("QM_POP3D_TLS_PORT"),
            env("QM_POP3D_SELF_SIGNED_PORT"),
            env("QM_POP3D_WRONG_NAME_PORT"),
            env("QM_POP3D_PLAIN_PORT"),
            env("QM_POP3D_CA"),
            env("QM_POP3D_MAILDIR_ROOT"),
            env("QM_EXIM_PORT"),
            env("QM_EXIM_TLS_PORT"),
            env("QM_EXIM_SELF_SIGNED_PORT"),
            env("QM_EXIM_WRONG_NAME_PORT"),
            env("QM_EXIM_PLAIN_PORT"),
            env("QM_EXIM_CA"),
            env("QM_EXIM_DELIVERED")};
}

#define QM_REQUIRE_OTHER_SERVERS(mail, other)                                                      \
    QM_REQUIRE_MAIL_SERVERS(mail);                                                                 \
    const OtherServers other = otherServers();                                                     \
    if (!other.available()) {                                                                      \
        if (runningInCi())                                                                         \
            FAIL() << "pop3d/Exim test servers missing";                                           \
        GTEST_SKIP() << "pop3d/Exim test servers not running";                                     \
    }

QString popInbox(const OtherServers& o, int user)
{
    return o.maildirRoot + u'/' + userName(user) + QStringLiteral("/INBOX");
}

void emptyPop3d(const OtherServers& o, int user)
{
    for (const char* sub : {"/new", "/cur"}) {
        QDir d(popInbox(o, user) + QLatin1String(sub));
        for (const QString& f : d.entryList(QDir::Files))
            d.remove(f);
    }
}

int pop3dCount(const OtherServers& o, int user)
{
    int n = 0;
    for (const char* sub : {"/new", "/cur"})
        n += int(QDir(popInbox(o, user) + QLatin1String(sub)).entryList(QDir::Files).size());
    return n;
}

void deliverPop3d(const OtherServers& o, int user, const QString& subject,
                  const QList<ComposedAttachment>& attachments = {})
{
    static int counter = 0;
    ComposedMail m;
    m.from = kSender;
    m.to = {userName(user) + QStringLiteral("@test.example")};
    m.subject = subject;
    m.body = QStringLiteral("本文です\n");
    m.attachments = attachments;
    const QString name =
        QStringLiteral("%1.%2.qmtest").arg(QCoreApplication::applicationPid()).arg(++counter);
    QFile f(popInbox(o, user) + QStringLiteral("/tmp/") + name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    // Mailutils reads a Maildir file as Unix text: with CR LF its headers swallow the body.
    f.write(composeMail(m).replace("\r\n", "\n"));
    f.close();
    ASSERT_TRUE(QFile::rename(f.fileName(), popInbox(o, user) + QStringLiteral("/new/") + name));
}

// The mails Exim delivered for recipient (by their Envelope-to line).
QList<QByteArray> eximDelivered(const OtherServers& o, const QString& recipient)
{
    QList<QByteArray> mails;
    QDir d(o.delivered);
    for (const QString& name : d.entryList(QDir::Files)) {
        QFile f(d.filePath(name));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray raw = f.readAll();
        if (raw.contains("Envelope-to: " + recipient.toUtf8() + '\n'))
            mails << raw;
    }
    return mails;
}

// Exim delivers after it replied: waits until the count is reached (or a few seconds passed).
QList<QByteArray> eximDeliveredAtLeast(const OtherServers& o, const QString& recipient, int n)
{
    QElapsedTimer t;
    t.start();
    QList<QByteArray> mails = eximDelivered(o, recipient);
    while (mails.size() < n && t.elapsed() < 5000) {
        QThread::msleep(50);
        mails = eximDelivered(o, recipient);
    }
    return mails;
}

// An account on pop3d and Exim; TLS from the private CAs named in the account.
AccountRecord otherAccount(const MailServers& mail, const OtherServers& o, const QString& no,
                           int user, const QString& to)
{
    AccountRecord r = testAccount(mail, no, user, to);
    r.PopUserId = userName(user) + QStringLiteral("@test.example");
    r.PopPort = o.popPort;
    r.SmtpPort = o.smtpPort;
    r.UseSmtpAuth = QStringLiteral("1");
    r.SmtpAuthMethod = QStringLiteral("1");
    r.SmtpUser = userName(user);
    r.SmtpPassword = userPassword(user);
    emptyPop3d(o, user);
    return r;
}

void setConnection(const QString& no, const MailConnectionValues& values)
{
    QString error;
    ASSERT_TRUE(saveMailConnectionValues(no, values, &error)) << error.toStdString();
}

int logLinesContaining(const ProgramFolder& program, const QString& text)
{
    int n = 0;
    for (const LogRow& r : program.log())
        n += (r.sender.contains(text) || r.destination.contains(text)) ? 1 : 0;
    return n;
}

} // namespace

// UIDL and APOP collection, TLS from the first byte on a port of its own, delete after
// forwarding, each AUTH method, and a 550 for one of two recipients.
TEST(OtherServers, Pop3dAndEximForwardWithEveryAuthMethodAndDelete)
{
    QM_REQUIRE_OTHER_SERVERS(mail, o);
    ProgramFolder program;
    program.writeSettings(0);
    QList<AccountRecord> accounts;
    const QStringList methods = {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")};
    for (int k = 0; k < 3; ++k) {
        const QString no = QStringLiteral("0%1").arg(k + 1);
        const QString to = QStringLiteral("auth%1@dest.test").arg(k);
        AccountRecord a = otherAccount(mail, o, no, 60 + k, to);
        a.ForwardTo = to + QStringLiteral("\tgone@nouser.example");
        a.ForwardState = QStringLiteral("2");
        a.UseApop = k == 1 ? QStringLiteral("1") : QStringLiteral("0");
        a.PopPort = o.popTlsPort;
        a.SmtpAuthMethod = methods[k];
        accounts << a;
        setConnection(no, {{"PopSecurity", "tls"},
                           {"PopCaFile", o.popCa},
                           {"SmtpSecurity", "required"},
                           {"SmtpCaFile", o.smtpCa}});
        deliverPop3d(o, 60 + k, QStringLiteral("一通目"));
    }
    program.writeAccounts(accounts);
    const auto run = program.runOnce();
    ASSERT_EQ(run.exitCode, 0) << run.stdErr.toStdString() << program.logDump().toStdString();
    for (int k = 0; k < 3; ++k) {
        const QString to = QStringLiteral("auth%1@dest.test").arg(k);
        EXPECT_EQ(eximDeliveredAtLeast(o, to, 1).size(), 1) << program.logDump().toStdString();
        EXPECT_EQ(pop3dCount(o, 60 + k), 0) << "deleted after forwarding";
    }
    EXPECT_EQ(logLinesContaining(program, QStringLiteral("宛先エラー gone@nouser.example")), 3)
        << program.logDump().toStdString();
    ASSERT_EQ(program.runOnce().exitCode, 0);
    EXPECT_EQ(eximDelivered(o, QStringLiteral("auth0@dest.test")).size(), 1);
}

// A refused SMTP login is no verdict on the mail: nothing is lost, one line a cycle says what
// to fix, and once the password is right every held mail goes exactly once. Both pairs.
TEST(OtherServers, RefusedLoginHoldsTheMailUntilThePasswordIsCorrected)
{
    QM_REQUIRE_OTHER_SERVERS(mail, o);
    for (const bool exim : {false, true}) {
        SCOPED_TRACE(exim ? "pop3d + Exim" : "Dovecot + aiosmtpd");
        ProgramFolder program;
        program.writeSettings(0);
        const QString to =
            exim ? QStringLiteral("held-e@dest.test") : QStringLiteral("held-a@dest.test");
        const int user = exim ? 64 : 44;
        AccountRecord a =
            exim ? otherAccount(mail, o, "01", user, to) : testAccount(mail, "01", user, to);
        a.ForwardState = QStringLiteral("2");
        a.UseSmtpAuth = QStringLiteral("1");
        a.SmtpAuthMethod = QStringLiteral("2");
        a.SmtpUser = userName(user);
        a.SmtpPassword = QStringLiteral("changed-at-the-provider");
        program.writeAccounts({a});
        if (exim)
            setConnection("01", {{"PopCaFile", o.popCa}, {"SmtpCaFile", o.smtpCa}});
        for (const char* subject : {"一", "二"}) {
            if (exim)
                deliverPop3d(o, user, QString::fromUtf8(subject));
            else
                deliver(user, kSender, QString::fromUtf8(subject), QStringLiteral("本文\n"));
        }
        const auto count = [&] {
            return exim ? pop3dCount(o, user) : mailboxCount(userName(user));
        };
        const auto sent = [&] {
            return exim ? int(eximDelivered(o, to).size()) : int(receivedMails(to).size());
        };
        for (int cycle = 0; cycle < 2; ++cycle)
            ASSERT_EQ(program.runOnce().exitCode, 0) << program.logDump().toStdString();
        EXPECT_EQ(sent(), 0);
        EXPECT_EQ(count(), 2) << "nothing deleted";
        EXPECT_EQ(logLinesContaining(program, QStringLiteral("535")), 2)
            << "one line an account a cycle\n"
            << program.logDump().toStdString();

        a.SmtpPassword = userPassword(user);
        program.writeAccounts({a});
        ASSERT_EQ(program.runOnce().exitCode, 0);
        ASSERT_EQ(program.runOnce().exitCode, 0);
        if (exim)
            eximDeliveredAtLeast(o, to, 2);
        EXPECT_EQ(sent(), 2) << program.logDump().toStdString();
        EXPECT_EQ(count(), 0);
    }
}

// Connection security: "required" refuses a server that offers no TLS before any password
// goes; TLS from the first byte on any port; a self-signed or wrongly named certificate is
// refused with its fingerprint, and trusted once pinned.
TEST(OtherServers, ConnectionSecurityAndTrust)
{
    QM_REQUIRE_OTHER_SERVERS(mail, o);
    ProgramFolder program;
    program.writeSettings(0);
    const QString to = QStringLiteral("trust@dest.test");
    AccountRecord a = otherAccount(mail, o, "01", 65, to);
    a.PopPort = o.popPlainPort;
    a.SmtpPort = o.smtpPlainPort;
    program.writeAccounts({a});
    deliverPop3d(o, 65, QStringLiteral("平文"));
    setConnection("01", {{"PopSecurity", "required"}, {"SmtpSecurity", "required"}});
    ASSERT_EQ(program.runOnce().exitCode, 0);
    EXPECT_EQ(logLinesContaining(program, QStringLiteral("暗号化通信を開始できません")), 1)
        << program.logDump().toStdString();
    EXPECT_EQ(eximDelivered(o, to).size(), 0);

    // POP3 over its own TLS port; SMTP on the plain port still required: the mail is held.
    a.PopPort = o.popTlsPort;
    program.writeAccounts({a});
    setConnection("01",
                  {{"PopSecurity", "tls"}, {"PopCaFile", o.popCa}, {"SmtpSecurity", "required"}});
    ASSERT_EQ(program.runOnce().exitCode, 0);
    EXPECT_EQ(eximDelivered(o, to).size(), 0) << program.logDump().toStdString();

    // A self-signed certificate: refused, its fingerprint logged and kept for the editor.
    a.SmtpPort = o.smtpSelfPort;
    program.writeAccounts({a});
    setConnection("01", {{"PopSecurity", "tls"}, {"PopCaFile", o.popCa}});
    ASSERT_EQ(program.runOnce().exitCode, 0);
    EXPECT_EQ(eximDelivered(o, to).size(), 0);
    EXPECT_EQ(logLinesContaining(program, QStringLiteral("証明書の指紋 (SHA-256)")), 1)
        << program.logDump().toStdString();
    const QString seen = readMailConnectionValues("01").value("SmtpRefusedPin");
    ASSERT_EQ(seen.size(), 95) << "AB:CD:... of 32 bytes";
    setConnection("01", {{"PopSecurity", "tls"}, {"PopCaFile", o.popCa}, {"SmtpPin", seen}});
    ASSERT_EQ(program.runOnce().exitCode, 0);
    EXPECT_EQ(eximDeliveredAtLeast(o, to, 1).size(), 1) << program.logDump().toStdString();

    // A certificate from the trusted CA for another name: refused, trusted when pinned.
    deliverPop3d(o, 65, QStringLiteral("別名"));
    a.PopPort = o.popWrongPort;
    program.writeAccounts({a});
    setConnection("01", {{"PopSecurity", "tls"}, {"PopCaFile", o.popCa}, {"SmtpPin", seen}});
    ASSERT_EQ(program.runOnce().exitCode, 0);
    const QString popSeen = readMailConnectionValues("01").value("PopRefusedPin");
    ASSERT_FALSE(popSeen.isEmpty()) << program.logDump().toStdString();
    setConnection("01", {{"PopSecurity", "tls"}, {"PopPin", popSeen}, {"SmtpPin", seen}});
    ASSERT_EQ(program.runOnce().exitCode, 0);
    EXPECT_EQ(eximDeliveredAtLeast(o, to, 2).size(), 2) << program.logDump().toStdString();
}

// Exim queues what comes after the tenth message on one connection: 25 forwards in one cycle
// must all be delivered at once.
TEST(OtherServers, TwentyFiveForwardsThroughEximAreAllDeliveredAtOnce)
{
    QM_REQUIRE_OTHER_SERVERS(mail, o);
    ProgramFolder program;
    program.writeSettings(0);
    const QString to = QStringLiteral("many@dest.test");
    AccountRecord a = otherAccount(mail, o, "01", 66, to);
    program.writeAccounts({a});
    setConnection("01", {{"PopCaFile", o.popCa}, {"SmtpCaFile", o.smtpCa}});
    for (int k = 0; k < 25; ++k)
        deliverPop3d(o, 66, QStringLiteral("注文 %1").arg(k));
    ASSERT_EQ(program.runOnce().exitCode, 0);
    EXPECT_EQ(eximDeliveredAtLeast(o, to, 25).size(), 25) << program.logDump().toStdString();
}

// A forward the server refuses for its size still tells the phone that a mail came: the text
// goes, with a line for each file left out. Exim's bound (2 MB), and the account's own.
TEST(OtherServers, TooBigForwardGoesAsTextNamingTheLeftOutFiles)
{
    QM_REQUIRE_OTHER_SERVERS(mail, o);
    ProgramFolder program;
    program.writeSettings(0);
    const QString toE = QStringLiteral("big-e@dest.test");
    const QString toA = QStringLiteral("big-a@dest.test");
    AccountRecord e = otherAccount(mail, o, "01", 67, toE);
    AccountRecord s = testAccount(mail, "02", 45, toA);
    program.writeAccounts({e, s});
    setConnection("01", {{"PopCaFile", o.popCa}, {"SmtpCaFile", o.smtpCa}});
    setConnection("02", {{"SmtpSizeLimit", "100"}});
    deliverPop3d(o, 67, QStringLiteral("図面"),
                 {{QStringLiteral("big.bin"), QByteArray(3 * 1024 * 1024, 'x')}});
    deliver(45, kSender, QStringLiteral("写真"), QStringLiteral("本文\n"),
            {{QStringLiteral("photo.jpg"), QByteArray(200 * 1024, 'y')}});
    const auto run = program.runOnce();
    ASSERT_EQ(run.exitCode, 0) << run.stdErr.toStdString() << program.logDump().toStdString();
    const auto viaExim = eximDeliveredAtLeast(o, toE, 1);
    ASSERT_EQ(viaExim.size(), 1) << program.logDump().toStdString();
    ASSERT_LT(viaExim.first().size(), 100000) << program.logDump().toStdString();
    const ParsedMail pe = parseMail(viaExim.first());
    EXPECT_TRUE(pe.attachments.isEmpty());
    EXPECT_TRUE(pe.body.contains(QStringLiteral("<添付ファイル省略> big.bin (3.0 MB)")))
        << pe.body.toStdString();
    const auto viaA = receivedMails(toA);
    ASSERT_EQ(viaA.size(), 1) << program.logDump().toStdString();
    const ParsedMail pa = parseMail(viaA.first().raw);
    EXPECT_TRUE(pa.attachments.isEmpty());
    EXPECT_TRUE(pa.body.contains(QStringLiteral("<添付ファイル省略> photo.jpg (200 KB)")))
        << pa.body.toStdString();
    EXPECT_EQ(logLinesContaining(program, QStringLiteral("添付ファイルを省いて送ります")), 2);
}
