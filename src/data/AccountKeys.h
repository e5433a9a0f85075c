#pragma once

#include "data/AccountEntry.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace qm {

// A value of an account by the name the command line gives it: where it sits in an entry,
// what it may hold beyond the entry's own checks, and how it is shown.
struct AccountKey
{
    QString name;
    // The value as the editor's box holds it (lists one item a line), and how it goes in.
    std::function<QString(const AccountEntry&)> read;
    std::function<void(AccountEntry&, const QString&)> write;
    // The only values it takes, when not empty (check boxes, option buttons).
    QStringList choices;
    // A check of its own, for a value validateAccountEntry does not see: the problem, or "".
    std::function<QString(const QString&)> check;
    // The field validateAccountEntry names when it finds fault with this value.
    std::optional<AccountField> field;
    bool list = false;   // several values, "," between them on a command line
    bool secret = false; // never shown
};

// Every key, in the order --help and --show give them: the account file's columns after the
// number, then the keys of Data/MailConn.txt (mailConnectionKeys).
const QList<AccountKey>& accountKeys();
const AccountKey* findAccountKey(const QString& name);
// The key of a field validateAccountEntry found fault with, or nullptr.
const AccountKey* accountKeyFor(AccountField field);

// The keys stored in Data/MailConn.txt (entry.connection). A kind of connection setting adds
// its keys here, each made with mailConnectionKey; the command line and --show pick them up.
QList<AccountKey> mailConnectionKeys();
// A key whose value is entry.connection[name]; an empty value removes it.
AccountKey mailConnectionKey(const QString& name, std::function<QString(const QString&)> check = {},
                             bool secret = false);

} // namespace qm
