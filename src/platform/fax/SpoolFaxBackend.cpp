#include "platform/fax/SpoolFaxBackend.h"

#include "data/AtomicFile.h"
#include "data/Paths.h"
#include "data/Privacy.h"
#include "data/SettingsLine.h"
#include "data/TextCodec.h"
#include "platform/render/FaxDocumentConverter.h"
#include "platform/render/Ghostscript.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace qm {

namespace {

// Job files are settings lines in Shift-JIS: a name from mail may hold characters
// neither can carry, so those become "?" rather than failing the job.
QString storable(const QString& text)
{
    QString out;
    for (const QChar c : text) {
        if (c == u',' || c == u'"' || c.isSurrogate() || !encodeCp932(QString(c)))
            out.append(u'?');
        else
            out.append(c);
    }
    return out;
}

} // namespace

SpoolFaxBackend::SpoolFaxBackend(QString spoolDir, bool fineResolution,
                                 FaxDocumentConverter& converter)
    : m_spoolDir(std::move(spoolDir)), m_fine(fineResolution), m_converter(converter)
{
}

bool SpoolFaxBackend::isUsable(QString* why) const
{
    if (QStandardPaths::findExecutable(QStringLiteral("gs")).isEmpty()) {
        if (why)
            *why = QStringLiteral("Ghostscript (gs) がありません");
        return false;
    }
    if (!QDir().mkpath(m_spoolDir)) {
        if (why)
            *why = QStringLiteral("FAX送信フォルダ %1 を作れません").arg(m_spoolDir);
        return false;
    }
    const QFileInfo info(m_spoolDir);
    if (!info.isWritable()) {
        if (why)
            *why = QStringLiteral("FAX送信フォルダ %1 に書けません").arg(m_spoolDir);
        return false;
    }
    return true;
}

QString SpoolFaxBackend::nextJobId() const
{
    const QString stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss-zzz"));
    for (int n = 1;; ++n) {
        const QString id = QStringLiteral("%1-%2").arg(stamp).arg(n, 3, 10, QLatin1Char('0'));
        const QDir dir(m_spoolDir);
        if (!QFileInfo::exists(dir.filePath(id + QStringLiteral(".tif"))) &&
            !QFileInfo::exists(dir.filePath(id + QStringLiteral(".job"))))
            return id;
    }
}

namespace {

// A spool folder of the user's own choosing, away from the program's data, is read by the
// program that sends the faxes, perhaps as another user: its jobs get the permissions the
// user's own mask gives, not the private ones of everything else we write.
void shareOutsideDataFolder(const QString& spoolDir, const QStringList& files)
{
    const QString data = QDir(filePaths().dataDir).canonicalPath() + u'/';
    if ((QDir(spoolDir).canonicalPath() + u'/').startsWith(data))
        return;
    const mode_t mode = 0666 & ~mode_t(originalFileMask());
    for (const QString& f : files)
        ::chmod(QFile::encodeName(f).constData(), mode);
}

} // namespace

FaxResult SpoolFaxBackend::send(const FaxJob& job)
{
    FaxResult result;
    const QString dial = faxJobDialString(job, &result.error);
    if (dial.isEmpty())
        return result;
    if (!isUsable(&result.error))
        return result;

    QTemporaryDir temp;
    if (!temp.isValid()) {
        result.error = QStringLiteral("作業フォルダを作れません");
        return result;
    }
    const QString pdf = temp.filePath(QStringLiteral("job.pdf"));
    const QString tif = temp.filePath(QStringLiteral("job.tif"));
    if (!faxJobToPdf(m_converter, job, pdf, &result.error))
        return result;
    if (!pdfToFaxTiff(pdf, tif, m_fine, &result.error))
        return result;

    const QString id = nextJobId();
    const QDir dir(m_spoolDir);
    const QString tifPath = dir.filePath(id + QStringLiteral(".tif"));
    const QString jobPath = dir.filePath(id + QStringLiteral(".job"));
    const auto bytes = readFileBytes(tif, &result.error);
    if (!bytes || !writeFileAtomic(tifPath, *bytes, &result.error))
        return result;

    const QStringList lines = {
        joinQuoted({QStringLiteral("number"), storable(job.number)}),
        joinQuoted({QStringLiteral("dial"), dial}),
        joinQuoted({QStringLiteral("name"), storable(job.displayName)}),
        joinQuoted({QStringLiteral("time"),
                    QDateTime::currentDateTime().toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"))}),
        // A text job has no file of its own: its source is left empty.
        joinQuoted({QStringLiteral("source"),
                    job.text ? QString() : storable(QFileInfo(job.filePath).absoluteFilePath())}),
        joinQuoted({QStringLiteral("document"), id + QStringLiteral(".tif")}),
        joinQuoted({QStringLiteral("resolution"),
                    m_fine ? QStringLiteral("fine") : QStringLiteral("normal")}),
    };
    // The sender sees a job only once it and its document carry the permissions it needs.
    const QString staged = jobPath + QStringLiteral(".new");
    if (!writeTextLines(staged, lines, &result.error)) {
        QFile::remove(tifPath);
        return result;
    }
    shareOutsideDataFolder(m_spoolDir, {tifPath, staged});
    if (::rename(QFile::encodeName(staged).constData(), QFile::encodeName(jobPath).constData()) !=
        0) {
        result.error = QStringLiteral("FAXジョブを置けません (%1): %2")
                           .arg(jobPath, QString::fromLocal8Bit(std::strerror(errno)));
        QFile::remove(staged);
        QFile::remove(tifPath);
        return result;
    }
    result.ok = true;
    result.jobId = id;
    result.pages = pdfPageCount(pdf);
    return result;
}

std::optional<FaxJobStatuses> SpoolFaxBackend::statuses(const QStringList& jobIds)
{
    const QDir dir(m_spoolDir);
    if (!dir.exists())
        return std::nullopt;
    FaxJobStatuses out;
    for (const QString& id : jobIds) {
        // Our own ids only: the name goes into a path.
        if (id.isEmpty() || id.contains(u'/') || id.contains(u'\\') || id.startsWith(u'.'))
            continue;
        for (const bool done : {true, false}) {
            const QString path =
                dir.filePath(id + (done ? QStringLiteral(".done") : QStringLiteral(".failed")));
            if (!QFileInfo(path).isFile())
                continue;
            FaxJobStatus status;
            status.state = done ? FaxJobStatus::State::Sent : FaxJobStatus::State::Failed;
            for (const QString& line :
                 readTextLines(path, DecodeMode::Lenient).value_or(QStringList())) {
                const QStringList f = splitSettingsLine(line);
                const QString key = f.value(0).trimmed().toLower();
                if (f.size() < 2) {
                    if (status.reason.isEmpty())
                        status.reason = line.trimmed();
                } else if (key == u"reason") {
                    status.reason = f.value(1).trimmed();
                } else if (key == u"pages") {
                    status.pages = qMax(0, f.value(1).trimmed().toInt());
                } else if (key == u"tries") {
                    status.tries = qMax(0, f.value(1).trimmed().toInt());
                }
            }
            out.insert(id, status);
            break;
        }
    }
    return out;
}

} // namespace qm
