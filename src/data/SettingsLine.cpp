#include "data/SettingsLine.h"

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

} // namespace qm
