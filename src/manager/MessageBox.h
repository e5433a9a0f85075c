#pragma once

#include <QList>
#include <QMessageBox>
#include <QString>

class QWidget;

namespace qm::manager {

// Every message box of the account manager goes through here, so tests can answer
// boxes in advance instead of blocking on a modal dialog.
class MessageBox
{
public:
    struct Shown
    {
        QMessageBox::Icon icon;
        QString title;
        QString text;
    };

    static QMessageBox::StandardButton show(QWidget* parent, QMessageBox::Icon icon,
                                            const QString& title, const QString& text,
                                            QMessageBox::StandardButtons buttons = QMessageBox::Ok);

    // Test hooks: the next box returns this answer without being shown.
    static void setNextAnswer(QMessageBox::StandardButton answer);
    // While on, a box with no queued answer returns its first button unshown.
    static void setUnattended(bool on);
    static const QList<Shown>& history();
    static void clearHistory();

private:
    static QList<QMessageBox::StandardButton> s_answers;
    static QList<Shown> s_history;
    static bool s_unattended;
};

} // namespace qm::manager
