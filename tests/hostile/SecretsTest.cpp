// Passwords never leave the account file: every way collection and sending can fail is run
// with known passwords, and none of them may show in the log, a message box (which the
// headless program writes to standard error and the log) or standard error. Senders whose
// From header is folded the way common mail programs fold it go to the configured addresses
// only. What the program writes is private to its user.

#include "data/Paths.h"
#include "support/ProgramFolder.h"

#include <QDirIterator>
#include <QHostAddress>
#include <QTcpServer>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace qm;
using namespace qm::test;

namespace {

const QString kPopSecret = QStringLiteral("Pop-Secret-3141");
const QString kSmtpSecret = QStringLiteral("Smtp-Secret-1618");
const QString kSmtpRight = QStringLiteral("pa:ss:word"); // the test server's password for "colon"

// "山田 太郎" in ISO-2022-JP, folded onto a TAB line with the address, as Outlook writes it.
QByteArray foldedFromMail(const QByteArray& subject)
{
    const QByteArray name = QByteArray::fromHex("1b24423b3345441b2842201b244242404f3a1b2842");
    return "From: =?iso-2022-jp?B?" + name.toBase64() +
           "?=\r\n\t<yamada@sender.test>\r\nTo: box@quillmarc.test\r\nSubject: " + subject +
           "\r\nDate: Mon, 07 Dec 2026 10:00:00 +0900\r\n\r\nhello\r\n";
}

void put(int user, const QByteArray& raw)
{
    QString error;
    ASSERT_FALSE(deliverRaw(userName(user), raw, &error).isEmpty()) << error.toStdString();
}

AccountRecord withSmtpLogin(AccountRecord a, const QString& password, const char* method)
{
    a.UseSmtpAuth = QStringLiteral("1");
    a.SmtpAuthMethod = QString::fromLatin1(method);
    a.SmtpUser = QStringLiteral("colon");
    a.SmtpPassword = password;
    return a;
}

} // namespace

TEST(Secrets, NoFailureOfCollectionOrSendingShowsAPassword)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    ProgramFolder program;
    program.writeSettings(1);
    const int closed = closedPort();

    QList<AccountRecord> accounts;
    // Collection: a wrong password, APOP where the server has none, no server at all.
    AccountRecord wrongPop = testAccount(servers, "01", 30, QStringLiteral("s30@dest.test"));
    wrongPop.PopPassword = kPopSecret;
    AccountRecord noApop = testAccount(servers, "02", 31, QStringLiteral("s31@dest.test"));
    noApop.PopPassword = kPopSecret;
    noApop.PopPort = QString::number(servers.pop3NoApopPort);
    noApop.UseApop = QStringLiteral("1");
    AccountRecord noPop = testAccount(servers, "03", 32, QStringLiteral("s32@dest.test"));
    noPop.PopPassword = kPopSecret;
    noPop.PopPort = QString::number(closed);
    accounts << wrongPop << noApop << noPop;
    // Sending: a wrong password by each method, a server that is not there, a refused
    // sender domain, a refused recipient, and a sender folded with a TAB.
    const char* methods[] = {"1", "2", "3"};
    for (int i = 0; i < 3; ++i) {
        const int user = 33 + i;
        AccountRecord a = withSmtpLogin(testAccount(servers, QStringLiteral("1%1").arg(i), user,
                                                    QStringLiteral("s%1@dest.test").arg(user)),
                                        kSmtpSecret, methods[i]);
        accounts << a;
    }
    AccountRecord noSmtp = withSmtpLogin(
        testAccount(servers, "20", 36, QStringLiteral("s36@dest.test")), kSmtpRight, "1");
    noSmtp.SmtpPort = QString::number(closed);
    AccountRecord refusedSender = withSmtpLogin(
        testAccount(servers, "21", 37, QStringLiteral("s37@dest.test")), kSmtpRight, "2");
    refusedSender.SourceAddress = QStringLiteral("me@") + servers.refusedDomain;
    AccountRecord refusedRecipient = withSmtpLogin(
        testAccount(servers, "22", 38, QStringLiteral("s38@dest.test")), kSmtpRight, "3");
    refusedRecipient.ForwardTo = QStringLiteral("gone@") + servers.unknownDomain;
    AccountRecord asSender = withSmtpLogin(
        testAccount(servers, "23", 39, QStringLiteral("s39@dest.test")), kSmtpRight, "1");
    asSender.ForwardAsSender = QStringLiteral("1");
    asSender.PopPort = QString::number(servers.pop3NoApopPort); // no TLS: collection works below
    accounts << noSmtp << refusedSender << refusedRecipient << asSender;
    program.writeAccounts(accounts);
    for (int user = 33; user <= 39; ++user)
        put(user, foldedFromMail("secret " + QByteArray::number(user)));

    QString output;
    output += program.runOnce().stdErr;
    // The same servers through a CA that did not sign them: TLS fails on both sides.
    put(39, foldedFromMail("secret again"));
    qputenv("QM_CA_FILE", servers.otherCaFile.toLocal8Bit());
    output += program.runOnce().stdErr;
    qputenv("QM_CA_FILE", servers.caFile.toLocal8Bit());

    const QString log = program.logDump();
    EXPECT_TRUE(log.contains(QStringLiteral("ログイン"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("535"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("POP3サーバー")) &&
                log.contains(QStringLiteral("SMTPサーバー")) &&
                log.count(QStringLiteral("証明書")) >= 2)
        << log.toStdString();
    for (const QString& secret : {kPopSecret, kSmtpSecret, kSmtpRight}) {
        EXPECT_FALSE(log.contains(secret)) << secret.toStdString() << "\n" << log.toStdString();
        EXPECT_FALSE(output.contains(secret)) << secret.toStdString() << "\n"
                                              << output.toStdString();
    }
    // The TAB-folded sender went out as the sender, to the configured address only.
    const QList<ReceivedMail> sent = receivedMails(QStringLiteral("s39@dest.test"));
    ASSERT_EQ(sent.size(), 1) << log.toStdString();
    EXPECT_EQ(sent.first().mailFrom, QStringLiteral("yamada@sender.test"));
    EXPECT_EQ(sent.first().rcptTos, QStringList{QStringLiteral("s39@dest.test")});
}

TEST(Secrets, AFoldedSenderIsNamedInTheTextAndTheReplyAddressOnly)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    ProgramFolder program;
    program.writeSettings(1);
    const QString to = QStringLiteral("s40@dest.test");
    program.writeAccounts({testAccount(servers, "01", 40, to)});
    put(40, foldedFromMail("folded"));

    ASSERT_EQ(program.runOnce().exitCode, 0) << program.logDump().toStdString();
    const QList<ReceivedMail> sent = receivedMails(to);
    ASSERT_EQ(sent.size(), 1) << program.logDump().toStdString();
    EXPECT_EQ(sent.first().rcptTos, QStringList{to});
    const ParsedMail mail = parseMail(sent.first().raw);
    EXPECT_EQ(mail.replyTo, QStringLiteral("山田 太郎 <yamada@sender.test>"));
    EXPECT_TRUE(mail.body.startsWith(QStringLiteral("山田 太郎 <yamada@sender.test>\r\n")))
        << mail.body.toStdString();
}

