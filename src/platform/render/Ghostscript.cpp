#include "platform/render/Ghostscript.h"

#include "platform/render/ProcessRunner.h"

#include <QFileInfo>

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
    return true;
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
