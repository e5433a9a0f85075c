#pragma once

#include "data/Account.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace qm {

struct FilePaths;

// The stored account file's lines, read and decoded under the data lock.
struct StoredAccountLines
{
    bool fileExists = false; // false: no account file, no lines
    QStringList lines;
    bool damaged = false; // an envelope that does not decrypt: its bytes are no lines
    QString decryptError; // with damaged; names the file, holds none of its content
};

// Decoding is lenient: one undecodable byte must not stop every account, it only spoils its
// own field. nullopt + error when the lock is busy or the file cannot be read.
std::optional<StoredAccountLines> readStoredAccountLines(const FilePaths& paths,
                                                         QString* error = nullptr);

// One line of the account file a forwarding cycle acts on: an account to serve, or why the
// line cannot be served.
struct AccountLine
{
    std::optional<Account> account;
    QString problem;
    // The line's first field when it is a number of one or two digits, else "": anything
    // else there (a line of a damaged file, say) stays out of the log.
    QString shownNumber;
};

// What a cycle's read of the account file gives. Errors are only collected here: the data
// lock is held while reading, and must not be while a message box waits for the user (the
// account manager's saves would time out meanwhile).
struct AccountFileRead
{
    // In file order. Lines skipped by rule (blank, vacant, nowhere to forward) are not here.
    QList<AccountLine> lines;
    bool damaged = false; // an envelope that does not decrypt
    QString error;        // for a message box, once the lock is released
};

AccountFileRead readAccountFile(const FilePaths& paths);

} // namespace qm
