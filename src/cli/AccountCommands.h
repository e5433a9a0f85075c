#pragma once

#include <QStringList>

class QTextStream;

namespace qm::cli {

// The account manager without a display, for servers and scripts:
//   --list, --show NN, --add KEY=VALUE..., --set NN KEY=VALUE..., --delete NN,
//   --set-common KEY=VALUE...
// Every change goes through the editor's checks and its save or delete, under the same lock.
// Exit status: 0 done, 1 a change refused (every file as it was), 2 bad usage, 3 no display
// for the window.
inline constexpr int kCommandDone = 0;
inline constexpr int kCommandRefused = 1;
inline constexpr int kCommandUsage = 2;
inline constexpr int kNoDisplay = 3;

// Whether the arguments (without the program name) ask for a command rather than a window.
bool isAccountCommand(const QStringList& args);

int runAccountCommand(const QStringList& args, QTextStream& out, QTextStream& err);

// The keys the commands take, for --help.
QString accountCommandHelp();

} // namespace qm::cli
