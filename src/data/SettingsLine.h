#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <optional>

namespace qm {

// One field of a settings line as a writer puts it down: text fields in double
// quotes, numbers bare, an empty bare field as nothing at all.
struct LineField
{
    QString text;
    bool quoted = true;

    static LineField quotedText(const QString& t) { return {t, true}; }
    static LineField bare(const QString& t) { return {t, false}; }
};

// Readers' rule: remove every double quote, split at every ",".
QStringList splitSettingsLine(const QString& line);

// Writers' rule: fields joined by ",", quoted ones in double quotes. No line end.
QString joinSettingsLine(const QList<LineField>& fields);

// All fields quoted.
QString joinQuoted(const QStringList& fields);

// True when a value can travel through the line format unchanged (no ",", no double quote and
// no line break).
bool isStorableField(const QString& value);

} // namespace qm
