#include "support/MailTestSupport.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <gmime/gmime.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm::test {

namespace {

QString env(const char* name)
{
    return qEnvironmentVariable(name);
}

void ensureGMime()
{
    static const bool done = [] {
        g_mime_init();
        return true;
    }();
    (void)done;
}

QString serverArg(const QString& host, int port)
{
    return host + QLatin1Char('\t') + QString::number(port);
}

QByteArray toCharset(const QString& text, const QString& charset)
{
    const QByteArray utf8 = text.toUtf8();
    if (charset.compare(QLatin1String("utf-8"), Qt::CaseInsensitive) == 0)
        return utf8;
    gsize written = 0;
    GError* err = nullptr;
    const QByteArray cs = charset.toLatin1();
    // CP932 is what Windows mailers put out under the Shift_JIS label.
    const char* iconvName = charset.compare(QLatin1String("shift_jis"), Qt::CaseInsensitive) == 0
                                ? "CP932"
                                : cs.constData();
    gchar* out =
        g_convert(utf8.constData(), utf8.size(), iconvName, "UTF-8", nullptr, &written, &err);
    if (!out) {
        g_clear_error(&err);
        return utf8;
    }
    QByteArray result(out, qsizetype(written));
    g_free(out);
    return result;
}

GMimePart* makePart(const char* type, const char* subtype, const QByteArray& content,
                    GMimeContentEncoding encoding)
{
    GMimePart* part = g_mime_part_new_with_type(type, subtype);
    GMimeStream* mem = g_mime_stream_mem_new_with_buffer(content.constData(), content.size());
    GMimeDataWrapper* wrapper =
        g_mime_data_wrapper_new_with_stream(mem, GMIME_CONTENT_ENCODING_DEFAULT);
    g_mime_part_set_content(part, wrapper);
    g_mime_part_set_content_encoding(part, encoding);
    g_object_unref(wrapper);
    g_object_unref(mem);
    return part;
}

QString addressList(InternetAddressList* list)
{
    if (!list || internet_address_list_length(list) == 0)
        return {};
    char* s = internet_address_list_to_string(list, nullptr, FALSE);
    QString result = QString::fromUtf8(s);
    g_free(s);
    return result;
}

QByteArray partData(GMimePart* part)
{
    GMimeDataWrapper* wrapper = g_mime_part_get_content(part);
    if (!wrapper)
        return {};
    GMimeStream* mem = g_mime_stream_mem_new();
    g_mime_data_wrapper_write_to_stream(wrapper, mem);
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(mem));
    QByteArray result(reinterpret_cast<const char*>(bytes->data), qsizetype(bytes->len));
    g_object_unref(mem);
    return result;
}

struct Walk
{
    ParsedMail* mail;
};

void collectPart(GMimeObject*, GMimeObject* part, gpointer data)
{
    auto* mail = static_cast<Walk*>(data)->mail;
    if (!GMIME_IS_PART(part))
        return;
    GMimePart* p = GMIME_PART(part);
    GMimeContentType* ct = g_mime_object_get_content_type(part);
    const char* fileName = g_mime_part_get_filename(p);
    const bool text = ct && g_mime_content_type_is_type(ct, "text", "plain");
    if (text && !fileName && mail->body.isEmpty() && GMIME_IS_TEXT_PART(part)) {
        char* t = g_mime_text_part_get_text(GMIME_TEXT_PART(part));
        mail->body = QString::fromUtf8(t);
        g_free(t);
        const char* cs = g_mime_text_part_get_charset(GMIME_TEXT_PART(part));
        mail->bodyCharset = QString::fromLatin1(cs ? cs : "");
        return;
    }
    ParsedAttachment a;
    a.fileName = QString::fromUtf8(fileName ? fileName : "");
    if (ct) {
        char* mime = g_mime_content_type_get_mime_type(ct);
        a.contentType = QString::fromLatin1(mime);
        g_free(mime);
    }
    a.data = partData(p);
    mail->attachments.append(a);
}

} // namespace

QString MailServers::pop3Server() const
{
    return serverArg(pop3Host, pop3Port);
}
QString MailServers::pop3sServer() const
{
    return serverArg(pop3Host, pop3sPort);
}
QString MailServers::pop3NoApopServer() const
{
    return serverArg(pop3Host, pop3NoApopPort);
}
QString MailServers::smtpServer() const
{
    return serverArg(smtpHost, smtpPort);
}
QString MailServers::smtpsServer() const
{
    return serverArg(smtpHost, smtpsPort);
}

