#include "service/ForwardText.h"

#include "data/Account.h"
#include "data/AccountFiles.h"
#include "data/ForwardLog.h"
#include "data/TextCodec.h"
#include "service/ReceiveFiles.h"

#include <QDateTime>

namespace qm::service {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// Words typed into the account were stored in Shift-JIS, so "〜" came back as "～": both
// sides are compared in that form.
bool anyOccurs(const QStringList& entries, const QString& text)
{
    const QString stored = withCp932LookAlikes(text);
    for (const QString& entry : entries) {
        if (!entry.isEmpty() && stored.contains(withCp932LookAlikes(entry)))
            return true;
    }
    return false;
}

} // namespace

QString SenderText(const mail::ReceivedMessage& m)
{
    return withoutLogSeparators(m.fromText);
}

QString FaxDateLine(const mail::ReceivedMessage& m)
{
    if (!m.sent.isValid())
        return m.date;
    const QDateTime local = m.sent.toLocalTime();
    static const QString weekdays = QStringLiteral("月火水木金土日");
    const QDate d = local.date();
    return QStringLiteral("%1年%2月%3日(%4) %5")
        .arg(d.year())
        .arg(d.month())
        .arg(d.day())
        .arg(weekdays.at(d.dayOfWeek() - 1))
        .arg(local.time().toString(QStringLiteral("HH:mm")));
}

QString BuildFaxText(const mail::ReceivedMessage& m)
{
    return FaxDateLine(m) + kCrLf + u' ' + kCrLf + QStringLiteral("差出人：") + SenderText(m) +
           kCrLf + u' ' + kCrLf + QStringLiteral("件  名：") + m.subject + kCrLf + u' ' + kCrLf +
           m.body;
}

QString BuildMailToFaxText(const mail::ReceivedMessage& m)
{
    return kCrLf + FaxDateLine(m) + kCrLf + kCrLf + QStringLiteral("差出人：") + SenderText(m) +
           kCrLf + kCrLf + m.body;
}

bool MatchesForwardConditions(const Account& a, const mail::ReceivedMessage& m)
{
    if (!a.hasConditions())
        return true;
    return anyOccurs(a.fromConditions, SenderText(m)) ||
           anyOccurs(a.subjectConditions, m.subject) || anyOccurs(a.bodyConditions, m.body);
}

void RecordAttachments(EngineContext& ctx, const mail::ReceivedMessage& m,
                       const QString& receiveNumber, const AccountFiles& files)
{
    for (qsizetype i = 0; i < m.attachments.size(); ++i)
        AddAttachmentRecord(ctx, files, receiveNumber, int(i + 1), m.attachments.at(i).path,
                            m.attachments.at(i).name);
}

const QStringList& DecorationList()
{
    static const QStringList list = {
        QStringLiteral("--"), QStringLiteral("=="), QStringLiteral("__"), QStringLiteral("<<"),
        QStringLiteral(">>"), QStringLiteral("(("), QStringLiteral("))"), QStringLiteral("■■"),
        QStringLiteral("◆◆"), QStringLiteral("□□"), QStringLiteral("▼▼"), QStringLiteral("▲▲"),
        QStringLiteral("▼▽"), QStringLiteral("◆◇"), QStringLiteral("━"),  QStringLiteral("┃"),
        QStringLiteral("┏"),  QStringLiteral("┓"),  QStringLiteral("┗"),  QStringLiteral("┛"),
        QStringLiteral("╋"),  QStringLiteral("┳"),  QStringLiteral("┻"),  QStringLiteral("┣"),
        QStringLiteral("┫"),  QStringLiteral("┌"),  QStringLiteral("│"),  QStringLiteral("┐"),
        QStringLiteral("┘"),  QStringLiteral("└"),  QStringLiteral("├"),  QStringLiteral("┬"),
        QStringLiteral("┤"),  QStringLiteral("┴"),  QStringLiteral("┼")};
    return list;
}

QString EditForwardText(const Account& a, const QString& body, const QStringList& deleteStrings,
                        const QString& receiveNumber,
                        const QList<mail::ReceivedAttachment>& attachments)
{
    QString text = body;
    // QString::replace scans left to right without overlap: three spaces leave one.
    if (a.dropSpaces)
        text.replace(QStringLiteral("  "), QString());
    if (a.dropWideSpaces)
        text.replace(QStringLiteral("\u3000\u3000"), QString());
    if (a.dropTabs)
        text.remove(u'\t');
    if (a.dropLineBreaks)
        text.remove(kCrLf);
    if (a.dropSymbols) {
        for (const QString& entry : DecorationList())
            text.remove(entry);
        for (const QString& s : deleteStrings) {
            if (!s.isEmpty())
                text.remove(s);
        }
        // Appended after the clean-up so the heading's brackets survive it.
        if (!attachments.isEmpty()) {
            text += kCrLf + QStringLiteral("<添付ファイル>");
            for (qsizetype i = 0; i < attachments.size(); ++i)
                text += kCrLf + AttachmentKey(receiveNumber, int(i + 1)) + u'=' +
                        attachments.at(i).name;
        }
    }
    return text;
}

} // namespace qm::service
