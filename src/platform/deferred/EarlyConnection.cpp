#include "platform/deferred/EarlyConnection.h"

#include <QByteArray>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qm::mail {

EarlyConnection::EarlyConnection(const ServerAddress& server)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const QByteArray host = server.host.toUtf8();
    const QByteArray port = QByteArray::number(server.port);
    if (getaddrinfo(host.constData(), port.constData(), &hints, &found) != 0 || !found)
        return;
    // The first address only: libcurl tries them in the same order, and the connection is
    // used only when libcurl's choice is this one.
    m_fd = ::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                    found->ai_protocol);
    if (m_fd >= 0 && ::connect(m_fd, found->ai_addr, found->ai_addrlen) != 0 &&
        errno != EINPROGRESS) {
        ::close(m_fd);
        m_fd = -1;
    }
    freeaddrinfo(found);
}

EarlyConnection::~EarlyConnection()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int EarlyConnection::take(int waitMilliseconds)
{
    if (m_fd < 0)
        return -1;
    pollfd p{m_fd, POLLOUT, 0};
    int ready;
    do
        ready = ::poll(&p, 1, waitMilliseconds);
    while (ready < 0 && errno == EINTR);
    int error = 0;
    socklen_t length = sizeof error;
    if (ready != 1 || ::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 ||
        error != 0) {
        ::close(m_fd);
        m_fd = -1;
        return -1;
    }
    // libcurl sets its own socket modes; hand the socket over as socket() would give it.
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

} // namespace qm::mail
