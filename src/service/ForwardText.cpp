#include "service/ForwardText.h"

#include "data/Account.h"
#include "data/AccountFiles.h"
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

// File name: the part after the last folder separator of either kind.
QString fileNameOf(const QString& path)
{
    const qsizetype cut = std::max(path.lastIndexOf(u'\\'), path.lastIndexOf(u'/'));
    return cut < 0 ? path : path.mid(cut + 1);
}

} // namespace

QString FaxDateLine(const QString& header)
{
    const QDateTime sent = QDateTime::fromString(header.trimmed(), Qt::RFC2822Date);
    if (!sent.isValid())
        return header;
    const QDateTime local = sent.toLocalTime();
    static const QString weekdays = QStringLiteral("月火水木金土日");
    const QDate d = local.date();
    return QStringLiteral("%1年%2月%3日(%4) %5")
        .arg(d.year())
        .arg(d.month())
        .arg(d.day())
        .arg(weekdays.at(d.dayOfWeek() - 1))
        .arg(local.time().toString(QStringLiteral("HH:mm")));
}

QString BuildFaxText(const ParsedMessage& m)
{
    return FaxDateLine(m.date) + kCrLf + u' ' + kCrLf + QStringLiteral("差出人：") + m.sender +
           kCrLf + u' ' + kCrLf + QStringLiteral("件  名：") + m.subject + kCrLf + u' ' + kCrLf +
           m.body;
}

QString BuildMailToFaxText(const ParsedMessage& m)
{
    return kCrLf + FaxDateLine(m.date) + kCrLf + kCrLf + QStringLiteral("差出人：") + m.sender +
           kCrLf + kCrLf + m.body;
}

bool MatchesForwardConditions(const Account& a, const ParsedMessage& m)
{
    if (!a.hasConditions())
        return true;
    return anyOccurs(a.fromConditions, m.sender) || anyOccurs(a.subjectConditions, m.subject) ||
           anyOccurs(a.bodyConditions, m.body);
}

bool Attachments::any() const
{
    for (const QString& p : paths) {
        if (!p.isEmpty())
            return true;
    }
    return false;
}

Attachments AttachmentsOf(const ParsedMessage& m)
{
    Attachments result;
    const QString prefix = QStringLiteral("File: ");
    for (qsizetype i = 6; i < m.elements.size(); ++i) {
        const QString& e = m.elements.at(i);
        if (!e.startsWith(prefix))
            continue;
        const QString path = e.mid(prefix.size());
        result.paths << path;
        result.names << fileNameOf(path);
    }
    return result;
}

Attachments CollectAttachments(EngineContext& ctx, const ParsedMessage& m,
                               const QString& receiveNumber, const AccountFiles& files)
{
    Attachments result = AttachmentsOf(m);
    for (qsizetype i = 0; i < result.paths.size(); ++i)
        AddAttachmentRecord(ctx, files, receiveNumber, int(i + 1), result.paths.at(i),
                            result.names.at(i));
    return result;
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
                        const QString& receiveNumber, const Attachments& attachments)
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
        if (attachments.any()) {
            text += kCrLf + QStringLiteral("<添付ファイル>");
            for (qsizetype i = 0; i < attachments.paths.size(); ++i)
                text += kCrLf + AttachmentKey(receiveNumber, int(i + 1)) + u'=' +
                        attachments.names.at(i);
        }
    }
    return text;
}

} // namespace qm::service
