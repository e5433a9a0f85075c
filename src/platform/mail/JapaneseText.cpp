#include "platform/mail/JapaneseText.h"

#include "data/TextCodec.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QTextDocument>
#include <glib.h>
#include <optional>

namespace qm::mail {

namespace {

bool isAscii7(const QByteArray& bytes)
{
    for (const char c : bytes) {
        if (uchar(c) >= 0x80)
            return false;
    }
    return true;
}

// Without ICU Qt knows no Japanese charsets; iconv then does the work (strict, so the
// vendor extensions of Windows mailers may be refused).
bool decodeWithIconv(const char* name, const QByteArray& bytes, QString* out)
{
    const char* iconvName = qstrcmp(name, "Shift_JIS") == 0 ? "CP932" : name;
    gsize written = 0;
    GError* err = nullptr;
    gchar* utf8 =
        g_convert(bytes.constData(), bytes.size(), "UTF-8", iconvName, nullptr, &written, &err);
    if (!utf8) {
        g_clear_error(&err);
        return false;
    }
    *out = QString::fromUtf8(utf8, qsizetype(written));
    g_free(utf8);
    return true;
}

bool decodeWith(const char* name, const QByteArray& bytes, QString* out)
{
    QStringDecoder decoder(name, QStringDecoder::Flag::Stateless);
    if (!decoder.isValid())
        return decodeWithIconv(name, bytes, out);
    QString s = decoder.decode(bytes);
    if (decoder.hasError())
        return false;
    *out = s;
    return true;
}

// EUC-JP by its byte structure; ICU accepts too much to tell it from CP932.
bool looksEucJp(const QByteArray& b)
{
    bool eight = false;
    for (qsizetype i = 0; i < b.size(); ++i) {
        const uchar c = uchar(b.at(i));
        if (c < 0x80)
            continue;
        eight = true;
        auto trail = [&](qsizetype j, uchar lo, uchar hi) {
            return j < b.size() && uchar(b.at(j)) >= lo && uchar(b.at(j)) <= hi;
        };
        if (c == 0x8E) {
            if (!trail(i + 1, 0xA1, 0xDF))
                return false;
            i += 1;
        } else if (c == 0x8F) {
            if (!trail(i + 1, 0xA1, 0xFE) || !trail(i + 2, 0xA1, 0xFE))
                return false;
            i += 2;
        } else if (c >= 0xA1 && c <= 0xFE) {
            if (!trail(i + 1, 0xA1, 0xFE))
                return false;
            i += 1;
        } else {
            return false;
        }
    }
    return eight;
}

// The mark for a character that cannot be shown (GETA MARK), as Japanese mail shows it.
constexpr char16_t kUndefined = 0x3013;

// One character at a time through glibc's converter, for text the whole-text decoders refuse.
class CharConverter
{
public:
    explicit CharConverter(const char* from) : m_cd(g_iconv_open("UTF-8", from)) {}
    ~CharConverter()
    {
        if (m_cd != reinterpret_cast<GIConv>(-1))
            g_iconv_close(m_cd);
    }
    CharConverter(const CharConverter&) = delete;
    CharConverter& operator=(const CharConverter&) = delete;

