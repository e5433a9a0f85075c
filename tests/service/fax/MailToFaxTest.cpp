#include "data/Paths.h"
#include "data/SettingsLine.h"
#include "data/TextCodec.h"
#include "support/ProgramFolder.h"

#include <QDir>
#include <gtest/gtest.h>

using namespace qm;
using namespace qm::test;

// The whole road: a mail whose subject is a fax number is collected by quillmarc, rendered
// and queued for that number instead of being forwarded by mail.
TEST(MailToFax, SubjectNumberIsFaxedAndNotForwarded)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    ProgramFolder program;
    program.writeSettings(1);
    const QString to = QStringLiteral("mail2fax78@dest.test");
    AccountRecord account = testAccount(servers, "01", 78, to);
    program.writeAccounts({account});
    deliver(78, QStringLiteral("山田 <yamada@sender.test>"), QStringLiteral("03-1234-5678"),
            QStringLiteral("お世話になります。図面を送ります。\n"));

    const auto run = program.runOnce();
    ASSERT_EQ(run.exitCode, 0) << run.stdErr.toStdString() << program.logDump().toStdString();

    const QDir spool(QDir(program.path()).filePath(QStringLiteral("Data/FaxSpool")));
    const QStringList jobs = spool.entryList({QStringLiteral("*.job")}, QDir::Files);
    ASSERT_EQ(jobs.size(), 1) << program.logDump().toStdString();
    const QStringList lines = readTextLines(spool.filePath(jobs[0])).value_or(QStringList());
    EXPECT_TRUE(lines.contains(QStringLiteral("\"number\",\"0312345678\"")))
        << lines.join(u'\n').toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("\"name\",\"メール転送\"")));
    EXPECT_TRUE(QFileInfo(spool.filePath(QString(jobs[0]).replace(QStringLiteral(".job"),
                                                                  QStringLiteral(".tif"))))
                    .size() > 1000);
    EXPECT_EQ(program.logCount(QStringLiteral("試験01"),
                               QStringLiteral("山田 <yamada@sender.test>"),
                               QStringLiteral("0312345678")) +
                  program.logCount(QStringLiteral("試験01"), QStringLiteral("yamada@sender.test"),
                                   QStringLiteral("0312345678")),
              1)
        << program.logDump().toStdString();
    EXPECT_TRUE(receivedMails(to).isEmpty());
}

// The forms the fax layer dials are fax numbers; other numbers are ordinary mail.
TEST(MailToFax, InternationalAndSpacedNumbersAreFaxedOtherNumbersForwarded)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    ProgramFolder program;
    program.writeSettings(1);
    const QString to = QStringLiteral("mail2fax77@dest.test");
    program.writeAccounts({testAccount(servers, "01", 77, to)});
    const QString from = QStringLiteral("山田 <yamada@sender.test>");
    for (const char* subject : {"+81-3-1234-5678", " 03 1234 5678 ", "1e5", "1.5", "1234"})
        deliver(77, from, QString::fromLatin1(subject), QStringLiteral("本文です。\n"));

    const auto run = program.runOnce();
    ASSERT_EQ(run.exitCode, 0) << run.stdErr.toStdString() << program.logDump().toStdString();

    const QStringList numbers = spooledFaxNumbers(program);
    EXPECT_EQ(numbers, QStringList({"+81312345678", "0312345678"}))
        << program.logDump().toStdString();
    QStringList forwarded;
    for (const ReceivedMail& m : receivedMails(to))
        forwarded << parseMail(m.raw).subject;
    forwarded.sort();
    EXPECT_EQ(forwarded, QStringList({"1.5", "1234", "1e5"}));
}

