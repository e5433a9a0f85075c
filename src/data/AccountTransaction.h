#pragma once

#include "data/AccountEntry.h"

#include <QString>
#include <QStringList>

namespace qm {

// Saving an account: its record in the account file and its rows in DelString.txt,
// FontData.txt and FaxOpt.txt change together or not at all. A new number also gets its
// work folders. Runs under the data lock, which is let go before returning, so the caller
// may show a box afterwards. The entry should have passed validateAccountEntry.
bool saveAccountEntry(const AccountEntry& entry, QString* error = nullptr);

struct AccountDeletion
{
    bool ok = false;
    QString error;         // when !ok; nothing was changed
    QStringList filesLeft; // deleted, but these files of its work folders could not be removed
};

// Deleting an account: its record becomes the deleted-account template and the files in its
// work folder and that folder's Attach are removed (the folders stay for the number's next
// use). Its rows in the three settings files stay. Without an account file nothing is
// written, and that counts as done. Under the data lock, like saving.
AccountDeletion deleteAccountAndWorkFiles(const QString& accountNo);

} // namespace qm
