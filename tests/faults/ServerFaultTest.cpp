#include "FaultProxy.h"
#include "support/ProgramFolder.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

using namespace qm;
using namespace qm::test;

namespace {

const QString kSender = QStringLiteral("山田 <yamada@sender.test>");

// Dead servers are given up after a few seconds instead of half a minute.
const bool kShortTimeouts =
    (qputenv("QM_MAIL_CONNECT_TIMEOUT", "3"), qputenv("QM_MAIL_IDLE_TIMEOUT", "3"), true);

// Account 01 reaches its servers through the proxy, account 02 directly. The mailboxes are
// this file's alone: ctest runs other test programs at the same time.
struct TwoAccounts
{
    TwoAccounts(const MailServers& servers, ProgramFolder& program, FaultProxy* pop,
                FaultProxy* smtp, int user, const QString& state = QStringLiteral("1"))
        : to1(QStringLiteral("fault%1@dest.test").arg(user)),
          to2(QStringLiteral("fault%1@dest.test").arg(user + 1)), user1(user), user2(user + 1)
    {
        AccountRecord a = testAccount(servers, "01", user1, to1);
        a.ForwardState = state;
        if (pop) {
            a.PopPort = QString::number(pop->port());
        } else {
            a.PopPort = QString::number(servers.pop3NoApopPort);
        }
        if (smtp)
            a.SmtpPort = QString::number(smtp->port());
        AccountRecord b = testAccount(servers, "02", user2, to2);
        name1 = a.AccountName;
        name2 = b.AccountName;
        program.writeAccounts({a, b});
        deliver(user1, kSender, QStringLiteral("一番"), QStringLiteral("経由の本文\n"));
        deliver(user2, kSender, QStringLiteral("二番"), QStringLiteral("直接の本文\n"));
    }
    QString to1, to2, name1, name2;
    int user1, user2;
};

int rowsOf(const ProgramFolder& program, const QString& account)
{
    int n = 0;
    for (const LogRow& r : program.log())
        n += r.account == account ? 1 : 0;
    return n;
}

// A line for the account that names neither a received number nor a forward: the error.
bool hasErrorLine(const ProgramFolder& program, const QString& account)
{
    for (const LogRow& r : program.log()) {
        if (r.account == account && !r.sender.startsWith(u'№') && !r.sender.contains(u'@') &&
            !r.sender.startsWith(QStringLiteral("受信メール")))
            return true;
    }
    return false;
}

} // namespace

TEST(ServerFaults, PopDroppedDuringRetrIsLoggedAndTheMessageComesNextCycle)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    FaultProxy pop(servers.pop3Host, servers.pop3NoApopPort, QStringLiteral("drop-retr"));
    ASSERT_TRUE(pop.started());
    ProgramFolder program;
    program.writeSettings(1);
    TwoAccounts t(servers, program, &pop, nullptr, 90);

    program.runOnce();
    EXPECT_TRUE(hasErrorLine(program, t.name1)) << program.logDump().toStdString();
    EXPECT_TRUE(receivedMails(t.to1).isEmpty());
    EXPECT_EQ(receivedMails(t.to2).size(), 1) << program.logDump().toStdString();

    pop.setMode(QStringLiteral("pass"));
    const auto run = program.runOnce();
    EXPECT_EQ(run.exitCode, 0) << run.stdErr.toStdString();
    EXPECT_EQ(receivedMails(t.to1).size(), 1) << program.logDump().toStdString();
    EXPECT_EQ(receivedMails(t.to2).size(), 1);
}

