#include "ProgramFolder.h"
#include "data/Paths.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QThread>
#include <gtest/gtest.h>
#include <signal.h>

using namespace qm;
using namespace qm::test;

namespace {

bool waitFor(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!condition()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QThread::msleep(50);
    }
    return true;
}

} // namespace

TEST(Headless, RefusesToStartWithoutSettingsOrAccounts)
{
    ProgramFolder program;
    QProcess p;
    p.start(program.exe(), {QStringLiteral("--headless")});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 2);
    EXPECT_TRUE(
        QString::fromLocal8Bit(p.readAllStandardError()).contains(QStringLiteral("TimerSet.txt")));

    program.writeSettings();
    p.start(program.exe(), {QStringLiteral("--run-once")});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 2);
    EXPECT_TRUE(
        QString::fromLocal8Bit(p.readAllStandardError()).contains(QStringLiteral("account.crp")));
    EXPECT_TRUE(program.log().isEmpty());
}

TEST(Headless, RunsAsOneInstanceAndStopsCleanlyOnSigterm)
{
    ProgramFolder program;
    program.writeSettings();
    program.writeAccountLines({}); // no accounts yet: the service still runs
    QFile mode(filePaths().modeFile);
    ASSERT_TRUE(mode.open(QIODevice::WriteOnly));
    mode.write("\"Suspended\"\r\n");
    mode.close();

    QProcess service;
    service.start(program.exe(), {QStringLiteral("--headless")});
    ASSERT_TRUE(service.waitForStarted());
    ASSERT_TRUE(waitFor([&] { return program.logCount("quillmarc Started ▲", "") == 1; }, 20000))
        << program.logDump().toStdString();
    EXPECT_TRUE(waitFor([&] { return !QFile::exists(filePaths().modeFile); }, 5000))
        << "a mode file left over from an earlier run is removed";

    QProcess second;
    second.start(program.exe(), {QStringLiteral("--run-once")});
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitCode(), 2);
    EXPECT_TRUE(QString::fromLocal8Bit(second.readAllStandardError())
                    .contains(QStringLiteral("すでに起動")));
    EXPECT_EQ(service.state(), QProcess::Running);

    ::kill(pid_t(service.processId()), SIGTERM);
    ASSERT_TRUE(service.waitForFinished(20000));
    EXPECT_EQ(service.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(service.exitCode(), 0);
    const QList<LogRow> log = program.log();
    ASSERT_FALSE(log.isEmpty());
    EXPECT_EQ(log.first().account, QStringLiteral("quillmarc Stopped"));
    EXPECT_EQ(program.logCount("quillmarc Started ▲", ""), 1);
    EXPECT_FALSE(QFile::exists(filePaths().logWriteCopy));
}

TEST(Headless, SigtermDuringACycleStopsBeforeTheNextMessageAndLosesNothing)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    ProgramFolder program;
    program.writeSettings(0);
    const QString to = QStringLiteral("stop50@dest.test");
    AccountRecord a = testAccount(servers, "01", 50, to);
    a.ForwardState = QStringLiteral("2"); // the pause before each deletion keeps the cycle busy
    program.writeAccounts({a});
    for (int i = 1; i <= 5; ++i)
        deliver(50, QStringLiteral("a@sender.test"), QStringLiteral("件%1").arg(i),
                QStringLiteral("本文\n"));

    QProcess cycle;
    cycle.start(program.exe(), {QStringLiteral("--run-once")});
    ASSERT_TRUE(waitFor([&] { return !receivedMails(to).isEmpty(); }, 30000));
    ::kill(pid_t(cycle.processId()), SIGTERM);
    ASSERT_TRUE(cycle.waitForFinished(20000));
    EXPECT_EQ(cycle.exitStatus(), QProcess::NormalExit);
    const qsizetype first = receivedMails(to).size();
    EXPECT_LT(first, 5);

    ASSERT_EQ(program.runOnce().exitCode, 0);
    QStringList subjects;
    for (const ReceivedMail& m : receivedMails(to))
        subjects << parseMail(m.raw).subject;
    subjects.sort();
    EXPECT_EQ(subjects, QStringList({"件1", "件2", "件3", "件4", "件5"}));
    EXPECT_EQ(mailboxCount(userName(50)), 0);
}

TEST(Program, WithoutOptionsTheWindowServiceStarts)
{
    ProgramFolder program;
    program.writeSettings();
    program.writeAccountLines({});
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    QProcess window;
    window.setProcessEnvironment(env);
    window.start(program.exe(), {});
    ASSERT_TRUE(window.waitForStarted());
    EXPECT_TRUE(waitFor([&] { return program.logCount("quillmarc Started ▲", "") == 1; }, 30000))
        << program.logDump().toStdString()
        << QString::fromLocal8Bit(window.readAllStandardError()).toStdString();
    window.kill();
    window.waitForFinished(10000);
}
