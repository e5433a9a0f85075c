#include "data/LogRowKind.h"

namespace qm {

namespace {

bool startsWithReplyCode(const QString& text, QChar first)
{
    return text.size() >= 3 && text.at(0) == first && text.at(1).isDigit() &&
           text.at(2).isDigit() && (text.size() == 3 || !text.at(3).isDigit());
}

bool soundsLikeFailure(const QString& text)
{
    static const QStringList marks = {
        QStringLiteral("できません"),     QStringLiteral("エラー"),
        QStringLiteral("見つかりません"), QStringLiteral("応答しません"),
        QStringLiteral("切れました"),     QStringLiteral("失敗"),
        QStringLiteral("拒否"),           QStringLiteral("発信できない"),
    };
    for (const QString& mark : marks) {
        if (text.contains(mark))
            return true;
    }
    return false;
}

} // namespace

LogRowKind logRowKind(const LogRow& row)
{
    // The SMTP server's verdict on one message sits in the destination column.
    if (startsWithReplyCode(row.destination, u'5'))
        return LogRowKind::Error;
    if (startsWithReplyCode(row.destination, u'4') ||
        row.destination.startsWith(QStringLiteral("宛先エラー")))
        return LogRowKind::Warning;
    if (soundsLikeFailure(row.sender) || soundsLikeFailure(row.destination))
        return LogRowKind::Error;
    return LogRowKind::Normal;
}

} // namespace qm
