#include "platform/fax/FaxBackend.h"

#include "data/FaxConfig.h"
#include "platform/fax/FaxNumber.h"
#include "platform/fax/HylafaxBackend.h"
#include "platform/fax/MailFaxBackend.h"
#include "platform/fax/SpoolFaxBackend.h"
#include "platform/render/FaxDocumentConverter.h"
#include "platform/render/ProcessRunner.h"

#include <QFileInfo>

namespace qm {

std::unique_ptr<FaxBackend>
createFaxBackend(const FaxConfig& config, FaxDocumentConverter& converter, mail::MailLibrary* mail)
{
    if (config.backend == FaxConfig::Backend::Hylafax)
        return std::make_unique<HylafaxBackend>(config, converter);
    if (config.backend == FaxConfig::Backend::Mail)
        return std::make_unique<MailFaxBackend>(config, converter, mail);
    return std::make_unique<SpoolFaxBackend>(config.spoolDir, config.fineResolution, converter);
}

namespace {

bool faxJobHasDocument(const FaxJob& job, QString* why)
{
    if (job.text || QFileInfo(job.filePath).isFile())
        return true;
    if (why)
        *why = QStringLiteral("%1 がありません").arg(job.filePath);
    return false;
}

} // namespace

QString faxJobDialString(const FaxJob& job, QString* why)
{
    const QString dial = faxDialString(job.number);
    if (dial.isEmpty()) {
        if (why)
            *why = QStringLiteral("FAX番号が正しくありません: %1").arg(job.number);
        return {};
    }
    return faxJobHasDocument(job, why) ? dial : QString();
}

bool faxJobToPdf(FaxDocumentConverter& converter, const FaxJob& job, const QString& pdfPath,
                 QString* error)
{
    if (job.text)
        return converter.textToPdf(*job.text, pdfPath, error);
    return converter.toPdf(job.filePath, pdfPath, error);
}

int pdfPageCount(const QString& pdfPath)
{
    // The path goes in as a string parameter, never as PostScript text.
    const ProcessResult r = runProcess(
        QStringLiteral("gs"),
        {QStringLiteral("-q"), QStringLiteral("-dNODISPLAY"), QStringLiteral("-dNOPAUSE"),
         QStringLiteral("-dBATCH"), QStringLiteral("-sFile=") + pdfPath,
         QStringLiteral("--permit-file-read=") + pdfPath, QStringLiteral("-c"),
         QStringLiteral("File (r) file runpdfbegin pdfpagecount = quit")},
        30000);
    if (!r.ok())
        return 0;
    const QList<QByteArray> lines = r.out.trimmed().split('\n');
    bool ok = false;
    const int pages = lines.isEmpty() ? 0 : lines.last().trimmed().toInt(&ok);
    return ok && pages > 0 ? pages : 0;
}

} // namespace qm
