#include "platform/render/FaxDocumentConverter.h"
#include "platform/render/FaxTestSupport.h"
#include "platform/render/FontMap.h"
#include "platform/render/Ghostscript.h"
#include "platform/render/TextFaxRenderer.h"

#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace qm;
using qm::test::toolOutput;

namespace {

const QString kJapanese =
    QStringLiteral("ファクス送信テスト：請求書（第３号）ﾊﾝｶｸｶﾅ　全角スペース、ＡＢＣ①");

int darkPixels(const QImage& image)
{
    int dark = 0;
    const QImage gray = image.convertToFormat(QImage::Format_Grayscale8);
    for (int y = 0; y < gray.height(); ++y) {
        const uchar* line = gray.constScanLine(y);
        for (int x = 0; x < gray.width(); ++x)
            dark += line[x] < 128;
    }
    return dark;
}

} // namespace

TEST(FontMap, WindowsNamesBecomeInstalledJapaneseFonts)
{
    EXPECT_EQ(mapFontFamily(QStringLiteral("ＭＳ ゴシック")), QStringLiteral("IPAGothic"));
    EXPECT_EQ(mapFontFamily(QStringLiteral("ＭＳ Ｐゴシック")), QStringLiteral("IPAPGothic"));
    EXPECT_EQ(mapFontFamily(QStringLiteral("ＭＳ 明朝")), QStringLiteral("IPAMincho"));
    EXPECT_EQ(mapFontFamily(QStringLiteral("ＭＳ Ｐ明朝")), QStringLiteral("IPAPMincho"));
    // The reset marker and unknown names still give a font that draws Japanese.
    for (const QString& name :
         {QStringLiteral("設定不可"), QString(), QStringLiteral("No Such Font")}) {
        const QString family = mapFontFamily(name);
        EXPECT_EQ(family, QStringLiteral("IPAGothic")) << name.toStdString();
        EXPECT_TRUE(fontCoversText(family, kJapanese)) << name.toStdString();
    }
}

TEST(TextFaxRenderer, JapaneseTextOnA4WithTheMappedFont)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("fax.pdf"));
    QStringList lines;
    for (int i = 1; i <= 90; ++i)
        lines << QStringLiteral("%1行目 %2").arg(i).arg(kJapanese);
    lines << QString(300, QChar(u'長')); // wrapped, not cut off
    int pages = 0;
    QString error;
    ASSERT_TRUE(renderTextToPdf(lines.join(QStringLiteral("\r\n")),
                                {QStringLiteral("ＭＳ 明朝"), 12}, pdf, &error, &pages))
        << error.toStdString();
    EXPECT_GE(pages, 2);

    const QString info = QString::fromUtf8(toolOutput(QStringLiteral("pdfinfo"), {pdf}));
    EXPECT_TRUE(info.contains(QStringLiteral("(A4)"))) << info.toStdString();
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+%1\\b").arg(pages))))
        << info.toStdString();
    const QString fonts = QString::fromUtf8(toolOutput(QStringLiteral("pdffonts"), {pdf}));
    EXPECT_TRUE(fonts.contains(QStringLiteral("IPAMincho"))) << fonts.toStdString();

    // As a fax, every page knows the total ("1-0" reads as "page 2 of 0" to fax software).
    const QString tif = dir.filePath(QStringLiteral("fax.tif"));
    ASSERT_TRUE(pdfToFaxTiff(pdf, tif, false, &error)) << error.toStdString();
    const QString tiff = QString::fromUtf8(toolOutput(QStringLiteral("tiffinfo"), {tif}));
    for (int page = 0; page < pages; ++page)
        EXPECT_TRUE(tiff.contains(QStringLiteral("Page Number: %1-%2").arg(page).arg(pages)))
            << tiff.toStdString();

    const QString text =
        QString::fromUtf8(toolOutput(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")}));
    EXPECT_TRUE(text.contains(QStringLiteral("1行目 ファクス送信テスト：請求書")))
        << text.left(300).toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("90行目"))) << text.right(300).toStdString();
    EXPECT_EQ(text.count(u'長'), 300);
}

