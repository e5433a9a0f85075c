#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

namespace qm {

// Who hears of a job's outcome besides the log.
enum class FaxJobRequest {
    Account, // a fax of forwarded mail to the account's own numbers
    Mail     // a mail-to-fax or stored-attachment request: its sender is answered
};

// One fax job the program queued and follows until it ends.
struct QueuedFaxJob
{
    QString backend; // "spool", "hylafax" or "mail"
    QString jobId;   // the backend's name for it
    QString number;  // as the job's own log line shows it
    QString accountNo;
    FaxJobRequest request = FaxJobRequest::Account;
    QString requester; // the log's sender column; for a request, the address answered
    QString document;  // what it carries, for the reply: "メール転送", a file name...
    int pages = 0;     // as rendered; 0 when not known
    QDateTime queuedAt;

    QString key() const { return backend + u':' + jobId; }
};

// The record of queued jobs, Data/FaxJobs.txt: a "queued" line when a job is handed over and
// an "ended" line once its outcome is reported, each appended and synced, so a job is
// reported once however the program stops in between. Texts are kept as Shift-JIS can
// carry them in a settings line ("?" for what it cannot).
class FaxJobRecord
{
public:
    explicit FaxJobRecord(const QString& dataDir);

    QString path() const { return m_path; }
    // Jobs queued and not yet ended, oldest first. A record with many ended jobs is rewritten
    // with the pending ones only.
    QList<QueuedFaxJob> pending(QString* error = nullptr);
    bool add(const QueuedFaxJob& job, QString* error = nullptr);
    bool markEnded(const QueuedFaxJob& job, QString* error = nullptr);

private:
    QString m_path;
};

} // namespace qm
