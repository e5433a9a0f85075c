#include "platform/render/TextFaxRenderer.h"

#include "data/TextCodec.h"
#include "platform/render/FontMap.h"

#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextLayout>
#include <QTextOption>

namespace qm {

namespace {

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

QString expandTabs(const QString& line)
{
    if (!line.contains(u'\t'))
        return line;
    QString out;
    for (const QChar c : line) {
        if (c == u'\t')
            out.append(QString(8 - out.size() % 8, u' '));
        else
            out.append(c);
    }
    return out;
}

} // namespace

bool renderTextToPdf(const QString& text, const TextFaxStyle& style, const QString& pdfPath,
                     QString* error, int* pages)
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return fail(error, QStringLiteral("文字の描画には画面部品の初期化が必要です"));

    const int pointSize = style.pointSize >= 1 ? style.pointSize : 11;
    QPdfWriter writer(pdfPath);
    writer.setResolution(300);
    writer.setCreator(QStringLiteral("quillmarc"));
    writer.setTitle(QStringLiteral("FAX"));
    // Margins of a plain text editor's print-out: 20 mm at the sides, 25 mm top and bottom.
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(20, 25, 20, 25), QPageLayout::Millimeter));

    QFont font(mapFontFamily(style.fontName));
    font.setPointSize(pointSize);
    font.setStyleHint(QFont::TypeWriter);

    QPainter painter;
    if (!painter.begin(&writer))
        return fail(error, QStringLiteral("%1 に書けません").arg(pdfPath));
    painter.setFont(font);
    const QFontMetricsF fm(font, &writer);
    const QRectF area = writer.pageLayout().paintRectPixels(writer.resolution()).translated(0, 0);
    const qreal width = area.width();
    const qreal height = area.height();
    const qreal lineHeight = fm.lineSpacing();

    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);

    int pageCount = 1;
    qreal y = 0;
    const QStringList lines = splitLines(text);
    for (const QString& raw : lines) {
        const QString line = expandTabs(raw);
        QTextLayout layout(line, font, &writer);
        layout.setTextOption(option);
        layout.beginLayout();
        QList<QTextLine> parts;
        for (QTextLine tl = layout.createLine(); tl.isValid(); tl = layout.createLine()) {
            tl.setLineWidth(width);
            parts.append(tl);
        }
        layout.endLayout();
        if (parts.isEmpty()) {
            // An empty line still takes its row.
            if (y + lineHeight > height) {
                writer.newPage();
                ++pageCount;
                y = 0;
            }
            y += lineHeight;
            continue;
        }
        for (QTextLine& tl : parts) {
            if (y + lineHeight > height) {
                writer.newPage();
                ++pageCount;
                y = 0;
            }
            tl.draw(&painter, QPointF(0, y - tl.y()));
            y += lineHeight;
        }
    }
    if (!painter.end())
        return fail(error, QStringLiteral("%1 を書き終えられません").arg(pdfPath));
    if (pages)
        *pages = pageCount;
    return true;
}

} // namespace qm
