#include "data/Paths.h"

#include "data/AccountFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <pwd.h>
#include <unistd.h>

namespace qm {

namespace {

QMutex g_mutex;
QString g_override;
QString g_dataHome;
FilePaths g_paths;
bool g_built = false;

QString join(const QString& dir, const QString& name)
{
    return QDir::cleanPath(dir + QLatin1Char('/') + name);
}

QString absolute(const QString& dir)
{
    return QDir::cleanPath(QDir(dir).absolutePath());
}

// Folders every package installs its commands into. Root may write them, but Data/ and the
// work folders there would be strays no package owns.
bool isSharedProgramFolder(const QString& dir)
{
    static const char* const shared[] = {
        "/usr/bin",   "/usr/sbin",        "/usr/local/bin", "/usr/local/sbin",
        "/usr/games", "/usr/local/games", "/bin",           "/sbin"};
    const QString canonical = QFileInfo(dir).canonicalFilePath();
    if (canonical.isEmpty())
        return false;
    for (const char* folder : shared) {
        const QString candidate = QFileInfo(QString::fromLatin1(folder)).canonicalFilePath();
        if (!candidate.isEmpty() && candidate == canonical)
            return true;
    }
    return false;
}

bool isUsableProgramFolder(const QString& dir)
{
    if (isSharedProgramFolder(dir))
        return false;
    if (QFileInfo(join(dir, QStringLiteral("Data"))).isDir())
        return true;
    const QByteArray native = QFile::encodeName(dir);
    return ::access(native.constData(), W_OK | X_OK) == 0;
}

QString userHome(const QProcessEnvironment& env)
{
    const QString home = env.value(QStringLiteral("HOME"));
    if (!home.isEmpty())
        return home;
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_dir)
        return QFile::decodeName(pw->pw_dir);
    return QDir::rootPath();
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

QString dataHome()
{
    {
        QMutexLocker lock(&g_mutex);
        if (!g_dataHome.isEmpty())
            return g_dataHome;
    }
    return programDir();
}

void setProgramDir(const QString& dir)
{
    QMutexLocker lock(&g_mutex);
    g_override = dir.isEmpty() ? QString() : QDir(dir).absolutePath();
    g_built = false;
}

void setDataHome(const QString& dir)
{
    QMutexLocker lock(&g_mutex);
    g_dataHome = dir.isEmpty() ? QString() : absolute(dir);
    g_built = false;
}

DataHomeChoice chooseDataHome(const QString& option, const QProcessEnvironment& env,
                              const QString& programFolder)
{
    if (!option.isEmpty())
        return {absolute(option), DataHomeSource::Option};
    const QString fromEnv = env.value(QStringLiteral("QUILLMARC_DATA"));
    if (!fromEnv.isEmpty())
        return {absolute(fromEnv), DataHomeSource::Environment};
    if (isUsableProgramFolder(programFolder))
        return {absolute(programFolder), DataHomeSource::ProgramFolder};
    QString base = env.value(QStringLiteral("XDG_DATA_HOME"));
    // XDG ignores a relative base folder, and so do we.
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = join(userHome(env), QStringLiteral(".local/share"));
    return {join(base, QStringLiteral("quillmarc")), DataHomeSource::UserDataHome};
}

FilePaths SetFilePaths(const QString& programDirectory)
{
    return SetFilePaths(programDirectory, programDirectory);
}

FilePaths SetFilePaths(const QString& programDirectory, const QString& dataHomeDirectory)
{
    FilePaths p;
    p.programDir = QDir::cleanPath(programDirectory);
    p.dataHome = QDir::cleanPath(dataHomeDirectory);
    p.dataDir = join(p.dataHome, QStringLiteral("Data"));
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
    p.delStringFile = data("DelString.txt");
    p.delStringWorkCopy = data("DelString.tmp");
    p.faxPathFile = data("FaxPath.txt");
    p.faxOptFile = data("FaxOpt.txt");
    p.mailConnFile = data("MailConn.txt");
    p.faxOptWorkCopy = data("FaxOpt.tmp");
    p.lockFile = data("quillmarc.lock");
    p.encryptionMarker = data("encryption.on");
    p.accountManager = join(p.programDir, QStringLiteral("quillmarcB"));
    return p;
}

const FilePaths& filePaths()
{
    const QString dir = programDir();
    QMutexLocker lock(&g_mutex);
    const QString home = g_dataHome.isEmpty() ? dir : g_dataHome;
    if (!g_built || g_paths.programDir != QDir::cleanPath(dir) ||
        g_paths.dataHome != QDir::cleanPath(home)) {
        g_paths = SetFilePaths(dir, home);
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
    return AccountFiles::forAccount(filePaths(), accountNo).workFolder;
}

QString workAttachFolder(const QString& accountNo)
{
    return AccountFiles::forAccount(filePaths(), accountNo).attachFolder;
}

QString workDataFolder(const QString& accountNo)
{
    return AccountFiles::forAccount(filePaths(), accountNo).dataFolder;
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
