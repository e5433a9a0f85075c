#include "data/FaxJobRecord.h"

#include "data/SettingsLine.h"
#include "data/TextCodec.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <unistd.h>

namespace qm {

namespace {

const QString kQueued = QStringLiteral("queued");
const QString kEnded = QStringLiteral("ended");
const QString kTimeFormat = QStringLiteral("yyyy/MM/dd HH:mm:ss");
// Ended jobs kept before the record is rewritten without them.
constexpr int kEndedBeforeRewrite = 200;

QString storable(const QString& text)
{
    QString out;
    for (const QChar c : text) {
        if (c == u',' || c == u'"' || c < u' ' || c.isSurrogate() || !encodeCp932(QString(c)))
            out.append(u'?');
        else
            out.append(c);
    }
    return out;
}

QString queuedLine(const QueuedFaxJob& job)
{
    return joinQuoted(
        {kQueued, storable(job.backend), storable(job.jobId), storable(job.number),
         storable(job.accountNo),
         job.request == FaxJobRequest::Mail ? QStringLiteral("mail") : QStringLiteral("account"),
         storable(job.requester), storable(job.document), QString::number(job.pages),
         job.queuedAt.toString(kTimeFormat)});
}

} // namespace

FaxJobRecord::FaxJobRecord(const QString& dataDir)
    : m_path(QDir(dataDir).filePath(QStringLiteral("FaxJobs.txt")))
{
}

QList<QueuedFaxJob> FaxJobRecord::pending(QString* error)
{
    if (!QFile::exists(m_path))
        return {};
    const auto lines = readTextLines(m_path, DecodeMode::Lenient, error);
    if (!lines)
        return {};
    QList<QueuedFaxJob> jobs;
    QStringList queuedLines;
    QSet<QString> ended;
    for (const QString& line : *lines) {
        const QStringList f = splitSettingsLine(line);
        if (f.value(0) == kEnded && f.size() >= 2) {
            ended.insert(f.at(1));
        } else if (f.value(0) == kQueued && f.size() >= 10) {
            QueuedFaxJob job;
            job.backend = f.at(1);
            job.jobId = f.at(2);
            job.number = f.at(3);
            job.accountNo = f.at(4);
            job.request = f.at(5) == u"mail" ? FaxJobRequest::Mail : FaxJobRequest::Account;
            job.requester = f.at(6);
            job.document = f.at(7);
            job.pages = f.at(8).toInt();
            job.queuedAt = QDateTime::fromString(f.at(9), kTimeFormat);
            if (!job.jobId.isEmpty()) {
                jobs << job;
                queuedLines << line;
            }
        }
    }
    QList<QueuedFaxJob> open;
    QStringList openLines;
    for (qsizetype i = 0; i < jobs.size(); ++i) {
        if (!ended.contains(jobs.at(i).key())) {
            open << jobs.at(i);
            openLines << queuedLines.at(i);
        }
    }
    // Best effort: the record stays right when the rewrite fails, only longer.
    if (ended.size() >= kEndedBeforeRewrite)
        writeTextLines(m_path, openLines);
    return open;
}

bool FaxJobRecord::add(const QueuedFaxJob& job, QString* error)
{
    return appendTextLine(m_path, queuedLine(job), AppendSync::Yes, error);
}

bool FaxJobRecord::markEnded(const QueuedFaxJob& job, QString* error)
{
    return appendTextLine(m_path, joinQuoted({kEnded, storable(job.key())}), AppendSync::Yes,
                          error);
}

} // namespace qm
