#include "data/TextCodec.h"

#include "data/AtomicFile.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <unistd.h>

namespace qm {

namespace {
// Windows code page 932 (Shift-JIS with the NEC and IBM extensions), through ICU.
constexpr const char* kCodecName = "windows-31j";

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

QChar cp932LookAlike(QChar c)
{
    for (const Cp932LookAlike& pair : kCp932LookAlikes) {
        if (pair.unicode == c.unicode())
            return QChar(pair.cp932);
    }
    return c;
}

std::optional<QByteArray> encodeExact(const QString& text)
{
    QStringEncoder encoder(kCodecName);
    QByteArray bytes = encoder.encode(text);
    if (!encoder.isValid() || encoder.hasError())
        return std::nullopt;
    return bytes;
}
} // namespace

QString withCp932LookAlikes(const QString& text)
{
    QString out = text;
    for (QChar& c : out)
        c = cp932LookAlike(c);
    return out;
}

std::optional<QString> decodeCp932(const QByteArray& bytes, DecodeMode mode, QString* error)
{
    QStringDecoder decoder(kCodecName);
    if (!decoder.isValid()) {
        setError(error, QStringLiteral("Shift-JIS の変換機能が使えません"));
        return std::nullopt;
    }
    QString text = decoder.decode(bytes);
    if (decoder.hasError() && mode == DecodeMode::Strict) {
        setError(error, QStringLiteral("Shift-JIS として読めないバイトが含まれています"));
        return std::nullopt;
    }
    return text;
}

std::optional<QByteArray> encodeCp932(const QString& text, QString* error)
{
    QStringEncoder encoder(kCodecName);
    if (!encoder.isValid()) {
        setError(error, QStringLiteral("Shift-JIS の変換機能が使えません"));
        return std::nullopt;
    }
    QByteArray bytes = encoder.encode(text);
    if (!encoder.hasError())
        return bytes;
    // Only text that fails as it is pays for the look-alike pass.
    if (auto mapped = encodeExact(withCp932LookAlikes(text)))
        return mapped;
    setError(error, QStringLiteral("Shift-JIS で表せない文字が含まれています"));
    return std::nullopt;
}

bool cp932Keeps(const QString& text)
{
    return encodeExact(text).has_value();
}

QStringList splitLines(const QString& text)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            lines.append(text.mid(start, i - start));
            if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            start = i + 1;
        }
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}

std::optional<QByteArray> encodeLines(const QStringList& lines, QString* error)
{
    QString text;
    qsizetype size = 0;
    for (const QString& l : lines)
        size += l.size() + 2;
    text.reserve(size);
    for (const QString& l : lines) {
        text += l;
        text += QLatin1String("\r\n");
    }
    return encodeCp932(text, error);
}

std::optional<QByteArray> readFileBytes(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.exists()) {
        setError(error, QStringLiteral("ファイルがありません: %1").arg(path));
        return std::nullopt;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error,
                 QStringLiteral("ファイルを開けません (%1): %2").arg(path, file.errorString()));
        return std::nullopt;
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        setError(error,
                 QStringLiteral("ファイルを読めません (%1): %2").arg(path, file.errorString()));
        return std::nullopt;
    }
    return bytes;
}

std::optional<QStringList> readTextLines(const QString& path, DecodeMode mode, QString* error)
{
    const auto bytes = readFileBytes(path, error);
    if (!bytes)
        return std::nullopt;
    QString why;
    const auto text = decodeCp932(*bytes, mode, &why);
    if (!text) {
        setError(error, QStringLiteral("%1: %2").arg(why, path));
        return std::nullopt;
    }
    return splitLines(*text);
}

bool writeTextLines(const QString& path, const QStringList& lines, QString* error)
{
    QString why;
    const auto bytes = encodeLines(lines, &why);
    if (!bytes) {
        setError(error, QStringLiteral("%1: %2").arg(why, path));
        return false;
    }
    return writeFileAtomic(path, *bytes, error);
}

bool writeTextExact(const QString& path, const QString& text, QString* error)
{
    QString why;
    const auto bytes = encodeCp932(text, &why);
    if (!bytes) {
        setError(error, QStringLiteral("%1: %2").arg(why, path));
        return false;
    }
    return writeFileAtomic(path, *bytes, error);
}

} // namespace qm

namespace qm {

QString toCp932Safe(const QString& text)
{
    if (cp932Keeps(text))
        return text;
    const QString mapped = withCp932LookAlikes(text);
    if (cp932Keeps(mapped))
        return mapped;
    QString out;
    out.reserve(mapped.size());
    for (qsizetype i = 0; i < mapped.size();) {
        const qsizetype len = (mapped.at(i).isHighSurrogate() && i + 1 < mapped.size()) ? 2 : 1;
        const QString one = mapped.mid(i, len);
        out += cp932Keeps(one) ? one : QStringLiteral("?");
        i += len;
    }
    return out;
}

bool appendTextLine(const QString& path, const QString& line, AppendSync sync, QString* error)
{
    const auto bytes = encodeCp932(line + QStringLiteral("\r\n"), error);
    if (!bytes)
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append)) {
        if (error)
            *error = QStringLiteral("%1 に書けません: %2").arg(path, file.errorString());
        return false;
    }
    QByteArray out = *bytes;
    if (file.size() > 0) {
        file.seek(file.size() - 1);
        if (file.read(1) != "\n")
            out.prepend("\r\n");
    }
    bool ok = file.write(out) == out.size();
    if (ok && sync == AppendSync::Yes)
        ok = file.flush() && ::fdatasync(file.handle()) == 0;
    file.close();
    ok = ok && file.error() == QFileDevice::NoError;
    if (!ok && error)
        *error = QStringLiteral("%1 に書けません").arg(path);
    return ok;
}

} // namespace qm
