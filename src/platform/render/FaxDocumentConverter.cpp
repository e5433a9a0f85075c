#include "platform/render/FaxDocumentConverter.h"

#include "data/TextCodec.h"
#include "platform/render/Ghostscript.h"
#include "platform/render/OfficeSession.h"

#include <QFile>
#include <QFileInfo>
#include <QStringConverter>

namespace qm {

namespace {

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

QString suffix3(const QString& path)
{
    return path.size() >= 3 ? path.right(3) : QString();
}

// A text attachment: UTF-8 when it is valid UTF-8 (with or without BOM), otherwise
// Shift-JIS as the senders' office machines write it.
std::optional<QString> attachmentText(const QString& path, QString* error)
{
    const auto bytes = readFileBytes(path, error);
    if (!bytes)
        return std::nullopt;
    QByteArray data = *bytes;
    if (data.startsWith("\xEF\xBB\xBF"))
        data.remove(0, 3);
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString decoded = utf8.decode(data);
    if (!utf8.hasError())
        return decoded;
    return decodeCp932(data, DecodeMode::Lenient, error);
}

} // namespace

FaxDocumentConverter::FaxDocumentConverter(OfficeSession* office) : m_office(office) {}

bool FaxDocumentConverter::isPassThrough(const QString& path)
{
    const QString s = suffix3(path);
    return s == u"pdf" || s == u"PDF" || s == u"tif" || s == u"TIF";
}

bool FaxDocumentConverter::textToPdf(const QString& text, const QString& pdfPath, QString* error)
{
    return renderTextToPdf(text, m_style, pdfPath, error);
}

bool FaxDocumentConverter::toPdf(const QString& path, const QString& pdfPath, QString* error)
{
    if (!QFileInfo(path).isFile())
        return fail(error, QStringLiteral("%1 がありません").arg(path));
    const QString s = suffix3(path);
    if (s == u"txt" || s == u"TXT") {
        const auto text = attachmentText(path, error);
        return text && textToPdf(*text, pdfPath, error);
    }
    if (s == u"pdf" || s == u"PDF") {
        QFile::remove(pdfPath);
        if (!QFile::copy(path, pdfPath))
            return fail(error, QStringLiteral("%1 を複写できません").arg(path));
        return true;
    }
    if (s == u"tif" || s == u"TIF")
        return tiffToPdf(path, pdfPath, error);
    OfficeKind kind;
    if (officeKindOf(path, &kind)) {
        if (!m_office)
            return fail(error, QStringLiteral("文書の変換ソフトがありません"));
        const OfficeResult r = m_office->toPdf(kind, path, pdfPath);
        if (!r.ok)
            return fail(error, r.error);
        return true;
    }
    return fail(
        error,
        QStringLiteral("FAX送信できない種類のファイルです: %1").arg(QFileInfo(path).fileName()));
}

} // namespace qm
