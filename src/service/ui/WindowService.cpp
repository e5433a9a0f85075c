#include "WindowService.h"

#include "ProgramIcon.h"
#include "data/AccountSettings.h"
#include "data/Paths.h"
#include "service/FaxDelivery.h"
#include "service/ForwardingCycle.h"
#include "service/StopSignals.h"

#include <QApplication>
#include <QEventLoop>
#include <QThread>
#include <exception>

namespace qm::ui {

void runOffWindowThread(const std::function<void()>& work)
{
    std::exception_ptr failure;
    std::unique_ptr<QThread> thread(QThread::create([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
    }));
    QEventLoop loop;
    QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit,
                     Qt::QueuedConnection);
    thread->start();
    // The application quitting ends every loop early (and a new one at once); the work is
    // still let finish.
    while (!thread->isFinished()) {
        loop.exec();
        thread->wait(20);
    }
    thread->wait();
    if (failure)
        std::rethrow_exception(failure);
}

WindowEngine::WindowEngine() : m_parts((ctx.paths = filePaths()).dataDir)
{
    m_parts.attach(ctx);
}

WindowHooks WindowEngine::hooks()
{
    WindowHooks hooks;
    hooks.runCycle = [this] { runOffWindowThread([this] { service::RunForwardingCycle(ctx); }); };
    hooks.settingsLoaded = [this](const TimerSettings& s) { ctx.settings = s; };
    hooks.createFontDataFile = [](QString* error) { return CreateFontDataFile(error); };
    hooks.faxPlatform = [this] {
        ctx.faxPlatform = service::DetectFaxPlatform(ctx);
        return ctx.faxPlatform;
    };
    return hooks;
}

void WindowEngine::attach(FormQuillmarc* window)
{
    m_screen = std::make_unique<QtScreen>(window);
    ctx.screen = m_screen.get();
    ctx.stopRequested = [window] { return window->cycleStopRequested(); };
}

int runWindowService(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quillmarc"));
    // The tray keeps the service alive while the window is hidden.
    QApplication::setQuitOnLastWindowClosed(false);
    applyJapaneseFont();

    WindowEngine engine;
    FormQuillmarc window(engine.hooks());
    engine.attach(&window);
    QObject::connect(&window, &FormQuillmarc::ended, &app, &QApplication::quit,
                     Qt::QueuedConnection);

    // The window ends the way it always does (log line, window position).
    service::StopSignals stopSignals([&window] { window.stopBySystem(); });
    if (!window.startUp())
        return 0;
    window.showAsPlaced();
    return app.exec();
}

} // namespace qm::ui