TEST(ServerFaults, ADeletionLostWithItsConnectionIsRetriedWithoutForwardingAgain)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    FaultProxy pop(servers.pop3Host, servers.pop3NoApopPort, QStringLiteral("pass"));
    ASSERT_TRUE(pop.started());
    ProgramFolder program;
    program.writeSettings(1);
    TwoAccounts t(servers, program, &pop, nullptr, 92, QStringLiteral("2"));

    program.runOnce();
    ASSERT_EQ(receivedMails(t.to1).size(), 1) << program.logDump().toStdString();
    EXPECT_EQ(mailboxCount(userName(t.user1)), 0);

    deliver(t.user1, kSender, QStringLiteral("三番"), QStringLiteral("もう一通\n"));
    clearReceivedMails(t.to1);
    // The deletion's connection dies right after DELE, so the server never commits it;
    // the collection before it has no DELE and passes.
    pop.setMode(QStringLiteral("drop-dele"));
    program.runOnce();
    EXPECT_EQ(receivedMails(t.to1).size(), 1) << program.logDump().toStdString();
    EXPECT_TRUE(hasErrorLine(program, t.name1)) << program.logDump().toStdString();
    EXPECT_EQ(mailboxCount(userName(t.user1)), 1);
    EXPECT_EQ(mailboxCount(userName(t.user2)), 1); // account 02 forwards without deleting

    pop.setMode(QStringLiteral("pass"));
    program.runOnce();
    // The next cycle deletes it, and does not forward it again.
    EXPECT_EQ(mailboxCount(userName(t.user1)), 0) << program.logDump().toStdString();
    program.runOnce();
    EXPECT_EQ(receivedMails(t.to1).size(), 1) << program.logDump().toStdString();
}

TEST(ServerFaults, SmtpTemporaryRefusalAfterDataIsRetriedNextCycle)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    FaultProxy smtp(servers.smtpHost, servers.smtpPort, QStringLiteral("refuse-data"));
    ASSERT_TRUE(smtp.started());
    ProgramFolder program;
    program.writeSettings(1);
    TwoAccounts t(servers, program, nullptr, &smtp, 64);

    program.runOnce();
    EXPECT_TRUE(receivedMails(t.to1).isEmpty());
    EXPECT_EQ(receivedMails(t.to2).size(), 1);
    bool refusalLogged = false;
    for (const LogRow& r : program.log())
        refusalLogged = refusalLogged || (r.account == t.name1 && r.destination.startsWith("451"));
    EXPECT_TRUE(refusalLogged) << program.logDump().toStdString();

    smtp.setMode(QStringLiteral("pass"));
    const auto run = program.runOnce();
    EXPECT_EQ(run.exitCode, 0) << run.stdErr.toStdString();
    EXPECT_EQ(receivedMails(t.to1).size(), 1) << program.logDump().toStdString();
    EXPECT_EQ(receivedMails(t.to2).size(), 1);
}

TEST(ServerFaults, SilentServersAreGivenUpAndTheOtherAccountIsServed)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    FaultProxy pop(servers.pop3Host, servers.pop3NoApopPort, QStringLiteral("silent"));
    FaultProxy smtp(servers.smtpHost, servers.smtpPort, QStringLiteral("silent"));
    ASSERT_TRUE(pop.started() && smtp.started());
    ProgramFolder program;
    program.writeSettings(1);
    TwoAccounts t(servers, program, &pop, nullptr, 66);

    QElapsedTimer clock;
    clock.start();
    program.runOnce(60000);
    EXPECT_LT(clock.elapsed(), 30000);
    EXPECT_TRUE(hasErrorLine(program, t.name1)) << program.logDump().toStdString();
    EXPECT_EQ(receivedMails(t.to2).size(), 1);

    // Collection works again, but now the SMTP server is the silent one.
    pop.setMode(QStringLiteral("pass"));
    AccountRecord a = *program.storedAccount("01");
    a.SmtpPort = QString::number(smtp.port());
    AccountRecord b = *program.storedAccount("02");
    program.writeAccounts({a, b});
    program.runOnce(60000);
    EXPECT_TRUE(receivedMails(t.to1).isEmpty());
    EXPECT_GE(rowsOf(program, t.name1), 2);

    smtp.setMode(QStringLiteral("pass"));
    program.runOnce();
    EXPECT_EQ(receivedMails(t.to1).size(), 1) << program.logDump().toStdString();
    EXPECT_EQ(receivedMails(t.to2).size(), 1);
}
