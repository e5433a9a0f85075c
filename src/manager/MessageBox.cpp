#include "manager/MessageBox.h"

namespace qm::manager {

QList<QMessageBox::StandardButton> MessageBox::s_answers;
QList<MessageBox::Shown> MessageBox::s_history;
bool MessageBox::s_unattended = false;

QMessageBox::StandardButton MessageBox::show(QWidget* parent, QMessageBox::Icon icon,
                                             const QString& title, const QString& text,
                                             QMessageBox::StandardButtons buttons)
{
    s_history.append({icon, title, text});
    if (!s_answers.isEmpty())
        return s_answers.takeFirst();
    if (s_unattended) {
        // Lowest flag value first: Ok before Cancel, Yes before No.
        for (unsigned bit = 1; bit != 0; bit <<= 1) {
            if (buttons.testFlag(static_cast<QMessageBox::StandardButton>(bit)))
                return static_cast<QMessageBox::StandardButton>(bit);
        }
        return QMessageBox::NoButton;
    }
    QMessageBox box(icon, title, text, buttons, parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void MessageBox::setNextAnswer(QMessageBox::StandardButton answer)
{
    s_answers.append(answer);
}

void MessageBox::setUnattended(bool on)
{
    s_unattended = on;
}

const QList<MessageBox::Shown>& MessageBox::history()
{
    return s_history;
}

void MessageBox::clearHistory()
{
    s_history.clear();
    s_answers.clear();
}

} // namespace qm::manager
