#include "data/MailAddress.h"

namespace qm {

bool isPlainMailAddress(const QString& address)
{
    const qsizetype at = address.indexOf(QLatin1Char('@'));
    if (at <= 0 || at != address.lastIndexOf(QLatin1Char('@')) || at == address.size() - 1)
        return false;
    for (const QChar c : address) {
        if (c.unicode() <= 0x20 || c.unicode() >= 0x7f || QStringView(u"<>()[]\\,;:\"").contains(c))
            return false;
    }
    return true;
}

} // namespace qm
