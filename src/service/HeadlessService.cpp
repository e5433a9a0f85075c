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
#include "service/StopSignals.h"
#include "service/SystemParts.h"

#include <QCoreApplication>
#include <QFile>

namespace qm::service {

namespace {

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
    SystemParts parts(ctx.paths.dataDir);
    parts.attach(ctx);
    HeadlessScreen screen(
        [](const QString& title, const QString& text) { WriteLog(title, text, QString()); });
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
        StopSignals stopSignals([] { QCoreApplication::quit(); });
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
