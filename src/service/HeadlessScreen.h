#pragma once

#include "service/Screen.h"

#include <functional>

namespace qm::service {

// Screen for machines without a desktop: every message box text goes to standard error and
// into the forwarding log; nobody can answer, so questions take their cautious answer.
class HeadlessScreen : public Screen
{
public:
    // logLine(title, text) writes one log line.
    explicit HeadlessScreen(std::function<void(const QString&, const QString&)> logLine);

    BoxAnswer messageBox(const QString& text, const QString& title, BoxIcon icon,
                         BoxButtons buttons) override;
    void showLog() override;
    void processEvents() override;
    // The log has the line already; the journal (or standard error) gets it too.
    void faultLogged(const QString& account, const QString& text) override;

    int messageCount() const { return m_messageCount; }

private:
    std::function<void(const QString&, const QString&)> m_logLine;
    int m_messageCount = 0;
};

} // namespace qm::service
