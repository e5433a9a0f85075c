#include "MessageBox.h"

#include <QCoreApplication>

namespace qm::ui {

namespace {
QList<MessageBox::Shown>& shownList()
{
    static QList<MessageBox::Shown> list;
    return list;
}
} // namespace

bool MessageBox::s_autoAnswer = false;
QMessageBox::StandardButton MessageBox::s_nextAnswer = QMessageBox::NoButton;

QMessageBox::StandardButton MessageBox::show(QWidget* parent, QMessageBox::Icon icon,
                                             const QString& title, const QString& text,
                                             QMessageBox::StandardButtons buttons)
{
    shownList().append({title, text, icon, buttons});
    if (s_nextAnswer != QMessageBox::NoButton) {
        const auto answer = s_nextAnswer;
        s_nextAnswer = QMessageBox::NoButton;
        return answer;
    }
    if (s_autoAnswer) {
        // The answer that changes nothing: OK for notices, otherwise Cancel or No.
        for (auto b : {QMessageBox::Ok, QMessageBox::Cancel, QMessageBox::No}) {
            if (buttons.testFlag(b))
                return b;
        }
        for (int b = QMessageBox::FirstButton; b <= QMessageBox::LastButton; b <<= 1) {
            if (buttons.testFlag(QMessageBox::StandardButton(b)))
                return QMessageBox::StandardButton(b);
        }
        return QMessageBox::NoButton;
    }
    QMessageBox box(icon, title, text, buttons, parent);
    return QMessageBox::StandardButton(box.exec());
}

void MessageBox::setAutoAnswer(bool on)
{
    s_autoAnswer = on;
}

void MessageBox::setNextAnswer(QMessageBox::StandardButton answer)
{
    s_nextAnswer = answer;
}

const QList<MessageBox::Shown>& MessageBox::shown()
{
    return shownList();
}

void MessageBox::clearShown()
{
    shownList().clear();
}

QString errorTitle()
{
    return QStringLiteral("quillmarc");
}

} // namespace qm::ui
