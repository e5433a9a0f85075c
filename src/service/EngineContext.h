#pragma once

#include "data/Account.h"
#include "data/AccountSettings.h"
#include "data/Paths.h"
#include "data/TimerSettings.h"
#include "service/Screen.h"

#include <QSet>
#include <QString>
#include <functional>
#include <memory>

namespace qm {
class FaxStation;
class Printer;
namespace mail {
class MailLibrary;
}
} // namespace qm

namespace qm::service {

class SignInTokens;

// Everything a forwarding cycle needs, passed to every engine step. The window service and
// the headless service each own one; tests build their own with a fast wait and a set clock.
struct EngineContext
{
    FilePaths paths;          // Data/ files and the program folder
    TimerSettings settings;   // reloaded by LoadTimerSettings
    bool faxPlatform = false; // fax sending (and the mail-to-fax paths) only when true
    Screen* screen = nullptr;
    // The outside parts a cycle works through; the programs give the system's own, tests
    // may give others. All three must be set before a cycle runs.
    mail::MailLibrary* mail = nullptr;
    FaxStation* fax = nullptr;
    Printer* printer = nullptr;

    // The waits before deletions and between mail parts are real in the programs; tests
    // shorten them. (Log times come from qm::Clock.)
    std::function<void(int milliseconds)> wait;

    // State of the account being processed.
    Account account;
    // Access tokens of the accounts that sign in with OAuth 2.0 (made on first use).
    std::shared_ptr<SignInTokens> signIn;
    FontSettings font;

    // Run-time errors reported in this context (the run-once exit status).
    int errorsReported = 0;
    // Set while RunForwardingCycle runs: nobody is there to answer a box, so errors are
    // logged instead.
    bool inCycle = false;
    // Faults logged by the running cycle (logFault).
    int faultsThisCycle = 0;

    // Set when the service is asked to end: the cycle stops before the next message, which
    // stays unhandled for the next run.
    std::function<bool()> stopRequested;
    bool shouldStop() const { return stopRequested && stopRequested(); }

    // Notices logged this cycle, by account and kind: a fault that stays (a refused login,
    // a server that is down) is one log line an account a cycle, not one a message.
    QSet<QString> noticesThisCycle;
    // Writes the line unless this account had a notice of this kind this cycle; true when
    // written. RunForwardingCycle starts each cycle with none.
    bool logOncePerCycle(const QString& accountNo, const QString& kind, const QString& first,
                         const QString& second, const QString& third);

    // A fault inside a cycle (a server down, a refused login, a file we cannot write): one
    // line under the current account's name ("quillmarc" before any account) per kind and
    // cycle, and the screen's attention. True when written.
    bool logFault(const QString& kind, const QString& text);

    // Counted in errorsReported. Inside a cycle a fault line (once per account a cycle for
    // the same text); outside one, an OK message box, as for a command the user chose.
    void reportError(const QString& description);
    // One forwarding-log line (never fails loudly), and the refresh of the log view.
    void writeLog(const QString& first, const QString& second, const QString& third);
    void showLog();
    void sleep(int milliseconds);
    mail::MailLibrary& mailLibrary();
    FaxStation& faxStation();
    void processEvents();
};

} // namespace qm::service