    // The character the bytes stand for, or "" when they stand for none.
    QString convert(const QByteArray& bytes)
    {
        if (m_cd == reinterpret_cast<GIConv>(-1))
            return {};
        g_iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        QByteArray in = bytes;
        char out[16];
        gchar* inPtr = in.data();
        gsize inLeft = gsize(in.size());
        gchar* outPtr = out;
        gsize outLeft = sizeof out;
        if (g_iconv(m_cd, &inPtr, &inLeft, &outPtr, &outLeft) == gsize(-1) || inLeft != 0)
            return {};
        return QString::fromUtf8(out, outPtr - out);
    }

private:
    GIConv m_cd;
};

// Carrier emoji and other vendor codes land in the private use area, or nowhere: either way
// they mean nothing to the recipient, and each becomes one mark.
QString withUndefinedMarked(QString text)
{
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if ((u >= 0xE000 && u <= 0xF8FF) || u == 0xFFFD)
            c = QChar(kUndefined);
    }
    return text;
}

void appendChar(QString* out, CharConverter& cv, const QByteArray& bytes)
{
    const QString c = cv.convert(bytes);
    *out += c.isEmpty() ? QString(QChar(kUndefined)) : c;
}

bool isSjisLead(uchar c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

QString lossySjis(const QByteArray& b)
{
    CharConverter cp932("CP932");
    QString out;
    for (qsizetype i = 0; i < b.size(); ++i) {
        const uchar c = uchar(b.at(i));
        if (c < 0x80) {
            out += QChar(c);
        } else if (isSjisLead(c) && i + 1 < b.size() && uchar(b.at(i + 1)) >= 0x40 &&
                   uchar(b.at(i + 1)) != 0x7F && uchar(b.at(i + 1)) <= 0xFC) {
            appendChar(&out, cp932, b.mid(i, 2));
            ++i;
        } else {
            appendChar(&out, cp932, b.mid(i, 1));
        }
    }
    return out;
}

QString lossyEucJp(const QByteArray& b)
{
    CharConverter euc("EUC-JP-MS");
    CharConverter plain("EUC-JP");
    auto high = [&](qsizetype j) { return j < b.size() && uchar(b.at(j)) >= 0xA1; };
    QString out;
    for (qsizetype i = 0; i < b.size(); ++i) {
        const uchar c = uchar(b.at(i));
        qsizetype n = 1;
        if (c < 0x80) {
            out += QChar(c);
            continue;
        }
        if (c == 0x8F && high(i + 1) && high(i + 2))
            n = 3;
        else if ((c == 0x8E || c >= 0xA1) && high(i + 1))
            n = 2;
        const QByteArray bytes = b.mid(i, n);
        QString ch = euc.convert(bytes);
        if (ch.isEmpty())
            ch = plain.convert(bytes);
        out += ch.isEmpty() ? QString(QChar(kUndefined)) : ch;
        i += n - 1;
    }
    return out;
}

// ISO-2022-JP with whatever a phone put in rows and sets the standard leaves empty. A JIS X
// 0208 code is read through CP932 (which also holds the NEC and IBM rows Windows mailers
// send); a code nobody assigned becomes one mark.
QString lossyIso2022Jp(const QByteArray& b)
{
    enum class Set { Ascii, Roman, Kana, Jis0208, Jis0212 };
    CharConverter cp932("CP932");
    CharConverter euc("EUC-JP");
    Set set = Set::Ascii;
    QString out;
    for (qsizetype i = 0; i < b.size(); ++i) {
        const uchar c = uchar(b.at(i));
        if (c == 0x1B) {
            const QByteArray seq = b.mid(i + 1, 3);
            qsizetype len = 0;
            if (seq.startsWith("(B")) {
                set = Set::Ascii;
                len = 2;
            } else if (seq.startsWith("(J")) {
                set = Set::Roman;
                len = 2;
            } else if (seq.startsWith("(I")) {
                set = Set::Kana;
                len = 2;
            } else if (seq.startsWith("$@") || seq.startsWith("$B")) {
                set = Set::Jis0208;
                len = 2;
            } else if (seq == "$(D") {
                set = Set::Jis0212;
                len = 3;
            } else if (seq.startsWith("$(") && seq.size() == 3) {
                set = Set::Jis0208; // JIS X 0213 planes: their first plane is 0208's superset
                len = 3;
            }
            i += len;
            continue;
        }
        if (c == 0x0E || c == 0x0F)
            continue;
        if (c >= 0x80) {
            out += QChar(kUndefined);
            continue;
        }
        const bool graphic = c >= 0x21 && c <= 0x7E;
        if (!graphic || set == Set::Ascii) {
            out += QChar(c);
        } else if (set == Set::Roman) {
            out += c == 0x5C ? QChar(0xA5) : c == 0x7E ? QChar(0x203E) : QChar(c);
        } else if (set == Set::Kana) {
            out += c <= 0x5F ? QChar(char16_t(0xFF61 + c - 0x21)) : QChar(kUndefined);
        } else {
            const uchar c2 = i + 1 < b.size() ? uchar(b.at(i + 1)) : 0;
            if (c2 < 0x21 || c2 > 0x7E) {
                out += QChar(kUndefined);
                continue;
            }
            ++i;
            if (set == Set::Jis0212) {
                appendChar(&out, euc, QByteArray("\x8f") + char(c | 0x80) + char(c2 | 0x80));
                continue;
            }
            const uchar s1 = uchar(((c + 1) >> 1) + (c <= 0x5E ? 0x70 : 0xB0));
            const uchar s2 = uchar(c2 + ((c & 1) ? (c2 >= 0x60 ? 0x20 : 0x1F) : 0x7E));
            appendChar(&out, cp932, QByteArray() + char(s1) + char(s2));
        }
    }
    return out;
}

// The three Japanese charsets: all characters with a meaning, one mark for each code without.
QString decodeJapanese(const char* name, const QByteArray& bytes)
{
    QString s;
    if (decodeWith(name, bytes, &s))
        return withUndefinedMarked(s);
    if (qstrcmp(name, "ISO-2022-JP") == 0)
        return withUndefinedMarked(lossyIso2022Jp(bytes));
    if (qstrcmp(name, "EUC-JP") == 0)
        return withUndefinedMarked(lossyEucJp(bytes));
    return withUndefinedMarked(lossySjis(bytes));
}

QString guess(const QByteArray& bytes)
{
    QString s;
    if (isAscii7(bytes)) {
        // Escape bytes never reach the text: what they do not decode is marked.
        if (bytes.contains("\x1b$") || bytes.contains("\x1b(I"))
            return decodeJapanese("ISO-2022-JP", bytes);
        return QString::fromLatin1(bytes);
    }
    if (decodeWith("UTF-8", bytes, &s))
        return s;
    if (looksEucJp(bytes) && decodeWith("EUC-JP", bytes, &s))
        return withUndefinedMarked(s);
    // Nothing else fits: keep what can be read rather than nothing.
    return decodeJapanese("Shift_JIS", bytes);
}

QByteArray icuName(QByteArray charset)
{
    charset = charset.trimmed().toLower();
    const qsizetype star = charset.indexOf('*'); // RFC 2231 language suffix
    if (star >= 0)
        charset.truncate(star);
    if (charset == "shift_jis" || charset == "shift-jis" || charset == "sjis" ||
        charset == "x-sjis" || charset == "cp932" || charset == "windows-31j" ||
        charset == "ms932" || charset == "ms_kanji" || charset == "csshiftjis")
        return "Shift_JIS";
    if (charset.startsWith("iso-2022-jp") || charset == "csiso2022jp" || charset == "jis")
        return "ISO-2022-JP";
    if (charset == "euc-jp" || charset == "x-euc-jp" || charset == "eucjp" ||
        charset == "euc-jp-ms")
        return "EUC-JP";
    if (charset == "utf8")
        return "UTF-8";
    return charset;
}

} // namespace

// Joined encoded words and some mailers leave one escape sequence straight after
// another ("ESC ( B ESC $ B"); the converter rejects that, though only the last counts.
QByteArray withoutIdleEscapes(const QByteArray& bytes)
{
    if (!bytes.contains("\x1b"))
        return bytes;
    static const QRegularExpression idle(QStringLiteral("\x1b(?:\\(.|\\$\\(.|\\$.|&@)(?=\x1b)"));
    return QString::fromLatin1(bytes).remove(idle).toLatin1();
}

QString decodeText(const QByteArray& rawBytes, const QByteArray& charset)
{
    const QByteArray bytes = withoutIdleEscapes(rawBytes);
    const QByteArray name = icuName(charset);
    const bool unlabelled = name.isEmpty() || name == "us-ascii" || name == "ascii";
    if (unlabelled)
        return guess(bytes);
    QString s;
    const bool latin = name == "iso-8859-1" || name == "latin1" || name == "windows-1252";
    if (latin && !isAscii7(bytes)) {
        // Mailers that do not know what they send label it Latin. Latin text is never
        // valid UTF-8 and seldom valid EUC-JP; Japanese text usually is one of them.
        if (decodeWith("UTF-8", bytes, &s))
            return s;
        if (looksEucJp(bytes) && decodeWith("EUC-JP", bytes, &s))
            return s;
    }
    if (name == "ISO-2022-JP" || name == "Shift_JIS" || name == "EUC-JP") {
        if (decodeWith(name.constData(), bytes, &s))
            return withUndefinedMarked(s);
        // A label that does not fit the bytes at all (8-bit text called ISO-2022-JP, UTF-8
        // called Shift_JIS) is guessed; codes of the labelled charset nobody assigned are not.
        if (name == "ISO-2022-JP")
            return isAscii7(bytes) ? decodeJapanese("ISO-2022-JP", bytes) : guess(bytes);
        if (decodeWith("UTF-8", bytes, &s))
            return s;
        if (name == "Shift_JIS" && looksEucJp(bytes) && decodeWith("EUC-JP", bytes, &s))
            return withUndefinedMarked(s);
        if (name == "EUC-JP" && !looksEucJp(bytes) && decodeWith("Shift_JIS", bytes, &s))
            return withUndefinedMarked(s);
        return decodeJapanese(name.constData(), bytes);
    }
    if (decodeWith(name.constData(), bytes, &s))
        return s;
    return guess(bytes);
}

QString decodeHeaderText(const QByteArray& raw, TrailingSpace trailing)
{
    // Unfold: line breaks inside a header value carry no meaning.
    QByteArray value = raw;
    value.replace("\r\n", "\n");
    value.replace('\r', '\n');
    static const QRegularExpression fold(QStringLiteral("\\n(?=[ \\t])"));
    QString latin =
        QString::fromLatin1(value).remove(fold).replace(QLatin1Char('\n'), QLatin1Char(' '));
    value = latin.toLatin1();

    static const QRegularExpression word(
        QStringLiteral("=\\?([^?\\s]+)\\?([BbQq])\\?([^?\\s]*)\\?="));
    QString result;
    QByteArray pendingCharset;
    QByteArray pendingBytes;
    auto flush = [&] {
        if (!pendingCharset.isEmpty())
            result += decodeText(pendingBytes, pendingCharset);
        pendingCharset.clear();
        pendingBytes.clear();
    };
    qsizetype pos = 0;
    auto it = word.globalMatch(latin);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        const QByteArray between = value.mid(pos, m.capturedStart() - pos);
        // Space between two encoded words is not part of the text.
        if (!(between.trimmed().isEmpty() && !pendingCharset.isEmpty())) {
            flush();
            result += decodeText(between);
        }
        const QByteArray charset = m.captured(1).toLatin1();
        QByteArray payload = m.captured(3).toLatin1();
        QByteArray bytes;
        if (m.captured(2).compare(QLatin1String("B"), Qt::CaseInsensitive) == 0) {
            bytes = QByteArray::fromBase64(payload);
        } else {
            payload.replace('_', ' ');
            bytes = QByteArray::fromPercentEncoding(payload, '=');
        }
        if (!pendingCharset.isEmpty() && icuName(pendingCharset) != icuName(charset))
            flush();
        pendingCharset = charset;
        pendingBytes += bytes;
        pos = m.capturedEnd();
    }
    flush();
    result += decodeText(value.mid(pos));
    if (trailing == TrailingSpace::Keep) {
        qsizetype start = 0;
        while (start < result.size() && result.at(start).isSpace())
            ++start;
        return result.mid(start);
    }
    return result.trimmed();
}

