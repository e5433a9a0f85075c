#include "data/Privacy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>

namespace qm {

namespace {
mode_t g_original = 022;
}

void makeCreatedFilesPrivate()
{
    g_original = ::umask(077);
}

unsigned originalFileMask()
{
    return g_original;
}

QString sharedDataWarning(const QString& dataDir, const QString& accountFile,
                          const QString& dataHome)
{
    constexpr auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                            QFileDevice::ReadOther | QFileDevice::WriteOther;
    QStringList paths{dataDir, accountFile};
    if (!dataHome.isEmpty()) {
        const QDir home(dataHome);
        for (const QString& name :
             home.entryList({QStringLiteral("MlTmp??")}, QDir::Dirs | QDir::NoSymLinks)) {
            const QString work = home.filePath(name);
            paths << work << work + QStringLiteral("/Attach") << work + QStringLiteral("/Data");
        }
    }
    QStringList shared;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.exists() && (info.permissions() & others))
            shared << path;
    }
    if (shared.isEmpty())
        return {};
    return QStringLiteral("警告: 他のユーザーが読み書きできます (chmod 700 / 600 を推奨): %1")
        .arg(shared.join(QStringLiteral(", ")));
}

} // namespace qm
