#pragma once

#include "data/AccountRecord.h"
#include "data/ForwardLog.h"
#include "support/MailTestSupport.h"

#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <optional>

namespace qm::test {

// A program folder of its own: a copy of quillmarc with Data/ below it, as installed.
class ProgramFolder
{
public:
    ProgramFolder();
    ~ProgramFolder();

    QString path() const { return m_dir.path(); }
    QString exe() const { return m_exe; }

    void writeSettings(int detailLog = 1, int remoteSettingsAllowed = 1);
    void writeAccountLines(const QStringList& lines);
    void writeAccounts(const QList<AccountRecord>& records);
    std::optional<AccountRecord> storedAccount(const QString& accountNo) const;

    struct Run
    {
        int exitCode = -1;
        QString stdErr;
    };
    Run runOnce(int timeoutMs = 120000) const;

    // The log, newest first.
    QList<LogRow> log() const;
    // How many log rows carry these texts (an empty third text matches any).
    int logCount(const QString& account, const QString& second, const QString& third = {}) const;
    QString logDump() const;

private:
    QTemporaryDir m_dir;
    QString m_exe;
};

// An account on the test servers, forwarding to a recipient unique to the test.
AccountRecord testAccount(const MailServers& servers, const QString& accountNo, int user,
                          const QString& forwardTo);

// A loopback port nothing listens on.
int closedPort();

// The numbers of the fax jobs in the program folder's spool, sorted.
QStringList spooledFaxNumbers(const ProgramFolder& program);

// Delivers a composed mail into the mailbox of user n.
void deliver(int user, const QString& from, const QString& subject, const QString& body,
             const QList<ComposedAttachment>& attachments = {});

} // namespace qm::test
