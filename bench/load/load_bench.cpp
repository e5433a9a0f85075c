// The load cycle: 99 accounts (users u01..u99) with 100 new messages each, forwarded in one
// `quillmarc --run-once` (no detail log, as the load test runs it), against the transport
// floor of the same 99 mailboxes (bench/floor). Prints both times, their ratio and the
// peak memory of the run.
//
// Usage: tests/servers/run.sh build/bin/load_bench [accounts] [messages]
// With QM_BENCH_KEEP=1 the mailboxes are filled and a program folder is set up and kept for
// profiling; nothing runs.

#include "TransportFloor.h"
#include "data/AccountRecord.h"
#include "data/Paths.h"
#include "data/TextCodec.h"
#include "data/TimerSettings.h"
#include "support/MailTestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

const QString kFloorTo = QStringLiteral("load-floor@dest.test");

[[noreturn]] void fail(const QString& why)
{
    std::fprintf(stderr, "load_bench: %s\n", qPrintable(why));
    std::exit(2);
}

QString accountNo(int n)
{
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

QString recipientOf(int n)
{
    return QStringLiteral("load%1@dest.test").arg(accountNo(n));
}

// The accounts of the load test: POP3 with STLS, SMTP with STARTTLS, forward and keep.
void setUpProgram(const QString& dir, const qm::test::MailServers& s, int accounts)
{
    if (!QFile::copy(QStringLiteral(QM_QUILLMARC), dir + QStringLiteral("/quillmarc")))
        fail(QStringLiteral("cannot copy the program into ") + dir);
    qm::setProgramDir(dir);
    qm::ensureDataDir();
    qm::TimerSettings settings;
    settings.detailLog = 0;
    if (!qm::writeTimerSettings(qm::filePaths().settingsFile, settings))
        fail(QStringLiteral("cannot write the settings"));
    QStringList lines;
    for (int n = 1; n <= accounts; ++n) {
        qm::AccountRecord r = qm::newAccountTemplate(accountNo(n));
        r.AccountName = QStringLiteral("試験") + accountNo(n);
        r.ForwardState = QStringLiteral("1");
        r.SourceAddress = qm::test::userName(n) + QStringLiteral("@quillmarc.test");
        r.PopUserId = qm::test::userName(n);
        r.PopPassword = qm::test::userPassword(n);
        r.PopServer = s.pop3Host;
        r.PopPort = QString::number(s.pop3Port);
        r.SmtpServer = s.smtpHost;
        r.SmtpPort = QString::number(s.smtpPort);
        r.ForwardTo = recipientOf(n);
        r.ForwardAsSender = QStringLiteral("0");
        r.PhoneEditing = QStringLiteral("0");
        lines << qm::buildReplacedLine(r);
    }
    if (!qm::writeTextLines(qm::filePaths().accountFile, lines))
        fail(QStringLiteral("cannot write the account file"));
}

struct MeasuredRun
{
    int exitCode = -1;
    long peakKb = 0;
    double ms = 0;
};

// wait4 gives the peak resident memory of this child (which starts from this process's own).
MeasuredRun runOnce(const QString& exe)
{
    MeasuredRun run;
    const QByteArray path = QFile::encodeName(exe);
    char arg[] = "--run-once";
    char* argv[] = {const_cast<char*>(path.constData()), arg, nullptr};
    QElapsedTimer clock;
    clock.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, path.constData(), nullptr, nullptr, argv, environ) != 0)
        fail(QStringLiteral("cannot start ") + exe);
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        fail(QStringLiteral("lost the program"));
    run.ms = double(clock.nsecsElapsed()) / 1e6;
    run.peakKb = usage.ru_maxrss;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// The floor runs in a process of its own: the 9,900 messages it holds would otherwise raise
