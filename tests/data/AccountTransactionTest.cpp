#include "data/AccountTransaction.h"

#include "DataFixture.h"
#include "data/AccountFile.h"
#include "data/Encryption.h"
#include "data/SettingsLine.h"

#include <QMap>
#include <QProcess>

using namespace qm;

namespace {

AccountEntry entry(const QString& no, const QString& name)
{
    AccountEntry e;
    e.record = newAccountTemplate(no);
    e.record.AccountName = name;
    e.record.SourceAddress = QStringLiteral("src%1@example.jp").arg(no);
    e.record.PopUserId = QStringLiteral("user%1").arg(no);
    e.record.PopPassword = QStringLiteral("pw%1").arg(no);
    e.record.PopServer = QStringLiteral("pop.example.jp");
    e.record.SmtpServer = QStringLiteral("smtp.example.jp");
    e.record.ForwardTo = QStringLiteral("to%1@example.jp").arg(no);
    e.font.AccountNo = no;
    return e;
}

QStringList linesOf(const QString& path)
{
    return readTextLines(path).value_or(QStringList());
}

// The lines of a settings file whose field 0 is the number.
QStringList linesFor(const QString& path, const QString& no)
{
    QStringList found;
    for (const QString& line : linesOf(path)) {
        if (splitSettingsLine(line).value(0) == no)
            found.append(line);
    }
    return found;
}

QStringList fieldsOf(const QString& no)
{
    const QStringList lines = linesFor(filePaths().accountFile, no);
    return lines.size() == 1 ? splitSettingsLine(lines[0]) : QStringList();
}

// Every file below Data/ with its bytes, the lock file aside.
QMap<QString, QByteArray> dataSnapshot()
{
    QMap<QString, QByteArray> files;
    const QDir dir(filePaths().dataDir);
    for (const QString& name : dir.entryList(QDir::Files)) {
        if (!name.endsWith(QLatin1String(".lock")))
            files.insert(name, readFileBytes(dir.filePath(name)).value_or(QByteArray()));
    }
    return files;
}

void saveOrFail(const AccountEntry& e)
{
    QString error;
    ASSERT_TRUE(saveAccountEntry(e, &error)) << error.toStdString();
}

} // namespace

TEST_F(DataTest, SavingTwiceLeavesOneLineInEachOfTheFourFiles)
{
    saveOrFail(entry(QStringLiteral("01"), QStringLiteral("本社")));
    const QStringList one = fieldsOf(QStringLiteral("01"));
    for (int round = 0; round < 2; ++round) {
        AccountEntry e = entry(QStringLiteral("03"), QStringLiteral("支店%1").arg(round));
        e.record.ForwardTo = QStringLiteral("a@example,jp\nb@example.jp\n");
        e.record.FaxNumbers = QStringLiteral("0312345678\n");
        e.record.SplitChars = QStringLiteral(" 70 ");
        e.record.SplitMaxMails = QStringLiteral("多め");
        e.font.printOn = QStringLiteral("1");
        e.font.faxFontSize = QString::number(14 + round);
        e.faxOption = QStringLiteral("attach");
        e.deleteStrings = {QStringLiteral("広告"), QStringLiteral("配信停止")};
        saveOrFail(e);
    }
    EXPECT_EQ(linesOf(paths().accountFile).size(), 2);
    EXPECT_EQ(fieldsOf(QStringLiteral("01")), one);
    const QStringList three = fieldsOf(QStringLiteral("03"));
    ASSERT_EQ(three.size(), 33);
    EXPECT_EQ(three[1], QStringLiteral("支店1"));
    EXPECT_EQ(three[16], QStringLiteral("a@example.jp\tb@example.jp"));
    EXPECT_EQ(three[19], QStringLiteral("0312345678\t"));
    EXPECT_EQ(three.mid(25, 2), (QStringList{" 70 ", "多め"}));
    EXPECT_EQ(linesFor(paths().delStringFile, "03"), QStringList{"\"03\",\"広告\t配信停止\""});
    EXPECT_EQ(linesFor(paths().fontTable, "03"),
              QStringList{"\"03\",\"1\",\"0\",\"ＭＳ ゴシック\",\"11\",\"ＭＳ ゴシック\",\"15\""});
    EXPECT_EQ(linesFor(paths().faxOptFile, "03"), QStringList{"\"03\",\"attach\""});
    EXPECT_EQ(linesOf(paths().fontTable).size(), 2);
    EXPECT_TRUE(QFileInfo(workAttachFolder(QStringLiteral("03"))).isDir());
}

