#pragma once

#include <QString>

namespace qm::service {

// What the headless programs report back to main.
enum class HeadlessMode { Resident, RunOnce };

// Exit codes: 0 done; 1 a run-time error was reported during a one-off cycle;
// 2 refused to start (missing files, another instance running, no Data folder).
constexpr int kExitOk = 0;
constexpr int kExitCycleError = 1;
constexpr int kExitRefused = 2;

// Why the service cannot start on this program folder ("" when it can): the settings and
// account files must already exist, as nobody is there to create them.
QString HeadlessStartProblem();

// Runs the service without a window (needs a QCoreApplication). The caller holds the
// single-instance lock. Resident: until SIGTERM or SIGINT; RunOnce: one cycle.
int RunHeadless(HeadlessMode mode);

} // namespace qm::service
