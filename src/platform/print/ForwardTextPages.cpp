#include "platform/print/ForwardTextPrinter.h"

#include <QRegularExpression>
#include <algorithm>

namespace qm {

int tableLinesPerPage(int pointSize)
{
    switch (pointSize) {
    case 10:
        return 60;
    case 11:
        return 58;
    case 12:
        return 56;
    case 14:
        return 54;
    default:
        return 0;
    }
}

QStringList forwardTextLines(const QString& text)
{
    static const QRegularExpression breaks(QStringLiteral("\r\n|\n|\r"));
    QStringList lines = text.split(breaks);
    // The piece after the last line break is not a line; but a last line without a
    // line break is still printed.
    if (lines.size() > 1 && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QList<QStringList> paginateLines(const QStringList& lines, int linesPerPage)
{
    QList<QStringList> pages;
    const int per = std::max(1, linesPerPage);
    for (int i = 0; i < lines.size(); i += per)
        pages.append(lines.mid(i, per));
    return pages;
}

} // namespace qm
