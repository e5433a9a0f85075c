#pragma once

#include <QString>

namespace qm::service {

enum class BoxIcon { None, Information, Warning, Critical, Question };
enum class BoxButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
enum class BoxAnswer { Ok, Cancel, Yes, No, Retry };

// The engine's only way to the user. The window service shows real dialogs and a list
// view; the headless service writes to standard error and the log. Keeping it this small
// lets a whole forwarding cycle run in a test without a display.
class Screen
{
public:
    virtual ~Screen() = default;

    // A modal message box; returns the button the user chose.
    virtual BoxAnswer messageBox(const QString& text, const QString& title, BoxIcon icon,
                                 BoxButtons buttons) = 0;
    // Refresh the log view from the write copy the last log write left behind (and consume it).
    virtual void showLog() = 0;
    // Let pending window events run (the fax step waits this way).
    virtual void processEvents() = 0;

    // A fault of a cycle, already in the log under its account's name: the window and the
    // tray show that something needs attention until a cycle ends without one. Never blocks.
    virtual void faultLogged(const QString& account, const QString& text)
    {
        (void)account;
        (void)text;
    }
    // A cycle has ended, having logged this many faults.
    virtual void cycleEnded(int faults) { (void)faults; }
};

} // namespace qm::service
