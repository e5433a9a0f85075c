#include "data/ForwardLog.h"

#include "DataFixture.h"
#include "data/Encryption.h"
#include "data/TimerSettings.h"

using namespace qm;

namespace {

QDateTime at(const char* stamp)
{
    return QDateTime::fromString(QString::fromLatin1(stamp), QStringLiteral("yyyy/MM/dd HH:mm"));
}

QStringList logLines()
{
    return *readTextLines(filePaths().logFile);
}

} // namespace

TEST(ForwardLog, HourBoundariesCountClockHours)
{
    EXPECT_EQ(hourBoundariesBetween(at("2026/12/06 11:00"), at("2026/12/07 10:00")), 23);
    EXPECT_EQ(hourBoundariesBetween(at("2026/12/06 10:59"), at("2026/12/07 10:00")), 24);
    EXPECT_EQ(hourBoundariesBetween(at("2026/12/06 11:59"), at("2026/12/07 11:00")), 24);
    EXPECT_EQ(hourBoundariesBetween(at("2026/12/07 09:59"), at("2026/12/07 10:00")), 1);
    EXPECT_EQ(hourBoundariesBetween(at("2026/12/31 23:10"), at("2027/01/01 00:05")), 1);
}

TEST_F(DataTest, LogLineFormsAndNewestFirst)
{
    putBytes(paths().logFile, QByteArray()); // an empty log is simply started
    ASSERT_TRUE(
        writeLogLine(QStringLiteral("quillmarc Started ▲"), {}, {}, 24, at("2026/12/07 09:00")));
    EXPECT_EQ(logLines(), QStringList{QStringLiteral(
                              "\"2026/12/07\",\"09:00\",\"quillmarc Started ▲\",\"\",\"\"")});
    ASSERT_TRUE(writeLogLine(QStringLiteral("本社"), QStringLiteral("a,b\r\nc\nd"),
                             QStringLiteral("送信完了"), 24, at("2026/12/07 09:05")));
    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], QStringLiteral("\"2026/12/07\",\"09:05\",\"本社\",\"abcd\",\"送信完了\""));
    EXPECT_EQ(lines[1], QStringLiteral("\"2026/12/07,09:00,quillmarc Started ▲,,\""));

    const auto rows = takeLogRows();
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 2);
    EXPECT_EQ(rows->at(0),
              (LogRow{QStringLiteral("2026/12/07"), QStringLiteral("09:05"), QStringLiteral("本社"),
                      QStringLiteral("abcd"), QStringLiteral("送信完了")}));
    EXPECT_EQ(rows->at(1).account, QStringLiteral("quillmarc Started ▲"));
    // The write copy is consumed: the next view call keeps what it shows.
    EXPECT_FALSE(QFileInfo::exists(paths().logWriteCopy));
    EXPECT_FALSE(takeLogRows());
}

TEST_F(DataTest, LogRetentionCountsHourBoundaries)
{
    // Hour boundaries, not elapsed time: 11:59 yesterday is 23 boundaries from 10:00 today.
    ASSERT_TRUE(writeLogLine(QStringLiteral("old"), {}, {}, 24, at("2026/12/06 11:59")));
    ASSERT_TRUE(writeLogLine(QStringLiteral("now"), {}, {}, 24, at("2026/12/07 10:00")));
    EXPECT_EQ(logLines().size(), 2);
    ASSERT_TRUE(writeLogLine(QStringLiteral("later"), {}, {}, 24, at("2026/12/07 11:00")));
    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[1].contains(QStringLiteral("now")));

    ASSERT_TRUE(writeLogLine(QStringLiteral("a"), {}, {}, 1, at("2026/12/08 09:59")));
    ASSERT_TRUE(writeLogLine(QStringLiteral("b"), {}, {}, 1, at("2026/12/08 10:00")));
    EXPECT_EQ(logLines().size(), 1);
}

TEST_F(DataTest, LogDropsLinesThatNoLongerParse)
{
    // A third text loses its commas so its line stays readable; lines with a bad date, too
    // few fields, or bytes that are not Shift-JIS are dropped at the next write.
    ASSERT_TRUE(writeLogLine(QStringLiteral("x"), {}, QStringLiteral("550 denied, sorry"), 24,
                             at("2026/12/07 09:00")));
    EXPECT_EQ(takeLogRows()->first().destination, QStringLiteral("550 denied sorry"));
    QByteArray stored = bytesOf(paths().logFile);
    stored += "\"2026/13/01\",\"09:00\",\"bad month\",\"\",\"\"\r\n";
    stored += "\"2026/12/07\",\"25:00\",\"bad hour\",\"\",\"\"\r\n";
    stored += "\"2026/12/07\",\"09:00\",\"four\",\"\"\r\n";
    stored += "\"2026/12/07,09:00,ok,\x82\xa0,\"\r\n";
    stored += "\"2026/12/07,09:00,bad\x85,,\"\r\n";
    putBytes(paths().logFile, stored);
    ASSERT_TRUE(writeLogLine(QStringLiteral("y"), {}, {}, 24, at("2026/12/07 09:30")));
    EXPECT_EQ(logLines(), (QStringList{QStringLiteral("\"2026/12/07\",\"09:30\",\"y\",\"\",\"\""),
                                       QStringLiteral("\"2026/12/07,09:00,x,,550 denied sorry\""),
                                       QStringLiteral("\"2026/12/07,09:00,ok,あ,\"")}));
}

TEST_F(DataTest, EncryptedLogRoundTripsAndUndecryptableLogIsDropped)
{
    ASSERT_TRUE(SetUpEncryption());
    ASSERT_TRUE(writeLogLine(QStringLiteral("one"), {}, {}, 24, at("2026/12/07 09:00")));
    ASSERT_TRUE(writeLogLine(QStringLiteral("two"), {}, {}, 24, at("2026/12/07 09:01")));
    EXPECT_TRUE(looksEncrypted(bytesOf(paths().logFile)));
    EXPECT_EQ(*decryptBytes(bytesOf(paths().logFile)), bytesOf(paths().logWriteCopy));
    EXPECT_EQ(takeLogRows()->size(), 2);

    putBytes(paths().logFile, "garbage that is not a log");
    ASSERT_TRUE(writeLogLine(QStringLiteral("three"), {}, {}, 24, at("2026/12/07 09:02")));
    EXPECT_EQ(takeLogRows()->size(), 1);
}

TEST_F(DataTest, WriteLogUsesStoredRetentionAndNeverThrows)
{
    TimerSettings s;
    s.logRetentionHours = 1;
    ASSERT_TRUE(SaveTimerSettings(s));
    Clock::setNow(at("2026/12/07 09:59"));
    WriteLog(QStringLiteral("first"), {}, {});
    Clock::setNow(at("2026/12/07 10:00"));
    WriteLog(QStringLiteral("second 😀"), {}, {});
    const auto rows = takeLogRows();
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 1);
    EXPECT_EQ(rows->first().account, QStringLiteral("second ?"));

    // An unwritable Data folder: nothing escapes, nothing is written.
    ASSERT_TRUE(QFile::remove(paths().logFile));
    ASSERT_TRUE(QDir(paths().dataDir).removeRecursively());
    putBytes(paths().dataDir, "a file where the folder should be");
    WriteLog(QStringLiteral("lost"), {}, {});
    EXPECT_FALSE(QFileInfo::exists(paths().logFile));
}
