#pragma once

#include <QString>

namespace qm::service {

// The lenient number test of the settings and subjects: optional sign, digits with
// digit-group commas, a decimal point, an exponent; spaces around are allowed.
// An empty text is not numeric.
bool IsNumeric(const QString& text);

// True when the text is a non-empty run of ASCII digits.
bool IsAllDigits(const QString& text);

// Converts a numeric text to a signed 16-bit value, rounding halves to even.
// Throws RuntimeError when the text is not numeric or the value does not fit.
qint16 ToInt16(const QString& text);

// Like ToInt16, but an empty text gives 0.
qint16 ToInt16OrZero(const QString& text);

// Standard texts of run-time errors.
QString TypeMismatchText();
QString OverflowText();

} // namespace qm::service
