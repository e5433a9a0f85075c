#include "service/FaxDelivery.h"

#include "FaxServiceFixture.h"
#include "data/AccountSettings.h"
#include "data/FaxConfig.h"
#include "platform/render/Ghostscript.h"
#include "service/FaxTextSettings.h"
#include "service/PrintForwardText.h"

#include <QImage>

using namespace qm;
using namespace qm::service;
using namespace qm::test;

namespace {

// No print server here: printing must fail softly.
const bool kNoCups = (qputenv("CUPS_SERVER", "/nonexistent/quillmarc-test/cups.sock"), true);

const QString kSender = QStringLiteral("yamada@sender.test");
const QString kText = QStringLiteral("差出人：山田\r\n件名：見積書\r\n\r\n本文です。");

// A fax page as the recipient gets it: the fax TIFF back through PDF to a gray bitmap.
QImage faxPage(const QString& tif)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("back.pdf"));
    const QString png = dir.filePath(QStringLiteral("page.png"));
    if (!tiffToPdf(tif, pdf))
        return {};
    toolOutput(QStringLiteral("gs"),
               {QStringLiteral("-q"), QStringLiteral("-dNOPAUSE"), QStringLiteral("-dBATCH"),
                QStringLiteral("-dSAFER"), QStringLiteral("-sDEVICE=pnggray"),
                QStringLiteral("-r100"), QStringLiteral("-sOutputFile=") + png, pdf});
    return QImage(png);
}

// The same text drawn straight to a fax page, in the default style.
QImage directPage(const QString& text)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("direct.pdf"));
    const QString tif = dir.filePath(QStringLiteral("direct.tif"));
    if (!renderTextToPdf(text, {}, pdf) ||
        !pdfToFaxTiff(pdf, tif, loadFaxConfig(filePaths().dataDir).fineResolution))
        return {};
    return faxPage(tif);
}

QString fontLine(const QString& no, const QString& faxFont, const QString& faxSize)
{
    return joinQuoted({no, QStringLiteral("1"), QStringLiteral("0"),
                       QStringLiteral("ＭＳ ゴシック"), QStringLiteral("11"), faxFont, faxSize});
}

} // namespace

TEST_F(FaxServiceTest, TextFaxGoesToEachNumberWithTheAccountFont)
{
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
        EXPECT_EQ(job.source, QString()); // drawn from the text, no file of ours
    }
    EXPECT_EQ(logDestinations(kSender),
              (QStringList{QStringLiteral("03-1111-2222"), QStringLiteral("0322223333")}));
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("Data/MAILFAX.txt"))));
    EXPECT_TRUE(screen.boxes.isEmpty());
}

TEST_F(FaxServiceTest, FontIsTheLastLineOfTheAccountAndANonNumericSizeMeans11)
{
    writeLines(filePaths().fontTable, {fontLine("01", QStringLiteral("ＭＳ ゴシック"), "14"),
                                       fontLine("01", QStringLiteral("ＭＳ 明朝"), "12")});
    auto style = LoadFaxTextStyle(ctx, "01");
    ASSERT_TRUE(style);
    EXPECT_EQ(style->fontName, QStringLiteral("ＭＳ 明朝"));
    EXPECT_EQ(style->pointSize, 12);

    writeLines(filePaths().fontTable,
               {fontLine("01", QStringLiteral("ＭＳ Ｐゴシック"), "大きめ")});
    style = LoadFaxTextStyle(ctx, "01");
    ASSERT_TRUE(style);
    EXPECT_EQ(style->pointSize, 11);
    EXPECT_FALSE(LoadFaxTextStyle(ctx, "02"));
}

// Shift-JIS has no Hangul, no emoji and no 𠮷: the page must show them all the same.
TEST_F(FaxServiceTest, TextFaxDrawsCharactersShiftJisLacks)
{
    const QString text = QStringLiteral("件名：회의 안내 😀 𠮷野家\r\n本文です。");
    ASSERT_TRUE(FaxMessage(ctx, "01", {"0312345678"}, text, kSender, {}));
    const QList<SpoolJob> jobs = spoolJobs();
    ASSERT_EQ(jobs.size(), 1);
    const QImage sent = faxPage(jobs[0].tif);
    ASSERT_FALSE(sent.isNull());
    const QImage direct = directPage(text);
    ASSERT_FALSE(direct.isNull());
    EXPECT_TRUE(sent == direct);
    // What the page held when the text went through a Shift-JIS file.
    EXPECT_FALSE(sent == directPage(toCp932Safe(text)));
}

TEST_F(FaxServiceTest, NoUsableFaxFontResetsTheFontFileAndStillFaxesTheText)
{
    const QString other = fontLine("02", QStringLiteral("ＭＳ Ｐゴシック"), "18");
    writeLines(filePaths().fontTable, {other});
    ASSERT_TRUE(FaxMessage(ctx, "01", {"0312345678"}, kText, kSender, {}));
    EXPECT_EQ(spoolJobs().size(), 1);
    const QStringList lines = readTextLines(filePaths().fontTable).value_or(QStringList());
    ASSERT_EQ(lines.size(), 1);
    const QStringList f = splitSettingsLine(lines[0]);
    EXPECT_EQ(f.mid(0, 5), splitSettingsLine(other).mid(0, 5));
    EXPECT_EQ(f.value(5), QStringLiteral("設定不可"));
    EXPECT_EQ(f.value(6), QStringLiteral("0"));
    // From now on no account has a fax font.
    EXPECT_FALSE(LoadFaxTextStyle(ctx, "02"));
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
        {{}, {QString(), QString()}}, // no attachments: the text
        {{jpg}, {}},                  // nothing faxable: nothing at all
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
