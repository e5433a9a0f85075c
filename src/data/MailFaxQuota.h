#pragma once

#include <QDate>
#include <QString>

namespace qm {

// How many fax jobs each sender has asked for by mail today, kept in Data/FaxCount.txt
// (one line per sender: day, address, count; lines of other days are dropped). A stranger who
// learns the account's address cannot run up a phone bill beyond the cap.

// Counts one job for sender (compared without regard to case) on day, when the sender is
// still below cap. False when the cap is reached (*error stays empty) or the count cannot be
// kept (*error says why): either way no job may be sent.
bool countMailFaxJob(const QString& dataDir, const QString& sender, const QDate& day, int cap,
                     QString* error = nullptr);

} // namespace qm
