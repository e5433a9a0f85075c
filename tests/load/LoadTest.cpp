// The whole program under load: 99 accounts with 100 new messages each, collected and
// forwarded in one --run-once cycle against the test servers. Every message must arrive
// exactly once, the log must hold every line, and the memory of the run must not grow with
// the number of accounts.

#include "support/ProgramFolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace qm;
using namespace qm::test;

namespace {

constexpr int kAccounts = 99;
constexpr int kMessages = 100;

QString accountNo(int n)
{
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}
QString recipientOf(int n)
{
    return QStringLiteral("load%1@dest.test").arg(accountNo(n));
}
QString subjectOf(int n, int k)
{
    return QStringLiteral("負荷試験 %1-%2").arg(accountNo(n)).arg(k, 3, 10, QLatin1Char('0'));
}

// One run of the program, with the peak resident memory of that child alone (QProcess
// cannot tell it; getrusage(RUSAGE_CHILDREN) would mix every child of the test).
struct MeasuredRun
{
    int exitCode = -1;
    long peakKb = 0;
    double seconds = 0;
};

MeasuredRun runMeasured(const QString& exe, int timeoutSeconds)
{
    MeasuredRun run;
    const QByteArray path = QFile::encodeName(exe);
    char arg[] = "--run-once";
    char* argv[] = {const_cast<char*>(path.constData()), arg, nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, path.constData(), nullptr, nullptr, argv, environ) != 0)
        return run;
    QElapsedTimer clock;
    clock.start();
    int status = 0;
    rusage usage{};
    for (;;) {
        const pid_t done = wait4(pid, &status, WNOHANG, &usage);
        if (done == pid)
            break;
        if (done < 0)
            return run;
        if (clock.elapsed() > qint64(timeoutSeconds) * 1000) {
            kill(pid, SIGKILL);
            wait4(pid, &status, 0, &usage);
            return run;
        }
        usleep(20000);
    }
    run.seconds = double(clock.elapsed()) / 1000;
    run.peakKb = usage.ru_maxrss;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

QString bodyOf(int n, int k)
{
    QString body = QStringLiteral("アカウント%1 の%2通目です。\n").arg(accountNo(n)).arg(k);
    while (body.size() < 800)
        body += QStringLiteral("本日の受注分をお送りします。ご確認ください。\n");
    return body;
}

void fillMailbox(int user, int account)
{
    for (int k = 1; k <= kMessages; ++k)
        deliver(user, QStringLiteral("取引先 <client%1@example.jp>").arg(k), subjectOf(account, k),
                bodyOf(account, k));
}

void removeReceived(const QSet<QString>& recipients)
{
    for (const ReceivedMail& m : receivedMails()) {
        for (const QString& r : m.rcptTos) {
            if (recipients.contains(r.toLower())) {
                QDir(m.folder).removeRecursively();
                break;
            }
        }
    }
}

} // namespace

TEST(Load, NinetyNineAccountsOfAHundredNewMessagesInOneCycle)
{
    if (qEnvironmentVariable("QM_LOAD_TESTS") != u"1")
        GTEST_SKIP() << "takes minutes; run with QM_LOAD_TESTS=1";
    QM_REQUIRE_MAIL_SERVERS(servers);
    QSet<QString> recipients;
    for (int n = 1; n <= kAccounts; ++n)
        recipients << recipientOf(n);
    removeReceived(recipients);

    // The same messages for one account first: what one account's cycle costs in memory.
    long oneAccountPeakKb = 0;
    {
        ProgramFolder program;
        program.writeSettings(0);
        program.writeAccounts({testAccount(servers, accountNo(1), 1, recipientOf(1))});
        fillMailbox(1, 1);
        const MeasuredRun run = runMeasured(program.exe(), 600);
        ASSERT_EQ(run.exitCode, 0) << program.logDump().toStdString();
        oneAccountPeakKb = run.peakKb;
        ASSERT_EQ(receivedMails(recipientOf(1)).size(), kMessages);
        removeReceived(recipients);
    }

    // Without the detail log, as the speed table in the README is measured.
    ProgramFolder program;
    program.writeSettings(0);
    QList<AccountRecord> accounts;
    for (int n = 1; n <= kAccounts; ++n) {
        // u01..u99: account n reads the mailbox of user n.
        accounts << testAccount(servers, accountNo(n), n, recipientOf(n));
        fillMailbox(n, n);
        ASSERT_EQ(mailboxCount(userName(n)), kMessages);
    }
    program.writeAccounts(accounts);

    const MeasuredRun run = runMeasured(program.exe(), 1800);
    std::printf("load: %d accounts x %d messages: %.1f s, peak resident %ld KB "
                "(one account: %ld KB)\n",
                kAccounts, kMessages, run.seconds, run.peakKb, oneAccountPeakKb);
    RecordProperty("seconds", QString::number(run.seconds, 'f', 1).toStdString());
    RecordProperty("peak_kb", int(run.peakKb));
    RecordProperty("one_account_peak_kb", int(oneAccountPeakKb));
    ASSERT_EQ(run.exitCode, 0);

    // Every message arrived once, at its own account's recipient.
    QHash<QString, QSet<QString>> subjects;
    QHash<QString, int> arrivals;
    for (const ReceivedMail& m : receivedMails()) {
        for (const QString& r : m.rcptTos) {
            const QString to = r.toLower();
            if (!recipients.contains(to))
                continue;
            ++arrivals[to];
            subjects[to] << parseMail(m.raw).subject;
        }
    }
    for (int n = 1; n <= kAccounts; ++n) {
        const QString to = recipientOf(n);
        EXPECT_EQ(arrivals.value(to), kMessages) << to.toStdString();
        QSet<QString> expected;
        for (int k = 1; k <= kMessages; ++k)
            expected << subjectOf(n, k);
        EXPECT_EQ(subjects.value(to), expected) << to.toStdString();
    }

    // The log holds the forward line of every message of every account, to its own address.
    QHash<QString, int> forwards;
    const QList<LogRow> log = program.log();
    for (const LogRow& r : log) {
        if (r.destination.endsWith(QStringLiteral("@dest.test / ")))
            ++forwards[r.account + u'|' + r.sender + u'|' + r.destination];
    }
    for (int n = 1; n <= kAccounts; ++n) {
        const QString key = QStringLiteral("試験") + accountNo(n) + u'|' + userName(n) +
                            QStringLiteral("@quillmarc.test|") + recipientOf(n) +
                            QStringLiteral(" / ");
        EXPECT_EQ(forwards.value(key), kMessages) << key.toStdString();
    }
    EXPECT_EQ(forwards.size(), kAccounts);

    // Memory does not grow with the accounts: 99 of them cost little more than one.
    EXPECT_LT(run.peakKb, oneAccountPeakKb + 32 * 1024)
        << "peak " << run.peakKb << " KB, one account " << oneAccountPeakKb << " KB";

    for (int n = 1; n <= kAccounts; ++n)
        emptyMailbox(userName(n));
    removeReceived(recipients);
}
