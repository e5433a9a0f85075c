#include "service/HeadlessService.h"

#include "data/AccountSettings.h"
#include "data/AtomicFile.h"
#include "data/ForwardLog.h"
#include "data/Paths.h"
#include "data/TimerSettings.h"
#include "platform/system/ServiceManager.h"
#include "service/EngineContext.h"
#include "service/FaxDelivery.h"
#include "service/ForwardingCycle.h"
#include "service/ForwardingTimer.h"
#include "service/HeadlessScreen.h"
#include "service/StopSignals.h"
#include "service/SystemParts.h"

#include <QCoreApplication>
#include <QFile>
#include <utility>

namespace qm::service {

namespace {

QString readyStatus(const EngineContext& ctx)
{
    return QStringLiteral("%1分間隔 %2").arg(ctx.settings.intervalMinutes).arg(ctx.paths.dataHome);
}

// SIGHUP: the common settings apply at once instead of at the next minute. Told as a warning,
// because whoever reloads wants to know when a value was not taken.
void reloadSettings(EngineContext& ctx)
{
    notifyServiceReloading();
    QString warning;
    ctx.settings = LoadTimerSettings(&warning);
    if (!warning.isEmpty() && ctx.screen)
        ctx.screen->messageBox(warning, QStringLiteral("quillmarc"), BoxIcon::Warning,
                               BoxButtons::Ok);
    notifyServiceReady(readyStatus(ctx));
}

} // namespace

QString HeadlessStartProblem()
{
    const FilePaths& paths = filePaths();
    // A server has no window to set up in: the account manager's command line does it.
    if (!QFile::exists(paths.settingsFile))
        return QStringLiteral("共通設定のファイルがありません（%"
                              "1）。quillmarcB --set-common で共通設定を作り"
                              "（例: quillmarcB --set-common intervalMinutes=5）、"
                              "quillmarcB --add でアカウントを登録してから起動してください。")
            .arg(paths.settingsFile);
    if (!QFile::exists(paths.accountFile))
        return QStringLiteral("アカウントのファイルがありません（%"
                              "1）。quillmarcB --add でアカウントを登録してから起動してください"
                              "（項目は quillmarcB --help）。")
            .arg(paths.accountFile);
    return QString();
}

int RunHeadless(HeadlessMode mode)
{
    EngineContext ctx;
    ctx.paths = filePaths();
    SystemParts parts(ctx.paths.dataDir);
    parts.attach(ctx);
    HeadlessScreen screen([](const QString& title, const QString& text) {
        WriteLog({.account = title, .sender = text});
    });
    ctx.screen = &screen;
    ctx.settings = LoadTimerSettings();
    ctx.faxPlatform = DetectFaxPlatform(ctx);
    ctx.stopRequested = &StopSignals::stopRequested;

    if (mode == HeadlessMode::RunOnce) {
        StopSignals stopSignals([] {});
        RunForwardingCycle(ctx);
        removeIfExists(ctx.paths.accountReadCopy);
        removeIfExists(ctx.paths.logWriteCopy);
        return ctx.errorsReported > 0 ? kExitCycleError : kExitOk;
    }

    ctx.log({.account = QStringLiteral("quillmarc Started ▲")});
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
    hooks.logForwardNow = [&ctx] { ctx.log({.account = QStringLiteral("受信チェック")}); };
    hooks.reportError = [&ctx](const QString& text) { ctx.reportError(text); };
    ForwardingTimer timer(ctx.paths.modeFile, hooks);

    // A reload asked for during a cycle waits for its end: the cycle keeps the settings it
    // started with.
    bool reloadPending = false;
    const auto reload = [&] {
        if (timer.isCycleRunning())
            reloadPending = true;
        else
            reloadSettings(ctx);
    };
    QObject::connect(&timer, &ForwardingTimer::cycleFinished, [&] {
        if (std::exchange(reloadPending, false) && !StopSignals::stopRequested())
            reloadSettings(ctx);
    });

    int status = kExitOk;
    {
        StopSignals stopSignals(
            [] {
                notifyServiceStopping();
                QCoreApplication::quit();
            },
            reload);
        timer.start();
        notifyServiceReady(readyStatus(ctx));
        status = QCoreApplication::exec();
        timer.stop();
    }
    ctx.log({.account = QStringLiteral("quillmarc Stopped")});
    removeIfExists(ctx.paths.accountReadCopy);
    removeIfExists(ctx.paths.logWriteCopy);
    return status;
}

} // namespace qm::service