QString oneLine(const QString& text, TrailingSpace trailing)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const bool space = c == u'\t' || c == u' ' || c == QChar(0x2028) || c == QChar(0x2029);
        if (space) {
            if (!out.isEmpty() && !out.endsWith(u' '))
                out += u' ';
        } else if (c.category() != QChar::Other_Control) {
            out += c;
        }
    }
    if (out.endsWith(u' ') && trailing == TrailingSpace::Drop)
        out.chop(1);
    return out;
}

QString jisFriendly(const QString& text)
{
    // Only where the Windows form has no JIS X 0208 code and the standard mark has one: the
    // full-width yen sign, which JIS X 0208 holds, stays as it is.
    static const QList<Cp932LookAlike> back = [] {
        QList<Cp932LookAlike> pairs;
        QByteArray unused;
        for (const Cp932LookAlike& pair : kCp932LookAlikes) {
            if (!encodeIso2022Jp(QString(QChar(pair.cp932)), &unused) &&
                encodeIso2022Jp(QString(QChar(pair.unicode)), &unused))
                pairs << pair;
        }
        return pairs;
    }();
    QString s = text;
    for (const Cp932LookAlike& pair : back)
        s.replace(QChar(pair.cp932), QChar(pair.unicode));
    return s;
}

namespace {

bool glibcIso2022Jp(const QString& text, QByteArray* out)
{
    const QByteArray utf8 = text.toUtf8();
    gsize written = 0;
    GError* err = nullptr;
    gchar* converted =
        g_convert(utf8.constData(), utf8.size(), "ISO-2022-JP", "UTF-8", nullptr, &written, &err);
    if (!converted) {
        g_clear_error(&err);
        return false;
    }
    *out = QByteArray(converted, qsizetype(written));
    g_free(converted);
    return true;
}

// glibc's JIS X 0208 table, read once through glibc itself and kept only when glibc encodes
// every one of its characters to the same bytes: its own converter searches a table per
// character, which was a seventh of a forward's CPU time.
class JisTable
{
public:
    JisTable() : m_codes(0x10000, 0)
    {
        GIConv toUtf8 = g_iconv_open("UTF-8", "ISO-2022-JP");
        if (toUtf8 == reinterpret_cast<GIConv>(-1))
            return;
        QString all;
        QByteArray expected = "\x1b$B";
        for (int row = 0x21; row <= 0x7E; ++row) {
            for (int cell = 0x21; cell <= 0x7E; ++cell) {
                char in[] = {'\x1b', '$', 'B', char(row), char(cell), '\x1b', '(', 'B'};
                char outBuf[16];
                gchar* inPtr = in;
                gsize inLeft = sizeof(in);
                gchar* outPtr = outBuf;
                gsize outLeft = sizeof(outBuf);
                if (g_iconv(toUtf8, &inPtr, &inLeft, &outPtr, &outLeft) == gsize(-1))
                    continue;
                const QString c = QString::fromUtf8(outBuf, outPtr - outBuf);
                if (c.size() != 1 || c.at(0).unicode() < 0x80 || m_codes[c.at(0).unicode()])
                    continue;
                m_codes[c.at(0).unicode()] = quint16(row << 8 | cell);
                all += c;
                expected += char(row);
                expected += char(cell);
            }
        }
        g_iconv_close(toUtf8);
        expected += "\x1b(B";
        QByteArray glibc;
        m_usable = glibcIso2022Jp(all, &glibc) && glibc == expected;
    }