MailServers mailServers()
{
    MailServers s;
    QStringList missing;
    auto text = [&](const char* name) {
        const QString v = env(name);
        if (v.isEmpty())
            missing << QString::fromLatin1(name);
        return v;
    };
    auto number = [&](const char* name) { return text(name).toInt(); };
    s.pop3Host = text("QM_POP3_HOST");
    s.pop3Port = number("QM_POP3_PORT");
    s.pop3sPort = number("QM_POP3S_PORT");
    s.pop3NoApopPort = number("QM_POP3_NOAPOP_PORT");
    s.smtpHost = text("QM_SMTP_HOST");
    s.smtpPort = number("QM_SMTP_PORT");
    s.smtpsPort = number("QM_SMTPS_PORT");
    s.maildirRoot = text("QM_MAILDIR_ROOT");
    s.smtpSpool = text("QM_SMTP_SPOOL");
    s.refusedDomain = text("QM_SMTP_REFUSED_DOMAIN");
    s.unknownDomain = text("QM_SMTP_UNKNOWN_DOMAIN");
    s.caFile = text("QM_TEST_CA");
    s.otherCaFile = text("QM_TEST_OTHER_CA");
    s.stdPortsHost = env("QM_MAIL_STD_PORTS_HOST");
    s.missing = missing.join(QLatin1Char(' '));
    return s;
}

bool runningInCi()
{
    return env("CI").compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}

QString userName(int n)
{
    return QStringLiteral("u%1").arg(n, 2, 10, QLatin1Char('0'));
}
QString userPassword(int n)
{
    return QStringLiteral("p%1").arg(n, 2, 10, QLatin1Char('0'));
}

QString maildirOf(const QString& user)
{
    return env("QM_MAILDIR_ROOT") + QLatin1Char('/') + user + QStringLiteral("/Maildir");
}

QString deliverRaw(const QString& user, const QByteArray& raw, QString* error)
{
    static QAtomicInt counter;
    const QString dir = maildirOf(user);
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(dir).constData(), &st) != 0) {
        if (error)
            *error = QStringLiteral("no Maildir for %1 at %2").arg(user, dir);
        return {};
    }
    const QString name = QStringLiteral("%1.P%2Q%3.qmtest")
                             .arg(QDateTime::currentMSecsSinceEpoch())
                             .arg(::getpid())
                             .arg(counter.fetchAndAddRelaxed(1), 8, 10, QLatin1Char('0'));
    const QByteArray tmpPath = QFile::encodeName(dir + QStringLiteral("/tmp/") + name);
    const QByteArray newPath = QFile::encodeName(dir + QStringLiteral("/new/") + name);
    const int fd = ::open(tmpPath.constData(), O_WRONLY | O_CREAT | O_EXCL, 0664);
    bool ok = fd >= 0;
    qsizetype done = 0;
    while (ok && done < raw.size()) {
        const ssize_t n = ::write(fd, raw.constData() + done, size_t(raw.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        done += n > 0 ? n : 0;
    }
    if (fd >= 0) {
        ok = (::fchown(fd, st.st_uid, st.st_gid) == 0 || ::geteuid() != 0) && ok;
        ok = ::close(fd) == 0 && ok;
    }
    if (ok)
        ok = ::rename(tmpPath.constData(), newPath.constData()) == 0;
    if (!ok) {
        if (error)
            *error = QStringLiteral("delivery to %1 failed: %2")
                         .arg(dir, QString::fromLocal8Bit(std::strerror(errno)));
        ::unlink(tmpPath.constData());
        return {};
    }
    return name;
}

bool fillOfficeMailbox(const QString& user, int messages, QString* error)
{
    emptyMailbox(user);
    QString body;
    while (body.size() < 1500)
        body += QStringLiteral("お世話になっております。本日の受注分をお送りします。\n");
    for (int i = 0; i < messages; ++i) {
        ComposedMail m;
        m.from = QStringLiteral("取引先 <client%1@example.jp>").arg(i);
        m.to = {QStringLiteral("office@example.jp")};
        m.subject = QStringLiteral("受注連絡 No.%1").arg(i);
        m.body = body;
        if (deliverRaw(user, composeMail(m), error).isEmpty())
            return false;
    }
    return true;
}

void emptyMailbox(const QString& user)
{
    for (const char* sub : {"/new", "/cur", "/tmp"}) {
        QDir d(maildirOf(user) + QLatin1String(sub));
        for (const QString& f : d.entryList(QDir::Files))
            d.remove(f);
    }
}

int mailboxCount(const QString& user)
{
    int n = 0;
    for (const char* sub : {"/new", "/cur"})
        n += int(QDir(maildirOf(user) + QLatin1String(sub)).entryList(QDir::Files).size());
    return n;
}

QByteArray composeMail(const ComposedMail& mail)
{
    ensureGMime();
    GMimeMessage* msg = g_mime_message_new(TRUE);
    const QByteArray cs = mail.charset.toLatin1();
    auto add = [msg](GMimeAddressType type, const QString& text) {
        if (InternetAddressList* parsed =
                internet_address_list_parse(nullptr, text.toUtf8().constData())) {
            internet_address_list_append(g_mime_message_get_addresses(msg, type), parsed);
            g_object_unref(parsed);
        }
    };
    add(GMIME_ADDRESS_TYPE_FROM, mail.from);
    for (const QString& to : mail.to)
        add(GMIME_ADDRESS_TYPE_TO, to);
    for (const QString& cc : mail.cc)
        add(GMIME_ADDRESS_TYPE_CC, cc);
    g_mime_message_set_subject(msg, mail.subject.toUtf8().constData(), cs.constData());
    g_mime_object_set_header(GMIME_OBJECT(msg), "Date", mail.date.toUtf8().constData(), nullptr);

    const bool sevenBit =
        mail.charset.compare(QLatin1String("iso-2022-jp"), Qt::CaseInsensitive) == 0;
    GMimePart* text =
        makePart("text", "plain", toCharset(mail.body, mail.charset),
                 sevenBit ? GMIME_CONTENT_ENCODING_7BIT : GMIME_CONTENT_ENCODING_BASE64);
    g_mime_object_set_content_type_parameter(GMIME_OBJECT(text), "charset", cs.constData());

    if (mail.attachments.isEmpty()) {
        g_mime_message_set_mime_part(msg, GMIME_OBJECT(text));
    } else {
        GMimeMultipart* mixed = g_mime_multipart_new_with_subtype("mixed");
        g_mime_multipart_add(mixed, GMIME_OBJECT(text));
        for (const ComposedAttachment& a : mail.attachments) {
            const QByteArray type = a.contentType.toLatin1();
            const int slash = type.indexOf('/');
            GMimePart* part =
                makePart(type.left(slash).constData(), type.mid(slash + 1).constData(), a.data,
                         GMIME_CONTENT_ENCODING_BASE64);
            g_mime_part_set_filename(part, a.fileName.toUtf8().constData());
            g_mime_multipart_add(mixed, GMIME_OBJECT(part));
            g_object_unref(part);
        }
        g_mime_message_set_mime_part(msg, GMIME_OBJECT(mixed));
        g_object_unref(mixed);
    }
    g_object_unref(text);

    GMimeFormatOptions* options = g_mime_format_options_clone(nullptr);
    g_mime_format_options_set_newline_format(options, GMIME_NEWLINE_FORMAT_DOS);
    GMimeStream* out = g_mime_stream_mem_new();
    g_mime_object_write_to_stream(GMIME_OBJECT(msg), options, out);
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out));
    QByteArray result(reinterpret_cast<const char*>(bytes->data), qsizetype(bytes->len));
    g_object_unref(out);
    g_mime_format_options_free(options);
    g_object_unref(msg);
    return result;
}

