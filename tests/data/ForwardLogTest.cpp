#include "data/ForwardLog.h"

#include "DataFixture.h"
#include "data/Encryption.h"
#include "data/LogRowKind.h"
#include "data/TimerSettings.h"

#include <sys/wait.h>
#include <unistd.h>

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
    EXPECT_EQ(*decryptBytes(bytesOf(paths().logFile)),
              "\"2026/12/07\",\"09:01\",\"two\",\"\",\"\"\r\n\"2026/12/07,09:00,one,,\"\r\n");
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
    WriteLog({.account = QStringLiteral("first")});
    Clock::setNow(at("2026/12/07 10:00"));
    WriteLog({.account = QStringLiteral("second 😀")});
    const auto rows = takeLogRows();
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 1);
    EXPECT_EQ(rows->first().account, QStringLiteral("second ?"));

    // An unwritable Data folder: nothing escapes, nothing is written.
    ASSERT_TRUE(QFile::remove(paths().logFile));
    ASSERT_TRUE(QDir(paths().dataDir).removeRecursively());
    putBytes(paths().dataDir, "a file where the folder should be");
    WriteLog({.account = QStringLiteral("lost")});
    EXPECT_FALSE(QFileInfo::exists(paths().logFile));
}

// In a cycle a line is an append to the journal; the log is rewritten once, when the cycle
// ends, with the new lines on top. With encryption on each record is sealed on its own.
TEST_F(DataTest, LinesOfABatchGoToTheJournalAndAreFoldedInWhenItEnds)
{
    Clock::setNow(at("2026/12/07 09:30"));
    ASSERT_TRUE(writeLogLine(QStringLiteral("quillmarc Started ▲"), {}, {}, 24, Clock::now()));
    const QByteArray before = bytesOf(paths().logFile);
    {
        const LogBatch batch;
        ASSERT_TRUE(writeLogLine(QStringLiteral("本社"), {}, QStringLiteral("one"), 24,
                                 at("2026/12/07 09:31")));
        ASSERT_TRUE(writeLogLine(QStringLiteral("本社"), {}, QStringLiteral("two"), 24,
                                 at("2026/12/07 09:32")));
        EXPECT_EQ(bytesOf(paths().logFile), before);
        const auto rows = readLog();
        ASSERT_TRUE(rows);
        ASSERT_EQ(rows->size(), 3);
        EXPECT_EQ(rows->at(0).destination, QStringLiteral("two"));
        EXPECT_EQ(rows->at(2).account, QStringLiteral("quillmarc Started ▲"));
    }
    EXPECT_FALSE(QFileInfo::exists(logJournalPath()));
    EXPECT_EQ(logLines(), (QStringList{
                              QStringLiteral("\"2026/12/07\",\"09:32\",\"本社\",\"\",\"two\""),
                              QStringLiteral("\"2026/12/07\",\"09:31\",\"本社\",\"\",\"one\""),
                              QStringLiteral("\"2026/12/07,09:30,quillmarc Started ▲,,\""),
                          }));

    ASSERT_TRUE(SetUpEncryption());
    {
        const LogBatch batch;
        ASSERT_TRUE(writeLogLine(QStringLiteral("支社"), QStringLiteral("secret@example.jp"), {},
                                 24, at("2026/12/07 09:40")));
        const QByteArray journal = bytesOf(logJournalPath());
        EXPECT_TRUE(looksEncrypted(journal));
        EXPECT_FALSE(journal.contains("secret"));
        EXPECT_EQ(readLog()->first().sender, QStringLiteral("secret@example.jp"));
    }
    EXPECT_TRUE(looksEncrypted(bytesOf(paths().logFile)));
    EXPECT_EQ(readLog()->size(), 4);
}

