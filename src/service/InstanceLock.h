#pragma once

#include <QString>

namespace qm::service {

// Holds an exclusive lock on a file below Data/ for as long as the service runs. The kernel
// drops it when the process ends, however it ends, so a crash never blocks the next start.
// The file itself is never deleted: a second instance must leave everything as it is.
class InstanceLock
{
public:
    explicit InstanceLock(QString path);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when this process now holds the lock; false when another one does (or on error).
    bool tryLock();
    bool isLocked() const { return m_fd >= 0; }
    // True when the lock failed because another process holds it (not because of an error).
    bool heldElsewhere() const { return m_heldElsewhere; }
    QString error() const { return m_error; }

private:
    QString m_path;
    int m_fd = -1;
    bool m_heldElsewhere = false;
    QString m_error;
};

} // namespace qm::service
