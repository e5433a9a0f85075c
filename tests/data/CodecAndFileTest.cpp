#include "DataFixture.h"
#include "data/AccountFile.h"
#include "data/HandOverFiles.h"
#include "data/SettingsLine.h"

#include <sys/wait.h>
#include <unistd.h>

using namespace qm;

TEST_F(DataTest, CodecRoundTripsJapaneseWithCrLfAndReadsLf)
{
    const QString path = paths().dataDir + QStringLiteral("/t.txt");
    const QStringList lines{QStringLiteral("ＭＳ ゴシック①～"), QString(),
                            QStringLiteral("転送,\"x\"")};
    ASSERT_TRUE(writeTextLines(path, lines));
    const QByteArray raw = bytesOf(path);
    EXPECT_TRUE(raw.endsWith("\r\n"));
    EXPECT_EQ(raw.count("\r\n"), 3);
    EXPECT_EQ(*readTextLines(path), lines);

    putBytes(path, sjis(QStringLiteral("一\n二\r\n三")));
    EXPECT_EQ(*readTextLines(path),
              (QStringList{QStringLiteral("一"), QStringLiteral("二"), QStringLiteral("三")}));
}

TEST_F(DataTest, CodecRejectsWhatCp932CannotCarry)
{
    const QString path = paths().dataDir + QStringLiteral("/t.txt");
    putBytes(path, QByteArray("ok\x81\r\n", 5));
    QString error;
    EXPECT_FALSE(readTextLines(path, DecodeMode::Strict, &error));
    EXPECT_FALSE(error.isEmpty());
    const auto lenient = readTextLines(path, DecodeMode::Lenient);
    ASSERT_TRUE(lenient);
    EXPECT_TRUE(lenient->first().startsWith(QStringLiteral("ok")));

    // A character without a CP932 form refuses the write and leaves the old file.
    EXPECT_FALSE(writeTextLines(path, {QStringLiteral("emoji 😀")}, &error));
    EXPECT_EQ(bytesOf(path), QByteArray("ok\x81\r\n", 5));
    EXPECT_EQ(toCp932Safe(QStringLiteral("a😀ｂ")), QStringLiteral("a?ｂ"));
    EXPECT_FALSE(readTextLines(paths().dataDir + QStringLiteral("/missing.txt"), DecodeMode::Strict,
                               &error));
}

// Mail written in Unicode uses code points for these marks that CP932 keeps elsewhere; a file
// below Data/ and the log must carry the mark, not "?".
TEST_F(DataTest, CodecWritesTheCp932FormOfUnicodeLookAlikes)
{
    const QString mail =
        QStringLiteral("10時\u301C12時 \u2016 \u2212 \u00A2\u00A3\u00AC \u2014 \u00A6 \u00A5");
    const QString cp932 = QStringLiteral("10時～12時 ∥ － ￠￡￢ ― ￤ ￥");
    const QString path = paths().dataDir + QStringLiteral("/t.txt");
    ASSERT_TRUE(writeTextLines(path, {mail}));
    EXPECT_EQ(bytesOf(path), sjis(cp932) + "\r\n");
    EXPECT_EQ(toCp932Safe(mail + QStringLiteral("😀")), cp932 + QStringLiteral("?"));
}

TEST(SettingsLine, ReadersDropQuotesAndSplitAtCommas)
{
    EXPECT_EQ(splitSettingsLine(QStringLiteral("\"5\",\"24\",1,,\"a\"b\"")),
              (QStringList{QStringLiteral("5"), QStringLiteral("24"), QStringLiteral("1"),
                           QString(), QStringLiteral("ab")}));
    EXPECT_EQ(joinSettingsLine({LineField::quotedText(QStringLiteral("x")),
                                LineField::bare(QString()), LineField::bare(QStringLiteral("0"))}),
              QStringLiteral("\"x\",,0"));
}

TEST_F(DataTest, AtomicWriteFailureAtAnyStepKeepsTheOldFile)
{
    const QString path = paths().dataDir + QStringLiteral("/a.txt");
    putBytes(path, "old");
    for (AtomicWriteStep failAt : {AtomicWriteStep::TempCreated, AtomicWriteStep::TempWritten,
                                   AtomicWriteStep::TempSynced}) {
        setAtomicWriteHook([failAt](AtomicWriteStep s, const QString&) { return s != failAt; });
        QString error;
        EXPECT_FALSE(writeFileAtomic(path, "new", &error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(bytesOf(path), "old");
        EXPECT_EQ(dataFiles(), QStringList{QStringLiteral("a.txt")}) << "temp file left behind";
    }
    setAtomicWriteHook({});
    EXPECT_TRUE(writeFileAtomic(path, "new"));
    EXPECT_EQ(bytesOf(path), "new");
}

// A process killed between any two steps of an account rewrite leaves the old or the new
// account file, complete and readable, never none.
TEST_F(DataTest, CrashDuringAccountRewriteLeavesOldOrNewFile)
{
    AccountRecord first = newAccountTemplate(QStringLiteral("01"));
    first.PopServer = QStringLiteral("pop.old.jp");
    ASSERT_TRUE(saveAccount(first).ok);
    const QByteArray oldBytes = bytesOf(paths().accountFile);

    for (AtomicWriteStep crashAt : {AtomicWriteStep::TempCreated, AtomicWriteStep::TempWritten,
                                    AtomicWriteStep::TempSynced, AtomicWriteStep::Renamed}) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            setAtomicWriteHook([crashAt](AtomicWriteStep s, const QString&) {
                if (s == crashAt)
                    _exit(0);
                return true;
            });
            AccountRecord changed = first;
            changed.PopServer = QStringLiteral("pop.new.jp");
            saveAccount(changed);
            _exit(1); // the hook should have ended us first
        }
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

        const auto table = readAccountTable();
        ASSERT_TRUE(table && table->fileExists);
        ASSERT_EQ(table->records.size(), 1);
        const QString server = table->records.first().PopServer;
        if (crashAt == AtomicWriteStep::Renamed)
            EXPECT_EQ(server, QStringLiteral("pop.new.jp"));
        else
            EXPECT_EQ(bytesOf(paths().accountFile), oldBytes);
        // Restore the old content for the next round.
        ASSERT_TRUE(writeFileAtomic(paths().accountFile, oldBytes));
    }
    // The next rewrite clears the temp files the crashed ones left.
    ASSERT_TRUE(saveAccount(first).ok);
    EXPECT_EQ(dataFiles(),
              (QStringList{QStringLiteral("account.crp"), QStringLiteral("quillmarc.lock")}));
}

TEST_F(DataTest, PathTableFollowsTheProgramFolder)
{
    const FilePaths p = SetFilePaths(QStringLiteral("/opt/qm"));
    EXPECT_EQ(p.settingsFile, QStringLiteral("/opt/qm/Data/TimerSet.txt"));
    EXPECT_EQ(p.accountFile, QStringLiteral("/opt/qm/Data/account.crp"));
    EXPECT_EQ(p.logWriteCopy, QStringLiteral("/opt/qm/Data/quillmarc.tmp"));
    EXPECT_EQ(p.accountManager, QStringLiteral("/opt/qm/quillmarcB"));
    EXPECT_EQ(filePaths().programDir, QDir(m_dir.path()).absolutePath());
    ASSERT_TRUE(ensureWorkFolders(QStringLiteral("07")));
    EXPECT_TRUE(QDir(m_dir.path() + QStringLiteral("/MlTmp07/Attach")).exists());
    EXPECT_TRUE(QDir(m_dir.path() + QStringLiteral("/MlTmp07/Data")).exists());
}
