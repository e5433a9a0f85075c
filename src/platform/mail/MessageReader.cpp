// ReadMail: one stored message into its fields, its body text and its attachment files.

#include "platform/mail/AttachmentFiles.h"
#include "platform/mail/JapaneseText.h"
#include "platform/mail/MailLibrary.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <fcntl.h>
#include <gmime/gmime.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace qm::mail {

namespace {

void ensureGMime()
{
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

template <typename T> struct GUnref
{
    T* p = nullptr;
    explicit GUnref(T* ptr) : p(ptr) {}
    ~GUnref()
    {
        if (p)
            g_object_unref(p);
    }
    GUnref(const GUnref&) = delete;
    GUnref& operator=(const GUnref&) = delete;
};

QByteArray rawHeader(GMimeObject* object, const char* name)
{
    GMimeHeaderList* list = g_mime_object_get_header_list(object);
    GMimeHeader* header = list ? g_mime_header_list_get_header(list, name) : nullptr;
    if (!header)
        return {};
    const char* raw = g_mime_header_get_raw_value(header);
    return raw ? QByteArray(raw) : QByteArray(g_mime_header_get_value(header));
}

QString mimeTypeOf(GMimeObject* object)
{
    GMimeContentType* ct = g_mime_object_get_content_type(object);
    if (!ct)
        return QStringLiteral("text/plain");
    char* mime = g_mime_content_type_get_mime_type(ct);
    const QString result = QString::fromLatin1(mime).toLower();
    g_free(mime);
    return result;
}

QByteArray contentTypeParameter(GMimeObject* object, const char* name)
{
    GMimeContentType* ct = g_mime_object_get_content_type(object);
    const char* value = ct ? g_mime_content_type_get_parameter(ct, name) : nullptr;
    return value ? QByteArray(value) : QByteArray();
}

QByteArray decodedContent(GMimePart* part)
{
    GMimeDataWrapper* wrapper = g_mime_part_get_content(part);
    if (!wrapper)
        return {};
    GUnref<GMimeStream> mem(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(wrapper, mem.p);
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(mem.p));
    return QByteArray(reinterpret_cast<const char*>(bytes->data), qsizetype(bytes->len));
}

QString partText(GMimePart* part)
{
    const QByteArray bytes = decodedContent(part);
    QByteArray charset = contentTypeParameter(GMIME_OBJECT(part), "charset");
    if (charset.isEmpty() && mimeTypeOf(GMIME_OBJECT(part)) == QLatin1String("text/html")) {
        static const QRegularExpression meta(
            QStringLiteral("charset\\s*=\\s*[\"']?([A-Za-z0-9_.:-]+)"),
            QRegularExpression::CaseInsensitiveOption);
        const QRegularExpressionMatch m = meta.match(QString::fromLatin1(bytes.left(4096)));
        if (m.hasMatch())
            charset = m.captured(1).toLatin1();
    }
    return decodeText(bytes, charset);
}

bool isAttachmentDisposition(GMimeObject* object)
{
    GMimeContentDisposition* d = g_mime_object_get_content_disposition(object);
    return d && g_mime_content_disposition_is_attachment(d);
}

class Reader
{
public:
    Reader(QString folder) : m_folder(std::move(folder)) {}

    void visit(GMimeObject* object)
    {
        if (!m_error.isEmpty())
            return;
        if (GMIME_IS_MULTIPART(object)) {
            visitMultipart(GMIME_MULTIPART(object));
        } else if (GMIME_IS_MESSAGE_PART(object)) {
            saveMessagePart(GMIME_MESSAGE_PART(object));
        } else if (GMIME_IS_PART(object)) {
            visitPart(GMIME_PART(object));
        }
    }

    QString body() const
    {
        if (m_haveText)
            return m_text;
        return m_html.isEmpty() ? QString() : htmlToText(m_html);
    }
    const QList<ReceivedAttachment>& files() const { return m_files; }
    const QString& error() const { return m_error; }

private:
    void visitMultipart(GMimeMultipart* multipart)
    {
        const int count = g_mime_multipart_get_count(multipart);
        if (count == 0) {
            // Without a (found) boundary the whole content is the text before the first part.
            addText(decodeText(QByteArray(g_mime_multipart_get_prologue(multipart)),
                               contentTypeParameter(GMIME_OBJECT(multipart), "charset")));
            return;
        }
        GMimeContentType* ct = g_mime_object_get_content_type(GMIME_OBJECT(multipart));
        if (ct && g_mime_content_type_is_type(ct, "multipart", "alternative")) {
            // The same content in several forms: the plain text one, else the richest other.
            GMimeObject* chosen = nullptr;
            for (int i = 0; i < count && !chosen; ++i) {
                GMimeObject* child = g_mime_multipart_get_part(multipart, i);
                if (mimeTypeOf(child) == QLatin1String("text/plain"))
                    chosen = child;
            }
            for (int i = count - 1; i >= 0 && !chosen; --i) {
                GMimeObject* child = g_mime_multipart_get_part(multipart, i);
                if (GMIME_IS_MULTIPART(child) || mimeTypeOf(child) == QLatin1String("text/html"))
                    chosen = child;
            }
            if (!chosen && count > 0)
                chosen = g_mime_multipart_get_part(multipart, 0);
            if (chosen)
                visit(chosen);
            return;
        }
        for (int i = 0; i < count; ++i)
            visit(g_mime_multipart_get_part(multipart, i));
    }

    void visitPart(GMimePart* part)
    {
        GMimeObject* object = GMIME_OBJECT(part);
        const QString type = mimeTypeOf(object);
        const char* fileName = g_mime_part_get_filename(part);
        const bool named = fileName && *fileName;
        // A named text part that is not marked as an attachment is the body when no body
        // came before it (Netscape and scanners name the only part); after one it is a file.
        const bool bodyLike = !named || (!m_haveText && m_html.isEmpty());
        if (bodyLike && !isAttachmentDisposition(object)) {
            if (type == QLatin1String("text/plain")) {
                addText(partText(part));
                return;
            }
            if (type == QLatin1String("text/html")) {
                if (m_html.isEmpty())
                    m_html = partText(part);
                return;
            }
        }
        QString name = named ? QString::fromUtf8(fileName) : QString();
        if (name.contains(QLatin1String("=?")))
            name = decodeHeaderText(name.toUtf8());
        savePart(part, safeAttachmentName(name, extensionForMimeType(type)));
    }

    void addText(const QString& text)
    {
        // Extra inline text (a list footer, a second note) belongs to the body too.
        if (m_haveText)
            m_text += QStringLiteral("\n");
        m_text += text;
        m_haveText = true;
    }

    void saveMessagePart(GMimeMessagePart* part)
    {
        GMimeMessage* message = g_mime_message_part_get_message(part);
        GMimeObject* object = GMIME_OBJECT(part);
        const char* fileName = g_mime_object_get_content_disposition_parameter(object, "filename");
        if (!fileName)
            fileName = g_mime_object_get_content_type_parameter(object, "name");
        QString name = fileName ? QString::fromUtf8(fileName) : QString();
        if (name.isEmpty() && message) {
            const QString subject = decodeHeaderText(rawHeader(GMIME_OBJECT(message), "Subject"));
            if (!subject.isEmpty())
                name = subject + QStringLiteral(".eml");
        }
        QString path;
        const int fd = open(safeAttachmentName(name, QStringLiteral(".eml")), &path);
        if (fd < 0)
            return;
        GUnref<GMimeStream> out(g_mime_stream_fs_new(fd));
        const bool ok =
            !message || g_mime_object_write_to_stream(GMIME_OBJECT(message), nullptr, out.p) >= 0;
        finish(out.p, ok, path);
    }

    void savePart(GMimePart* part, const QString& name)
    {
        QString path;
        const int fd = open(name, &path);
        if (fd < 0)
            return;
        GUnref<GMimeStream> out(g_mime_stream_fs_new(fd));
        GMimeDataWrapper* wrapper = g_mime_part_get_content(part);
        // Decoded straight from the message file into the attachment file: a large
        // attachment is never held in memory.
        const bool ok = !wrapper || g_mime_data_wrapper_write_to_stream(wrapper, out.p) >= 0;
        finish(out.p, ok, path);
    }

    int open(const QString& name, QString* path)
    {
        if (m_folder.isEmpty() || !QDir().mkpath(m_folder)) {
            m_error =
                QStringLiteral("添付ファイルの保存先フォルダー %1 を使えません").arg(m_folder);
            return -1;
        }
        const int fd = createUniqueFile(m_folder, name, path);
        if (fd < 0)
            m_error = QStringLiteral("添付ファイル %1 を %2 に保存できません").arg(name, m_folder);
        return fd;
    }

    void finish(GMimeStream* out, bool ok, const QString& path)
    {
        // No flush: on a file stream it is an fsync per attachment, and a file lost in a
        // crash is read again from the message at the next cycle.
        ok = g_mime_stream_close(out) == 0 && ok;
        if (!ok) {
            QFile::remove(path);
            m_error = QStringLiteral("添付ファイル %1 を書き込めません").arg(path);
            return;
        }
        m_files.append({path, QFileInfo(path).fileName()});
    }

    QString m_folder;
    QString m_text;
    bool m_haveText = false;
    QString m_html;
    QList<ReceivedAttachment> m_files;
    QString m_error;
};

GMimeMessage* parseMessage(GMimeStream* stream)
{
    g_mime_stream_reset(stream);
    GUnref<GMimeParser> parser(g_mime_parser_new_with_stream(stream));
    // The parser keeps parts as ranges of the file instead of copies.
    g_mime_parser_set_persist_stream(parser.p, TRUE);
    GMimeParserOptions* options = g_mime_parser_options_new();
    g_mime_parser_options_set_rfc2047_compliance_mode(options, GMIME_RFC_COMPLIANCE_LOOSE);
    g_mime_parser_options_set_parameter_compliance_mode(options, GMIME_RFC_COMPLIANCE_LOOSE);
    const char* fallback[] = {"UTF-8", "CP932", nullptr};
    g_mime_parser_options_set_fallback_charsets(options, fallback);
    GMimeMessage* message = g_mime_parser_construct_message(parser.p, options);
    g_mime_parser_options_free(options);
    return message;
}

bool looksLikeHeaderField(const QByteArray& line)
{
    qsizetype i = 0;
    while (i < line.size() && uchar(line.at(i)) > 0x20 && uchar(line.at(i)) < 0x7f &&
           line.at(i) != ':')
        ++i;
    if (i == 0)
        return false;
    while (i < line.size() && (line.at(i) == ' ' || line.at(i) == '\t'))
        ++i;
    return i < line.size() && line.at(i) == ':';
}

// GMime gives up on a message that does not begin with a header field. A fold without a
// field before the headers is dropped (nullptr when there is none).
GMimeStream* withoutLeadingFolds(GMimeStream* file)
{
    g_mime_stream_reset(file);
    gint64 offset = 0;
    QByteArray line;
    for (;;) {
        char buffer[4096];
        line.clear();
        gint64 end = offset;
        for (;;) {
            const ssize_t n = g_mime_stream_buffer_gets(file, buffer, sizeof buffer);
            if (n <= 0)
                break;
            end += n;
            line.append(buffer, n);
            if (line.endsWith('\n') || line.size() > 64 * 1024)
                break;
        }
        if (line.isEmpty() || (line.at(0) != ' ' && line.at(0) != '\t'))
            break;
        offset = end;
    }
    if (offset == 0 || !looksLikeHeaderField(line))
        return nullptr;
    return g_mime_stream_substream(file, offset, -1);
}

// The whole file as the body of a message without headers.
GMimeStream* asBodyOnly(GMimeStream* file)
{
    GMimeStream* joined = g_mime_stream_cat_new();
    GUnref<GMimeStream> blank(g_mime_stream_mem_new_with_buffer("\n", 1));
    GUnref<GMimeStream> whole(g_mime_stream_substream(file, 0, -1));
    g_mime_stream_cat_add_source(GMIME_STREAM_CAT(joined), blank.p);
    g_mime_stream_cat_add_source(GMIME_STREAM_CAT(joined), whole.p);
    return joined;
}

// A raw header value on one line: the line ends of its folds go, their white space stays.
QByteArray unfolded(QByteArray raw)
{
    raw.replace("\r\n", "");
    raw.replace('\n', "");
    return raw;
}

} // namespace

QStringList ReceivedMessage::attachmentPaths() const
{
    QStringList paths;
    for (const ReceivedAttachment& a : attachments)
        paths << a.path;
    return paths;
}

ReadResult SystemMailLibrary::ReadMail(const QString& messageFile, const QString& attachmentFolder)
{
    ensureGMime();

    const int fd = ::open(QFile::encodeName(messageFile).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {QStringLiteral("メールファイル %1 を開けません").arg(messageFile), {}};
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return {QStringLiteral("メールファイル %1 を開けません").arg(messageFile), {}};
    }
    // Whatever the server handed over is a message: missing headers are empty fields, and
    // text that is not a header at all is the body.
    GUnref<GMimeStream> file(g_mime_stream_fs_new(fd));
    GUnref<GMimeMessage> message(parseMessage(file.p));
    if (!message.p) {
        GUnref<GMimeStream> folded(withoutLeadingFolds(file.p));
        if (folded.p)
            message.p = parseMessage(folded.p);
    }
    if (!message.p) {
        GUnref<GMimeStream> body(asBodyOnly(file.p));
        message.p = parseMessage(body.p);
    }
    if (!message.p)
        message.p = g_mime_message_new(FALSE);

    Reader reader(attachmentFolder);
    if (GMimeObject* top = g_mime_message_get_mime_part(message.p))
        reader.visit(top);
    if (!reader.error().isEmpty()) {
        for (const ReceivedAttachment& f : reader.files())
            QFile::remove(f.path);
        return {reader.error(), {}};
    }

    GMimeObject* object = GMIME_OBJECT(message.p);
    const auto header = [object](const char* name) {
        return oneLine(decodeHeaderText(rawHeader(object, name)));
    };
    ReadResult result;
    ReceivedMessage& m = result.message;
    m.date = header("Date");
    m.sent = QDateTime::fromString(m.date.trimmed(), Qt::RFC2822Date);
    m.sender = parseMailbox(rawHeader(object, "From"));
    m.fromText = header("From");
    m.toText = header("To");
    m.ccText = header("Cc");
    // GMime's decoded value loses the white space at the end; the raw value keeps it.
    m.subject =
        oneLine(decodeHeaderText(unfolded(rawHeader(object, "Subject")), TrailingSpace::Keep),
                TrailingSpace::Keep);
    m.body = withCrLf(reader.body());
    m.attachments = reader.files();
    return result;
}

} // namespace qm::mail
