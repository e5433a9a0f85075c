// A forwarding cycle as users feel it, against its transport floor and against fetchmail.
//
//   1,000 new messages: `quillmarc --run-once` start to exit, forwarded to the local SMTP
//   server; fetchmail (keep mode, UIDL, forwarding to the same server) on a mailbox filled
//   alike; and the transport floor of the same mailbox (bench/floor: one POP3 session that
//   fetches everything, one SMTP transaction per message on one connection, libcurl alone).
//   Nothing new: one cycle inside a resident service (the engine run in this process as
//   `--headless` runs it, timed around the cycle), `--run-once` start to exit, and
//   fetchmail's own run.
//
// Usage: tests/servers/run.sh build/bin/cycle_bench [messages] [rounds]
// Medians over the rounds (nothing-new times: over every run of every round). With
// QM_BENCH_KEEP=1 only our side runs once and its program folder is kept for profiling.

#include "TransportFloor.h"
#include "data/AccountRecord.h"
#include "data/MailConnectionFile.h"
#include "data/Paths.h"
#include "data/TextCodec.h"
#include "data/TimerSettings.h"
#include "service/EngineContext.h"
#include "service/FaxDelivery.h"
#include "service/ForwardingCycle.h"
#include "service/HeadlessScreen.h"
#include "service/SystemParts.h"
#include "support/MailTestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

const QString kUser = QStringLiteral("bench");
const QString kPassword = QStringLiteral("benchpw");
const QString kFetchmailUser = QStringLiteral("bench2");
const QString kFetchmailPassword = QStringLiteral("bench2pw");
constexpr int kNothingNewRuns = 9;
const QString kOursTo = QStringLiteral("cycle-ours@dest.test");
const QString kFetchmailTo = QStringLiteral("cycle-fetchmail@dest.test");
const QString kFloorTo = QStringLiteral("cycle-floor@dest.test");
const QString kFrom = QStringLiteral("office@example.jp");

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v.at(v.size() / 2);
}

[[noreturn]] void fail(const QString& why)
{
    std::fprintf(stderr, "cycle_bench: %s\n", qPrintable(why));
    std::exit(2);
}

void fillMailbox(const QString& user, int messages)
{
    QString error;
    if (!qm::test::fillOfficeMailbox(user, messages, &error))
        fail(error);
}

// A program folder with one account that forwards everything and keeps it on the server.
void setUpProgram(const QString& dir, const qm::test::MailServers& s)
{
    if (!QFile::copy(QStringLiteral(QM_QUILLMARC), dir + QStringLiteral("/quillmarc")))
        fail(QStringLiteral("cannot copy the program into ") + dir);
    qm::setProgramDir(dir);
    qm::ensureDataDir();
    qm::TimerSettings settings;
    if (!qm::writeTimerSettings(qm::filePaths().settingsFile, settings))
        fail(QStringLiteral("cannot write the settings"));
    qm::AccountRecord a = qm::newAccountTemplate(QStringLiteral("01"));
    a.AccountName = QStringLiteral("ベンチ");
    a.SourceAddress = kFrom;
    a.PopUserId = kUser;
    a.PopPassword = kPassword;
    a.PopServer = s.pop3Host;
    a.PopPort = QString::number(s.pop3NoApopPort); // the transport fetchmail gets
    a.SmtpServer = s.smtpHost;
    a.SmtpPort = QString::number(s.smtpPort);
    a.ForwardTo = kOursTo;
    a.ForwardAsSender = QStringLiteral("1");
    if (!qm::writeTextLines(qm::filePaths().accountFile, {qm::buildReplacedLine(a)}))
        fail(QStringLiteral("cannot write the account file"));
    // To weigh the new SMTP connection every so many mails against one connection for all.
    const QString perConnection = qEnvironmentVariable("QM_BENCH_SMTP_PER_CONNECTION");
    if (!perConnection.isEmpty() &&
        !qm::saveMailConnectionValues(QStringLiteral("01"),
                                      {{QStringLiteral("SmtpPerConnection"), perConnection}}))
        fail(QStringLiteral("cannot write the connection settings"));
}

double timeOurs(const QString& dir)
{
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(dir + QStringLiteral("/quillmarc"), {QStringLiteral("--run-once")});
    if (!p.waitForFinished(1800000) || p.exitCode() != 0)
        fail(QStringLiteral("quillmarc --run-once failed: ") +
             QString::fromLocal8Bit(p.readAllStandardError()));
    return double(t.nsecsElapsed()) / 1e6;
}