// A process killed while it appends leaves at most a torn last record, which is no line and
// does not spoil the next one; a fold cut short anywhere is finished or undone, so every
// line is there exactly once.
TEST_F(DataTest, CrashesInTheJournalOrTheFoldLoseNoLineAndRepeatNone)
{
    Clock::setNow(at("2026/12/07 09:30"));
    ASSERT_TRUE(writeLogLine(QStringLiteral("start"), {}, {}, 24, Clock::now()));
    const auto countOf = [](const QString& account) {
        int n = 0;
        const auto rows = readLog();
        for (const LogRow& r : rows.value_or(QList<LogRow>()))
            n += r.account == account ? 1 : 0;
        return n;
    };

    // Killed inside a cycle, in the middle of writing a record.
    const pid_t writer = fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        const LogBatch batch;
        writeLogLine(QStringLiteral("one"), {}, {}, 24, Clock::now());
        _exit(0);
    }
    int status = 0;
    waitpid(writer, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    QFile journal(logJournalPath());
    ASSERT_TRUE(journal.open(QIODevice::Append));
    journal.write("\"2026/12/07\",\"09:30\",\"torn\",\"\",\"");
    journal.close();
    EXPECT_EQ(countOf(QStringLiteral("one")), 1);
    EXPECT_EQ(countOf(QStringLiteral("torn")), 0);
    {
        const LogBatch batch;
        ASSERT_TRUE(writeLogLine(QStringLiteral("two"), {}, {}, 24, Clock::now()));
    }
    EXPECT_EQ(readLog()->size(), 3);
    EXPECT_EQ(countOf(QStringLiteral("two")), 1);

    // Killed at every step of the fold's rewrite.
    int line = 0;
    for (AtomicWriteStep crashAt : {AtomicWriteStep::TempCreated, AtomicWriteStep::TempWritten,
                                    AtomicWriteStep::TempSynced, AtomicWriteStep::Renamed}) {
        const QString name = QStringLiteral("line%1").arg(++line);
        const pid_t folder = fork();
        ASSERT_GE(folder, 0);
        if (folder == 0) {
            setAtomicWriteHook([crashAt](AtomicWriteStep s, const QString&) {
                if (s == crashAt)
                    _exit(0);
                return true;
            });
            {
                const LogBatch batch;
                writeLogLine(name, {}, {}, 24, Clock::now());
            }
            _exit(1); // the hook should have ended us first
        }
        waitpid(folder, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        EXPECT_EQ(readLog()->size(), 3 + line) << name.toStdString();
        EXPECT_EQ(countOf(name), 1);
    }
    // Killed after the commit (the journal gone) and before the new log took the old one's place.
    const pid_t committer = fork();
    ASSERT_GE(committer, 0);
    if (committer == 0) {
        setAtomicWriteHook([](AtomicWriteStep s, const QString&) {
            if (s == AtomicWriteStep::Renamed) {
                ::unlink(QFile::encodeName(logJournalPath()).constData());
                _exit(0);
            }
            return true;
        });
        {
            const LogBatch batch;
            writeLogLine(QStringLiteral("last"), {}, {}, 24, Clock::now());
        }
        _exit(1);
    }
    waitpid(committer, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_FALSE(QFileInfo::exists(logJournalPath()));
    EXPECT_EQ(readLog()->size(), 8);
    EXPECT_EQ(countOf(QStringLiteral("last")), 1);
    EXPECT_EQ(countOf(QStringLiteral("line4")), 1);
    ASSERT_TRUE(foldLog(24, Clock::now()));
    EXPECT_EQ(logLines().size(), 8);
    EXPECT_EQ(dataFiles(),
              (QStringList{QStringLiteral("quillmarc.lock"), QStringLiteral("quillmarc.log")}));
}

// The view is fed from memory: after a line it gets that row on top; once the hour turns,
// the rows past the retention leave at the bottom; a log changed behind its back is shown
// afresh.
TEST_F(DataTest, LogViewGetsOnlyWhatChanged)
{
    TimerSettings s;
    s.logRetentionHours = 2;
    ASSERT_TRUE(SaveTimerSettings(s));
    for (const char* stamp : {"2026/12/07 09:10", "2026/12/07 10:10"}) {
        Clock::setNow(at(stamp));
        WriteLog({.account = QString::fromLatin1(stamp)});
    }
    auto change = takeLogViewChange();
    ASSERT_TRUE(change);
    EXPECT_TRUE(change->reset);
    ASSERT_EQ(change->rows.size(), 2);
    EXPECT_EQ(change->rows.first().time, QStringLiteral("10:10"));
    EXPECT_FALSE(takeLogViewChange());

    {
        const LogBatch batch;
        Clock::setNow(at("2026/12/07 10:20"));
        WriteLog({.account = QStringLiteral("a")});
        change = takeLogViewChange();
        ASSERT_TRUE(change);
        EXPECT_FALSE(change->reset);
        EXPECT_EQ(change->removeFromBottom, 0);
        ASSERT_EQ(change->rows.size(), 1);
        EXPECT_EQ(change->rows.first().account, QStringLiteral("a"));

        Clock::setNow(at("2026/12/07 11:00"));
        WriteLog({.account = QStringLiteral("b")});
        WriteLog({.account = QStringLiteral("c")});
        change = takeLogViewChange();
        ASSERT_TRUE(change);
        EXPECT_FALSE(change->reset);
        EXPECT_EQ(change->removeFromBottom, 1);
        ASSERT_EQ(change->rows.size(), 2);
        EXPECT_EQ(change->rows.at(0).account, QStringLiteral("c"));
    }
    EXPECT_FALSE(takeLogViewChange()) << "the fold changes nothing the view shows";
    EXPECT_EQ(logLines().size(), 4);

    putBytes(paths().logFile, "\"2026/12/07\",\"11:01\",\"by hand\",\"\",\"\"\r\n");
    change = takeLogViewChange();
    ASSERT_TRUE(change);
    EXPECT_TRUE(change->reset);
    ASSERT_EQ(change->rows.size(), 1);
    EXPECT_EQ(change->rows.first().account, QStringLiteral("by hand"));
}

TEST(LogRowKind, ErrorsAndWarningsAreToldFromTheirTexts)
{
    const auto row = [](const char* account, const char* sender, const char* destination) {
        return LogRow{QStringLiteral("2026/12/09"), QStringLiteral("11:20"),
                      QString::fromUtf8(account), QString::fromUtf8(sender),
                      QString::fromUtf8(destination)};
    };
    EXPECT_EQ(logRowKind(row("試験01", "SMTPサーバー 127.0.0.1:2に接続できません。", "")),
              LogRowKind::Error);
    EXPECT_EQ(logRowKind(row("試験01", "POP3サーバー pop.test:110が応答しません (時間切れ)", "")),
              LogRowKind::Error);
    EXPECT_EQ(logRowKind(row("", "アカウント設定エラー", "列の数が正しくありません")),
              LogRowKind::Error);
    EXPECT_EQ(logRowKind(row("試験01", "u1@x.jp", "550 5.1.1 unknown (SMTPサーバー s:25)")),
              LogRowKind::Error);
    EXPECT_EQ(logRowKind(row("試験01", "u1@x.jp", "451 try later")), LogRowKind::Warning);
    EXPECT_EQ(logRowKind(row("試験01", "u1@x.jp", "宛先エラー a@b: 550 no")), LogRowKind::Warning);
    // Everyday lines, and a destination that merely starts with digits.
    EXPECT_EQ(logRowKind(row("試験01", "u1@x.jp", "to@y.jp / ")), LogRowKind::Normal);
    EXPECT_EQ(logRowKind(row("試験01", "№00001", "受信済み")), LogRowKind::Normal);
    EXPECT_EQ(logRowKind(row("試験01", "u1@x.jp", "0312345678 (a.pdf)")), LogRowKind::Normal);
    EXPECT_EQ(logRowKind(row("quillmarc Started ▲", "", "")), LogRowKind::Normal);
}
