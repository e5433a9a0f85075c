#pragma once

#include <QString>
#include <QStringView>
#include <QtGlobal>
#include <optional>

namespace qm {

// How much a numeric text may hold besides sign, digits and a decimal part.
enum class NumberForm {
    Plain,   // " 7 ", "-2", "10.0", ".5", "5."
    Grouped, // also digit-group commas in the whole part and an exponent: "1,234.5e2"
};

// The number a text holds: spaces and TABs around, an optional sign, ASCII digits (a
// full-width "１０" is not what the dialogs accept either). nullopt for anything else.
std::optional<double> readNumber(QStringView text, NumberForm form = NumberForm::Plain);

// A Plain number rounded half to even, as the settings dialog and the service have always
// rounded; nullopt when it is no number or does not fit in 16 bits.
std::optional<qint16> readInt16Field(QStringView text);

// A non-empty run of ASCII digits.
bool isAsciiDigits(QStringView text);

// A TCP port as the account columns hold it: one to five ASCII digits, 1..65535.
std::optional<int> readPort(QStringView text);

} // namespace qm