// Data/ holds passwords and the work folders other people's mail: whatever the mask the
// programs are started with, what they create is their user's alone.
TEST(Secrets, EverythingTheProgramWritesIsPrivateAndSharedDataIsWarnedOf)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    const mode_t before = ::umask(022);
    ProgramFolder program; // Data/ made by this test with 0755: the program must say so
    program.writeSettings(1);
    const QString to = QStringLiteral("private25@dest.test");
    AccountRecord a = testAccount(servers, "01", 25, to);
    a.FaxNumbers = QStringLiteral("0312345678");
    program.writeAccounts({a});
    deliver(25, QStringLiteral("山田 <yamada@sender.test>"), QStringLiteral("資料"),
            QStringLiteral("添付します\n"),
            {{QStringLiteral("資料.txt"), QByteArray("memo\r\n"), QStringLiteral("text/plain")}});
    ASSERT_EQ(program.runOnce().exitCode, 0) << program.logDump().toStdString();
    int warnings = 0;
    for (const LogRow& r : program.log())
        warnings += r.sender.startsWith(QStringLiteral("警告")) ? 1 : 0;
    EXPECT_EQ(warnings, 1) << program.logDump().toStdString();

    // Mended: no more warnings; and a rewrite takes away what others could read.
    ::chmod(QFile::encodeName(filePaths().dataDir).constData(), 0700);
    ::chmod(QFile::encodeName(filePaths().accountFile).constData(), 0600);
    ::chmod(QFile::encodeName(filePaths().settingsFile).constData(), 0600);
    ::chmod(QFile::encodeName(filePaths().logFile).constData(), 0644);
    deliver(25, QStringLiteral("山田 <yamada@sender.test>"), QStringLiteral("二通目"),
            QStringLiteral("本文\n"));
    ASSERT_EQ(program.runOnce().exitCode, 0) << program.logDump().toStdString();
    ::umask(before);
    warnings = 0;
    for (const LogRow& r : program.log())
        warnings += r.sender.startsWith(QStringLiteral("警告")) ? 1 : 0;
    EXPECT_EQ(warnings, 1) << program.logDump().toStdString();
    ASSERT_EQ(receivedMails(to).size(), 2);

    QDirIterator it(program.path(),
                    QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    int seen = 0;
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = QDir(program.path()).relativeFilePath(path);
        if (relative == u"quillmarc")
            continue;
        struct stat st;
        ASSERT_EQ(::lstat(QFile::encodeName(path).constData(), &st), 0);
        const mode_t mode = st.st_mode & 0777;
        EXPECT_EQ(mode, S_ISDIR(st.st_mode) ? 0700u : 0600u)
            << relative.toStdString() << " " << std::oct << mode;
        ++seen;
    }
    EXPECT_GT(seen, 10) << "the work folders, the log, the fax spool";
}
