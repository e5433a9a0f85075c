#include "service/Numeric.h"

#include "service/RuntimeError.h"

#include <cmath>
#include <optional>

namespace qm::service {

namespace {

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Strips the number down to what strtod understands: sign, digits, point, exponent.
std::optional<double> parseLenient(const QString& text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    QString plain;
    qsizetype i = 0;
    if (t[i] == u'+' || t[i] == u'-')
        plain += t[i++];
    int digits = 0;
    bool sawDigitInInteger = false;
    for (; i < t.size(); ++i) {
        if (isDigit(t[i])) {
            plain += t[i];
            ++digits;
            sawDigitInInteger = true;
        } else if (t[i] == u',' && sawDigitInInteger) {
            continue; // digit-group comma
        } else {
            break;
        }
    }
    if (i < t.size() && t[i] == u'.') {
        plain += u'.';
        for (++i; i < t.size() && isDigit(t[i]); ++i) {
            plain += t[i];
            ++digits;
        }
    }
    if (digits == 0)
        return std::nullopt;
    if (i < t.size() && (t[i] == u'e' || t[i] == u'E')) {
        QString exponent = QStringLiteral("e");
        qsizetype j = i + 1;
        if (j < t.size() && (t[j] == u'+' || t[j] == u'-'))
            exponent += t[j++];
        int expDigits = 0;
        for (; j < t.size() && isDigit(t[j]); ++j, ++expDigits)
            exponent += t[j];
        if (expDigits == 0)
            return std::nullopt;
        plain += exponent;
        i = j;
    }
    if (i != t.size())
        return std::nullopt;
    bool ok = false;
    const double value = plain.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace

QString TypeMismatchText()
{
    return QStringLiteral("型が一致しません。");
}

QString OverflowText()
{
    return QStringLiteral("オーバーフローしました。");
}

bool IsNumeric(const QString& text)
{
    return parseLenient(text).has_value();
}

bool IsAllDigits(const QString& text)
{
    if (text.isEmpty())
        return false;
    for (QChar c : text) {
        if (!isDigit(c))
            return false;
    }
    return true;
}

qint16 ToInt16(const QString& text)
{
    const auto value = parseLenient(text);
    if (!value)
        throw RuntimeError(TypeMismatchText());
    const double rounded = std::nearbyint(*value); // default rounding mode: halves to even
    if (rounded < -32768.0 || rounded > 32767.0)
        throw RuntimeError(OverflowText());
    return qint16(rounded);
}

qint16 ToInt16OrZero(const QString& text)
{
    return text.isEmpty() ? qint16(0) : ToInt16(text);
}

} // namespace qm::service
