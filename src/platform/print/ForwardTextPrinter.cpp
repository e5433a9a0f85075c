#include "platform/print/ForwardTextPrinter.h"

#include "platform/render/FontMap.h"

#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>
#include <cmath>

namespace qm {

namespace {

// The page is laid out on a character grid of 1/12 inch columns and 1/6 inch rows
// (12 pt), inside a 1/6 inch printer margin. A font taller than a row widens the
// row pitch so that lines never overlap.
constexpr qreal kColumnPt = 6.0;
constexpr qreal kRowPt = 12.0;
constexpr qreal kMarginPt = 12.0;
constexpr int kFirstColumn = 5;
constexpr int kRowsAbove = 3;

} // namespace

PrintResult printTextPages(const QString& text, const QString& fontName, int pointSize,
                           const PrintTarget& target)
{
    PrintResult result;
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        result.error = QStringLiteral("印刷には画面部品の初期化が必要です");
        return result;
    }
    const int size = pointSize >= 1 ? pointSize : 11;

    QPrinter printer(QPrinter::HighResolution);
    if (!target.pdfFile.isEmpty()) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(target.pdfFile);
        result.printerName = target.pdfFile;
    } else {
        const QPrinterInfo info = target.printerName.isEmpty()
                                      ? QPrinterInfo::defaultPrinter()
                                      : QPrinterInfo::printerInfo(target.printerName);
        if (info.isNull()) {
            result.error = target.printerName.isEmpty()
                               ? QStringLiteral("通常使うプリンタがありません")
                               : QStringLiteral("プリンタ %1 がありません").arg(target.printerName);
            return result;
        }
        printer.setPrinterName(info.printerName());
        result.printerName = info.printerName();
    }
    printer.setDocName(QStringLiteral("quillmarc"));
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(kMarginPt, kMarginPt, kMarginPt, kMarginPt),
                                      QPageLayout::Point));

    QFont font(mapFontFamily(fontName));
    font.setPointSize(size);

    const QStringList lines = forwardTextLines(text);
    const qreal dotsPerPt = printer.resolution() / 72.0;
    const QFontMetricsF fm(font, &printer);
    qreal pitch = std::max(kRowPt * dotsPerPt, fm.lineSpacing());
    const qreal column = kColumnPt * dotsPerPt;
    const QRectF area = printer.pageLayout().paintRectPixels(printer.resolution());
    int perPage = tableLinesPerPage(size);
    if (perPage == 0) {
        perPage = std::max(1, int(std::floor(area.height() / pitch)) - kRowsAbove - 1);
    } else {
        // The table's count must fit the page: tighten the leading, never the glyphs.
        pitch = std::max(qreal(size) * dotsPerPt,
                         std::min(pitch, area.height() / (perPage + kRowsAbove + 1)));
    }

    const QList<QStringList> pages = paginateLines(lines, perPage);
    if (pages.isEmpty()) {
        result.ok = true;
        return result;
    }
    QPainter painter;
    if (!painter.begin(&printer)) {
        result.error = QStringLiteral("プリンタ %1 に印刷できません").arg(result.printerName);
        return result;
    }
    painter.setFont(font);
    for (int p = 0; p < pages.size(); ++p) {
        if (p > 0)
            printer.newPage();
        const QStringList& page = pages.at(p);
        for (int k = 1; k <= page.size(); ++k) {
            const qreal top = (k + kRowsAbove) * pitch;
            painter.drawText(QPointF(kFirstColumn * column, top + fm.ascent()), page.at(k - 1));
        }
        result.linesPerPage.append(page.size());
    }
    if (!painter.end()) {
        result.error =
            QStringLiteral("プリンタ %1 への印刷を終えられません").arg(result.printerName);
        result.linesPerPage.clear();
        return result;
    }
    result.ok = true;
    return result;
}

} // namespace qm
