#pragma once

#include <QString>
#include <QStringList>

namespace qm::test {

// The service manager's end of Type=notify: a datagram socket a service finds through
// NOTIFY_SOCKET. Anyone may write to it, so a service running as another user reaches it too.
class NotifySocket
{
public:
    explicit NotifySocket(const QString& path);
    ~NotifySocket();
    NotifySocket(const NotifySocket&) = delete;
    NotifySocket& operator=(const NotifySocket&) = delete;

    bool isValid() const { return m_fd >= 0; }
    QString path() const { return m_path; }

    // Waits until a message not yet matched holds the assignment (e.g. "READY=1") on a line of
    // its own; everything read on the way is kept in received().
    bool waitFor(const QString& assignment, int timeoutMs);
    QStringList received() const { return m_received; }

private:
    bool readOne(int timeoutMs);

    QString m_path;
    int m_fd = -1;
    QStringList m_received;
    qsizetype m_matched = 0;
};

} // namespace qm::test
