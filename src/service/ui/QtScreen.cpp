#include "QtScreen.h"

#include "FormQuillmarc.h"
#include "widgets/MessageBox.h"

#include <QCoreApplication>

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

BoxAnswer QtScreen::messageBox(const QString& text, const QString& title, BoxIcon icon,
                               BoxButtons buttons)
{
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
    if (m_window)
        m_window->ShowLog();
}

void QtScreen::processEvents()
{
    QCoreApplication::processEvents();
}

} // namespace qm::ui