    // Empty when the text holds anything but plain ASCII and table characters: glibc then
    // decides (JIS-Roman for the yen sign, escape bytes, refusal).
    std::optional<QByteArray> encode(const QString& text) const
    {
        if (!m_usable)
            return std::nullopt;
        QByteArray out;
        out.reserve(text.size() * 2 + 8);
        bool jis = false;
        for (const QChar ch : text) {
            const char16_t u = ch.unicode();
            if (u < 0x80) {
                if (u == 0x1B || u == 0x0E || u == 0x0F)
                    return std::nullopt;
                if (jis) {
                    out += "\x1b(B";
                    jis = false;
                }
                out += char(u);
                continue;
            }
            const quint16 code = m_codes[u];
            if (!code)
                return std::nullopt;
            if (!jis) {
                out += "\x1b$B";
                jis = true;
            }
            out += char(code >> 8);
            out += char(code & 0xFF);
        }
        if (jis)
            out += "\x1b(B";
        return out;
    }

private:
    QList<quint16> m_codes;
    bool m_usable = false;
};

} // namespace

bool encodeIso2022Jp(const QString& text, QByteArray* out)
{
    // glibc's converter is strict JIS X 0208: what it accepts every client can show.
    static const JisTable table;
    if (std::optional<QByteArray> fast = table.encode(text)) {
        *out = std::move(*fast);
        return true;
    }
    return glibcIso2022Jp(text, out);
}

