#include "service/HeadlessService.h"

#include "data/AccountSettings.h"
#include "data/AtomicFile.h"
#include "data/ForwardLog.h"
#include "data/Paths.h"
#include "data/TimerSettings.h"
#include "service/EngineContext.h"
#include "service/FaxDelivery.h"
#include "service/ForwardingCycle.h"
#include "service/ForwardingTimer.h"
#include "service/HeadlessScreen.h"

#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace qm::service {

namespace {

int g_signalFds[2] = {-1, -1};
volatile std::sig_atomic_t g_stopRequested = 0;

void onStopSignal(int)
{
    g_stopRequested = 1;
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalFds[0], &byte, 1);
}

// SIGTERM and SIGINT end the event loop through a socket pair, so the stop runs as an
// ordinary event, never inside the signal handler; a running cycle sees the flag and stops
// before its next message.
class StopSignals
{
public:
    StopSignals()
    {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalFds) != 0)
            return;
        m_notifier = new QSocketNotifier(g_signalFds[1], QSocketNotifier::Read);
        QObject::connect(m_notifier, &QSocketNotifier::activated, [] {
            char byte;
            [[maybe_unused]] ssize_t n = ::read(g_signalFds[1], &byte, 1);
            QCoreApplication::quit();
        });
        struct sigaction action = {};
        action.sa_handler = onStopSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGTERM, &action, nullptr);
        ::sigaction(SIGINT, &action, nullptr);
    }
    ~StopSignals()
    {
        std::signal(SIGTERM, SIG_DFL);
        std::signal(SIGINT, SIG_DFL);
        delete m_notifier;
        for (int& fd : g_signalFds) {
            if (fd >= 0)
                ::close(fd);
            fd = -1;
        }
    }

private:
    QSocketNotifier* m_notifier = nullptr;
};

void logAndShow(EngineContext& ctx, const QString& first)
{
    ctx.writeLog(first, QString(), QString());
    ctx.showLog();
}

} // namespace

QString HeadlessStartProblem()
{
    const FilePaths& paths = filePaths();
    if (!QFile::exists(paths.settingsFile))
        return QStringLiteral("共通設定のファイルがありません（%"
                              "1）。ウィンドウ版で設定してから起動してください。")
            .arg(paths.settingsFile);
    if (!QFile::exists(paths.accountFile))
        return QStringLiteral("アカウントのファイルがありません（%"
                              "1）。アカウントを登録してから起動してください。")
            .arg(paths.accountFile);
    return QString();
}

int RunHeadless(HeadlessMode mode)
{
    EngineContext ctx;
    ctx.paths = filePaths();
    HeadlessScreen screen(
        [](const QString& title, const QString& text) { WriteLog(title, text, QString()); },
        ctx.paths.logWriteCopy);
    ctx.screen = &screen;
    ctx.settings = LoadTimerSettings();
    ctx.faxPlatform = DetectFaxPlatform();
    ctx.stopRequested = [] { return g_stopRequested != 0; };

    if (mode == HeadlessMode::RunOnce) {
        StopSignals stopSignals;
        RunForwardingCycle(ctx);
        removeIfExists(ctx.paths.accountReadCopy);
        removeIfExists(ctx.paths.logWriteCopy);
        return ctx.errorsReported > 0 ? kExitCycleError : kExitOk;
    }

    logAndShow(ctx, QStringLiteral("quillmarc Started ▲"));
    if (!QFile::exists(ctx.paths.fontTable)) {
        QString error;
        if (!CreateFontDataFile(&error))
            ctx.reportError(error);
    }
    // Left over from a run that ended without cleaning up; nobody is suspending us now.
    removeIfExists(ctx.paths.modeFile);

    TimerHooks hooks;
    hooks.loadSettings = [&ctx] {
        ctx.settings = LoadTimerSettings();
        return int(ctx.settings.intervalMinutes);
    };
    hooks.runCycle = [&ctx] { RunForwardingCycle(ctx); };
    hooks.logForwardNow = [&ctx] { logAndShow(ctx, QStringLiteral("受信チェック")); };
    hooks.reportError = [&ctx](const QString& text) { ctx.reportError(text); };
    ForwardingTimer timer(ctx.paths.modeFile, hooks);

    int status = kExitOk;
    {
        StopSignals stopSignals;
        timer.start();
        status = QCoreApplication::exec();
        timer.stop();
    }
    logAndShow(ctx, QStringLiteral("quillmarc Stopped"));
    removeIfExists(ctx.paths.accountReadCopy);
    removeIfExists(ctx.paths.logWriteCopy);
    return status;
}

} // namespace qm::service
