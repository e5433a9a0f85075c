#include "service/ParsedMessage.h"

namespace qm::service {

namespace {

QString element(const QStringList& elements, int i)
{
    return i < elements.size() ? elements.at(i) : QString();
}

// The library's prefixes are removed wherever they stand, so a body quoting "Body: "
// loses those characters too; readers of earlier logs rely on that shape.
QString withoutPrefix(QString text, const QString& prefix)
{
    return text.remove(prefix);
}

} // namespace

QString ParseSender(const QStringList& elements)
{
    QString sender = withoutPrefix(element(elements, 1), QStringLiteral("From: "));
    sender.remove(u',');
    sender.remove(QStringLiteral("\r\n"));
    sender.remove(u'\r');
    sender.remove(u'\n');
    return sender;
}

ParsedMessage ParseMessage(const QStringList& elements, const mail::MailAddress& from)
{
    ParsedMessage m;
    m.from = from;
    m.elements = elements;
    m.date = withoutPrefix(element(elements, 0), QStringLiteral("Date: "));
    m.sender = ParseSender(elements);
    const QString subject = element(elements, 4);
    if (subject.size() > 9)
        m.subject = withoutPrefix(subject, QStringLiteral("Subject: "));
    m.body = withoutPrefix(element(elements, 5), QStringLiteral("Body: "));
    return m;
}

} // namespace qm::service
