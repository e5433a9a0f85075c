#include "data/Numbers.h"

#include <cmath>

namespace qm {

namespace {

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

} // namespace

std::optional<double> readNumber(QStringView text, NumberForm form)
{
    const bool grouped = form == NumberForm::Grouped;
    qsizetype i = 0;
    qsizetype end = text.size();
    while (i < end && isBlank(text[i]))
        ++i;
    while (end > i && isBlank(text[end - 1]))
        --end;
    // Rebuilt as what toDouble takes: sign, digits, point, exponent.
    QString plain;
    if (i < end && (text[i] == u'+' || text[i] == u'-'))
        plain += text[i++];
    int digits = 0;
    for (; i < end; ++i) {
        if (isDigit(text[i])) {
            plain += text[i];
            ++digits;
        } else if (!(grouped && text[i] == u',' && digits > 0)) {
            break;
        }
    }
    if (i < end && text[i] == u'.') {
        QString fraction;
        for (++i; i < end && isDigit(text[i]); ++i)
            fraction += text[i];
        if (!fraction.isEmpty())
            plain += u'.' + fraction;
        digits += int(fraction.size());
    }
    if (digits == 0)
        return std::nullopt;
    if (grouped && i < end && (text[i] == u'e' || text[i] == u'E')) {
        plain += u'e';
        ++i;
        if (i < end && (text[i] == u'+' || text[i] == u'-'))
            plain += text[i++];
        const qsizetype first = i;
        for (; i < end && isDigit(text[i]); ++i)
            plain += text[i];
        if (i == first)
            return std::nullopt;
    }
    if (i != end)
        return std::nullopt;
    bool ok = false;
    const double value = plain.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<qint16> readInt16Field(QStringView text)
{
    const auto value = readNumber(text);
    if (!value)
        return std::nullopt;
    const double rounded = std::nearbyint(*value); // default rounding mode: halves to even
    if (rounded < -32768.0 || rounded > 32767.0)
        return std::nullopt;
    return qint16(rounded);
}

bool isAsciiDigits(QStringView text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (!isDigit(c))
            return false;
    }
    return true;
}

std::optional<int> readPort(QStringView text)
{
    if (text.size() > 5 || !isAsciiDigits(text))
        return std::nullopt;
    const int port = text.toInt();
    if (port < 1 || port > 65535)
        return std::nullopt;
    return port;
}

} // namespace qm