TEST(FaxDocumentConverter, TextFilesAreReadAsUtf8OrShiftJis)
{
    QTemporaryDir dir;
    const QString sjis = dir.filePath(QStringLiteral("a.txt"));
    const QString utf8 = dir.filePath(QStringLiteral("b.txt"));
    QFile f1(sjis);
    ASSERT_TRUE(f1.open(QIODevice::WriteOnly));
    f1.write(QByteArray::fromHex("93fa967b8cea0d0a")); // 日本語 CR LF in Shift-JIS
    f1.close();
    QFile f2(utf8);
    ASSERT_TRUE(f2.open(QIODevice::WriteOnly));
    f2.write("\xEF\xBB\xBF" + QStringLiteral("한국어").toUtf8());
    f2.close();
    FaxDocumentConverter converter;
    const QString pdf = dir.filePath(QStringLiteral("out.pdf"));
    const auto textOf = [&](const QString& file) {
        QString error;
        EXPECT_TRUE(converter.toPdf(file, pdf, &error)) << error.toStdString();
        return QString::fromUtf8(
            toolOutput(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")}));
    };
    EXPECT_TRUE(textOf(sjis).contains(QStringLiteral("日本語")));
    EXPECT_TRUE(textOf(utf8).contains(QStringLiteral("한국어")));
    QString error;
    EXPECT_FALSE(converter.toPdf(dir.filePath(QStringLiteral("missing.txt")), pdf, &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(Ghostscript, FaxTiffIsG3A4AndCarriesTheText)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("fax.pdf"));
    const QString tif = dir.filePath(QStringLiteral("fax.tif"));
    ASSERT_TRUE(renderTextToPdf(kJapanese, {QStringLiteral("ＭＳ ゴシック"), 18}, pdf));
    QString error;
    ASSERT_TRUE(pdfToFaxTiff(pdf, tif, true, &error)) << error.toStdString();

    const QString info = QString::fromUtf8(toolOutput(QStringLiteral("tiffinfo"), {tif}));
    EXPECT_TRUE(info.contains(QStringLiteral("Image Width: 1728 Image Length: 2292")))
        << info.toStdString();
    EXPECT_TRUE(info.contains(QStringLiteral("Resolution: 204, 196"))) << info.toStdString();
    EXPECT_TRUE(info.contains(QStringLiteral("CCITT Group 3"))) << info.toStdString();
    EXPECT_TRUE(info.contains(QStringLiteral("Bits/Sample: 1"))) << info.toStdString();

    // Back to an image: the top of the page must hold drawn glyphs, the bottom nothing.
    const QString back = dir.filePath(QStringLiteral("back.pdf"));
    ASSERT_TRUE(tiffToPdf(tif, back, &error)) << error.toStdString();
    const QString png = dir.filePath(QStringLiteral("page.png"));
    toolOutput(QStringLiteral("gs"),
               {QStringLiteral("-q"), QStringLiteral("-dNOPAUSE"), QStringLiteral("-dBATCH"),
                QStringLiteral("-dSAFER"), QStringLiteral("-sDEVICE=pnggray"),
                QStringLiteral("-r100"), QStringLiteral("-sOutputFile=") + png, back});
    QImage image(png);
    ASSERT_FALSE(image.isNull());
    const QImage top = image.copy(0, 0, image.width(), image.height() / 6);
    const QImage bottom = image.copy(0, image.height() / 2, image.width(), image.height() / 2);
    EXPECT_GT(darkPixels(top), 500);
    EXPECT_EQ(darkPixels(bottom), 0);
}

TEST(Ghostscript, MissingOrBrokenInputIsAnError)
{
    QTemporaryDir dir;
    QString error;
    EXPECT_FALSE(pdfToFaxTiff(dir.filePath(QStringLiteral("none.pdf")),
                              dir.filePath(QStringLiteral("x.tif")), true, &error));
    EXPECT_FALSE(error.isEmpty());
    const QString junk = dir.filePath(QStringLiteral("junk.pdf"));
    QFile f(junk);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("%PDF-1.4 this is not really a pdf");
    f.close();
    error.clear();
    EXPECT_FALSE(pdfToFaxTiff(junk, dir.filePath(QStringLiteral("y.tif")), true, &error));
    EXPECT_FALSE(error.isEmpty());
}
