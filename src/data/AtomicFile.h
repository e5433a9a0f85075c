#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

namespace qm {

// How far a write is made safe. Durable: also against power loss (fsync of the file and
// the folder). RenameOnly: against a crash of the program only; for small files rewritten
// once per message, where losing the latest version to a power cut costs a repeat at most.
enum class AtomicSync { Durable, RenameOnly };

// The one whole-file write: a temp file in the same folder, flushed and fsync'ed,
// then renamed over the target. A crash at any point leaves the old or the new file.
bool writeFileAtomic(const QString& path, const QByteArray& bytes, QString* error = nullptr,
                     AtomicSync sync = AtomicSync::Durable);

// Points in writeFileAtomic where tests may inject a failure or a crash.
enum class AtomicWriteStep {
    TempCreated, // temp file open, nothing written yet
    TempWritten, // all bytes written, not yet synced
    TempSynced,  // temp file durable, target not yet replaced
    Renamed      // target replaced, folder not yet synced
};

// Test hook: called at each step; returning false makes the write fail at that point
// (the temp file is removed, the target left as it was). Pass {} to clear.
using AtomicWriteHook = std::function<bool(AtomicWriteStep step, const QString& path)>;
void setAtomicWriteHook(AtomicWriteHook hook);

// Deletes temp files that a crashed writeFileAtomic of `path` left behind. Call it only while
// no other write of that file can be running (under the data lock).
void removeStaleTempFiles(const QString& path);

// Writes all of bytes to fd, through short writes and signals; false with errno set.
bool writeAll(int fd, const QByteArray& bytes);

// Makes the folder's entries (a file just created, renamed or deleted) durable; best effort.
void syncFolder(const QString& dir);

// Deletes a file if it exists. False + error only when it exists and cannot be removed.
bool removeIfExists(const QString& path, QString* error = nullptr);

} // namespace qm
