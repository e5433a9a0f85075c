#include "service/SenderAddress.h"

#include "platform/mail/MailLibrary.h"

namespace qm::service {

namespace {

struct Parts
{
    QString local;
    QString domain;
};

// The local part as written, the domain in lower case; nothing for a text that is no address.
bool split(const QString& address, Parts* out)
{
    const qsizetype at = address.lastIndexOf(u'@');
    if (at < 0 || at == address.size() - 1)
        return false;
    out->local = address.left(at);
    out->domain = address.mid(at + 1).toLower();
    return true;
}

} // namespace

bool SenderIs(const QString& sender, const QString& address)
{
    const QString wanted = address.trimmed();
    Parts from;
    if (wanted.isEmpty() || !split(mail::addressSpec(sender), &from) || from.local.isEmpty())
        return false;
    if (wanted.startsWith(u'@'))
        return from.domain == wanted.mid(1).toLower();
    Parts expected;
    if (!split(mail::addressSpec(wanted), &expected))
        return false;
    return from.local == expected.local && from.domain == expected.domain;
}

bool SenderIsAnyOf(const QString& sender, const QStringList& addresses)
{
    for (const QString& address : addresses) {
        if (SenderIs(sender, address))
            return true;
    }
    return false;
}

} // namespace qm::service
