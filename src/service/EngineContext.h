#pragma once

#include "data/Paths.h"
#include "service/CurrentAccount.h"
#include "service/Screen.h"

#include <QDateTime>
#include <QString>

#include <functional>

namespace qm::mail {
class MailLibrary;
}

namespace qm::service {

// The common settings as the service uses them (defaults are those of a missing file).
struct CommonSettings {
    qint16 intervalMinutes = 5;
    qint16 logRetentionHours = 24;
    qint16 remoteSettingsAllowed = 1;
    qint16 passwordOn = 0;
    QString password;
    qint16 checkAtStart = 0;
    qint16 checkAtExit = 0;
    qint16 checkAtAccountSetting = 0;
    qint16 detailLog = 0;
};

// Everything a forwarding cycle needs, passed to every engine step. The window service and
// the headless service each own one; tests build their own with a fast wait and a set clock.
struct EngineContext {
    FilePaths paths;               // Data/ files and the program folder
    CommonSettings settings;       // reloaded by LoadTimerSettings
    bool faxPlatform = false;      // fax sending (and the mail-to-fax paths) only when true
    Screen *screen = nullptr;
    mail::MailLibrary *mail = nullptr;

    // The waits before deletions and between mail parts are real in the programs; tests
    // shorten them. now() is the clock of the log lines.
    std::function<void(int milliseconds)> wait;
    std::function<QDateTime()> now;

    // State of the account being processed.
    CurrentAccount account;
    FontSettings font;

    // Message boxes shown for run-time errors in this context (the run-once exit status).
    int errorsReported = 0;

    // The error description in an OK message box; counted in errorsReported.
    void reportError(const QString &description);
    // One forwarding-log line (never fails loudly), and the refresh of the log view.
    void writeLog(const QString &first, const QString &second, const QString &third);
    void showLog();
    void sleep(int milliseconds);
    void processEvents();
};

} // namespace qm::service
