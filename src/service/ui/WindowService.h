#pragma once

#include "FormQuillmarc.h"
#include "QtScreen.h"
#include "service/EngineContext.h"
#include "service/SystemParts.h"

#include <functional>
#include <memory>

namespace qm::ui {

// Runs work on a thread of its own and returns at once; done is called on the calling
// (window) thread once the work has ended, with the description of the run-time error it
// ended on, or "".
void startOffWindowThread(std::function<void()> work,
                          std::function<void(const QString& error)> done);

// The engine behind the service window: a context with the system's parts, whose cycles run
// off the window thread, and the window as its screen.
class WindowEngine
{
public:
    WindowEngine();
    // What the window runs the engine through (before the window exists).
    WindowHooks hooks();
    // The window the engine reports to, and whose quit it heeds between messages.
    void attach(FormQuillmarc* window);

    service::EngineContext ctx;

private:
    service::SystemParts m_parts;
    std::unique_ptr<QtScreen> m_screen;
};

// The resident window service: start-up, the window's life, shut-down. Returns the exit code.
int runWindowService(int argc, char** argv);

} // namespace qm::ui
