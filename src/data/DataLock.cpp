#include "data/DataLock.h"

#include "data/Paths.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QThread>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace qm {

namespace {

// flock() locks belong to the open file, so a nested guard on the same thread would wait on
// its own outer guard: hold one descriptor per lock file and thread and count the nesting.
// Guards on different threads open their own descriptors and so exclude each other.
struct Held
{
    int fd = -1;
    int depth = 0;
};
QMutex g_mutex;
QHash<QString, Held> g_held;

QString heldKey(const QString& path)
{
    return path + QLatin1Char('\n') + QString::number(quintptr(QThread::currentThreadId()));
}

} // namespace

DataLock::DataLock(int timeoutMs) : m_path(filePaths().lockFile)
{
    acquire(timeoutMs);
}

DataLock::DataLock(const QString& lockPath, int timeoutMs)
    : m_path(QFileInfo(lockPath).absoluteFilePath())
{
    acquire(timeoutMs);
}

void DataLock::acquire(int timeoutMs)
{
    {
        QMutexLocker lock(&g_mutex);
        auto it = g_held.find(heldKey(m_path));
        if (it != g_held.end()) {
            ++it->depth;
            m_locked = true;
            return;
        }
    }
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    const int fd =
        ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        m_error = QStringLiteral("ロックファイルを開けません (%1): %2")
                      .arg(m_path, QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            break;
        if (errno != EWOULDBLOCK && errno != EINTR) {
            m_error = QStringLiteral("ロックできません (%1): %2")
                          .arg(m_path, QString::fromLocal8Bit(std::strerror(errno)));
            ::close(fd);
            return;
        }
        if (timer.elapsed() >= timeoutMs) {
            m_error = QStringLiteral(
                "データファイルは他のプログラムが使用中です。しばらくしてからやり直してください。");
            ::close(fd);
            return;
        }
        QThread::msleep(10);
    }
    QMutexLocker lock(&g_mutex);
    g_held.insert(heldKey(m_path), Held{fd, 1});
    m_locked = true;
}

DataLock::~DataLock()
{
    if (!m_locked)
        return;
    QMutexLocker lock(&g_mutex);
    auto it = g_held.find(heldKey(m_path));
    if (it == g_held.end())
        return;
    if (--it->depth == 0) {
        ::flock(it->fd, LOCK_UN);
        ::close(it->fd);
        g_held.erase(it);
    }
}

} // namespace qm
