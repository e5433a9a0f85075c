#include "platform/render/ProcessRunner.h"

#include <QProcess>
#include <csignal>
#include <sys/prctl.h>
#include <sys/types.h>
#include <unistd.h>

namespace qm {

QString ProcessResult::describe(const QString& program) const
{
    if (!started)
        return QStringLiteral("%1 を起動できません").arg(program);
    if (timedOut)
        return QStringLiteral("%1 が時間内に終わりません").arg(program);
    QString text = QString::fromLocal8Bit(err).trimmed();
    if (text.isEmpty())
        text = QString::fromLocal8Bit(out).trimmed();
    if (text.size() > 400)
        text = text.left(400) + QStringLiteral("...");
    return QStringLiteral("%1 が終了コード %2 で終わりました: %3")
        .arg(program)
        .arg(exitCode)
        .arg(text);
}

ProcessResult runProcess(const QString& program, const QStringList& args, int timeoutMs,
                         const QProcessEnvironment& env, const QString& workingDir)
{
    ProcessResult result;
    QProcess process;
    process.setProgram(program);
    process.setArguments(args);
    process.setProcessEnvironment(env);
    process.setStandardInputFile(QProcess::nullDevice());
    if (!workingDir.isEmpty())
        process.setWorkingDirectory(workingDir);
    // Own process group, so a time-out also takes down whatever the program started.
    process.setChildProcessModifier([] {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    });
    process.start();
    if (!process.waitForStarted(10000)) {
        return result;
    }
    result.started = true;
    const qint64 pid = process.processId();
    if (!process.waitForFinished(timeoutMs)) {
        result.timedOut = true;
        if (pid > 0)
            ::kill(-static_cast<pid_t>(pid), SIGKILL);
        process.kill();
        process.waitForFinished(5000);
    } else if (process.exitStatus() == QProcess::NormalExit) {
        result.exitCode = process.exitCode();
    }
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

} // namespace qm
