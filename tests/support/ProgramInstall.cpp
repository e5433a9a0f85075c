#include "support/ProgramInstall.h"

#include "platform/deferred/ProgramFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace qm::test {

bool installProgram(const QString& executable, const QString& dir, QString* error)
{
    const QFileInfo exe(executable);
    QStringList sources{exe.absoluteFilePath()};
    for (const char* name : kProgramCompanions)
        sources << exe.dir().filePath(QLatin1String(name));
    for (const QString& source : sources) {
        const QString target = QDir(dir).filePath(QFileInfo(source).fileName());
        QFile::remove(target);
        if (!QFile::copy(source, target)) {
            if (error)
                *error = QStringLiteral("cannot copy %1 to %2").arg(source, dir);
            return false;
        }
    }
    return true;
}

} // namespace qm::test
