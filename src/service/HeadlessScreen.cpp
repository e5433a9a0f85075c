#include "service/HeadlessScreen.h"

#include <QCoreApplication>
#include <cstdio>

namespace qm::service {

HeadlessScreen::HeadlessScreen(std::function<void(const QString&, const QString&)> logLine)
    : m_logLine(std::move(logLine))
{
}

BoxAnswer HeadlessScreen::messageBox(const QString& text, const QString& title, BoxIcon,
                                     BoxButtons buttons)
{
    ++m_messageCount;
    const QString shownTitle = title.isEmpty() ? QStringLiteral("quillmarc") : title;
    const QByteArray line = (shownTitle + QStringLiteral(": ") + text + u'\n').toLocal8Bit();
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
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

void HeadlessScreen::processEvents()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

} // namespace qm::service
