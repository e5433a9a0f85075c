#include "QtScreen.h"

#include "FormQuillmarc.h"
#include "widgets/MessageBox.h"

#include <QCoreApplication>
#include <QThread>

namespace qm::ui {

using widgets::MessageBox;

using service::BoxAnswer;
using service::BoxButtons;
using service::BoxIcon;

namespace {
QMessageBox::Icon toQt(BoxIcon icon)
{
    switch (icon) {
    case BoxIcon::Information:
        return QMessageBox::Information;
    case BoxIcon::Warning:
        return QMessageBox::Warning;
    case BoxIcon::Critical:
        return QMessageBox::Critical;
    case BoxIcon::Question:
        return QMessageBox::Question;
    case BoxIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons toQt(BoxButtons buttons)
{
    switch (buttons) {
    case BoxButtons::Ok:
        return QMessageBox::Ok;
    case BoxButtons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case BoxButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case BoxButtons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case BoxButtons::RetryCancel:
        return QMessageBox::Retry | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}
} // namespace

bool QtScreen::onWindowThread() const
{
    return !m_window || QThread::currentThread() == m_window->thread();
}

BoxAnswer QtScreen::messageBox(const QString& text, const QString& title, BoxIcon icon,
                               BoxButtons buttons)
{
    if (!onWindowThread()) {
        BoxAnswer answer = BoxAnswer::Ok;
        QMetaObject::invokeMethod(
            m_window, [&] { answer = messageBox(text, title, icon, buttons); },
            Qt::BlockingQueuedConnection);
        return answer;
    }
    const QString shownTitle = title.isEmpty() ? errorTitle() : title;
    switch (MessageBox::show(m_window, toQt(icon), shownTitle, text, toQt(buttons))) {
    case QMessageBox::Cancel:
        return BoxAnswer::Cancel;
    case QMessageBox::Yes:
        return BoxAnswer::Yes;
    case QMessageBox::No:
        return BoxAnswer::No;
    case QMessageBox::Retry:
        return BoxAnswer::Retry;
    default:
        break;
    }
    // A box closed without a choice takes the cautious answer where there is one.
    if (buttons == BoxButtons::Ok)
        return BoxAnswer::Ok;
    return buttons == BoxButtons::YesNo ? BoxAnswer::No : BoxAnswer::Ok;
}

void QtScreen::showLog()
{
    if (!m_window)
        return;
    if (onWindowThread()) {
        m_window->ShowLog();
        return;
    }
    // One refresh in the queue at a time takes every line written until it runs.
    if (m_refreshQueued.exchange(true))
        return;
    QMetaObject::invokeMethod(
        m_window,
        [this] {
            m_refreshQueued = false;
            m_window->ShowLog();
        },
        Qt::QueuedConnection);
}

void QtScreen::processEvents()
{
    // Off the window thread the window runs on its own.
    if (onWindowThread())
        QCoreApplication::processEvents();
}

void QtScreen::faultLogged(const QString& account, const QString& text)
{
    if (!m_window)
        return;
    QMetaObject::invokeMethod(
        m_window, [w = m_window, account, text] { w->showFault(account, text); },
        Qt::AutoConnection);
}

void QtScreen::cycleEnded(int faults)
{
    if (!m_window)
        return;
    QMetaObject::invokeMethod(
        m_window, [w = m_window, faults] { w->showCycleEnded(faults); }, Qt::AutoConnection);
}

} // namespace qm::ui
