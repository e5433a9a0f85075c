#include "data/SettingsLine.h"

#include <QRegularExpression>
#include <cmath>

namespace qm {

QStringList splitSettingsLine(const QString& line)
{
    QString bare = line;
    bare.remove(QLatin1Char('"'));
    return bare.split(QLatin1Char(','));
}

QString joinSettingsLine(const QList<LineField>& fields)
{
    QString out;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            out += QLatin1Char(',');
        const LineField& f = fields[i];
        if (f.quoted)
            out += QLatin1Char('"') + f.text + QLatin1Char('"');
        else
            out += f.text;
    }
    return out;
}

QString joinQuoted(const QStringList& fields)
{
    QList<LineField> list;
    list.reserve(fields.size());
    for (const QString& f : fields)
        list.append(LineField::quotedText(f));
    return joinSettingsLine(list);
}

bool isStorableField(const QString& value)
{
    // A line break would split the record it is stored in.
    return !value.contains(QLatin1Char(',')) && !value.contains(QLatin1Char('"')) &&
           !value.contains(QLatin1Char('\r')) && !value.contains(QLatin1Char('\n'));
}

std::optional<qint16> readInt16Field(const QString& text)
{
    // ASCII digits and spaces only: a full-width "１０" is not what the dialogs accept either.
    static const QRegularExpression number(
        QStringLiteral(R"(^[ \t]*[+-]?(\d+\.?\d*|\.\d+)[ \t]*$)"));
    if (!number.match(text).hasMatch())
        return std::nullopt;
    QString plain = text.trimmed();
    if (plain.endsWith(QLatin1Char('.')))
        plain.chop(1);
    bool ok = false;
    const double value = plain.toDouble(&ok);
    if (!ok)
        return std::nullopt;
    // Halves to even, as the settings dialog and the service have always rounded.
    const double rounded = std::nearbyint(value);
    if (rounded < -32768.0 || rounded > 32767.0)
        return std::nullopt;
    return qint16(rounded);
}

} // namespace qm
