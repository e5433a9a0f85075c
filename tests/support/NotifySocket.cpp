#include "support/NotifySocket.h"

#include <QElapsedTimer>
#include <QFile>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace qm::test {

NotifySocket::NotifySocket(const QString& path) : m_path(path)
{
    const QByteArray native = QFile::encodeName(path);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (size_t(native.size()) >= sizeof(address.sun_path))
        return;
    std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
    m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        return;
    ::unlink(native.constData());
    if (::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::chmod(native.constData(), 0666) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

NotifySocket::~NotifySocket()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        ::unlink(QFile::encodeName(m_path).constData());
    }
}

bool NotifySocket::readOne(int timeoutMs)
{
    pollfd p = {m_fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0)
        return false;
    char buffer[4096];
    const ssize_t n = ::recv(m_fd, buffer, sizeof(buffer), 0);
    if (n < 0)
        return false;
    m_received << QString::fromUtf8(buffer, n);
    return true;
}

bool NotifySocket::waitFor(const QString& assignment, int timeoutMs)
{
    if (m_fd < 0)
        return false;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        while (m_matched < m_received.size()) {
            if (m_received[m_matched++].split(u'\n').contains(assignment))
                return true;
        }
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0 || !readOne(int(left)))
            return false;
    }
}

} // namespace qm::test
