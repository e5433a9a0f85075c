#pragma once

#include "data/AccountRecord.h"

#include <QList>
#include <QString>
#include <functional>
#include <optional>

namespace qm {

// What a read of the stored account file gives.
struct AccountTable
{
    bool fileExists = false;      // false: no account file, the table is empty
    QList<AccountRecord> records; // every line that splits into 33 fields, in file order
    int nonRecordLines = 0;       // lines that are not records (skipped by readers)
    QString decryptError; // non-empty when the stored file is a damaged envelope (no records)
};

// Reads the account file (decrypting when it is encrypted) under the data lock.
// nullopt + error only when the file exists but cannot be read at all or the lock is busy.
std::optional<AccountTable> readAccountTable(QString* error = nullptr);

// Outcome of a rewrite.
struct RewriteResult
{
    bool ok = false;
    bool replaced = false; // at least one line had the target number
    bool appended = false; // the record was appended
    QString error;         // Japanese text when !ok
};

// The rewrite: every record whose AccountNo equals accountNo is passed to replace()
// (which edits it in place) and written back all quoted; when none matched and
// appendLine is set, that line is appended. Lines that are not records are carried over
// unchanged. Runs under the data lock; the new file replaces the stored one atomically,
// encrypted when encryption is on. The stored file is never left missing.
RewriteResult rewriteAccountFile(const QString& accountNo,
                                 const std::function<void(AccountRecord&)>& replace,
                                 const std::optional<QString>& appendLine);

// Account editor "save": replaces the record (keeping the old SmtpAuthMethod when the
// new one is empty) or appends it as an appended line; on append creates MlTmp<NN>/Attach.
// The record should already be normalized (normalizeEditedRecord).
RewriteResult saveAccount(const AccountRecord& record);

// Account editor "delete": the record becomes the deleted-account template in place.
RewriteResult deleteAccount(const QString& accountNo);

// Hand-over record Data/account.txt: writes the stored record with that number as 33
// quoted fields, or the new-account template when there is none.
bool writeHandOverRecord(const QString& accountNo, QString* error = nullptr);
// Writes the given record as 33 quoted fields.
bool writeHandOverRecord(const AccountRecord& record, QString* error = nullptr);
// First line of Data/account.txt as a record; nullopt + error when missing or not a record.
std::optional<AccountRecord> readHandOverRecord(QString* error = nullptr);
bool deleteHandOverRecord(QString* error = nullptr);

} // namespace qm
