#pragma once

#include <QString>

namespace qm {

// Fax numbers arrive from mail subjects, so one that is not plainly a number
// must never reach a fax command. Accepted: an optional leading "+", then
// digits, with "-" or single spaces between digit groups.
bool isValidFaxNumber(const QString& number);

// What is actually dialled: the digits (and a leading "+"), separators dropped.
// Empty when the number is not valid.
QString faxDialString(const QString& number);

} // namespace qm
