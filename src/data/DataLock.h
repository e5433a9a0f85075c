#pragma once

#include <QString>

namespace qm {

// The one lock between the two programs: an advisory lock on Data/quillmarc.lock.
// Taken around every read and rewrite of the account file and the log, for the
// shortest time. The kernel drops it when the holder dies, so a crash leaves no stale lock.
// Re-entrant within one process (nested guards share the lock).
class DataLock
{
public:
    static constexpr int kDefaultTimeoutMs = 10000;

    // Tries for at most timeoutMs; check isLocked() and error() afterwards.
    explicit DataLock(int timeoutMs = kDefaultTimeoutMs);
    // Same for an explicit lock file (tests).
    DataLock(const QString& lockPath, int timeoutMs);
    ~DataLock();

    DataLock(const DataLock&) = delete;
    DataLock& operator=(const DataLock&) = delete;

    bool isLocked() const { return m_locked; }
    // Japanese text for the user when the lock could not be taken.
    QString error() const { return m_error; }

private:
    void acquire(int timeoutMs);

    QString m_path;
    bool m_locked = false;
    QString m_error;
};

} // namespace qm
