#include "ProgramFolder.h"
#include "data/Paths.h"
#include "data/SettingsLine.h"
#include "data/TextCodec.h"

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

    const QDir spool(QDir(program.path()).filePath(QStringLiteral("Data/FaxSpool")));
    QStringList numbers;
    for (const QString& job : spool.entryList({QStringLiteral("*.job")}, QDir::Files)) {
        for (const QString& line : readTextLines(spool.filePath(job)).value_or(QStringList())) {
            if (line.startsWith(QStringLiteral("\"number\"")))
                numbers << splitSettingsLine(line).value(1);
        }
    }
    numbers.sort();
    EXPECT_EQ(numbers, QStringList({"+81312345678", "0312345678"}))
        << program.logDump().toStdString();
    QStringList forwarded;
    for (const ReceivedMail& m : receivedMails(to))
        forwarded << parseMail(m.raw).subject;
    forwarded.sort();
    EXPECT_EQ(forwarded, QStringList({"1.5", "1234", "1e5"}));
}
