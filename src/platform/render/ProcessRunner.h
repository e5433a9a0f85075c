#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace qm {

struct ProcessResult
{
    bool started = false;
    bool timedOut = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;

    bool ok() const { return started && !timedOut && exitCode == 0; }
    QString describe(const QString& program) const;
};

// Runs a program with an argument list (no shell) in its own process group and
// waits up to timeoutMs; on time-out the whole group is killed, so helpers it
// started do not linger.
ProcessResult runProcess(const QString& program, const QStringList& args, int timeoutMs,
                         const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
                         const QString& workingDir = QString());

} // namespace qm
