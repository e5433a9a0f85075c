#include "data/Paths.h"
#include "data/TextCodec.h"
#include "data/TimerSettings.h"
#include "support/NotifySocket.h"
#include "support/ProgramFolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

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

QString readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// Standard error as systemd hands it to a service: JOURNAL_STREAM names its device and inode.
QString journalStreamOf(const QString& path)
{
    QFile(path).open(QIODevice::WriteOnly);
    struct stat st = {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return QString();
    return QStringLiteral("%1:%2").arg(quint64(st.st_dev)).arg(quint64(st.st_ino));
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

TEST(Headless, UnderAServiceManagerReportsReadinessReloadAndStopToIt)
{
    ProgramFolder program;
    QTemporaryDir elsewhere; // --data: the data lives apart from the program
    setDataHome(elsewhere.path());
    const auto back = qScopeGuard([] { setDataHome(QString()); });
    ensureDataDir();
    const QString errors = elsewhere.filePath(QStringLiteral("stderr.txt"));
    NotifySocket notify(elsewhere.filePath(QStringLiteral("notify")));
    ASSERT_TRUE(notify.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("NOTIFY_SOCKET"), notify.path());
    env.insert(QStringLiteral("JOURNAL_STREAM"), journalStreamOf(errors));
    QProcess service;
    service.setProcessEnvironment(env);
    service.setStandardErrorFile(errors, QIODevice::Append);
    const QStringList args = {QStringLiteral("--headless"), QStringLiteral("--data"),
                              elsewhere.path()};

    // Refused for want of settings: an error, and the journal is told so.
    service.start(program.exe(), args);
    ASSERT_TRUE(service.waitForFinished(20000));
    EXPECT_EQ(service.exitCode(), 2);
    EXPECT_TRUE(readAll(errors).contains(QStringLiteral("<3>quillmarc: ") +
                                         QStringLiteral("共通設定のファイルがありません")))
        << readAll(errors).toStdString();
    // A server has no window to set up in: the command line that does it is named.
    EXPECT_TRUE(readAll(errors).contains(QStringLiteral("quillmarcB --set-common")));
    EXPECT_TRUE(readAll(errors).contains(QStringLiteral("quillmarcB --add")));

    // Without any display the window service says what to use instead of failing inside Qt.
    QProcess windowed;
    QProcessEnvironment bare = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        bare.remove(QString::fromLatin1(name));
    windowed.setProcessEnvironment(bare);
    windowed.start(program.exe(), {QStringLiteral("--data"), elsewhere.path()});
    ASSERT_TRUE(windowed.waitForFinished(20000));
    EXPECT_EQ(windowed.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(windowed.exitCode(), 2);
    EXPECT_TRUE(QString::fromUtf8(windowed.readAllStandardError())
                    .contains(QStringLiteral("quillmarc --headless")));

    program.writeSettings();
    program.writeAccountLines({});
    ASSERT_TRUE(QFile::exists(elsewhere.filePath(QStringLiteral("Data/TimerSet.txt"))));
    service.start(program.exe(), args);
    ASSERT_TRUE(service.waitForStarted());
    ASSERT_TRUE(notify.waitFor(QStringLiteral("READY=1"), 30000)) << readAll(errors).toStdString();
    EXPECT_EQ(program.logCount("quillmarc Started ▲", ""), 1) << "the log is in the --data folder";

    // A value that is no number: the reload takes the settings at once and warns.
    QString error;
    ASSERT_TRUE(writeTextLines(filePaths().settingsFile, {R"("x","24",1,0,"",0,0,0,0)"}, &error));
    ::kill(pid_t(service.processId()), SIGHUP);
    ASSERT_TRUE(notify.waitFor(QStringLiteral("RELOADING=1"), 10000));
    ASSERT_TRUE(notify.waitFor(QStringLiteral("READY=1"), 10000));
    EXPECT_TRUE(readAll(errors).contains(QStringLiteral("<4>quillmarc: ") +
                                         QStringLiteral("共通設定の値が正しくない")))
        << readAll(errors).toStdString();
    EXPECT_EQ(service.state(), QProcess::Running);

    ::kill(pid_t(service.processId()), SIGTERM);
    EXPECT_TRUE(notify.waitFor(QStringLiteral("STOPPING=1"), 10000));
    ASSERT_TRUE(service.waitForFinished(20000));
    EXPECT_EQ(service.exitCode(), 0);
    EXPECT_EQ(program.log().value(0).account, QStringLiteral("quillmarc Stopped"));
}

TEST(Program, HandsItsDataFolderOnToTheAccountManager)
{
    ProgramFolder program;
    QTemporaryDir elsewhere;
    setDataHome(elsewhere.path());
    const auto back = qScopeGuard([] { setDataHome(QString()); });
    ensureDataDir();
    program.writeSettings();
    // At the very first start the service starts quillmarcB to add an account; this one
    // notes where it was sent and stores an empty account file, so start-up goes on.
    const QString manager = program.path() + QStringLiteral("/quillmarcB");
    QFile script(manager);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\n"
                 "printf '%s' \"$QUILLMARC_DATA\" > \"$QUILLMARC_DATA/handed.txt\"\n"
                 "printf '\\r\\n' > \"$QUILLMARC_DATA/Data/account.crp\"\n");
    script.close();
    script.setPermissions(script.permissions() | QFileDevice::ExeOwner);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.remove(QStringLiteral("QUILLMARC_DATA"));
    QProcess window;
    window.setProcessEnvironment(env);
    window.start(program.exe(), {QStringLiteral("--data"), elsewhere.path()});
    EXPECT_TRUE(waitFor([&] { return program.logCount("quillmarc Started ▲", "") == 1; }, 30000))
        << QString::fromLocal8Bit(window.readAllStandardError()).toStdString();
    EXPECT_EQ(readAll(elsewhere.filePath(QStringLiteral("handed.txt"))),
              QDir(elsewhere.path()).absolutePath());
    window.kill();
    window.waitForFinished(10000);
}
