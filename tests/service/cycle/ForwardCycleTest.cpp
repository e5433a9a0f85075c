#include "data/Paths.h"
#include "data/TextCodec.h"
#include "support/ProgramFolder.h"

#include <QFile>
#include <QTcpServer>
#include <gtest/gtest.h>

using namespace qm;
using namespace qm::test;

namespace {

const QString kSender = QStringLiteral("山田 <yamada@sender.test>");
const QString kAccount = QStringLiteral("試験01");

} // namespace

TEST(ForwardCycle, EachMessageIsHandledOnceAndNumberingRestartsAfterTheMailboxEmpties)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    ProgramFolder program;
    program.writeSettings(1);
    const QString to = QStringLiteral("once41@dest.test");
    program.writeAccounts({testAccount(servers, "01", 41, to)});
    // A quoted header in the text is text like any other.
    deliver(41, kSender, QStringLiteral("見積"),
            QStringLiteral("一通目の本文\n> From: 鈴木\n> Body: 引用の本文\n"));
    deliver(41, QStringLiteral("MAILER-DAEMON@sender.test"), QStringLiteral("Undelivered"),
            QStringLiteral("bounce\n"));
    deliver(41, kSender, QStringLiteral("見積"), QStringLiteral("二通目の本文\n"));

    for (int cycle = 1; cycle <= 3; ++cycle) {
        const auto run = program.runOnce();
        ASSERT_EQ(run.exitCode, 0) << run.stdErr.toStdString() << program.logDump().toStdString();
    }
    const QList<ReceivedMail> sent = receivedMails(to);
    ASSERT_EQ(sent.size(), 2) << program.logDump().toStdString();
    int quotedKept = 0;
    for (const ReceivedMail& m : sent) {
        const ParsedMail p = parseMail(m.raw);
        EXPECT_EQ(m.mailFrom, QStringLiteral("u41@quillmarc.test"));
        EXPECT_TRUE(p.replyTo.contains(QStringLiteral("yamada@sender.test")))
            << p.replyTo.toStdString();
        EXPECT_EQ(p.subject, QStringLiteral("見積"));
        EXPECT_TRUE(p.body.startsWith(QStringLiteral("山田 <yamada@sender.test>")))
            << p.body.toStdString();
        quotedKept += p.body.contains(QStringLiteral("> From: 鈴木")) &&
                              p.body.contains(QStringLiteral("> Body: 引用の本文"))
                          ? 1
                          : 0;
    }
    EXPECT_EQ(quotedKept, 1);
    // The bounce got no number; the two others got 00001 and 00002, each once.
    EXPECT_EQ(program.logCount(kAccount, "№00001", "受信"), 1);
    EXPECT_EQ(program.logCount(kAccount, "№00002", "受信"), 1);
    EXPECT_EQ(program.logCount(kAccount, "№00003", "受信"), 0);
    EXPECT_EQ(program.logCount(kAccount, "№00001", "転送条件一致"), 1);
    EXPECT_EQ(program.logCount(kAccount, "u41@quillmarc.test", "once41@dest.test / "), 2);
    // Cycles 2 and 3 saw all three as handled.
    int handled = 0;
    for (const LogRow& r : program.log())
        handled += r.destination == u"受信済み" ? 1 : 0;
    EXPECT_EQ(handled, 6);

    emptyMailbox(userName(41));
    ASSERT_EQ(program.runOnce().exitCode, 0);
    EXPECT_EQ(program.logCount(kAccount, "受信メールなし"), 1);
    deliver(41, kSender, QStringLiteral("再開"), QStringLiteral("三通目\n"));
    ASSERT_EQ(program.runOnce().exitCode, 0);
    EXPECT_EQ(program.logCount(kAccount, "№00001", "受信"), 2) << program.logDump().toStdString();
    EXPECT_EQ(receivedMails(to).size(), 3);
}

TEST(ForwardCycle, DeleteModeRemovesEveryForwardedMessageAsPositionsMoveUp)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    ProgramFolder program;
    program.writeSettings(0);
    const QString to = QStringLiteral("delete42@dest.test");
    AccountRecord a = testAccount(servers, "01", 42, to);
    a.ForwardState = QStringLiteral("2");
    a.ForwardAsSender = QStringLiteral("1");
    a.FilterSubject = QStringLiteral("転送\t");
    program.writeAccounts({a});
    deliver(42, kSender, QStringLiteral("転送1"), QStringLiteral("a\n"));
    deliver(42, kSender, QStringLiteral("残す"), QStringLiteral("b\n"));
    deliver(42, kSender, QStringLiteral("転送2"), QStringLiteral("c\n"));
    deliver(42, kSender, QStringLiteral("転送3"), QStringLiteral("d\n"));

    const auto run = program.runOnce();
    ASSERT_EQ(run.exitCode, 0) << run.stdErr.toStdString();
    QStringList subjects;
    for (const ReceivedMail& m : receivedMails(to)) {
        subjects << parseMail(m.raw).subject;
        EXPECT_EQ(m.mailFrom, QStringLiteral("yamada@sender.test")) << "sent as the sender";
    }
    subjects.sort();
    EXPECT_EQ(subjects, QStringList({"転送1", "転送2", "転送3"}));
    // Only the message that did not match is left.
    EXPECT_EQ(mailboxCount(userName(42)), 1) << program.logDump().toStdString();
    ASSERT_EQ(program.runOnce().exitCode, 0);
    EXPECT_EQ(receivedMails(to).size(), 3);
}