TEST_F(DataTest, AFailingStepPutsAllFourFilesBack)
{
    saveOrFail(entry(QStringLiteral("01"), QStringLiteral("本社")));
    for (const QString& no : {QStringLiteral("01"), QStringLiteral("02")}) {
        for (const char* failing : {"account.crp", "DelString", "FontData", "FaxOpt", "MailConn"}) {
            SCOPED_TRACE(no.toStdString() + " " + failing);
            const auto before = dataSnapshot();
            setAtomicWriteHook([failing](AtomicWriteStep step, const QString& path) {
                return !(step == AtomicWriteStep::TempWritten && path.contains(failing));
            });
            AccountEntry e = entry(no, QStringLiteral("新しい名前"));
            e.deleteStrings = {QStringLiteral("広告")};
            e.connection = {{QStringLiteral("PopSecurity"), QStringLiteral("tls")}};
            QString error;
            EXPECT_FALSE(saveAccountEntry(e, &error));
            setAtomicWriteHook({});
            EXPECT_FALSE(error.isEmpty());
            EXPECT_EQ(dataSnapshot(), before);
        }
    }

    // A file that cannot be put back either is named, not passed over.
    int accountWrites = 0;
    setAtomicWriteHook([&accountWrites](AtomicWriteStep step, const QString& path) {
        if (step != AtomicWriteStep::TempWritten)
            return true;
        if (path.contains(QLatin1String("account.crp")))
            return ++accountWrites == 1;
        return !path.contains(QLatin1String("FontData"));
    });
    QString error;
    EXPECT_FALSE(saveAccountEntry(entry(QStringLiteral("01"), QStringLiteral("X")), &error));
    EXPECT_TRUE(error.contains(QDir::toNativeSeparators(paths().accountFile)))
        << error.toStdString();
}

TEST_F(DataTest, DeletingBlanksTheRecordAndEmptiesItsWorkFolders)
{
    // No account file: nothing to blank, nothing written.
    const AccountDeletion nothing = deleteAccountAndWorkFiles(QStringLiteral("02"));
    EXPECT_TRUE(nothing.ok);
    EXPECT_TRUE(dataSnapshot().isEmpty());

    for (const char* no : {"01", "02", "03"}) {
        AccountEntry e = entry(QString::fromLatin1(no), QStringLiteral("口座"));
        e.deleteStrings = {QStringLiteral("広告")};
        saveOrFail(e);
    }
    const QStringList one = fieldsOf(QStringLiteral("01"));
    const QStringList three = fieldsOf(QStringLiteral("03"));
    for (const QString& path : {workFolder("02") + "/1.eml", workAttachFolder("02") + "/a.pdf",
                                workFolder("01") + "/9.eml"})
        putBytes(path, "x");
    ASSERT_TRUE(QDir().mkpath(workDataFolder("02")));
    const auto before = dataSnapshot();

    const AccountDeletion deletion = deleteAccountAndWorkFiles(QStringLiteral("02"));
    EXPECT_TRUE(deletion.ok) << deletion.error.toStdString();
    EXPECT_TRUE(deletion.filesLeft.isEmpty());
    EXPECT_EQ(fieldsOf(QStringLiteral("02")), deletedAccountTemplate("02").toFields());
    EXPECT_EQ(fieldsOf(QStringLiteral("01")), one);
    EXPECT_EQ(fieldsOf(QStringLiteral("03")), three);
    for (const char* name : {"DelString.txt", "FontData.txt", "FaxOpt.txt"})
        EXPECT_EQ(dataSnapshot()[name], before[name]) << name;
    EXPECT_TRUE(QDir(workFolder("02")).entryList(QDir::Files).isEmpty());
    EXPECT_TRUE(QDir(workAttachFolder("02")).entryList(QDir::Files).isEmpty());
    EXPECT_TRUE(QFileInfo(workAttachFolder("02")).isDir());
    EXPECT_TRUE(QFileInfo::exists(workFolder("01") + "/9.eml"));
}

