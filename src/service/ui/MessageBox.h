#pragma once

#include <QList>
#include <QMessageBox>
#include <QString>

class QWidget;

namespace qm::ui {

// Every message box of the service goes through here, so tests can answer them without a
// modal loop and read back what the user would have seen.
class MessageBox
{
public:
    struct Shown
    {
        QString title;
        QString text;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
    };

    static QMessageBox::StandardButton show(QWidget* parent, QMessageBox::Icon icon,
                                            const QString& title, const QString& text,
                                            QMessageBox::StandardButtons buttons = QMessageBox::Ok);

    static void ok(QWidget* parent, const QString& title, const QString& text)
    {
        show(parent, QMessageBox::NoIcon, title, text);
    }
    static void information(QWidget* parent, const QString& title, const QString& text)
    {
        show(parent, QMessageBox::Information, title, text);
    }
    static void warning(QWidget* parent, const QString& title, const QString& text)
    {
        show(parent, QMessageBox::Warning, title, text);
    }
    static void critical(QWidget* parent, const QString& title, const QString& text)
    {
        show(parent, QMessageBox::Critical, title, text);
    }

    // Test hooks: when auto-answer is on, no box is opened and the cautious button (or the
    // next answer, once) is returned; every box is recorded either way.
    static void setAutoAnswer(bool on);
    static void setNextAnswer(QMessageBox::StandardButton answer);
    static const QList<Shown>& shown();
    static void clearShown();

private:
    static bool s_autoAnswer;
    static QMessageBox::StandardButton s_nextAnswer;
};

// Title used for run-time error boxes of the service window.
QString errorTitle();

} // namespace qm::ui
