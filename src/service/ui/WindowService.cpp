#include "WindowService.h"

#include "FormQuillmarc.h"
#include "ProgramIcon.h"
#include "QtScreen.h"
#include "data/AccountSettings.h"
#include "data/Paths.h"
#include "service/EngineContext.h"
#include "service/FaxDelivery.h"
#include "service/ForwardingCycle.h"

#include <QApplication>
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace qm::ui {

namespace {
int g_stopFds[2] = {-1, -1};

void onStopSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(g_stopFds[0], &byte, 1);
}

// SIGTERM and SIGINT arrive as an ordinary event through a socket pair, so the window ends
// the way it always does (log line, window position), never inside the signal handler.
void watchStopSignals(FormQuillmarc* window)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_stopFds) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_stopFds[1], QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window] {
        char byte;
        [[maybe_unused]] ssize_t n = ::read(g_stopFds[1], &byte, 1);
        window->stopBySystem();
    });
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}
} // namespace

int runWindowService(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quillmarc"));
    // The tray keeps the service alive while the window is hidden.
    QApplication::setQuitOnLastWindowClosed(false);
    applyJapaneseFont();

    service::EngineContext ctx;
    ctx.paths = filePaths();

    WindowHooks hooks;
    hooks.runCycle = [&ctx] { service::RunForwardingCycle(ctx); };
    hooks.settingsLoaded = [&ctx](const TimerSettings& s) { ctx.settings = s; };
    hooks.createFontDataFile = [](QString* error) { return CreateFontDataFile(error); };
    hooks.faxPlatform = [&ctx] {
        ctx.faxPlatform = service::DetectFaxPlatform();
        return ctx.faxPlatform;
    };

    FormQuillmarc window(std::move(hooks));
    QtScreen screen(&window);
    ctx.screen = &screen;
    QObject::connect(&window, &FormQuillmarc::ended, &app, &QApplication::quit,
                     Qt::QueuedConnection);

    watchStopSignals(&window);
    if (!window.startUp())
        return 0;
    window.showAsPlaced();
    return app.exec();
}

} // namespace qm::ui