// Cycles with nothing new as a resident service runs them: the engine is set up once, as
// `--headless` sets it up, and each cycle is timed from its settings reload to its end.
QList<double> timeResidentCycles(int cycles)
{
    using namespace qm::service;
    EngineContext ctx;
    ctx.paths = qm::filePaths();
    SystemParts parts(ctx.paths.dataDir);
    parts.attach(ctx);
    HeadlessScreen screen([](const QString&, const QString& text) { fail(text); });
    ctx.screen = &screen;
    ctx.settings = qm::LoadTimerSettings();
    ctx.faxPlatform = DetectFaxPlatform(ctx);
    RunForwardingCycle(ctx); // the service's first cycle: not one with nothing new to it
    QList<double> times;
    for (int i = 0; i < cycles; ++i) {
        QElapsedTimer t;
        t.start();
        ctx.settings = qm::LoadTimerSettings();
        RunForwardingCycle(ctx);
        times << double(t.nsecsElapsed()) / 1e6;
    }
    return times;
}

double timeFetchmail(const QString& home, const qm::test::MailServers& s)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("FETCHMAILHOME"), home);
    p.setProcessEnvironment(env);
    QElapsedTimer t;
    t.start();
    p.start(QStringLiteral("fetchmail"),
            {QStringLiteral("-p"), QStringLiteral("POP3"), QStringLiteral("-P"),
             QString::number(s.pop3NoApopPort), QStringLiteral("-u"), kFetchmailUser,
             QStringLiteral("-k"), QStringLiteral("--uidl"), QStringLiteral("--sslproto"),
             QString(), QStringLiteral("--smtphost"),
             s.smtpHost + u'/' + QString::number(s.smtpPort), QStringLiteral("--smtpname"),
             kFetchmailTo, QStringLiteral("-s"), s.pop3Host});
    if (!p.waitForFinished(1800000))
        fail(QStringLiteral("fetchmail did not finish"));
    const double ms = double(t.nsecsElapsed()) / 1e6;
    // 0: mail fetched, 1: nothing new; anything else is a failure worth seeing.
    if (p.exitCode() > 1)
        std::fprintf(stderr, "fetchmail exit %d: %s\n", p.exitCode(),
                     p.readAllStandardError().constData());
    return ms;
}

// What one sync of a one-line append costs in Data/ right now (median of 100): the only
// wait on the disk a forwarded message has, and the part of a run the machine's other
// writers make loud.
double syncCostMs(const QString& dataDir)
{
    const QByteArray path = QFile::encodeName(dataDir + QStringLiteral("/sync-probe"));
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return -1;
    QList<double> times;
    for (int i = 0; i < 100; ++i) {
        const char line[] = "\"2026/12/07\",\"09:00\",\"sync probe\",\"\",\"\"\r\n";
        QElapsedTimer t;
        t.start();
        if (::write(fd, line, sizeof(line) - 1) < 0 || ::fdatasync(fd) != 0)
            break;
        times << double(t.nsecsElapsed()) / 1e6;
    }
    ::close(fd);
    ::unlink(path.constData());
    return median(times);
}

void warm(const qm::test::MailServers& s, const QString& user, const QString& password)
{
    QString error;
    if (!qm::bench::warmMailbox(s.pop3Host, s.pop3NoApopPort, {user, password}, &error))
        fail(error);
}

double timeFloor(const qm::test::MailServers& s, int messages)
{
    qm::bench::FloorRun run;
    run.popHost = s.pop3Host;
    run.popPort = s.pop3NoApopPort;
    run.mailboxes = {{kUser, kPassword}};
    run.smtpHost = s.smtpHost;
    run.smtpPort = s.smtpPort;
    run.from = kFrom;
    run.to = kFloorTo;
    const qm::bench::FloorResult r = qm::bench::runTransportFloor(run);
    if (!r.error.isEmpty() || r.fetched != messages || r.sent != messages)
        fail(QStringLiteral("transport floor: %1 (%2 fetched, %3 sent)")
                 .arg(r.error)
                 .arg(r.fetched)
                 .arg(r.sent));
    std::printf("  floor: POP3 %.1f ms, SMTP %.1f ms\n", r.popMs, r.smtpMs);
    return r.totalMs();
}

} // namespace