// this process's peak memory, which a child started from it inherits in its own peak.
qm::bench::FloorResult runFloorApart(const qm::bench::FloorRun& floorRun)
{
    int fds[2];
    if (::pipe(fds) != 0)
        fail(QStringLiteral("pipe"));
    const pid_t pid = ::fork();
    if (pid < 0)
        fail(QStringLiteral("fork"));
    if (pid == 0) {
        ::close(fds[0]);
        const qm::bench::FloorResult r = qm::bench::runTransportFloor(floorRun);
        const QByteArray text = QByteArray::number(r.popMs) + ' ' + QByteArray::number(r.smtpMs) +
                                ' ' + QByteArray::number(r.fetched) + ' ' +
                                QByteArray::number(r.sent) + ' ' + r.error.toUtf8();
        const bool written = ::write(fds[1], text.constData(), size_t(text.size())) == text.size();
        ::_exit(written ? 0 : 1);
    }
    ::close(fds[1]);
    QByteArray text;
    char buffer[512];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, n);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    const QList<QByteArray> parts = text.split(' ');
    if (parts.size() < 4)
        fail(QStringLiteral("the transport floor did not report"));
    qm::bench::FloorResult r;
    r.popMs = parts[0].toDouble();
    r.smtpMs = parts[1].toDouble();
    r.fetched = parts[2].toInt();
    r.sent = parts[3].toInt();
    r.error = QString::fromUtf8(
        text.mid(parts[0].size() + parts[1].size() + parts[2].size() + parts[3].size() + 4));
    return r;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int accounts = argc > 1 ? std::clamp(std::atoi(argv[1]), 1, 99) : 99;
    const int messages = argc > 2 ? std::max(1, std::atoi(argv[2])) : 100;
    const qm::test::MailServers s = qm::test::mailServers();
    if (!s.available())
        fail(QStringLiteral("mail servers missing (%1); run through tests/servers/run.sh")
                 .arg(s.missing));

    qm::bench::FloorRun floorRun;
    floorRun.popHost = s.pop3Host;
    floorRun.popPort = s.pop3Port;
    floorRun.smtpHost = s.smtpHost;
    floorRun.smtpPort = s.smtpPort;
    floorRun.from = QStringLiteral("load@quillmarc.test");
    floorRun.to = kFloorTo;
    qm::test::clearReceivedMails(kFloorTo);
    for (int n = 1; n <= accounts; ++n) {
        qm::test::clearReceivedMails(recipientOf(n));
        QString error;
        if (!qm::test::fillOfficeMailbox(qm::test::userName(n), messages, &error))
            fail(error);
        const qm::bench::FloorMailbox box{qm::test::userName(n), qm::test::userPassword(n)};
        if (!qm::bench::warmMailbox(s.pop3Host, s.pop3Port, box, &error))
            fail(error);
        floorRun.mailboxes << box;
    }

    if (qEnvironmentVariableIntValue("QM_BENCH_KEEP") == 1) {
        QTemporaryDir program;
        program.setAutoRemove(false);
        setUpProgram(program.path(), s, accounts);
        std::printf("kept %s, mailboxes filled\n", qPrintable(program.path()));
        return 0;
    }
    const qm::bench::FloorResult floor = runFloorApart(floorRun);
    const int total = accounts * messages;
    if (!floor.error.isEmpty() || floor.fetched != total || floor.sent != total)
        fail(QStringLiteral("transport floor: %1 (%2 fetched, %3 sent)")
                 .arg(floor.error)
                 .arg(floor.fetched)
                 .arg(floor.sent));

    QTemporaryDir program;
    setUpProgram(program.path(), s, accounts);
    const MeasuredRun ours = runOnce(program.path() + QStringLiteral("/quillmarc"));
    if (ours.exitCode != 0)
        fail(QStringLiteral("quillmarc --run-once exit %1").arg(ours.exitCode));
    qsizetype sent = 0;
    for (int n = 1; n <= accounts; ++n)
        sent += qm::test::receivedMails(recipientOf(n)).size();

    std::printf("%d accounts x %d new messages in one cycle (ms):\n", accounts, messages);
    std::printf("  quillmarc --run-once        %10.1f  (%lld sent, peak resident %ld KB)\n",
                ours.ms, (long long)sent, ours.peakKb);
    std::printf("  transport floor             %10.1f  (POP3 %.1f, SMTP %.1f)\n", floor.totalMs(),
                floor.popMs, floor.smtpMs);
    const double ratio = ours.ms / floor.totalMs();
    std::printf("Cycle / transport floor: %.2f (target at most 2.00: %s)\n", ratio,
                ratio <= 2.0 ? "met" : "NOT met");
    std::printf("FLOOR\tcycle, %d accounts x %d new messages\t%.1f\t%.1f\n", accounts, messages,
                ours.ms, floor.totalMs());
    std::printf("MEMORY\tcycle, %d accounts x %d new messages\t%ld\n", accounts, messages,
                ours.peakKb);
    if (sent != total)
        std::printf("Warning: expected %d forwarded mails, the server has %lld\n", total,
                    (long long)sent);

    for (int n = 1; n <= accounts; ++n) {
        qm::test::emptyMailbox(qm::test::userName(n));
        qm::test::clearReceivedMails(recipientOf(n));
    }
    qm::test::clearReceivedMails(kFloorTo);
    qm::setProgramDir(QString());
    return 0;
}
