#include "service/FaxDelivery.h"

#include "FaxServiceFixture.h"
#include "data/AccountSettings.h"
#include "platform/system/RegistryStore.h"
#include "service/FaxTextSettings.h"

using namespace qm;
using namespace qm::service;
using namespace qm::test;

namespace {

// No print server here: printing must fail softly.
const bool kNoCups = (qputenv("CUPS_SERVER", "/nonexistent/quillmarc-test/cups.sock"), true);

const QString kSender = QStringLiteral("yamada@sender.test");
const QString kText = QStringLiteral("差出人：山田\r\n件名：見積書\r\n\r\n本文です。");

QVariant registryValue(const char16_t* name, RegistryType type)
{
    return ReadRegistryValue(QString::fromUtf16(kTextFaxRoot), QString::fromUtf16(kTextFaxKey),
                             QString::fromUtf16(name), type, QStringLiteral("<missing>"));
}

void setRegistry(const QString& face, int size)
{
    WriteRegistryValue(QString::fromUtf16(kTextFaxRoot), QString::fromUtf16(kTextFaxKey),
                       QString::fromUtf16(kTextFaxFace), RegistryType::String, face);
    WriteRegistryValue(QString::fromUtf16(kTextFaxRoot), QString::fromUtf16(kTextFaxKey),
                       QString::fromUtf16(kTextFaxSize), RegistryType::Dword, size);
}

QString fontLine(const QString& no, const QString& faxFont, const QString& faxSize)
{
    return joinQuoted({no, QStringLiteral("1"), QStringLiteral("0"),
                       QStringLiteral("ＭＳ ゴシック"), QStringLiteral("11"), faxFont, faxSize});
}

} // namespace

TEST_F(FaxServiceTest, TextFaxGoesToEachNumberWithTheAccountFontWhichIsRestoredAfterwards)
{
    setRegistry(QStringLiteral("IPAPGothic"), 95);
    writeLines(filePaths().fontTable, {fontLine("02", QStringLiteral("ＭＳ Ｐゴシック"), "18"),
                                       fontLine("01", QStringLiteral("ＭＳ ゴシック"), "14"),
                                       fontLine("01", QStringLiteral("ＭＳ 明朝"), "12")});
    ASSERT_TRUE(FaxMessage(ctx, "01", {"03-1111-2222", "", "0322223333"}, kText, kSender, {}));

    const QList<SpoolJob> jobs = spoolJobs();
    ASSERT_EQ(jobs.size(), 2);
    EXPECT_EQ(jobs[0].number, QStringLiteral("03-1111-2222"));
    EXPECT_EQ(jobs[1].number, QStringLiteral("0322223333"));
    for (const SpoolJob& job : jobs) {
        EXPECT_EQ(job.name, QStringLiteral("メール転送"));
        EXPECT_EQ(job.source, filePaths().mailFaxFile);
    }
    EXPECT_EQ(logDestinations(kSender),
              (QStringList{QStringLiteral("03-1111-2222"), QStringLiteral("0322223333")}));
    // The text file holds the text exactly; the short pauses let events run.
    EXPECT_EQ(readFileBytes(filePaths().mailFaxFile).value_or(QByteArray()), *encodeCp932(kText));
    EXPECT_EQ(waited, 500);
    EXPECT_EQ(screen.eventRuns, 5);
    // The renderer's own font is back.
    EXPECT_EQ(registryValue(kTextFaxFace, RegistryType::String).toString(),
              QStringLiteral("IPAPGothic"));
    EXPECT_EQ(registryValue(kTextFaxSize, RegistryType::Dword).toInt(), 95);
    EXPECT_TRUE(screen.boxes.isEmpty());
}

TEST_F(FaxServiceTest, FontIsSetFromTheLastLineAndANonNumericSizeMeans11)
{
    setRegistry(QStringLiteral("Old"), 100);
    writeLines(filePaths().fontTable, {fontLine("01", QStringLiteral("ＭＳ 明朝"), "12")});
    ASSERT_TRUE(SetNotepadPrinting(ctx, "01"));
    EXPECT_EQ(CurrentTextFaxStyle().fontName, QStringLiteral("ＭＳ 明朝"));
    EXPECT_EQ(CurrentTextFaxStyle().pointSize, 12);
    EXPECT_EQ(registryValue(kTextFaxSize, RegistryType::Dword).toInt(), 120);
    RestoreNotepadPrinting(ctx);
    EXPECT_EQ(registryValue(kTextFaxFace, RegistryType::String).toString(), QStringLiteral("Old"));
    EXPECT_EQ(registryValue(kTextFaxSize, RegistryType::Dword).toInt(), 100);

    writeLines(filePaths().fontTable,
               {fontLine("01", QStringLiteral("ＭＳ Ｐゴシック"), "大きめ")});
    ASSERT_TRUE(SetNotepadPrinting(ctx, "01"));
    EXPECT_EQ(registryValue(kTextFaxSize, RegistryType::Dword).toInt(), 110);
    RestoreNotepadPrinting(ctx);
}

