#include "service/SenderAddress.h"

#include "platform/mail/MailLibrary.h"

namespace qm::service {

namespace {

QString domainOf(const QString& address)
{
    const qsizetype at = address.lastIndexOf(u'@');
    return at < 0 ? QString() : address.mid(at + 1);
}

bool isWholeAddress(const QString& address)
{
    const qsizetype at = address.lastIndexOf(u'@');
    return at > 0 && at < address.size() - 1 && !address.contains(u' ');
}

} // namespace

bool CanMatchSender(const QString& address)
{
    const QString wanted = address.trimmed();
    if (wanted.startsWith(u'@'))
        return wanted.size() > 1 && wanted.count(u'@') == 1 && !wanted.contains(u' ');
    return isWholeAddress(mail::addressSpec(wanted));
}

bool SenderIs(const mail::MailAddress& sender, const QString& address)
{
    const QString wanted = address.trimmed();
    if (!CanMatchSender(wanted) || !isWholeAddress(sender.address))
        return false;
    if (wanted.startsWith(u'@'))
        return domainOf(sender.address).compare(wanted.mid(1), Qt::CaseInsensitive) == 0;
    return sender.is(mail::addressSpec(wanted));
}

bool SenderIsAnyOf(const mail::MailAddress& sender, const QStringList& addresses)
{
    for (const QString& address : addresses) {
        if (SenderIs(sender, address))
            return true;
    }
    return false;
}

} // namespace qm::service
