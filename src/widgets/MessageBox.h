#pragma once

#include <QList>
#include <QMessageBox>
#include <QString>

class QWidget;

namespace qm::widgets {

// Every message box of both programs goes through here, so tests can answer boxes in advance
// instead of blocking on a modal loop, and read back what the user would have seen.
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

    // Test hooks. Queued answers are given first, one a box, without showing it. Then, with
    // auto-answer on, no box is opened and the answer that changes nothing is given. Every
    // box is recorded either way.
    static void setNextAnswer(QMessageBox::StandardButton answer);
    static void clearAnswers();
    static void setAutoAnswer(bool on);
    static const QList<Shown>& shown();
    static void clearShown();
};

} // namespace qm::widgets
