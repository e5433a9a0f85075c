// Text faxes and print-outs as the service program draws them: through the quillmarc-draw
// helper, whose requests and answers must arrive whole.

#include "data/Paths.h"
#include "platform/deferred/ProgramFiles.h"
#include "platform/print/ForwardTextPrinter.h"
#include "platform/render/DrawRequest.h"
#include "platform/render/TextFaxRenderer.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace qm;

namespace {

int pdfPages(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray pdf = f.readAll();
    if (!pdf.startsWith("%PDF"))
        return -1;
    return int(pdf.count("/Type /Page\n") + pdf.count("/Type /Page\r") + pdf.count("/Type /Page/") +
               pdf.count("/Type /Page "));
}

} // namespace

TEST(DrawRequest, RecordsSurviveTheTripAndAnythingElseIsRefused)
{
    draw::Request r;
    r.kind = draw::Request::PrintText;
    r.text = QStringLiteral("一行目\r\n二行目\n");
    r.fontName = QStringLiteral("ＭＳ 明朝");
    r.pointSize = 12;
    r.pdfPath = QStringLiteral("/tmp/出力.pdf");
    r.printerName = QStringLiteral("Office");
    const QByteArray bytes = draw::encode(r);
    draw::Request back;
    ASSERT_TRUE(draw::decode(bytes, &back));
    EXPECT_EQ(back.kind, r.kind);
    EXPECT_EQ(back.text, r.text);
    EXPECT_EQ(back.fontName, r.fontName);
    EXPECT_EQ(back.pointSize, r.pointSize);
    EXPECT_EQ(back.pdfPath, r.pdfPath);
    EXPECT_EQ(back.printerName, r.printerName);

    draw::Answer a;
    a.ok = true;
    a.pages = 3;
    a.linesPerPage = {58, 58, 7};
    a.printerName = QStringLiteral("Office");
    draw::Answer aBack;
    ASSERT_TRUE(draw::decode(draw::encode(a), &aBack));
    EXPECT_EQ(aBack.linesPerPage, a.linesPerPage);
    EXPECT_TRUE(aBack.ok);

    // Cut short, carrying more, of the other kind, or of an unknown kind: all refused.
    EXPECT_FALSE(draw::decode(bytes.left(bytes.size() - 3), &back));
    EXPECT_FALSE(draw::decode(bytes + "x", &back));
    EXPECT_FALSE(draw::decode(draw::encode(a), &back));
    EXPECT_FALSE(draw::decode(QByteArray(), &back));
    r.kind = 7;
    EXPECT_FALSE(draw::decode(draw::encode(r), &back));
}

TEST(DrawingHelper, RendersAFaxAndPrintsToAFileForTheService)
{
    // The font library's own diagnostics go to standard output: they must not spoil answers.
    qputenv("FC_DEBUG", "1024");
    QTemporaryDir dir;
    QString text;
    for (int i = 1; i <= 70; ++i)
        text += QStringLiteral("%1 行目: お世話になっております。\n").arg(i);

    const QString fax = dir.filePath(QStringLiteral("fax.pdf"));
    QString error;
    int pages = 0;
    ASSERT_TRUE(renderTextToPdf(text, TextFaxStyle{}, fax, &error, &pages)) << error.toStdString();
    EXPECT_EQ(pages, 2);
    EXPECT_EQ(pdfPages(fax), 2);

    const QString printed = dir.filePath(QStringLiteral("print.pdf"));
    const PrintResult p = printForwardText(text, QStringLiteral("ＭＳ ゴシック"), 11,
                                           PrintTarget{QString(), printed});
    ASSERT_TRUE(p.ok) << p.error.toStdString();
    EXPECT_EQ(p.linesPerPage, (QList<int>{58, 12}));
    EXPECT_EQ(pdfPages(printed), 2);

    // A failure inside the helper comes back as the helper's own reason.
    const QString nowhere = dir.filePath(QStringLiteral("missing/fax.pdf"));
    EXPECT_FALSE(renderTextToPdf(text, TextFaxStyle{}, nowhere, &error));
    EXPECT_TRUE(error.contains(nowhere)) << error.toStdString();
    qunsetenv("FC_DEBUG");
}

TEST(DrawingHelper, RefusesARequestItCannotRead)
{
    QTemporaryDir dir;
    const QString answer = dir.filePath(QStringLiteral("answer"));
    QProcess helper;
    helper.start(executableDir() + QLatin1Char('/') + QLatin1String(kDrawHelperFile), {answer});
    ASSERT_TRUE(helper.waitForStarted());
    helper.write("not a request");
    helper.closeWriteChannel();
    ASSERT_TRUE(helper.waitForFinished(30000));
    EXPECT_EQ(helper.exitCode(), 2);
    EXPECT_FALSE(QFile::exists(answer));
}
