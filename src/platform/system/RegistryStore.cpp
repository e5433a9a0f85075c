#include "platform/system/RegistryStore.h"

namespace qm {

QVariant ReadRegistryValue(const QString &, const QString &, const QString &, RegistryType, const QVariant &fallback)
{
    return fallback;
}

bool WriteRegistryValue(const QString &, const QString &, const QString &, RegistryType, const QVariant &)
{
    return false;
}

} // namespace qm
