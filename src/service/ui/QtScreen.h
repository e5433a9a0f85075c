#pragma once

#include "service/Screen.h"

#include <atomic>

namespace qm::ui {

class FormQuillmarc;

// The engine's screen in the window service: real message boxes and the window's log view.
// The engine may call it from the cycle's own thread: the window is then reached through its
// event queue (a box waits for its answer, nothing else waits).
class QtScreen : public service::Screen
{
public:
    explicit QtScreen(FormQuillmarc* window) : m_window(window) {}

    service::BoxAnswer messageBox(const QString& text, const QString& title, service::BoxIcon icon,
                                  service::BoxButtons buttons) override;
    void showLog() override;
    void processEvents() override;
    void faultLogged(const QString& account, const QString& text) override;
    void cycleEnded(int faults) override;

private:
    bool onWindowThread() const;

    FormQuillmarc* m_window;
    std::atomic<bool> m_refreshQueued{false};
};

} // namespace qm::ui
