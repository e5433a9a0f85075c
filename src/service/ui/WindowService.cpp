#include "WindowService.h"

#include "FormQuillmarc.h"
#include "ProgramIcon.h"
#include "QtScreen.h"
#include "data/AccountSettings.h"
#include "data/Paths.h"
#include "service/EngineContext.h"
#include "service/FaxDelivery.h"
#include "service/ForwardingCycle.h"
#include "service/StopSignals.h"
#include "service/SystemParts.h"
#include "widgets/QtTranslations.h"

#include <QApplication>

namespace qm::ui {

int runWindowService(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quillmarc"));
    // The tray keeps the service alive while the window is hidden.
    QApplication::setQuitOnLastWindowClosed(false);
    applyJapaneseFont();
    widgets::installQtTranslations();

    service::EngineContext ctx;
    ctx.paths = filePaths();
    service::SystemParts parts(ctx.paths.dataDir);
    parts.attach(ctx);

    WindowHooks hooks;
    hooks.runCycle = [&ctx] { service::RunForwardingCycle(ctx); };
    hooks.settingsLoaded = [&ctx](const TimerSettings& s) { ctx.settings = s; };
    hooks.createFontDataFile = [](QString* error) { return CreateFontDataFile(error); };
    hooks.faxPlatform = [&ctx] {
        ctx.faxPlatform = service::DetectFaxPlatform(ctx);
        return ctx.faxPlatform;
    };

    FormQuillmarc window(std::move(hooks));
    QtScreen screen(&window);
    ctx.screen = &screen;
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
