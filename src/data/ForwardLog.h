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

// Adds one line (newest first), drops lines past the retention (from TimerSet.txt), stores
// the log (encrypted when encryption is on) and leaves the plain write copy for takeLogRows().
// Never throws and never shows anything.
void WriteLog(const QString& first, const QString& second, const QString& third) noexcept;

// The same with an explicit retention and time; false + error instead of staying silent.
bool writeLogLine(const QString& first, const QString& second, const QString& third,
                  int retentionHours, const QDateTime& now, QString* error = nullptr);

// The data half of showing the log: when the write copy exists, its rows (newest first) and
// the copy is deleted; nullopt when there is no write copy (the view keeps what it shows).
// error is set (and nullopt returned) when the copy exists but cannot be read.
std::optional<QList<LogRow>> takeLogRows(QString* error = nullptr);

// Hour boundaries between two times (calendar difference in whole clock hours).
qint64 hourBoundariesBetween(const QDateTime& from, const QDateTime& to);

// Deletes the log and its copies (the "delete log" menu). Under the data lock.
bool deleteLog(QString* error = nullptr);

} // namespace qm
