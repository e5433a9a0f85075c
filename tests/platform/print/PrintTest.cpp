#include "platform/print/ForwardTextPrinter.h"
#include "platform/render/FaxTestSupport.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

using namespace qm;
using qm::test::toolOutput;

namespace {

QString numberedText(int lines)
{
    QString text;
    for (int i = 1; i <= lines; ++i)
        text += QStringLiteral("第%1行 日本語の転送テキスト\r\n").arg(i);
    return text;
}

QString pageText(const QString& pdf, int page)
{
    return QString::fromUtf8(
        toolOutput(QStringLiteral("pdftotext"),
                   {QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
                    QString::number(page), pdf, QStringLiteral("-")}));
}

// Top-left corner of a word in a PDF page, in points.
QPointF wordAt(const QString& pdf, const QString& word)
{
    const QString html = QString::fromUtf8(toolOutput(
        QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")}));
    const QRegularExpression re(
        QStringLiteral("xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\"[^>]*>%1<").arg(word));
    const auto m = re.match(html);
    return m.hasMatch() ? QPointF(m.captured(1).toDouble(), m.captured(2).toDouble())
                        : QPointF(-1, -1);
}

} // namespace

TEST(ForwardTextLines, LinesAndPages)
{
    EXPECT_EQ(forwardTextLines(QStringLiteral("a\r\nb\r\n")),
              (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_EQ(forwardTextLines(QStringLiteral("a\r\nb")),
              (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    // Ten lines and no final line break: the last line is still printed.
    QStringList ten;
    for (int i = 0; i < 10; ++i)
        ten << QString::number(i);
    EXPECT_EQ(forwardTextLines(ten.join(QStringLiteral("\r\n"))), ten);
    EXPECT_EQ(forwardTextLines(QStringLiteral("a\nb\rc")).size(), 3);

    EXPECT_EQ(tableLinesPerPage(10), 60);
    EXPECT_EQ(tableLinesPerPage(11), 58);
    EXPECT_EQ(tableLinesPerPage(12), 56);
    EXPECT_EQ(tableLinesPerPage(14), 54);
    EXPECT_EQ(tableLinesPerPage(16), 0);
    QStringList lines = forwardTextLines(numberedText(120));
    const auto pages = paginateLines(lines, 56);
    ASSERT_EQ(pages.size(), 3);
    EXPECT_EQ(pages.at(2).size(), 8);
    EXPECT_TRUE(paginateLines({}, 56).isEmpty());
}

TEST(PrintForwardText, DefaultCupsPrinterGetsPagesOf56And56And8)
{
    QM_REQUIRE_SERVER_VAR(server, "QM_CUPS_SERVER");
    QM_REQUIRE_SERVER_VAR(output, "QM_CUPS_OUTPUT");
    QM_REQUIRE_SERVER_VAR(printer, "QM_CUPS_PRINTER");
    qputenv("CUPS_SERVER", server.toLocal8Bit());
    QFile::remove(output);

    const PrintResult r = printTextPages(numberedText(120), QStringLiteral("ＭＳ ゴシック"), 12);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(r.printerName, printer);
    EXPECT_EQ(r.linesPerPage, (QList<int>{56, 56, 8}));

    // The job is done when the queue is empty and the file is there.
    QDeadlineTimer deadline(60000);
    while (!deadline.hasExpired()) {
        const QByteArray queue = toolOutput(QStringLiteral("lpstat"), {QStringLiteral("-o")});
        if (queue.trimmed().isEmpty() && QFileInfo(output).size() > 0)
            break;
        QThread::msleep(100);
    }
    ASSERT_GT(QFileInfo(output).size(), 0) << "no PDF from the print queue";
    const QString info = QString::fromUtf8(toolOutput(QStringLiteral("pdfinfo"), {output}));
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+3\\n"))))
        << info.toStdString();
    EXPECT_TRUE(info.contains(QStringLiteral("(A4)"))) << info.toStdString();

    const QString p1 = pageText(output, 1);
    const QString p3 = pageText(output, 3);
    EXPECT_TRUE(p1.contains(QStringLiteral("第1行 日本語の転送テキスト")))
        << p1.left(200).toStdString();
    EXPECT_TRUE(p1.contains(QStringLiteral("第56行")));
    EXPECT_FALSE(p1.contains(QStringLiteral("第57行")));
    EXPECT_TRUE(pageText(output, 2).contains(QStringLiteral("第57行")));
    EXPECT_TRUE(p3.contains(QStringLiteral("第113行")));
    EXPECT_TRUE(p3.contains(QStringLiteral("第120行")));
    EXPECT_EQ(p3.count(QStringLiteral("日本語の転送テキスト")), 8);
}

TEST(PrintForwardText, CellPositionsAndSizesOutsideTheTable)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("print.pdf"));
    const PrintResult r =
        printTextPages(numberedText(130), QStringLiteral("ＭＳ 明朝"), 16, {QString(), pdf});
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    ASSERT_GE(r.linesPerPage.size(), 2);
    const int per = r.linesPerPage.first();
    // 16 pt rows on A4 less the margin and the three rows above the text.
    EXPECT_GE(per, 40);
    EXPECT_LE(per, 48);
    int total = 0;
    for (int n : r.linesPerPage)
        total += n;
    EXPECT_EQ(total, 130);

    // Line 1 sits at column 5 and row 4 of the grid (1/12 and 1/6 inch cells, 1/6 inch margin).
    const QPointF first = wordAt(pdf, QStringLiteral("第1行"));
    const QPointF second = wordAt(pdf, QStringLiteral("第2行"));
    const qreal pitch = second.y() - first.y();
    EXPECT_GE(pitch, 16.0); // a 16 pt font widens the 12 pt rows, lines never overlap
    EXPECT_LE(pitch, 20.0);
    EXPECT_NEAR(first.x(), 12 + 5 * 6, 2.0);
    EXPECT_NEAR(first.y(), 12 + 4 * pitch, 2.0);
    EXPECT_NEAR(second.x(), first.x(), 0.5);
    // The last line of a full page still ends inside the page.
    const QPointF last = wordAt(pdf, QStringLiteral("第%1行").arg(per));
    EXPECT_GT(last.y(), first.y());
    EXPECT_LT(last.y() + 16, 842 - 12 + 1);
}

TEST(PrintForwardText, EveryTableSizeFitsItsLinesOnThePage)
{
    QTemporaryDir dir;
    for (int size : {10, 11, 12, 14}) {
        const QString pdf = dir.filePath(QStringLiteral("p%1.pdf").arg(size));
        const PrintResult r = printTextPages(numberedText(70), QStringLiteral("ＭＳ Ｐゴシック"),
                                             size, {QString(), pdf});
        ASSERT_TRUE(r.ok) << r.error.toStdString();
        const int per = tableLinesPerPage(size);
        EXPECT_EQ(r.linesPerPage, (QList<int>{per, 70 - per})) << size;
        const QPointF last = wordAt(pdf, QStringLiteral("第%1行").arg(per));
        const QPointF before = wordAt(pdf, QStringLiteral("第%1行").arg(per - 1));
        EXPECT_GE(last.y() - before.y(), size - 0.5) << size; // no overlapping lines
        EXPECT_LT(last.y() + size, 842 - 12 + 1) << size;     // and the last one on the page
    }
}

TEST(PrintForwardText, UnknownPrinterIsAFailure)
{
    const PrintResult r =
        printTextPages(QStringLiteral("x\r\n"), QStringLiteral("ＭＳ ゴシック"), 11,
                       {QStringLiteral("quillmarc-no-such-printer"), QString()});
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.error.contains(QStringLiteral("quillmarc-no-such-printer")));
}
