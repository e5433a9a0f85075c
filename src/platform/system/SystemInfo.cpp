#include "platform/system/SystemInfo.h"

#include <QSysInfo>

namespace qm {

QString GetLocalComputerName()
{
    return TrimAtNul(QSysInfo::machineHostName());
}

QString TrimAtNul(const QString& text)
{
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    if (nul <= 0)
        return text;
    return text.left(nul);
}

} // namespace qm