QList<ReceivedMail> receivedMails(const QString& recipient)
{
    QList<ReceivedMail> result;
    QDir spool(env("QM_SMTP_SPOOL"));
    if (env("QM_SMTP_SPOOL").isEmpty())
        return result;
    const QStringList names = spool.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        if (name == QLatin1String("tmp"))
            continue;
        ReceivedMail m;
        m.folder = spool.filePath(name);
        QFile env(m.folder + QStringLiteral("/envelope.json"));
        QFile msg(m.folder + QStringLiteral("/message.eml"));
        if (!env.open(QIODevice::ReadOnly) || !msg.open(QIODevice::ReadOnly))
            continue;
        const QJsonObject o = QJsonDocument::fromJson(env.readAll()).object();
        m.mailFrom = o.value(QLatin1String("mail_from")).toString();
        for (const QJsonValue& v : o.value(QLatin1String("rcpt_tos")).toArray())
            m.rcptTos << v.toString();
        m.authUser = o.value(QLatin1String("auth_user")).toString();
        m.raw = msg.readAll();
        if (recipient.isEmpty() || m.rcptTos.contains(recipient, Qt::CaseInsensitive))
            result.append(m);
    }
    return result;
}

void clearReceivedMails(const QString& recipient)
{
    for (const ReceivedMail& m : receivedMails(recipient))
        QDir(m.folder).removeRecursively();
}

ParsedMail parseMail(const QByteArray& raw)
{
    ensureGMime();
    ParsedMail mail;
    GMimeStream* stream = g_mime_stream_mem_new_with_buffer(raw.constData(), raw.size());
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    GMimeMessage* msg = g_mime_parser_construct_message(parser, nullptr);
    g_object_unref(parser);
    g_object_unref(stream);
    if (!msg)
        return mail;
    mail.ok = true;
    mail.from = addressList(g_mime_message_get_from(msg));
    mail.to = addressList(g_mime_message_get_to(msg));
    mail.cc = addressList(g_mime_message_get_cc(msg));
    mail.replyTo = addressList(g_mime_message_get_reply_to(msg));
    mail.subject = QString::fromUtf8(g_mime_message_get_subject(msg));
    const char* id = g_mime_message_get_message_id(msg);
    mail.messageId = QString::fromUtf8(id ? id : "");
    GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(msg));
    if (GMimeHeader* h = g_mime_header_list_get_header(headers, "Subject"))
        mail.rawSubject = QByteArray(g_mime_header_get_raw_value(h)).trimmed();
    if (GMimeHeader* h = g_mime_header_list_get_header(headers, "Date"))
        mail.date = QString::fromUtf8(g_mime_header_get_value(h));
    Walk walk{&mail};
    g_mime_message_foreach(msg, collectPart, &walk);
    g_object_unref(msg);
    return mail;
}

} // namespace qm::test
