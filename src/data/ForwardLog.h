#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

namespace qm {

// One row of the forwarding log.
struct LogRow
{
    QString date;        // "yyyy/MM/dd"
    QString time;        // "HH:mm"
    QString account;     // first text
    QString sender;      // second text
    QString destination; // third text
    bool operator==(const LogRow&) const = default;
};

// What one new line says, in the columns of the log window (アカウント名, 差出人, 転送先):
// the account, or a service event such as "quillmarc Started ▲"; the sender, or what
// happened; the destination, or the detail of what happened. Date and time are added when
// it is written.
struct LogLine
{
    QString account = {};
    QString sender = {};
    QString destination = {};
};

// The stored log (Data/quillmarc.log, newest line first, encrypted when encryption is on) is
// rewritten whole only when the journal beside it (Data/quillmarc.jnl) is folded in. A line
// is appended to the journal (sealed on its own when encryption is on), so its cost does not
// grow with the log. Inside a LogBatch (a forwarding cycle) lines are synced by syncLog()
// and the fold waits for the batch to end; outside one the journal is folded at once.

// A text as a log column holds it: commas and line breaks go, since the stored log is a
// line of comma-separated fields per row. Texts shown beside the log (a fax's sender line)
// go through it too, so the two read the same.
QString withoutLogSeparators(QString text);

// Adds one line; retention from TimerSet.txt, time from Clock. Never throws and never shows
// anything.
void WriteLog(const LogLine& line) noexcept;

// The same with an explicit retention and time, the three texts in column order; false +
// error instead of staying silent.
bool writeLogLine(const QString& first, const QString& second, const QString& third,
                  int retentionHours, const QDateTime& now, QString* error = nullptr);

// While one exists, lines only go to the journal; when the last one ends, the journal is
// folded into the log (retention from TimerSet.txt, time from Clock). Not for nesting across
// threads: a forwarding cycle runs on one thread.
class LogBatch
{
public:
    LogBatch();
    ~LogBatch();
    LogBatch(const LogBatch&) = delete;
    LogBatch& operator=(const LogBatch&) = delete;
};

// Makes the lines a batch wrote so far durable against a power cut, with one sync however
// many they are (a crash of the program alone loses none of them anyway). The engine calls it
// when a message is done; the fold at the batch's end covers the rest.
bool syncLog(QString* error = nullptr);

// Folds the journal into the log: its lines on top, newest first, then the stored lines,
// each line kept while fewer than retentionHours hour boundaries lie between it and now.
// False + error when the log cannot be rewritten; the journal then stays for the next fold.
bool foldLog(int retentionHours, const QDateTime& now, QString* error = nullptr);

// The log as it stands, newest first (journal, then stored log); lines that do not read as
// a log line are left out. nullopt + error when it cannot be read.
std::optional<QList<LogRow>> readLog(QString* error = nullptr);

// What the log view has to do to show the log as it is now. Once asked for, the log is kept
// in memory and every later line is added there, so a refresh costs what changed.
struct LogViewChange
{
    bool reset = false;             // rows is the whole log: replace what is shown
    QList<LogRow> rows;             // newest first; without reset, the rows to put on top
    qsizetype removeFromBottom = 0; // without reset: rows past the retention, at the bottom
};
// nullopt when nothing changed since the last call (the view keeps what it shows), or with
// error set when the log cannot be read.
std::optional<LogViewChange> takeLogViewChange(QString* error = nullptr);

// The whole log, newest first, when it changed since the last take (of either kind).
std::optional<QList<LogRow>> takeLogRows(QString* error = nullptr);

// Data/quillmarc.jnl: lines not yet folded into the log.
QString logJournalPath();

// Hour boundaries between two times (calendar difference in whole clock hours).
qint64 hourBoundariesBetween(const QDateTime& from, const QDateTime& to);

// Deletes the log, its journal and its copies (the "delete log" menu). Under the data lock.
bool deleteLog(QString* error = nullptr);

} // namespace qm
