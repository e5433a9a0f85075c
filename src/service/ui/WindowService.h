#pragma once

#include "FormQuillmarc.h"
#include "QtScreen.h"
#include "service/EngineContext.h"
#include "service/SystemParts.h"

#include <functional>
#include <memory>

namespace qm::ui {

// Runs work on a thread of its own while the calling (window) thread keeps handling its
// events, and returns once the work is done; what the work throws is thrown here.
void runOffWindowThread(const std::function<void()>& work);

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
