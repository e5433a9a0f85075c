#include "platform/mail/MessageComposer.h"

#include "data/MailAddress.h"
#include "platform/mail/JapaneseText.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QRandomGenerator>
#include <QUrl>
#include <fcntl.h>
#include <gmime/gmime.h>
#include <mutex>
#include <unistd.h>

namespace qm::mail {

namespace {

void ensureGMime()
{
    static std::once_flag once;
    std::call_once(once, [] {
        g_mime_init();
        // Japanese mail programs, phones above all, read encoded-word file names; RFC 2231
        // names they often show as garbage. Parameters are encoded when they are set,
        // with the default options, so the default is where this has to go.
        g_mime_format_options_set_param_encoding_method(g_mime_format_options_get_default(),
                                                        GMIME_PARAM_ENCODING_METHOD_RFC2047);
    });
}

QString mimeTypeForFile(const QString& path)
{
    const QString type =
        QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension).name();
    // A stored mail goes as a file: message and multipart parts may not be base64 encoded.
    const bool container =
        type.startsWith(QLatin1String("message/")) || type.startsWith(QLatin1String("multipart/"));
    return container ? QStringLiteral("application/octet-stream") : type;
}

void addAddresses(GMimeMessage* msg, GMimeAddressType type, const QStringList& items)
{
    InternetAddressList* list = g_mime_message_get_addresses(msg, type);
    for (const QString& item : items) {
        const QByteArray utf8 = item.trimmed().toUtf8();
        if (utf8.isEmpty())
            continue;
        InternetAddressList* parsed = internet_address_list_parse(nullptr, utf8.constData());
        if (parsed && internet_address_list_length(parsed) > 0) {
            internet_address_list_append(list, parsed);
        } else {
            InternetAddress* mailbox = internet_address_mailbox_new(nullptr, utf8.constData());
            internet_address_list_add(list, mailbox);
            g_object_unref(mailbox);
        }
        if (parsed)
            g_object_unref(parsed);
    }
}

void setRawHeader(GMimeObject* object, const char* name, const QByteArray& encoded)
{
    g_mime_object_set_header(object, name, "", nullptr);
    GMimeHeaderList* list = g_mime_object_get_header_list(object);
    if (GMimeHeader* header = g_mime_header_list_get_header(list, name))
        g_mime_header_set_raw_value(header, (" " + encoded + "\n").constData());
}

GMimePart* textPart(const QString& body)
{
    // Japanese phones read ISO-2022-JP best; text it cannot carry goes as UTF-8.
    QString text = body;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QByteArray bytes;
    const bool jis = encodeIso2022Jp(jisFriendly(text), &bytes);
    if (!jis)
        bytes = text.toUtf8();
    bool longLine = false;
    for (const QByteArray& line : bytes.split('\n'))
        longLine = longLine || line.size() > 900;
    bytes.replace("\n", "\r\n");
    GMimePart* part = g_mime_part_new_with_type("text", "plain");
    g_mime_object_set_content_type_parameter(GMIME_OBJECT(part), "charset",
                                             jis ? "ISO-2022-JP" : "UTF-8");
    GMimeStream* mem = g_mime_stream_mem_new_with_buffer(bytes.constData(), bytes.size());
    GMimeDataWrapper* wrapper =
        g_mime_data_wrapper_new_with_stream(mem, GMIME_CONTENT_ENCODING_DEFAULT);
    g_mime_part_set_content(part, wrapper);
    // 7bit lines may not pass 998 bytes; a phone text with its line breaks removed can.
    g_mime_part_set_content_encoding(part, jis && !longLine ? GMIME_CONTENT_ENCODING_7BIT
                                                            : GMIME_CONTENT_ENCODING_BASE64);
    g_object_unref(wrapper);
    g_object_unref(mem);
    return part;
}

GMimePart* filePart(const QString& path, QString* error)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || !QFileInfo(path).isFile()) {
        if (fd >= 0)
            ::close(fd);
        *error = QStringLiteral("添付ファイル %1 を読めません").arg(path);
        return nullptr;
    }
    const QByteArray type = mimeTypeForFile(path).toLatin1();
    const qsizetype slash = type.indexOf('/');
    GMimePart* part =
        g_mime_part_new_with_type(type.left(slash).constData(), type.mid(slash + 1).constData());
    GMimeStream* file = g_mime_stream_fs_new(fd);
    GMimeDataWrapper* wrapper =
        g_mime_data_wrapper_new_with_stream(file, GMIME_CONTENT_ENCODING_DEFAULT);
    g_mime_part_set_content(part, wrapper);
    g_mime_part_set_content_encoding(part, GMIME_CONTENT_ENCODING_BASE64);
    g_mime_part_set_filename(part, QFileInfo(path).fileName().toUtf8().constData());
    g_object_unref(wrapper);
    g_object_unref(file);
    return part;
}