TEST(ForwardCycle, MobileEditingSplitsIntoNumberedPartsWithoutFiles)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    ProgramFolder program;
    program.writeSettings(0);
    const QString to = QStringLiteral("mobile43@dest.test");
    AccountRecord a = testAccount(servers, "01", 43, to);
    a.PhoneEditing = QStringLiteral("1");
    a.SplitChars = QStringLiteral("10");
    a.SplitMaxMails = QStringLiteral("3");
    a.NumberSubjects = QStringLiteral("1");
    a.DropSpaces = a.DropLineBreaks = a.DropSymbols = QStringLiteral("1");
    program.writeAccounts({a});
    deliver(
        43, kSender, QStringLiteral("会議"),
        QStringLiteral("━━お知らせ━━\n明日の  会議は10時から3階です。\n"),
        {{QStringLiteral("report.doc"), QByteArray("DOC"), QStringLiteral("application/msword")}});

    const auto run = program.runOnce();
    ASSERT_EQ(run.exitCode, 0) << run.stdErr.toStdString();
    QList<ParsedMail> parts;
    for (const ReceivedMail& m : receivedMails(to))
        parts << parseMail(m.raw);
    ASSERT_EQ(parts.size(), 3) << program.logDump().toStdString();
    std::sort(parts.begin(), parts.end(),
              [](const ParsedMail& x, const ParsedMail& y) { return x.subject < y.subject; });
    const QStringList expected = {QStringLiteral("お知らせ明日の会議は"),
                                  QStringLiteral("10時から3階です。"),
                                  QStringLiteral("<添付ファイル>")};
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(parts[k].subject, QStringLiteral("会議 %1/3").arg(k + 1));
        EXPECT_TRUE(parts[k].body.startsWith(QStringLiteral("山田 <yamada@sender.test>")))
            << parts[k].body.toStdString();
        EXPECT_TRUE(parts[k].body.contains(expected[k])) << parts[k].body.toStdString();
        EXPECT_TRUE(parts[k].attachments.isEmpty());
        EXPECT_FALSE(parts[k].body.contains(QStringLiteral("000011"))) << "beyond three parts";
    }
    // The index keeps the attachment for a later request by its number.
    const auto index = readTextLines(program.path() + "/MlTmp01/Data/AttachNo.txt");
    ASSERT_TRUE(index.has_value());
    ASSERT_EQ(index->size(), 1);
    EXPECT_TRUE(index->first().startsWith(QStringLiteral("\"000011\",\"")));
    EXPECT_TRUE(index->first().endsWith(QStringLiteral("report.doc\"")));
}

TEST(ForwardCycle, A521RefusalIsLoggedWithAdviceAndNotRetried)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    ProgramFolder program;
    program.writeSettings(0);
    const QString to = QStringLiteral("refused44@dest.test");
    AccountRecord a = testAccount(servers, "01", 44, to);
    a.SourceAddress = QStringLiteral("office@") + servers.refusedDomain;
    program.writeAccounts({a});
    deliver(44, kSender, QStringLiteral("件名"), QStringLiteral("本文\n"));

    ASSERT_EQ(program.runOnce().exitCode, 0);
    ASSERT_EQ(program.runOnce().exitCode, 0);
    EXPECT_TRUE(receivedMails(to).isEmpty());
    const QList<LogRow> log = program.log();
    int refusals = 0;
    int at = -1;
    for (int i = 0; i < log.size(); ++i) {
        if (log[i].destination.startsWith(QStringLiteral("521"))) {
            ++refusals;
            at = i;
        }
    }
    ASSERT_EQ(refusals, 1) << program.logDump().toStdString();
    EXPECT_EQ(log[at].account, kAccount);
    EXPECT_EQ(log[at].sender, a.SourceAddress);
    // Newest first: the four advice lines stand above the refusal, in order.
    ASSERT_GE(at, 4);
    EXPECT_EQ(log[at - 1].sender,
              QStringLiteral("プロバイダは、他のドメインでのメール送信を許可していません。")
                  .remove(u','));
    EXPECT_EQ(log[at - 1].account, kAccount);
    EXPECT_EQ(log[at - 3].sender, QStringLiteral("　　　　又は"));
    EXPECT_TRUE(log[at - 4].sender.endsWith(QStringLiteral("をオフにしてください。")));
    EXPECT_TRUE(log[at - 4].account.isEmpty());
}

