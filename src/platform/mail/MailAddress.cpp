// Who sent a message, read from the raw header by the MIME library's address parser.

#include "platform/mail/JapaneseText.h"
#include "platform/mail/MailLibrary.h"

#include <gmime/gmime.h>
#include <mutex>
#include <optional>

namespace qm::mail {

namespace {

void ensureGMime()
{
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

InternetAddressMailbox* firstMailbox(InternetAddressList* list)
{
    const int count = list ? internet_address_list_length(list) : 0;
    for (int i = 0; i < count; ++i) {
        InternetAddress* a = internet_address_list_get_address(list, i);
        if (INTERNET_ADDRESS_IS_MAILBOX(a))
            return INTERNET_ADDRESS_MAILBOX(a);
        if (INTERNET_ADDRESS_IS_GROUP(a)) {
            if (InternetAddressMailbox* m =
                    firstMailbox(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(a))))
                return m;
        }
    }
    return nullptr;
}

// The phrase before "<address>" of a lone "phrase <address>", decoded by our own decoder
// (the library turns characters of a phone's charset it cannot convert into "?").
std::optional<QString> rawPhrase(const QByteArray& raw, const QString& address)
{
    const QByteArray angle = '<' + address.toUtf8() + '>';
    const qsizetype at = raw.toLower().lastIndexOf(angle.toLower());
    if (at < 0 || raw.mid(at + angle.size()).trimmed().size() > 0)
        return std::nullopt;
    QByteArray phrase = raw.left(at).trimmed();
    if (phrase.contains('<'))
        return std::nullopt;
    if (phrase.size() >= 2 && phrase.startsWith('"') && phrase.endsWith('"')) {
        phrase = phrase.mid(1, phrase.size() - 2);
        QByteArray unquoted;
        for (qsizetype i = 0; i < phrase.size(); ++i) {
            if (phrase.at(i) == '\\' && i + 1 < phrase.size())
                ++i;
            unquoted += phrase.at(i);
        }
        phrase = unquoted;
    }
    return oneLine(decodeHeaderText(phrase));
}

} // namespace

MailAddress parseMailbox(const QByteArray& rawValue)
{
    ensureGMime();
    MailAddress out;
    // Unfolded first: a fold inside the phrase is no part of it.
    QByteArray raw = rawValue;
    raw.replace("\r\n", " ");
    raw.replace('\n', ' ');
    raw.replace('\r', ' ');
    raw = raw.trimmed();
    if (raw.isEmpty())
        return out;
    GMimeParserOptions* options = g_mime_parser_options_new();
    g_mime_parser_options_set_rfc2047_compliance_mode(options, GMIME_RFC_COMPLIANCE_LOOSE);
    const char* fallback[] = {"UTF-8", "CP932", nullptr};
    g_mime_parser_options_set_fallback_charsets(options, fallback);
    InternetAddressList* list = internet_address_list_parse(options, raw.constData());
    g_mime_parser_options_free(options);
    if (InternetAddressMailbox* mailbox = firstMailbox(list)) {
        const char* addr = internet_address_mailbox_get_addr(mailbox);
        out.address = oneLine(QString::fromUtf8(addr ? addr : ""));
        // No white space or control character is part of an address.
        if (out.address.contains(u' '))
            out.address.clear();
        const std::optional<QString> phrase = list && internet_address_list_length(list) == 1
                                                  ? rawPhrase(raw, out.address)
                                                  : std::nullopt;
        const char* name = internet_address_get_name(INTERNET_ADDRESS(mailbox));
        out.name = phrase ? *phrase : oneLine(QString::fromUtf8(name ? name : ""));
    }
    if (list)
        g_object_unref(list);
    return out;
}

QString MailAddress::display() const
{
    if (name.isEmpty())
        return address;
    if (address.isEmpty())
        return name;
    return name + QStringLiteral(" <") + address + u'>';
}

QString MailAddress::headerText() const
{
    if (address.isEmpty())
        return QString();
    if (name.isEmpty())
        return address;
    ensureGMime();
    const QByteArray n = name.toUtf8();
    const QByteArray a = address.toUtf8();
    InternetAddress* mailbox = internet_address_mailbox_new(n.constData(), a.constData());
    char* text = internet_address_to_string(mailbox, nullptr, FALSE);
    const QString result = QString::fromUtf8(text);
    g_free(text);
    g_object_unref(mailbox);
    return result;
}

bool MailAddress::is(const QString& other) const
{
    const qsizetype at = address.lastIndexOf(u'@');
    if (at <= 0 || at == address.size() - 1)
        return false;
    return address.compare(other.trimmed(), Qt::CaseInsensitive) == 0;
}

} // namespace qm::mail
