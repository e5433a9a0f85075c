#include "widgets/MessageBox.h"

namespace qm::widgets {

namespace {
struct Hooks
{
    QList<QMessageBox::StandardButton> answers;
    QList<MessageBox::Shown> shown;
    bool autoAnswer = false;
};

Hooks& hooks()
{
    static Hooks h;
    return h;
}

// The answer that changes nothing: OK for a notice, otherwise Cancel or No.
QMessageBox::StandardButton cautiousAnswer(QMessageBox::StandardButtons buttons)
{
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
} // namespace

QMessageBox::StandardButton MessageBox::show(QWidget* parent, QMessageBox::Icon icon,
                                             const QString& title, const QString& text,
                                             QMessageBox::StandardButtons buttons)
{
    Hooks& h = hooks();
    h.shown.append({title, text, icon, buttons});
    if (!h.answers.isEmpty())
        return h.answers.takeFirst();
    if (h.autoAnswer)
        return cautiousAnswer(buttons);
    QMessageBox box(icon, title, text, buttons, parent);
    return QMessageBox::StandardButton(box.exec());
}

void MessageBox::setNextAnswer(QMessageBox::StandardButton answer)
{
    hooks().answers.append(answer);
}

void MessageBox::clearAnswers()
{
    hooks().answers.clear();
}

void MessageBox::setAutoAnswer(bool on)
{
    hooks().autoAnswer = on;
}

const QList<MessageBox::Shown>& MessageBox::shown()
{
    return hooks().shown;
}

void MessageBox::clearShown()
{
    hooks().shown.clear();
}

} // namespace qm::widgets