TEST(ForwardCycle, AFailedSendIsReportedAndTriedAgainNextCycle)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    ProgramFolder program;
    program.writeSettings(0);
    const QString to = QStringLiteral("retry45@dest.test");
    AccountRecord a = testAccount(servers, "01", 45, to);
    a.ForwardState = QStringLiteral("2");
    a.SmtpPort = QString::number(closedPort());
    program.writeAccounts({a});
    deliver(45, kSender, QStringLiteral("再送"), QStringLiteral("本文\n"));

    const auto failed = program.runOnce();
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_FALSE(failed.stdErr.isEmpty());
    EXPECT_TRUE(receivedMails(to).isEmpty());
    EXPECT_EQ(mailboxCount(userName(45)), 1) << "a failed send never deletes the message";

    a.SmtpPort = QString::number(servers.smtpPort);
    program.writeAccounts({a});
    const auto retried = program.runOnce();
    EXPECT_EQ(retried.exitCode, 0) << retried.stdErr.toStdString();
    ASSERT_EQ(receivedMails(to).size(), 1) << program.logDump().toStdString();
    EXPECT_EQ(parseMail(receivedMails(to).first().raw).subject, QStringLiteral("再送"));
    EXPECT_EQ(mailboxCount(userName(45)), 0);
}

TEST(ForwardCycle, ABadAccountLineIsLoggedAndTheOthersAreServed)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    ProgramFolder program;
    program.writeSettings(0);
    const QString to = QStringLiteral("bad46@dest.test");
    AccountRecord good = testAccount(servers, "07", 46, to);
    AccountRecord badSplit = good;
    badSplit.AccountNo = QStringLiteral("06");
    badSplit.PhoneEditing = QStringLiteral("1"); // without it the split values play no part
    badSplit.SplitChars = QStringLiteral("十");
    AccountRecord stray = good;
    stray.AccountNo = QStringLiteral("08");
    stray.ForwardState = QStringLiteral("5"); // never written by anyone: counts as off
    stray.ForwardTo = QStringLiteral("stray46@dest.test");
    clearReceivedMails(stray.ForwardTo);
    program.writeAccountLines({QStringLiteral("\"05\",\"短い行\",\"1\",\"\",\"\""),
                               buildReplacedLine(badSplit), buildReplacedLine(good),
                               buildReplacedLine(stray)});
    deliver(46, kSender, QStringLiteral("届く"), QStringLiteral("本文\n"));

    const auto run = program.runOnce();
    EXPECT_EQ(run.exitCode, 0) << run.stdErr.toStdString();
    EXPECT_EQ(receivedMails(to).size(), 1) << program.logDump().toStdString();
    EXPECT_TRUE(receivedMails(stray.ForwardTo).isEmpty());
    EXPECT_EQ(program.logCount(QStringLiteral("アカウント番号05"),
                               QStringLiteral("アカウント設定エラー")),
              1);
    EXPECT_EQ(program.logCount(QStringLiteral("アカウント番号06"),
                               QStringLiteral("アカウント設定エラー")),
              1);
}

// Forwarding as the sender needs a sender a server takes; without one the mail goes out from
// the account's own address instead of not at all.
TEST(ForwardCycle, AMessageWithoutAUsableSenderGoesOutFromTheAccountAddress)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    ProgramFolder program;
    program.writeSettings(0);
    const QString to = QStringLiteral("nosender29@dest.test");
    AccountRecord a = testAccount(servers, "01", 29, to);
    a.ForwardAsSender = QStringLiteral("1");
    program.writeAccounts({a});
    QString error;
    for (const QByteArray& from : {QByteArray(), QByteArray("From: =?koi8-r?B?8NLJ18XU?=\r\n"),
                                   QByteArray("From: <Postmaster\\@example.com@xxx.com>\r\n")}) {
        ASSERT_FALSE(
            deliverRaw(userName(29), from + "Subject: s\r\n\r\nbody\r\n", &error).isEmpty())
            << error.toStdString();
    }

    ASSERT_EQ(program.runOnce().exitCode, 0) << program.logDump().toStdString();
    const QList<ReceivedMail> sent = receivedMails(to);
    ASSERT_EQ(sent.size(), 3) << program.logDump().toStdString();
    for (const ReceivedMail& m : sent) {
        EXPECT_EQ(m.mailFrom, a.SourceAddress);
        EXPECT_FALSE(m.raw.contains("Reply-To")) << m.raw.toStdString();
    }
}

TEST(ForwardCycle, AStaleAddressIsLoggedAndTheOthersStillGetTheForward)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    ProgramFolder program;
    program.writeSettings(0);
    const QString to = QStringLiteral("stale27@dest.test");
    const QString gone = QStringLiteral("moved-away@") + servers.unknownDomain;
    AccountRecord a = testAccount(servers, "01", 27, to);
    a.ForwardTo = gone + u'\t' + to;
    program.writeAccounts({a});
    deliver(27, kSender, QStringLiteral("全員へ"), QStringLiteral("本文\n"));

    ASSERT_EQ(program.runOnce().exitCode, 0) << program.logDump().toStdString();
    ASSERT_EQ(receivedMails(to).size(), 1) << program.logDump().toStdString();
    bool named = false;
    for (const LogRow& r : program.log())
        named = named || (r.destination.contains(gone) && r.destination.contains(u"550"));
    EXPECT_TRUE(named) << program.logDump().toStdString();
}
