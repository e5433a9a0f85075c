#include "service/ReceiveFiles.h"

#include "data/AccountFiles.h"
#include "data/Paths.h"
#include "data/Privacy.h"
#include "data/SettingsLine.h"
#include "data/TextCodec.h"
#include "service/EngineContext.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace qm;
using namespace qm::service;

namespace {

struct ReceiveFilesFixture : ::testing::Test
{
    QTemporaryDir dir;
    EngineContext ctx;
    AccountFiles files;

    void SetUp() override
    {
        setProgramDir(dir.path());
        ensureDataDir();
        ctx.paths = filePaths();
        files = AccountFiles::forAccount(ctx.paths, QStringLiteral("03"));
        QDir().mkpath(files.attachFolder);
    }
    void TearDown() override { setProgramDir(QString()); }

    static void writeFile(const QString& path, const QByteArray& bytes)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
};

} // namespace

TEST_F(ReceiveFilesFixture, OldFilesMoveIntoTheDataFolder)
{
    writeFile(files.workFolder + "/RecvNo.txt", "\"00041\",\"\"\r\n");
    writeFile(files.workFolder + "/MailRcv.log", "\"m1\"\r\n");
    PrepareAccountDataFolder(files);
    EXPECT_FALSE(QFile::exists(files.workFolder + "/RecvNo.txt"));
    EXPECT_FALSE(QFile::exists(files.workFolder + "/MailRcv.log"));
    EXPECT_EQ(NextReceiveNumber(ctx, files), QStringLiteral("00042"));
}

// An upgraded install: the older layout's files were 0644 in a 0755 folder.
TEST_F(ReceiveFilesFixture, MovedFilesAndTheirFoldersBecomePrivateAndSharedOnesAreWarnedOf)
{
    const QString old = files.workFolder + "/AttachNo.txt";
    writeFile(old, "\"000011\",\"/x/a.pdf\",\"a.pdf\"\r\n");
    const auto shared = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                        QFileDevice::ReadOther;
    QFile::setPermissions(old, shared);
    QFile::setPermissions(files.workFolder, shared | QFileDevice::ExeOwner | QFileDevice::ExeGroup |
                                                QFileDevice::ExeOther);
    EXPECT_TRUE(sharedDataWarning(ctx.paths.dataDir, ctx.paths.accountFile, ctx.paths.dataHome)
                    .contains(files.workFolder));
    PrepareAccountDataFolder(files);
    const auto own = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                     QFileDevice::WriteUser;
    EXPECT_EQ(QFile::permissions(files.attachmentIndex), own);
    EXPECT_EQ(QFile::permissions(files.workFolder),
              own | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    EXPECT_FALSE(sharedDataWarning(ctx.paths.dataDir, ctx.paths.accountFile, ctx.paths.dataHome)
                     .contains(files.workFolder));
}

TEST_F(ReceiveFilesFixture, NumbersStopAtTheLimitAndNeverReachTheIndex)
{
    PrepareAccountDataFolder(files);
    EXPECT_EQ(NextReceiveNumber(ctx, files), QStringLiteral("00001"));
    EXPECT_EQ(NextReceiveNumber(ctx, files), QStringLiteral("00002"));
    EXPECT_EQ(readTextLines(files.receiveCounter).value(), QStringList({"\"00002\",\"\""}));

    writeFile(files.receiveCounter, "\"32766\",\"\"\r\n");
    EXPECT_EQ(NextReceiveNumber(ctx, files), QStringLiteral("32767"));
    EXPECT_EQ(NextReceiveNumber(ctx, files), QStringLiteral("0"));
    EXPECT_EQ(NextReceiveNumber(ctx, files), QStringLiteral("0"));

    AddAttachmentRecord(ctx, files, "32767", 1, files.attachFolder + "/a.pdf", "a.pdf");
    AddAttachmentRecord(ctx, files, "0", 1, files.attachFolder + "/b.pdf", "b.pdf");
    AddAttachmentRecord(ctx, files, "32767", 2, QString(), QString());
    const QStringList index = readTextLines(files.attachmentIndex).value();
    ASSERT_EQ(index.size(), 1);
    EXPECT_EQ(index.first(), "\"327671\",\"" + files.attachFolder + "/a.pdf\",\"a.pdf\"");

    // An empty mailbox starts everything afresh.
    ClearAccountFiles(files);
    EXPECT_EQ(NextReceiveNumber(ctx, files), QStringLiteral("00001"));
    EXPECT_FALSE(QFile::exists(files.attachmentIndex));
}

TEST_F(ReceiveFilesFixture, EveryAttachmentIsIndexedAndFoundByItsNumber)
{
    PrepareAccountDataFolder(files);
    const QStringList names{"見積書.pdf", "c,d \"final\".pdf", "résumé 😀 ⅱ.pdf", "10時〜12時.pdf"};
    for (int i = 0; i < names.size(); ++i)
        AddAttachmentRecord(ctx, files, "00007", i + 1, files.attachFolder + "/" + names.at(i),
                            names.at(i));
    ASSERT_EQ(readTextLines(files.attachmentIndex).value().size(), 4);
    for (int i = 0; i < names.size(); ++i) {
        const auto found = FindStoredAttachment(files, AttachmentKey("00007", i + 1));
        ASSERT_TRUE(found) << i;
        EXPECT_EQ(found->path, files.attachFolder + "/" + names.at(i));
        EXPECT_TRUE(encodeCp932(found->name) && isStorableField(found->name))
            << found->name.toStdString();
    }
    EXPECT_FALSE(FindStoredAttachment(files, "000075"));
}

TEST_F(ReceiveFilesFixture, ReceivedListMatchesWholeNamesOfExistingFiles)
{
    PrepareAccountDataFolder(files);
    const QString m1 = files.workFolder + "/0001.eml";
    const QString m10 = files.workFolder + "/00010.eml";
    writeFile(m1, "x");
    writeFile(m10, "x");
    {
        ReceivedList list(files.receivedList);
        EXPECT_FALSE(list.IsAlreadyReceived(m1));
        EXPECT_TRUE(list.MarkReceived(m1));
        EXPECT_TRUE(list.IsAlreadyReceived(m1));
        EXPECT_FALSE(list.IsAlreadyReceived(m10));
        EXPECT_FALSE(list.MarkReceived(files.workFolder + "/gone.eml"));
    }
    ReceivedList again(files.receivedList);
    EXPECT_TRUE(again.IsAlreadyReceived(m1));
    EXPECT_EQ(readTextLines(files.receivedList).value(), QStringList({"\"0001.eml\""}));
    // A name on the list whose file is gone is a message to read again.
    QFile::remove(m1);
    EXPECT_FALSE(ReceivedList(files.receivedList).IsAlreadyReceived(m1));
}

TEST_F(ReceiveFilesFixture, ALineTornByACrashSpoilsOnlyItself)
{
    PrepareAccountDataFolder(files);
    const QString m = files.workFolder + "/0002.eml";
    writeFile(m, "x");
    writeFile(files.receivedList, "\"0001.eml\"\r\n\"00");
    ReceivedList list(files.receivedList);
    ASSERT_TRUE(list.MarkReceived(m));
    EXPECT_EQ(readTextLines(files.receivedList).value(),
              QStringList({"\"0001.eml\"", "\"00", "\"0002.eml\""}));
    EXPECT_TRUE(ReceivedList(files.receivedList).IsAlreadyReceived(m));
}