TEST_F(FaxServiceTest, NoUsableFaxFontResetsTheFontFileAndStillFaxesTheText)
{
    setRegistry(QStringLiteral("Old"), 100);
    const QString other = fontLine("02", QStringLiteral("ＭＳ Ｐゴシック"), "18");
    writeLines(filePaths().fontTable, {other});
    ASSERT_TRUE(FaxMessage(ctx, "01", {"0312345678"}, kText, kSender, {}));
    EXPECT_EQ(spoolJobs().size(), 1);
    EXPECT_EQ(registryValue(kTextFaxFace, RegistryType::String).toString(), QStringLiteral("Old"));
    EXPECT_EQ(registryValue(kTextFaxSize, RegistryType::Dword).toInt(), 100);
    const QStringList lines = readTextLines(filePaths().fontTable).value_or(QStringList());
    ASSERT_EQ(lines.size(), 1);
    const QStringList f = splitSettingsLine(lines[0]);
    EXPECT_EQ(f.mid(0, 5), splitSettingsLine(other).mid(0, 5));
    EXPECT_EQ(f.value(5), QStringLiteral("設定不可"));
    EXPECT_EQ(f.value(6), QStringLiteral("0"));
    // From now on no account has a fax font: nothing is switched.
    EXPECT_FALSE(SetNotepadPrinting(ctx, "02"));
}

TEST_F(FaxServiceTest, AttachOptionFaxesOnlyFaxableAttachmentsInAnyOrder)
{
    ASSERT_TRUE(saveFaxOption("01", QStringLiteral("attach")));
    const QString pdf = writeFile(QStringLiteral("MlTmp01/Attach/a.pdf"), [] {
        QTemporaryDir d;
        const QString p = d.filePath(QStringLiteral("a.pdf"));
        renderTextToPdf(QStringLiteral("添付の文書"), {}, p);
        return readFileBytes(p).value_or(QByteArray());
    }());
    const QString jpg = writeFile(QStringLiteral("MlTmp01/Attach/b.jpg"), "\xFF\xD8\xFF\xE0");
    const QString oddCase = writeFile(QStringLiteral("MlTmp01/Attach/report.Doc"), "x");
    const QStringList numbers{"0311112222", "0333334444"};

    struct Case
    {
        QStringList attachments;
        QStringList expectedSources;
    };
    const QList<Case> cases = {
        {{pdf, jpg}, {pdf, pdf}},
        {{jpg, pdf}, {pdf, pdf}},
        {{}, {filePaths().mailFaxFile, filePaths().mailFaxFile}}, // no attachments: the text
        {{jpg}, {}},                                              // nothing faxable: nothing at all
        {{oddCase, jpg}, {}},
    };
    for (const Case& c : cases) {
        QDir(path(QStringLiteral("Data/FaxSpool"))).removeRecursively();
        ASSERT_TRUE(FaxMessage(ctx, "01", numbers, kText, kSender, c.attachments));
        QStringList sources;
        for (const SpoolJob& job : spoolJobs()) {
            sources << job.source;
            EXPECT_EQ(job.name,
                      job.source == pdf ? QStringLiteral("メール") : QStringLiteral("メール転送"));
        }
        EXPECT_EQ(sources, c.expectedSources) << c.attachments.join(u' ').toStdString();
    }
    // Two numbers each for the three faxing cases, nothing logged for the others.
    EXPECT_EQ(logDestinations(kSender).size(), 6);
}

TEST_F(FaxServiceTest, RefusedJobsAreLoggedWithTheirSuffixAndTheOthersStillTried)
{
    useUnreachableFaxServer();
    const QString pdf = writeFile(QStringLiteral("MlTmp01/Attach/a.pdf"), "%PDF-1.4\n");
    ASSERT_TRUE(FaxMessage(ctx, "01", {"0312345678", "0399998888"}, kText, kSender, {}));
    ASSERT_TRUE(saveFaxOption("01", QStringLiteral("attach")));
    ASSERT_TRUE(FaxMessage(ctx, "01", {"0312345678"}, kText, kSender, {pdf}));
    EXPECT_EQ(logDestinations(kSender),
              (QStringList{QStringLiteral("0312345678 FAX設定エラー1"),
                           QStringLiteral("0399998888 FAX設定エラー1"),
                           QStringLiteral("0312345678 (a.pdf) FAX送信エラー")}));
    // A bad number from mail fails the same way and never reaches a command.
    ASSERT_TRUE(saveFaxOption("01", QStringLiteral("mail")));
    QFile::remove(filePaths().faxPathFile);
    ASSERT_TRUE(FaxMessage(ctx, "01", {"03;reboot", "0312345678"}, kText, kSender, {}));
    EXPECT_EQ(
        logDestinations(kSender).mid(3),
        (QStringList{QStringLiteral("03;reboot FAX設定エラー1"), QStringLiteral("0312345678")}));
    EXPECT_EQ(spoolJobs().size(), 1);
    EXPECT_TRUE(screen.boxes.isEmpty());
}

TEST_F(FaxServiceTest, FaxPlatformFollowsTheConfiguredBackend)
{
    EXPECT_TRUE(DetectFaxPlatform(ctx)); // the spool folder below Data/
    useUnreachableFaxServer();
    QString why;
    EXPECT_FALSE(ctx.faxStation().isUsable(&why));
    EXPECT_FALSE(why.isEmpty());
}

TEST_F(FaxServiceTest, PrintingWithoutAPrinterIsALogLine)
{
    ctx.font.printMode = 1;
    ctx.font.printFontSize = QStringLiteral("12");
    PrintForwardText(ctx, kText);
    EXPECT_EQ(logDestinations(QStringLiteral("印刷できません")).size(), 1);
    EXPECT_TRUE(screen.boxes.isEmpty());
}
