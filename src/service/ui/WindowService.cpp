#include "WindowService.h"

#include "ProgramIcon.h"
#include "data/AccountSettings.h"
#include "data/Paths.h"
#include "service/FaxDelivery.h"
#include "service/ForwardingCycle.h"
#include "service/RuntimeError.h"
#include "service/StopSignals.h"
#include "widgets/QtTranslations.h"

#include <QApplication>
#include <QThread>
#include <exception>
#include <memory>

namespace qm::ui {

void startOffWindowThread(std::function<void()> work,
                          std::function<void(const QString& error)> done)
{
    auto error = std::make_shared<QString>();
    QThread* thread = QThread::create([work = std::move(work), error] {
        try {
            work();
        } catch (const service::RuntimeError& e) {
            *error = e.description();
        } catch (const std::exception& e) {
            *error = QString::fromUtf8(e.what());
        }
    });
    // Queued to this thread's receiver: done runs here, whatever loop is running then.
    auto* receiver = new QObject;
    QObject::connect(thread, &QThread::finished, receiver,
                     [thread, receiver, error, done = std::move(done)] {
                         thread->wait();
                         delete thread;
                         receiver->deleteLater();
                         done(*error);
                     });
    thread->start();
}

WindowEngine::WindowEngine() : m_parts((ctx.paths = filePaths()).dataDir)
{
    m_parts.attach(ctx);
}

WindowHooks WindowEngine::hooks()
{
    WindowHooks hooks;
    hooks.startCycle = [this](std::function<void(const QString&)> done) {
        startOffWindowThread([this] { service::RunForwardingCycle(ctx); }, std::move(done));
    };
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
    widgets::installQtTranslations();

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
