#pragma once

#include <QString>
#include <QVariant>

namespace qm {

// Stand-in for the system registry: an ini file below Data/ (Data/registry.ini) with one
// section per root\subkey. Same get/set contract as the registry routines.
enum class RegistryType { String = 1, Dword = 4 };

// The stored value (QString for String, qint32 for Dword); `fallback` when the key or value is
// missing or the stored text is not of that type.
QVariant ReadRegistryValue(const QString& root, const QString& subkey, const QString& name,
                           RegistryType type, const QVariant& fallback);

// Stores the value; false when it cannot be written (or a Dword is not a 32-bit number).
bool WriteRegistryValue(const QString& root, const QString& subkey, const QString& name,
                        RegistryType type, const QVariant& value);

} // namespace qm