TEST_F(DataTest, SavingWhileAnotherProcessRewritesLosesNoChange)
{
    saveOrFail(entry(QStringLiteral("01"), QStringLiteral("本社")));
    saveOrFail(entry(QStringLiteral("02"), QStringLiteral("支店")));
    QProcess peer;
    peer.start(QStringLiteral(QM_DATA_PEER),
               {QStringLiteral("rewrite"), m_dir.path(), QStringLiteral("300")});
    ASSERT_TRUE(peer.waitForStarted(5000));
    int saves = 0;
    QString lastSaved;
    bool finished = false;
    // Two saves in three fail at their last step, so their roll-backs race the rewrites too.
    while (saves < 15 || !finished) {
        finished = finished || peer.waitForFinished(5);
        const bool fail = saves % 3 != 0;
        setAtomicWriteHook([fail](AtomicWriteStep step, const QString& path) {
            return !(fail && step == AtomicWriteStep::TempWritten && path.contains("FaxOpt"));
        });
        const QString name = QStringLiteral("支店%1").arg(saves);
        QString error;
        ASSERT_EQ(saveAccountEntry(entry(QStringLiteral("02"), name), &error), !fail)
            << error.toStdString();
        if (!fail)
            lastSaved = name;
        ++saves;
        ASSERT_LT(saves, 3000);
    }
    setAtomicWriteHook({});
    EXPECT_EQ(peer.exitCode(), 0) << peer.readAllStandardError().toStdString();

    ASSERT_EQ(linesOf(paths().accountFile).size(), 2);
    const QStringList one = fieldsOf(QStringLiteral("01"));
    ASSERT_EQ(one.size(), 33);
    EXPECT_EQ(one[19], QStringLiteral("299"));
    EXPECT_EQ(one[1], QStringLiteral("本社"));
    EXPECT_EQ(fieldsOf(QStringLiteral("02")).value(1), lastSaved);
    EXPECT_EQ(linesFor(paths().faxOptFile, "02").size(), 1);
}

TEST_F(DataTest, ConnectionValuesGoWithTheirAccountAndAreStoredLikeIt)
{
    AccountEntry e = entry(QStringLiteral("01"), QStringLiteral("本社"));
    e.connection = {{QStringLiteral("PopSecurity"), QStringLiteral("starttls")},
                    {QStringLiteral("RefreshToken"), QStringLiteral("rt-secret-1")}};
    saveOrFail(e);
    AccountEntry other = entry(QStringLiteral("02"), QStringLiteral("支店"));
    other.connection = {{QStringLiteral("SmtpSecurity"), QStringLiteral("none")}};
    saveOrFail(other);
    EXPECT_EQ(storedAccountEntry(e.record).connection, e.connection);

    // The service renews one key; the others stay, an empty value removes a key.
    QString error;
    ASSERT_TRUE(updateMailConnectionValues(
        "01", {{"RefreshToken", "rt-secret-2"}, {"PopSecurity", ""}}, &error))
        << error.toStdString();
    EXPECT_EQ(readMailConnectionValues("01"),
              (MailConnectionValues{{"RefreshToken", "rt-secret-2"}}));
    EXPECT_FALSE(updateMailConnectionValues("01", {{"RefreshToken", "a,b"}}, &error));
    EXPECT_FALSE(updateMailConnectionValues("01", {{"Key=x", "1"}}, &error));
    EXPECT_EQ(readMailConnectionValues("01")["RefreshToken"], "rt-secret-2");

    // Tokens are not left readable on disk while encryption is on.
    ASSERT_TRUE(SetUpEncryption(&error)) << error.toStdString();
    ASSERT_TRUE(updateMailConnectionValues("01", {{"RefreshToken", "rt-secret-3"}}, &error));
    EXPECT_FALSE(readFileBytes(paths().mailConnFile).value_or("rt-secret-3").contains("rt-secret"));
    EXPECT_EQ(readMailConnectionValues("01")["RefreshToken"], "rt-secret-3");

    // Deleting an account takes its tokens along, and only its own.
    ASSERT_TRUE(deleteAccountAndWorkFiles("01").ok);
    EXPECT_TRUE(readMailConnectionValues("01").isEmpty());
    EXPECT_EQ(readMailConnectionValues("02"), other.connection);
}
