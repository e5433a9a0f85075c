#include "data/Encryption.h"

#include "DataFixture.h"
#include "data/AccountFile.h"
#include "data/ForwardLog.h"

#include <QRandomGenerator>

using namespace qm;

namespace {

QByteArray randomBytes(int n)
{
    QByteArray out(n, Qt::Uninitialized);
    for (char& c : out)
        c = char(QRandomGenerator::global()->bounded(256));
    return out;
}

void switchOn()
{
    QString error;
    ASSERT_TRUE(SetUpEncryption(&error)) << error.toStdString();
    ASSERT_TRUE(encryptionOn());
}

} // namespace

TEST_F(DataTest, EncryptionGivesBackExactlyTheBytes)
{
    const QByteArray samples[] = {
        QByteArray(),
        sjis(QStringLiteral("\"01\",\"アカウント01\"\r\n\"02\",\"x\"\r\n")),
        sjis(QStringLiteral("no final line end")),
        QByteArray("\x00\xff\x81", 3),
        sjis(QStringLiteral("\"2026/12/07,09:00,本社,a@example.jp,送信完了\"\r\n").repeated(500)),
        randomBytes(4096),
    };
    for (const QByteArray& plain : samples) {
        const auto enc = encryptBytes(plain);
        ASSERT_TRUE(enc);
        EXPECT_TRUE(looksEncrypted(*enc));
        EXPECT_FALSE(enc->contains('\n'));
        EXPECT_EQ(*decryptBytes(*enc), plain);
    }
    // Files: same lines and the same final CR LF; the source stays.
    const QString src = paths().dataDir + QStringLiteral("/p.txt");
    const QString enc = paths().dataDir + QStringLiteral("/p.crp");
    const QString dec = paths().dataDir + QStringLiteral("/p.dec");
    putBytes(src, samples[1]);
    ASSERT_TRUE(EncryptFile(src, enc));
    ASSERT_TRUE(DecryptFile(enc, dec));
    EXPECT_EQ(bytesOf(dec), samples[1]);
    EXPECT_EQ(bytesOf(src), samples[1]);
}

TEST_F(DataTest, PlainTruncatedOrTamperedInputFailsToDecrypt)
{
    const QByteArray plain = sjis(QStringLiteral("\"01\",\"アカウント01\"\r\n"));
    const QByteArray enc = *encryptBytes(plain);
    QString error;
    EXPECT_FALSE(decryptBytes(plain, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(decryptBytes(enc.left(enc.size() - 8)));
    QByteArray flipped = QByteArray::fromBase64(enc);
    flipped[30] = char(flipped[30] ^ 1);
    EXPECT_FALSE(decryptBytes(flipped.toBase64()));
    EXPECT_FALSE(DecryptFile(paths().dataDir + QStringLiteral("/missing"),
                             paths().dataDir + QStringLiteral("/out")));
}

TEST_F(DataTest, SwitchingOnEncryptsExistingFilesAndLaterWrites)
{
    AccountRecord r = newAccountTemplate(QStringLiteral("01"));
    r.PopServer = QStringLiteral("pop.jp");
    ASSERT_TRUE(saveAccount(r).ok);
    ASSERT_TRUE(writeLogLine(QStringLiteral("quillmarc Started ▲"), {}, {}, 24,
                             QDateTime::currentDateTime()));
    EXPECT_FALSE(encryptionOn());

    switchOn();
    EXPECT_TRUE(looksEncrypted(bytesOf(paths().accountFile)));
    EXPECT_TRUE(looksEncrypted(bytesOf(paths().logFile)));
    auto table = readAccountTable();
    ASSERT_EQ(table->records.size(), 1);
    EXPECT_TRUE(table->decryptError.isEmpty());

    r.AccountName = QStringLiteral("本社");
    ASSERT_TRUE(saveAccount(r).ok);
    EXPECT_TRUE(looksEncrypted(bytesOf(paths().accountFile)));
    EXPECT_EQ(readAccountTable()->records.first().AccountName, QStringLiteral("本社"));
    EXPECT_EQ(takeLogRows()->first().account, QStringLiteral("quillmarc Started ▲"));
    // Running it again changes nothing and still succeeds.
    switchOn();
    EXPECT_EQ(readAccountTable()->records.size(), 1);
}

TEST_F(DataTest, SwitchingOnWithoutFilesSucceeds)
{
    switchOn();
    EXPECT_FALSE(QFileInfo::exists(paths().accountFile));
    EXPECT_FALSE(QFileInfo::exists(paths().logFile));
}

TEST_F(DataTest, PlainFileWithEncryptionOnIsReadSilentlyThenStoredEncrypted)
{
    putBytes(paths().accountFile,
             sjis(newAccountTemplateLine(QStringLiteral("01")) + QStringLiteral("\r\n")));
    putBytes(paths().encryptionMarker, "on");
    auto table = readAccountTable();
    ASSERT_EQ(table->records.size(), 1);
    EXPECT_TRUE(table->decryptError.isEmpty());
    ASSERT_TRUE(deleteAccount(QStringLiteral("01")).ok);
    EXPECT_TRUE(looksEncrypted(bytesOf(paths().accountFile)));
    EXPECT_TRUE(readAccountTable()->decryptError.isEmpty());
}

TEST_F(DataTest, EncryptedFileStaysReadableWhenTheMarkerIsRemoved)
{
    switchOn();
    AccountRecord r = newAccountTemplate(QStringLiteral("01"));
    r.PopServer = QStringLiteral("pop.jp");
    ASSERT_TRUE(saveAccount(r).ok);
    ASSERT_TRUE(QFile::remove(paths().encryptionMarker));

    EXPECT_EQ(readAccountTable()->records.size(), 1);
    ASSERT_TRUE(saveAccount(r).ok);
    EXPECT_FALSE(looksEncrypted(bytesOf(paths().accountFile)));
    EXPECT_EQ(readAccountTable()->records.first(), r);
}

TEST_F(DataTest, TamperedAccountFileIsNeverRewritten)
{
    switchOn();
    AccountRecord r = newAccountTemplate(QStringLiteral("01"));
    ASSERT_TRUE(saveAccount(r).ok);
    QByteArray stored = bytesOf(paths().accountFile);
    stored.chop(12);
    putBytes(paths().accountFile, stored);

    const auto table = readAccountTable();
    EXPECT_TRUE(table->records.isEmpty());
    EXPECT_FALSE(table->decryptError.isEmpty());
    const RewriteResult res = saveAccount(newAccountTemplate(QStringLiteral("02")));
    EXPECT_FALSE(res.ok);
    EXPECT_EQ(bytesOf(paths().accountFile), stored);
}
