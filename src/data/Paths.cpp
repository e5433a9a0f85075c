#include "data/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMutex>

namespace qm {

namespace {

QMutex g_mutex;
QString g_override;
FilePaths g_paths;
bool g_built = false;

QString join(const QString& dir, const QString& name)
{
    return QDir::cleanPath(dir + QLatin1Char('/') + name);
}

} // namespace

QString executableDir()
{
    // applicationDirPath needs a QCoreApplication; /proc/self/exe does not.
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    const QFileInfo exe(QStringLiteral("/proc/self/exe"));
    return exe.exists() ? QFileInfo(exe.symLinkTarget()).absolutePath() : QDir::currentPath();
}

QString programDir()
{
    QMutexLocker lock(&g_mutex);
    return g_override.isEmpty() ? executableDir() : g_override;
}

void setProgramDir(const QString& dir)
{
    QMutexLocker lock(&g_mutex);
    g_override = dir.isEmpty() ? QString() : QDir(dir).absolutePath();
    g_built = false;
}

FilePaths SetFilePaths(const QString& programDirectory)
{
    FilePaths p;
    p.programDir = QDir::cleanPath(programDirectory);
    p.dataDir = join(p.programDir, QStringLiteral("Data"));
    const auto data = [&](const char* name) { return join(p.dataDir, QString::fromLatin1(name)); };
    p.settingsFile = data("TimerSet.txt");
    p.oldFontFile = data("FontSet.txt");
    p.fontTable = data("FontData.txt");
    p.fontWorkCopy = data("FontData.tmp");
    p.accountFile = data("account.crp");
    p.accountReadCopy = data("account.dec");
    p.accountWorkCopy = data("account.tmp");
    p.accountWriteCopy = data("account.new");
    p.handOverRecord = data("account.txt");
    p.logFile = data("quillmarc.log");
    p.logReadCopy = data("quillmarc.dec");
    p.logWriteCopy = data("quillmarc.tmp");
    p.modeFile = data("quillmarc.prm");
    p.mailFaxFile = data("MAILFAX.txt");
    p.delStringFile = data("DelString.txt");
    p.delStringWorkCopy = data("DelString.tmp");
    p.faxPathFile = data("FaxPath.txt");
    p.faxOptFile = data("FaxOpt.txt");
    p.faxOptWorkCopy = data("FaxOpt.tmp");
    p.lockFile = data("quillmarc.lock");
    p.registryStore = data("registry.ini");
    p.encryptionMarker = data("encryption.on");
    p.accountManager = join(p.programDir, QStringLiteral("quillmarcB"));
    return p;
}

const FilePaths& filePaths()
{
    const QString dir = programDir();
    QMutexLocker lock(&g_mutex);
    if (!g_built || g_paths.programDir != QDir::cleanPath(dir)) {
        g_paths = SetFilePaths(dir);
        g_built = true;
    }
    return g_paths;
}

bool ensureDataDir(QString* error)
{
    const QString dir = filePaths().dataDir;
    if (QDir().mkpath(dir))
        return true;
    if (error)
        *error = QStringLiteral("データフォルダを作成できません: %1").arg(dir);
    return false;
}

QString workFolder(const QString& accountNo)
{
    return join(filePaths().programDir, QStringLiteral("MlTmp") + accountNo);
}

QString workAttachFolder(const QString& accountNo)
{
    return join(workFolder(accountNo), QStringLiteral("Attach"));
}

QString workDataFolder(const QString& accountNo)
{
    return join(workFolder(accountNo), QStringLiteral("Data"));
}

bool ensureWorkFolders(const QString& accountNo, QString* error)
{
    for (const QString& dir : {workAttachFolder(accountNo), workDataFolder(accountNo)}) {
        if (!QDir().mkpath(dir)) {
            if (error)
                *error = QStringLiteral("作業フォルダを作成できません: %1").arg(dir);
            return false;
        }
    }
    return true;
}

} // namespace qm
