#include "platform/system/RegistryStore.h"

#include "data/IniFile.h"
#include "data/Paths.h"

#include <limits>

namespace qm {

namespace {

QString sectionOf(const QString& root, const QString& subkey)
{
    return root + QLatin1Char('\\') + subkey;
}

// Marks "no such value" apart from any stored text.
const QString kMissing = QStringLiteral("\x01missing");

} // namespace

QVariant ReadRegistryValue(const QString& root, const QString& subkey, const QString& name,
                           RegistryType type, const QVariant& fallback)
{
    const QString text =
        ReadIniValue(filePaths().registryStore, sectionOf(root, subkey), name, kMissing);
    if (text == kMissing)
        return fallback;
    if (type == RegistryType::String)
        return text;
    bool ok = false;
    const qint32 v = text.toInt(&ok);
    return ok ? QVariant(v) : fallback;
}

bool WriteRegistryValue(const QString& root, const QString& subkey, const QString& name,
                        RegistryType type, const QVariant& value)
{
    QString text;
    if (type == RegistryType::Dword) {
        bool ok = false;
        const qlonglong v = value.toLongLong(&ok);
        if (!ok || v < std::numeric_limits<qint32>::min() ||
            v > std::numeric_limits<quint32>::max())
            return false;
        text = QString::number(qint32(quint32(v)));
    } else {
        text = value.toString();
    }
    return WriteIniValue(filePaths().registryStore, sectionOf(root, subkey), name, text);
}

} // namespace qm
