#include "platform/render/Ghostscript.h"

#include "platform/render/ProcessRunner.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace qm {

namespace {
const QString kGs = QStringLiteral("gs");
constexpr int kTimeoutMs = 120000;

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}
} // namespace

bool setTiffPageTotals(const QString& tiffPath, QString* error)
{
    QFile in(tiffPath);
    if (!in.open(QIODevice::ReadOnly))
        return fail(error, QStringLiteral("%1 を読めません").arg(tiffPath));
    QByteArray bytes = in.readAll();
    in.close();
    const bool little = bytes.startsWith("II*");
    if (!little && !bytes.startsWith("MM\0*"))
        return fail(error, QStringLiteral("%1 は TIFF ではありません").arg(tiffPath));
    const auto u16 = [&](qsizetype at) -> quint32 {
        const auto b0 = quint8(bytes.at(at)), b1 = quint8(bytes.at(at + 1));
        return little ? b0 | (b1 << 8) : (b0 << 8) | b1;
    };
    const auto u32 = [&](qsizetype at) -> quint32 {
        return little ? u16(at) | (u16(at + 2) << 16) : (u16(at) << 16) | u16(at + 2);
    };
    const auto put16 = [&](qsizetype at, quint32 v) {
        bytes[at + (little ? 0 : 1)] = char(v & 0xff);
        bytes[at + (little ? 1 : 0)] = char((v >> 8) & 0xff);
    };
    constexpr quint32 kPageNumber = 297;
    constexpr quint32 kShort = 3;
    QList<qsizetype> pageTags; // where each page's (number, total) pair sits
    qsizetype pages = 0;
    quint32 ifd = bytes.size() >= 8 ? u32(4) : 0;
    // A broken or looping chain ends the walk; the pages seen so far are counted.
    while (ifd >= 8 && qsizetype(ifd) + 2 <= bytes.size() && pages < 10000) {
        const quint32 entries = u16(ifd);
        const qsizetype end = qsizetype(ifd) + 2 + qsizetype(entries) * 12;
        if (end + 4 > bytes.size())
            break;
        for (quint32 e = 0; e < entries; ++e) {
            const qsizetype at = qsizetype(ifd) + 2 + qsizetype(e) * 12;
            if (u16(at) == kPageNumber && u16(at + 2) == kShort && u32(at + 4) == 2)
                pageTags << at + 8;
        }
        ++pages;
        const quint32 next = u32(end);
        if (next <= ifd)
            break;
        ifd = next;
    }
    for (qsizetype i = 0; i < pageTags.size(); ++i) {
        put16(pageTags.at(i), quint32(i));
        put16(pageTags.at(i) + 2, quint32(pages));
    }
    QSaveFile out(tiffPath);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
        return fail(error, QStringLiteral("%1 を書けません").arg(tiffPath));
    return true;
}

bool pdfToFaxTiff(const QString& pdfPath, const QString& tiffPath, bool fine, QString* error)
{
    if (!QFileInfo(pdfPath).isFile())
        return fail(error, QStringLiteral("%1 がありません").arg(pdfPath));
    // tiffg3 is 1-D MH with EOLs, what every fax modem takes; the device pads to 1728.
    const QStringList args = {
        QStringLiteral("-q"), QStringLiteral("-dNOPAUSE"), QStringLiteral("-dBATCH"),
        QStringLiteral("-dSAFER"), QStringLiteral("-sDEVICE=tiffg3"),
        fine ? QStringLiteral("-r204x196") : QStringLiteral("-r204x98"),
        QStringLiteral("-sPAPERSIZE=a4"), QStringLiteral("-dFIXEDMEDIA"),
        QStringLiteral("-dPDFFitPage"), QStringLiteral("-sOutputFile=") + tiffPath,
        // After -f the next argument is always a file name, never an option.
        QStringLiteral("-f"), QFileInfo(pdfPath).absoluteFilePath()};
    const ProcessResult r = runProcess(kGs, args, kTimeoutMs);
    if (!r.ok())
        return fail(error, r.describe(kGs));
    if (QFileInfo(tiffPath).size() <= 0)
        return fail(error, QStringLiteral("Ghostscript が TIFF を作りませんでした"));
    // The device leaves each page's total at 0; fax software shows "page 1 of 0".
    return setTiffPageTotals(tiffPath, error);
}

bool tiffToPdf(const QString& tiffPath, const QString& pdfPath, QString* error)
{
    if (!QFileInfo(tiffPath).isFile())
        return fail(error, QStringLiteral("%1 がありません").arg(tiffPath));
    const QString tool = QStringLiteral("tiff2pdf");
    const ProcessResult r = runProcess(tool,
                                       {QStringLiteral("-o"), QFileInfo(pdfPath).absoluteFilePath(),
                                        QFileInfo(tiffPath).absoluteFilePath()},
                                       kTimeoutMs);
    if (!r.ok() || QFileInfo(pdfPath).size() <= 0)
        return fail(error, r.describe(tool));
    return true;
}

} // namespace qm
