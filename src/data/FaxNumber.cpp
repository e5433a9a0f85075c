#include "data/FaxNumber.h"

namespace qm {

namespace {
// Longer than any real dial string; keeps a pasted body out of the command line.
constexpr int kMaxDigits = 32;
} // namespace

bool isValidFaxNumber(const QString& number)
{
    int digits = 0;
    QChar previous;
    for (int i = 0; i < number.size(); ++i) {
        const QChar c = number.at(i);
        if (c >= u'0' && c <= u'9') {
            ++digits;
        } else if (c == u'+') {
            if (i != 0)
                return false;
        } else if (c == u'-' || c == u' ') {
            // A separator only between digits: "-5" could be read as an option.
            if (!(previous >= u'0' && previous <= u'9'))
                return false;
        } else {
            return false;
        }
        previous = c;
    }
    return digits > 0 && digits <= kMaxDigits && previous >= u'0' && previous <= u'9';
}

QString faxDialString(const QString& number)
{
    if (!isValidFaxNumber(number))
        return {};
    QString dial;
    for (const QChar c : number) {
        if ((c >= u'0' && c <= u'9') || c == u'+')
            dial.append(c);
    }
    return dial;
}

} // namespace qm
