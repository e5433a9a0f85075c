#include "data/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm {

namespace {

QMutex g_hookMutex;
AtomicWriteHook g_hook;

bool stepAllowed(AtomicWriteStep step, const QString& path)
{
    AtomicWriteHook hook;
    {
        QMutexLocker lock(&g_hookMutex);
        hook = g_hook;
    }
    return !hook || hook(step, path);
}

QString sysError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

} // namespace

bool writeAll(int fd, const QByteArray& bytes)
{
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

void syncFolder(const QString& dir)
{
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

void setAtomicWriteHook(AtomicWriteHook hook)
{
    QMutexLocker lock(&g_hookMutex);
    g_hook = std::move(hook);
}

bool writeFileAtomic(const QString& path, const QByteArray& bytes, QString* error, AtomicSync sync)
{
    const QFileInfo target(path);
    const QString dir = target.absolutePath();
    QByteArray tmpl = QFile::encodeName(dir + QLatin1Char('/') + target.fileName() +
                                        QStringLiteral(".wr-XXXXXX"));
    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0) {
        setError(error,
                 QStringLiteral("一時ファイルを作成できません (%1): %2").arg(path, sysError()));
        return false;
    }
    const auto fail = [&](const QString& what) {
        const QString reason = sysError();
        ::close(fd);
        ::unlink(tmpl.constData());
        setError(error, QStringLiteral("%1 (%2): %3").arg(what, path, reason));
        return false;
    };

    // What we write is its user's alone: a rewrite keeps the owner's bits of the old file and
    // never the access another user had; a new file is 0600.
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) == 0)
        ::fchmod(fd, st.st_mode & 0700);
    else
        ::fchmod(fd, 0600);

    if (!stepAllowed(AtomicWriteStep::TempCreated, path))
        return fail(QStringLiteral("書き込みを中断しました"));
    if (!writeAll(fd, bytes))
        return fail(QStringLiteral("ファイルに書き込めません"));
    if (!stepAllowed(AtomicWriteStep::TempWritten, path))
        return fail(QStringLiteral("書き込みを中断しました"));
    if (sync == AtomicSync::Durable && ::fsync(fd) != 0)
        return fail(QStringLiteral("ファイルを保存できません"));
    if (!stepAllowed(AtomicWriteStep::TempSynced, path))
        return fail(QStringLiteral("書き込みを中断しました"));
    if (::close(fd) != 0) {
        const QString reason = sysError();
        ::unlink(tmpl.constData());
        setError(error, QStringLiteral("ファイルを保存できません (%1): %2").arg(path, reason));
        return false;
    }
    if (::rename(tmpl.constData(), QFile::encodeName(path).constData()) != 0) {
        const QString reason = sysError();
        ::unlink(tmpl.constData());
        setError(error, QStringLiteral("ファイルを置き換えられません (%1): %2").arg(path, reason));
        return false;
    }
    // The rename is done; make it durable too. A failure here cannot undo the write.
    stepAllowed(AtomicWriteStep::Renamed, path);
    if (sync != AtomicSync::Durable)
        return true;
    syncFolder(dir);
    return true;
}

void removeStaleTempFiles(const QString& path)
{
    const QFileInfo target(path);
    QDir dir = target.absoluteDir();
    const QString pattern = target.fileName() + QStringLiteral(".wr-??????");
    for (const QString& name : dir.entryList({pattern}, QDir::Files | QDir::Hidden))
        dir.remove(name);
}

bool removeIfExists(const QString& path, QString* error)
{
    if (::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT)
        return true;
    setError(error, QStringLiteral("ファイルを削除できません (%1): %2").arg(path, sysError()));
    return false;
}

} // namespace qm