QByteArray encodeHeaderText(const QString& text)
{
    bool ascii = true;
    for (const QChar c : text) {
        if (c.unicode() >= 0x80 || c.unicode() < 0x20) {
            ascii = false;
            break;
        }
    }
    // A header line may not pass 998 bytes (servers refuse the mail): longer ASCII text
    // goes as folded words like any other.
    constexpr qsizetype kMaxPlain = 900;
    if (ascii && text.size() <= kMaxPlain)
        return text.toLatin1();

    QByteArray probe;
    const QString jis = jisFriendly(text);
    const bool useJis = encodeIso2022Jp(jis, &probe);
    const QString source = useJis ? jis : text;
    const QByteArray prefix = useJis ? "=?ISO-2022-JP?B?" : "=?UTF-8?B?";
    // 75 characters per word: 57 of them base64, i.e. 42 bytes of text.
    constexpr qsizetype kMaxBytes = 42;
    auto encodeChunk = [&](const QString& chunk) {
        QByteArray b;
        if (useJis)
            encodeIso2022Jp(chunk, &b);
        else
            b = chunk.toUtf8();
        return b;
    };
    // Every word but the last ends where its bytes fill whole base64 groups: some readers
    // (GMime among them) decode a run of words as one stream and lose what follows a "=".
    QList<QByteArray> words;
    qsizetype start = 0;
    while (start < source.size()) {
        QList<std::pair<qsizetype, QByteArray>> ends; // where the word could end, its bytes
        qsizetype i = start;
        while (i < source.size()) {
            // Never split a surrogate pair.
            const qsizetype len = (source.at(i).isHighSurrogate() && i + 1 < source.size()) ? 2 : 1;
            QByteArray bytes = encodeChunk(source.mid(start, i + len - start));
            if (bytes.size() > kMaxBytes && !ends.isEmpty())
                break;
            i += len;
            ends.append({i, std::move(bytes)});
        }
        qsizetype pick = ends.size() - 1;
        for (qsizetype k = pick; i < source.size() && k >= 0 && k >= pick - 3; --k) {
            if (ends.at(k).second.size() % 3 == 0) {
                pick = k;
                break;
            }
        }
        words << prefix + ends.at(pick).second.toBase64() + "?=";
        start = ends.at(pick).first;
    }
    return words.join("\r\n ");
}

namespace {

// A mail's HTML names pictures and style sheets by path or address: none is ever read.
class OfflineDocument : public QTextDocument
{
protected:
    QVariant loadResource(int, const QUrl&) override { return {}; }
};

} // namespace

QString htmlToText(const QString& html)
{
    // A link element carries no text, and Qt's parser loses what follows one left open.
    static const QRegularExpression links(QStringLiteral("<link\\b[^>]*>"),
                                          QRegularExpression::CaseInsensitiveOption);
    OfflineDocument doc;
    doc.setHtml(QString(html).remove(links));
    // Pictures leave an object mark, nested blocks lines of white space: neither is text.
    const QStringList lines =
        doc.toPlainText().remove(QChar::ObjectReplacementCharacter).split(QLatin1Char('\n'));
    QStringList kept;
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        // Runs of empty lines from nested blocks would fill a phone's screen.
        if (line.isEmpty() && (kept.isEmpty() || kept.last().isEmpty()))
            continue;
        kept << line;
    }
    while (!kept.isEmpty() && kept.last().isEmpty())
        kept.removeLast();
    return kept.join(QStringLiteral("\r\n"));
}

QString withCrLf(const QString& text)
{
    QString s = text;
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    s.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return s;
}

} // namespace qm::mail
