#pragma once

#include "service/Screen.h"

namespace qm::ui {

class FormQuillmarc;

// The engine's screen in the window service: real message boxes and the window's log view.
class QtScreen : public service::Screen
{
public:
    explicit QtScreen(FormQuillmarc* window) : m_window(window) {}

    service::BoxAnswer messageBox(const QString& text, const QString& title, service::BoxIcon icon,
                                  service::BoxButtons buttons) override;
    void showLog() override;
    void processEvents() override;

private:
    FormQuillmarc* m_window;
};

} // namespace qm::ui
