#pragma once

#include <QString>

namespace qm::service {

// syslog's levels, which the journal keeps as PRIORITY.
enum class LogPriority { Critical = 2, Error = 3, Warning = 4, Notice = 5, Info = 6, Debug = 7 };

// Writes a message to standard error, ending it with a line break. When standard error is the
// journal (systemd names the stream in JOURNAL_STREAM), every line starts with "<N>", which
// journald takes as the line's priority; elsewhere the text goes out as it is.
void writeConsoleMessage(LogPriority priority, const QString& text);

// Whether standard error is the journal stream systemd gave this process.
bool stderrIsJournal();

// Sends Qt's own warnings the same way, with matching priorities (only while stderrIsJournal:
// elsewhere Qt's default output stays).
void routeQtMessagesToJournal();

} // namespace qm::service
