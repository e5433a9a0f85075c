#pragma once

#include <QMap>
#include <QString>
#include <optional>

namespace qm {

// Data/MailConn.txt: an account's mail connection settings beyond its line of the account
// file (connection security, trusted certificates, sign-in), which keeps its 33 columns.
// One line an account, "NN","Key=Value","Key=Value",...; named keys let each kind of
// setting add its own without a column count to agree on. The file holds sign-in tokens,
// so it is stored like the account file: encrypted while encryption is on.
using MailConnectionValues = QMap<QString, QString>;

// The stored values of one account; empty when it has none (or the file cannot be read).
MailConnectionValues readMailConnectionValues(const QString& accountNo);

// Every account's values, or nullopt + error when the file cannot be read.
std::optional<QMap<QString, MailConnectionValues>>
readAllMailConnectionValues(QString* error = nullptr);

// Replaces the account's values whole (no values: its line goes). Atomic, under the data
// lock. Refuses keys and values that cannot be stored (comma, double quote, line break,
// "=" in a key).
bool saveMailConnectionValues(const QString& accountNo, const MailConnectionValues& values,
                              QString* error = nullptr);

// Sets the given keys of one account, leaving its others; an empty value removes a key.
// For a value the service itself renews (a rotated sign-in token).
bool updateMailConnectionValues(const QString& accountNo, const MailConnectionValues& changes,
                                QString* error = nullptr);

} // namespace qm
