// Times `quillmarc --run-once` on a mailbox of 1,000 new messages forwarded to the local SMTP
// server, then a second cycle with nothing new, against fetchmail (keep mode, UIDL, forwarding
// to the same SMTP server) on an identical mailbox. Prints both times and the ratios.
//
// Usage: tests/servers/run.sh build/bin/cycle_bench [messages] [rounds]
// Each contestant has its own mailbox, filled alike. Each round times one first cycle per
// contestant, then the cycles with nothing new, ours and fetchmail's taking turns so that
// both see the same load on the machine. Medians are printed.
// With QM_BENCH_KEEP=1 only our side runs once and its program folder is kept for profiling.

#include "data/AccountRecord.h"
#include "data/Paths.h"
#include "data/TextCodec.h"
#include "data/TimerSettings.h"
#include "support/MailTestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

const QString kUser = QStringLiteral("bench");
const QString kPassword = QStringLiteral("benchpw");
const QString kFetchmailUser = QStringLiteral("bench2");
const QString kFetchmailPassword = QStringLiteral("bench2pw");
constexpr int kNothingNewRuns = 9;
const QString kOursTo = QStringLiteral("cycle-ours@dest.test");
const QString kFetchmailTo = QStringLiteral("cycle-fetchmail@dest.test");

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
    a.SourceAddress = QStringLiteral("office@example.jp");
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

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int messages = argc > 1 ? std::atoi(argv[1]) : 1000;
    const qm::test::MailServers s = qm::test::mailServers();
    if (!s.available())
        fail(QStringLiteral("mail servers missing (%1); run through tests/servers/run.sh")
                 .arg(s.missing));

    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
    QList<double> oursFirst, oursSecond, fmFirst, fmSecond, oursStart;
    qsizetype oursSent = 0, fmSent = 0;
    for (int round = 0; round < rounds; ++round) {
        qm::test::clearReceivedMails(kOursTo);
        qm::test::clearReceivedMails(kFetchmailTo);
        fillMailbox(kUser, messages);
        fillMailbox(kFetchmailUser, messages);

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

        oursFirst << timeOurs(program.path());
        if (qEnvironmentVariableIntValue("QM_BENCH_KEEP") == 1) {
            program.setAutoRemove(false);
            std::printf("kept %s, first %.1f ms, nothing new %.1f ms\n", qPrintable(program.path()),
                        oursFirst.last(), timeOurs(program.path()));
            return 0;
        }
        fmFirst << timeFetchmail(home.path(), s);
        for (int i = 0; i < kNothingNewRuns; ++i) {
            oursSecond << timeOurs(program.path());
            fmSecond << timeFetchmail(home.path(), s);
        }
        oursSent = qm::test::receivedMails(kOursTo).size();
        fmSent = qm::test::receivedMails(kFetchmailTo).size();
        // The same program with no accounts: what starting the process costs by itself.
        if (!qm::writeTextLines(qm::filePaths().accountFile, {}))
            fail(QStringLiteral("cannot empty the account file"));
        for (int i = 0; i < 5; ++i)
            oursStart << timeOurs(program.path());
    }

    std::printf("Mailbox of %d new messages forwarded by SMTP, median of %d round(s) (ms):\n",
                messages, rounds);
    std::printf("  %-40s %10s %12s %8s\n", "", "first", "nothing new", "sent");
    std::printf("  %-40s %10.1f %12.1f %8lld\n", "quillmarc --run-once", median(oursFirst),
                median(oursSecond), (long long)oursSent);
    std::printf("  %-40s %10.1f %12.1f %8lld\n", "fetchmail -k --uidl --smtphost", median(fmFirst),
                median(fmSecond), (long long)fmSent);
    std::printf("  %-40s %10s %12.1f\n", "quillmarc --run-once, no accounts", "",
                median(oursStart));
    const double r1 = median(oursFirst) / median(fmFirst);
    const double r2 = median(oursSecond) / median(fmSecond);
    std::printf("Ratios ours/fetchmail: first cycle %.2f, nothing new %.2f\n", r1, r2);
    std::printf("Target (each ratio at most 1.00): %s\n",
                r1 <= 1.0 && r2 <= 1.0 ? "met" : "NOT met");
    // Lines for scripts/bench.sh: case, ours, fetchmail (ms); cost per message (ms).
    std::printf("TABLE\tcycle, %d new messages forwarded by SMTP\t%.1f\t%.1f\n", messages,
                median(oursFirst), median(fmFirst));
    std::printf("TABLE\tcycle, nothing new\t%.1f\t%.1f\n", median(oursSecond), median(fmSecond));
    std::printf("TABLE\tprocess start, no accounts\t%.1f\t\n", median(oursStart));
    if (messages > 0)
        std::printf("COST\tcycle, per forwarded message\t%.2f\t%.2f\n",
                    median(oursFirst) / messages, median(fmFirst) / messages);
    if (oursSent != messages || fmSent != messages)
        std::printf("Warning: expected %d forwarded mails from each\n", messages);

    qm::test::emptyMailbox(kUser);
    qm::test::emptyMailbox(kFetchmailUser);
    qm::test::clearReceivedMails(kOursTo);
    qm::test::clearReceivedMails(kFetchmailTo);
    qm::setProgramDir(QString());
    return 0;
}