QString domainOf(const QString& address)
{
    const qsizetype at = address.lastIndexOf(QLatin1Char('@'));
    const QString domain = at >= 0 ? address.mid(at + 1).trimmed() : QString();
    return domain.isEmpty() ? QStringLiteral("localhost") : domain;
}

// Qt keeps the zone it has read; glib looked it up again for every mail.
QByteArray dateHeader()
{
    return QDateTime::currentDateTime().toString(Qt::RFC2822Date).toLatin1();
}

// 128 random bits from a generator seeded once by the system: no device to open per mail.
QByteArray messageId(const QString& domain)
{
    quint64 bits[2];
    QRandomGenerator::global()->fillRange(bits);
    QByteArray host = QUrl::toAce(domain);
    if (host.isEmpty())
        host = "localhost";
    return QByteArray::number(bits[0], 36) + '.' + QByteArray::number(bits[1], 36) + '@' + host;
}

} // namespace

bool isPlainAddress(const QString& address)
{
    return isPlainMailAddress(address);
}

QString addressSpec(const QString& text)
{
    ensureGMime();
    const QString trimmed = text.trimmed();
    InternetAddressList* list = internet_address_list_parse(nullptr, trimmed.toUtf8().constData());
    QString result;
    if (list && internet_address_list_length(list) > 0) {
        InternetAddress* first = internet_address_list_get_address(list, 0);
        if (INTERNET_ADDRESS_IS_MAILBOX(first))
            result = QString::fromUtf8(
                internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(first)));
    }
    if (list)
        g_object_unref(list);
    if (result.isEmpty()) {
        const qsizetype lt = trimmed.lastIndexOf(QLatin1Char('<'));
        const qsizetype gt = trimmed.lastIndexOf(QLatin1Char('>'));
        result = (lt >= 0 && gt > lt) ? trimmed.mid(lt + 1, gt - lt - 1) : trimmed;
    }
    return result;
}

bool composeMessage(const OutgoingMail& mail, QByteArray* out, QString* error)
{
    ensureGMime();
    GMimeMessage* msg = g_mime_message_new(TRUE);
    GMimeObject* object = GMIME_OBJECT(msg);
    addAddresses(msg, GMIME_ADDRESS_TYPE_FROM, {mail.from});
    addAddresses(msg, GMIME_ADDRESS_TYPE_TO, mail.to);
    addAddresses(msg, GMIME_ADDRESS_TYPE_CC, mail.cc);
    if (!mail.replyTo.isEmpty())
        addAddresses(msg, GMIME_ADDRESS_TYPE_REPLY_TO, {mail.replyTo});
    setRawHeader(object, "Subject", encodeHeaderText(mail.subject));
    setRawHeader(object, "Date", dateHeader());
    g_mime_message_set_message_id(msg, messageId(domainOf(addressSpec(mail.from))).constData());

    GMimePart* text = textPart(mail.body);
    if (mail.attachments.isEmpty()) {
        g_mime_message_set_mime_part(msg, GMIME_OBJECT(text));
    } else {
        GMimeMultipart* mixed = g_mime_multipart_new_with_subtype("mixed");
        g_mime_multipart_add(mixed, GMIME_OBJECT(text));
        for (const QString& path : mail.attachments) {
            GMimePart* part = filePart(path, error);
            if (!part) {
                g_object_unref(mixed);
                g_object_unref(text);
                g_object_unref(msg);
                return false;
            }
            g_mime_multipart_add(mixed, GMIME_OBJECT(part));
            g_object_unref(part);
        }
        g_mime_message_set_mime_part(msg, GMIME_OBJECT(mixed));
        g_object_unref(mixed);
    }
    g_object_unref(text);

    GMimeFormatOptions* options = g_mime_format_options_clone(nullptr);
    g_mime_format_options_set_newline_format(options, GMIME_NEWLINE_FORMAT_DOS);
    GMimeStream* mem = g_mime_stream_mem_new();
    const bool ok = g_mime_object_write_to_stream(object, options, mem) >= 0;
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(mem));
    *out = QByteArray(reinterpret_cast<const char*>(bytes->data), qsizetype(bytes->len));
    g_object_unref(mem);
    g_mime_format_options_free(options);
    g_object_unref(msg);
    if (!ok)
        *error = QStringLiteral("送信するメールを組み立てられません");
    return ok;
}

} // namespace qm::mail
