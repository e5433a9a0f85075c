#include "platform/deferred/ModuleLoader.h"

#include "data/Paths.h"

#include <QFile>
#include <dlfcn.h>

namespace qm {

void* loadModuleEntry(const QString& fileName, const char* entry, QString* error)
{
    return loadModuleEntryAt(executableDir() + QLatin1Char('/') + fileName, entry, error);
}

void* loadModuleEntryAt(const QString& path, const char* entry, QString* error)
{
    void* handle = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    void* symbol = handle ? dlsym(handle, entry) : nullptr;
    if (!symbol && error) {
        const char* why = dlerror();
        *error =
            QStringLiteral("%1 を読み込めません (%2)")
                .arg(path, why ? QString::fromLocal8Bit(why) : QStringLiteral("入口がありません"));
    }
    return symbol;
}

} // namespace qm