// Every job is held to the dialling rules of Data/FaxPath.txt; a refused one never reaches
// the fax backend and is a log line naming the number and the rule.
TEST(MailToFax, DiallingRulesAndTheDailyCapHoldForEveryJob)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    ProgramFolder program;
    program.writeSettings(1, 1);
    ASSERT_TRUE(
        writeTextLines(filePaths().faxPathFile, {QStringLiteral("\"deny\",\"0311\""),
                                                 QStringLiteral("\"mailfax-per-day\",\"2\"")}));
    const QString to = QStringLiteral("dial26@dest.test");
    const QString boss = QStringLiteral("boss26@remote.test");
    AccountRecord a = testAccount(servers, "01", 26, to);
    a.FaxNumbers = QStringLiteral("03-1111-2222\t0398765432");
    a.RemoteAddress = boss;
    program.writeAccounts({a});
    clearReceivedMails(boss);
    const QString yamada = QStringLiteral("山田 <yamada@sender.test>");
    deliver(26, yamada, QStringLiteral("ご案内"), QStringLiteral("普通のメール\n"));
    deliver(26, yamada, QStringLiteral("0570-000-111"), QStringLiteral("有料番号へ\n"));
    deliver(26, yamada, QStringLiteral("+1-555-0100"), QStringLiteral("海外へ\n"));
    for (int i = 0; i < 3; ++i)
        deliver(26, yamada, QStringLiteral("045-000-000%1").arg(i), QStringLiteral("三通目まで\n"));
    deliver(26, QStringLiteral("other@sender.test"), QStringLiteral("045-999-0000"),
            QStringLiteral("別の差出人\n"));
    deliver(26, boss, QStringLiteral("ファックス"), QStringLiteral("01\n03-1100-0000\n"));

    ASSERT_EQ(program.runOnce().exitCode, 0) << program.logDump().toStdString();
    const QStringList numbers = spooledFaxNumbers(program);
    // The account's allowed number, the first two requests of one sender, the other sender's.
    EXPECT_EQ(numbers, QStringList({"0398765432", "0450000000", "0450000001", "0459990000"}))
        << program.logDump().toStdString();
    const QString log = program.logDump();
    for (const char* refused : {"03-1111-2222", "0570", "+1", "mailfax-per-day"})
        EXPECT_TRUE(log.contains(QString::fromLatin1(refused))) << refused << log.toStdString();
    EXPECT_EQ(program.storedAccount("01")->FaxNumbers, a.FaxNumbers)
        << "a refused number is not stored";
    ASSERT_EQ(receivedMails(boss).size(), 1);
    EXPECT_EQ(parseMail(receivedMails(boss).first().raw).subject,
              QStringLiteral("リモート設定エラー"));
}

// A stored attachment goes only to an address it was forwarded to, by the address of the raw
// From header: a name that decodes to that address gets nothing and costs its owner no job.
TEST(MailToFax, AStoredAttachmentIsFaxedForItsAddressNotForANameThatSpellsIt)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    ProgramFolder program;
    program.writeSettings(1, 1);
    const QString taro = QStringLiteral("taro84@dest.test");
    program.writeAccounts({testAccount(servers, "01", 84, taro)});
    deliver(84, QStringLiteral("山田 <yamada@sender.test>"), QStringLiteral("資料"),
            QStringLiteral("添付します\n"),
            {{QStringLiteral("memo.txt"), QByteArray("memo\r\n"), QStringLiteral("text/plain")}});
    ASSERT_EQ(program.runOnce().exitCode, 0) << program.logDump().toStdString();

    const QByteArray forged =
        "From: =?UTF-8?B?" + QByteArray("<taro84@dest.test>").toBase64() +
        "?= <attacker@evil.example>\r\nSubject: 03-1234-5678\r\n\r\n000011\r\n";
    QString error;
    ASSERT_FALSE(deliverRaw(userName(84), forged, &error).isEmpty()) << error.toStdString();
    ASSERT_EQ(program.runOnce().exitCode, 0) << program.logDump().toStdString();
    EXPECT_TRUE(spooledFaxNumbers(program).isEmpty()) << program.logDump().toStdString();
    const QString counts =
        readTextLines(QDir(program.path()).filePath(QStringLiteral("Data/FaxCount.txt")))
            .value_or(QStringList())
            .join(u'\n');
    EXPECT_FALSE(counts.contains(QStringLiteral("taro84"))) << counts.toStdString();

    // Taro himself, his address typed in capitals, is served and counted.
    deliver(84, QStringLiteral("Taro <Taro84@DEST.test>"), QStringLiteral("03-1234-5678"),
            QStringLiteral("000011\n"));
    ASSERT_EQ(program.runOnce().exitCode, 0) << program.logDump().toStdString();
    EXPECT_EQ(spooledFaxNumbers(program), QStringList{QStringLiteral("0312345678")})
        << program.logDump().toStdString();
}