int main(int argc, char** argv)
{
    // The engine runs in this process too; it draws as the service does, without a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int messages = argc > 1 ? std::atoi(argv[1]) : 1000;
    const qm::test::MailServers s = qm::test::mailServers();
    if (!s.available())
        fail(QStringLiteral("mail servers missing (%1); run through tests/servers/run.sh")
                 .arg(s.missing));

    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
    QList<double> oursFirst, oursSecond, oursResident, fmFirst, fmSecond, oursStart, floor, sync;
    qsizetype oursSent = 0, fmSent = 0;
    for (int round = 0; round < rounds; ++round) {
        qm::test::clearReceivedMails(kOursTo);
        qm::test::clearReceivedMails(kFetchmailTo);
        qm::test::clearReceivedMails(kFloorTo);
        fillMailbox(kUser, messages);
        fillMailbox(kFetchmailUser, messages);
        warm(s, kUser, kPassword);
        warm(s, kFetchmailUser, kFetchmailPassword);

        QTemporaryDir program;
        setUpProgram(program.path(), s);
        QTemporaryDir home;
        QFile netrc(home.filePath(QStringLiteral(".netrc")));
        if (!netrc.open(QIODevice::WriteOnly))
            fail(QStringLiteral("cannot write .netrc"));
        netrc.write(QStringLiteral("machine %1 login %2 password %3\n")
                        .arg(s.pop3Host, kFetchmailUser, kFetchmailPassword)
                        .toUtf8());
        netrc.close();
        netrc.setPermissions(QFile::ReadOwner | QFile::WriteOwner);

        if (qEnvironmentVariableIntValue("QM_BENCH_KEEP") == 1) {
            program.setAutoRemove(false);
            const double first = timeOurs(program.path());
            std::printf("kept %s, first %.1f ms, nothing new %.1f ms\n", qPrintable(program.path()),
                        first, timeOurs(program.path()));
            return 0;
        }
        floor << timeFloor(s, messages);
        sync << syncCostMs(qm::filePaths().dataDir);
        oursFirst << timeOurs(program.path());
        fmFirst << timeFetchmail(home.path(), s);
        for (int i = 0; i < kNothingNewRuns; ++i) {
            oursSecond << timeOurs(program.path());
            fmSecond << timeFetchmail(home.path(), s);
        }
        oursResident << timeResidentCycles(kNothingNewRuns);
        oursSent = qm::test::receivedMails(kOursTo).size();
        fmSent = qm::test::receivedMails(kFetchmailTo).size();
        // The same program with no accounts: what starting the process costs by itself.
        if (!qm::writeTextLines(qm::filePaths().accountFile, {}))
            fail(QStringLiteral("cannot empty the account file"));
        for (int i = 0; i < 5; ++i)
            oursStart << timeOurs(program.path());
        qm::setProgramDir(QString());
    }

    const double first = median(oursFirst);
    const double resident = median(oursResident);
    const double runOnce = median(oursSecond);
    const double fmNothing = median(fmSecond);
    std::printf("Mailbox of %d new messages forwarded by SMTP, median of %d round(s) (ms):\n",
                messages, rounds);
    std::printf("  %-44s %10s %12s %8s\n", "", "first", "nothing new", "sent");
    std::printf("  %-44s %10.1f %12.1f %8lld\n", "quillmarc --run-once", first, runOnce,
                (long long)oursSent);
    std::printf("  %-44s %10s %12.1f\n", "quillmarc, one cycle in the resident service", "",
                resident);
    std::printf("  %-44s %10.1f %12.1f %8lld\n", "fetchmail -k --uidl --smtphost", median(fmFirst),
                fmNothing, (long long)fmSent);
    std::printf("  %-44s %10.1f\n", "transport floor (libcurl alone)", median(floor));
    std::printf("  %-44s %10s %12.1f\n", "quillmarc --run-once, no accounts", "",
                median(oursStart));
    std::printf("  %-44s %10.3f\n", "one synced log append in Data/", median(sync));
    const double floorRatio = first / median(floor);
    std::printf("Cycle / transport floor: %.2f (target at most 2.00: %s)\n", floorRatio,
                floorRatio <= 2.0 ? "met" : "NOT met");
    std::printf("Resident nothing-new cycle / fetchmail's nothing-new run: %.2f (target at most "
                "1.00: %s)\n",
                resident / fmNothing, resident <= fmNothing ? "met" : "NOT met");
    // Lines for scripts/bench.sh: case, ours, fetchmail (ms); case, ours, floor (ms); cost.
    std::printf("TABLE\tcycle, %d new messages forwarded by SMTP\t%.1f\t%.1f\n", messages, first,
                median(fmFirst));
    std::printf("TABLE\tcycle, nothing new: one cycle of the resident service\t%.1f\t%.1f\n",
                resident, fmNothing);
    std::printf("TABLE\tcycle, nothing new: --run-once start to exit\t%.1f\t%.1f\n", runOnce,
                fmNothing);
    std::printf("TABLE\tprocess start, no accounts\t%.1f\t\n", median(oursStart));
    std::printf("FLOOR\tcycle, %d new messages forwarded by SMTP\t%.1f\t%.1f\n", messages, first,
                median(floor));
    if (messages > 0)
        std::printf("COST\tcycle, per forwarded message\t%.2f\t%.2f\t%.2f\n", first / messages,
                    median(fmFirst) / messages, median(floor) / messages);
    std::printf("SYNC\t%.3f\n", median(sync));
    if (oursSent != messages || fmSent != messages)
        std::printf("Warning: expected %d forwarded mails from each\n", messages);

    qm::test::emptyMailbox(kUser);
    qm::test::emptyMailbox(kFetchmailUser);
    qm::test::clearReceivedMails(kOursTo);
    qm::test::clearReceivedMails(kFetchmailTo);
    qm::test::clearReceivedMails(kFloorTo);
    return 0;
}
