#include "platform/fax/FaxFileTypes.h"

#include <QStringList>

namespace qm {

bool isFaxableFile(const QString& path)
{
    static const QStringList kFaxable = {
        QStringLiteral("tif"), QStringLiteral("TIF"), QStringLiteral("doc"), QStringLiteral("DOC"),
        QStringLiteral("xls"), QStringLiteral("XLS"), QStringLiteral("txt"), QStringLiteral("TXT"),
        QStringLiteral("PDF"), QStringLiteral("pdf")};
    if (path.size() < 3)
        return false;
    return kFaxable.contains(path.right(3));
}

} // namespace qm
