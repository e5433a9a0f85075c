#include "service/HeadlessScreen.h"

#include "service/ConsoleLog.h"

#include <QCoreApplication>

namespace qm::service {

namespace {

LogPriority priorityOf(BoxIcon icon)
{
    switch (icon) {
    case BoxIcon::Critical:
        return LogPriority::Error;
    case BoxIcon::Warning:
        return LogPriority::Warning;
    case BoxIcon::Information:
        return LogPriority::Info;
    case BoxIcon::None:
    case BoxIcon::Question:
        return LogPriority::Notice;
    }
    return LogPriority::Notice;
}

} // namespace

HeadlessScreen::HeadlessScreen(std::function<void(const QString&, const QString&)> logLine)
    : m_logLine(std::move(logLine))
{
}

BoxAnswer HeadlessScreen::messageBox(const QString& text, const QString& title, BoxIcon icon,
                                     BoxButtons buttons)
{
    ++m_messageCount;
    const QString shownTitle = title.isEmpty() ? QStringLiteral("quillmarc") : title;
    writeConsoleMessage(priorityOf(icon), shownTitle + QStringLiteral(": ") + text);
    if (m_logLine)
        m_logLine(shownTitle, text);
    showLog();
    switch (buttons) {
    case BoxButtons::Ok:
        return BoxAnswer::Ok;
    case BoxButtons::OkCancel:
    case BoxButtons::YesNoCancel:
    case BoxButtons::RetryCancel:
        return BoxAnswer::Cancel;
    case BoxButtons::YesNo:
        return BoxAnswer::No;
    }
    return BoxAnswer::Ok;
}

void HeadlessScreen::showLog()
{
    // No list view to refill.
}

void HeadlessScreen::faultLogged(const QString& account, const QString& text)
{
    writeConsoleMessage(LogPriority::Error, account + QStringLiteral(": ") + text);
}

void HeadlessScreen::processEvents()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

} // namespace qm::service
