#include "platform/fax/HylafaxBackend.h"

#include "platform/render/FaxDocumentConverter.h"
#include "platform/render/ProcessRunner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <pwd.h>
#include <unistd.h>

namespace qm {

namespace {

// The clients refuse a uid without a passwd entry ("Malformed (null) username").
QProcessEnvironment clientEnvironment(const QString& faxUser)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!faxUser.isEmpty())
        env.insert(QStringLiteral("FAXUSER"), faxUser);
    else if (!::getpwuid(::getuid()))
        env.insert(QStringLiteral("FAXUSER"), QStringLiteral("quillmarc"));
    return env;
}

} // namespace

HylafaxBackend::HylafaxBackend(FaxConfig config, FaxDocumentConverter& converter)
    : m_config(std::move(config)), m_converter(converter)
{
}

bool HylafaxBackend::isUsable(QString* why) const
{
    auto fail = [&](const QString& text) {
        if (why)
            *why = text;
        return false;
    };
    if (!QFileInfo(m_config.sendfaxPath).isExecutable())
        return fail(QStringLiteral("%1 がありません").arg(m_config.sendfaxPath));
    if (!QFileInfo(m_config.faxstatPath).isExecutable())
        return fail(QStringLiteral("%1 がありません").arg(m_config.faxstatPath));
    // faxstat exits 0 even when it cannot connect: its text tells.
    const ProcessResult r = runProcess(m_config.faxstatPath, {QStringLiteral("-h"), m_config.host},
                                       15000, clientEnvironment(m_config.faxUser));
    const QString text = QString::fromLocal8Bit(r.out + r.err);
    static const QRegularExpression running(QStringLiteral("scheduler on .*: Running"));
    if (!r.started || r.timedOut || !running.match(text).hasMatch())
        return fail(QStringLiteral("FAXサーバ %1 が動いていません: %2")
                        .arg(m_config.host, text.trimmed().left(200)));
    return true;
}

QStringList HylafaxBackend::sendfaxArguments(const QString& dial, const QString& file) const
{
    QStringList args = {QStringLiteral("-n"), QStringLiteral("-h"), m_config.host};
    if (m_config.fineResolution)
        args << QStringLiteral("-m");
    else
        args << QStringLiteral("-l");
    if (m_config.dials > 0)
        args << QStringLiteral("-T") << QString::number(m_config.dials);
    if (m_config.killMinutes > 0)
        args << QStringLiteral("-k")
             << QStringLiteral("now + %1 minutes").arg(m_config.killMinutes);
    args << QStringLiteral("-d") << dial << file;
    return args;
}

FaxResult HylafaxBackend::send(const FaxJob& job)
{
    FaxResult result;
    const QString dial = faxJobDialString(job, &result.error);
    if (dial.isEmpty())
        return result;

    // sendfax cannot render Japanese text or office files: those go as PDF.
    QTemporaryDir temp;
    QString file = QFileInfo(job.filePath).absoluteFilePath();
    if (job.text || !FaxDocumentConverter::isPassThrough(job.filePath)) {
        if (!temp.isValid()) {
            result.error = QStringLiteral("作業フォルダを作れません");
            return result;
        }
        file = temp.filePath(QStringLiteral("job.pdf"));
        if (!faxJobToPdf(m_converter, job, file, &result.error))
            return result;
    }

    const ProcessResult r =
        runProcess(m_config.sendfaxPath, sendfaxArguments(dial, file),
                   m_config.timeoutSeconds * 1000, clientEnvironment(m_config.faxUser));
    static const QRegularExpression requestId(QStringLiteral("request id is (\\d+)"));
    const auto m = requestId.match(QString::fromLocal8Bit(r.out));
    if (!r.ok() || !m.hasMatch()) {
        result.error = r.describe(QStringLiteral("sendfax"));
        return result;
    }
    result.ok = true;
    result.jobId = m.captured(1);
    result.pages = pdfPageCount(file);
    return result;
}

namespace {

// "3:4" -> 3 (what is done of the most).
int doneCount(const QString& pair)
{
    return pair.section(u':', 0, 0).trimmed().toInt();
}

} // namespace

std::optional<FaxJobStatuses> HylafaxBackend::statuses(const QStringList& jobIds)
{
    // The clients read their job format from ~/.hylarc only: a home of our own for the call.
    QTemporaryDir home;
    if (!home.isValid())
        return std::nullopt;
    QFile rc(QDir(home.path()).filePath(QStringLiteral(".hylarc")));
    if (!rc.open(QIODevice::WriteOnly) || rc.write("JobFmt: \"%j|%a|%P|%D|%s\"\n") <= 0)
        return std::nullopt;
    rc.close();
    QProcessEnvironment env = clientEnvironment(m_config.faxUser);
    env.insert(QStringLiteral("HOME"), home.path());
    const ProcessResult r = runProcess(
        m_config.faxstatPath,
        {QStringLiteral("-h"), m_config.host, QStringLiteral("-s"), QStringLiteral("-d")},
        m_config.timeoutSeconds * 1000, env);
    const QString text = QString::fromLocal8Bit(r.out);
    static const QRegularExpression running(QStringLiteral("scheduler on .*: Running"));
    // faxstat exits 0 when it cannot connect: without the scheduler's line nothing is known.
    if (!r.ok() || !running.match(text).hasMatch())
        return std::nullopt;

    FaxJobStatuses out;
    QStringList listed;
    for (const QString& line : text.split(u'\n')) {
        const QStringList f = line.split(u'|');
        if (f.size() < 5 || !jobIds.contains(f.at(0).trimmed()))
            continue;
        listed << f.at(0).trimmed();
        FaxJobStatus status;
        const QString state = f.at(1).trimmed();
        if (state == u"D")
            status.state = FaxJobStatus::State::Sent;
        else if (state == u"F")
            status.state = FaxJobStatus::State::Failed;
        else
            continue;
        status.pages = doneCount(f.at(2));
        status.tries = doneCount(f.at(3));
        status.reason = f.mid(4).join(u'|').trimmed();
        out.insert(f.at(0).trimmed(), status);
    }
    // Both queues were listed: a job in neither was cleaned away after it ended.
    for (const QString& id : jobIds) {
        if (!listed.contains(id)) {
            FaxJobStatus gone;
            gone.state = FaxJobStatus::State::Failed;
            gone.reason = QStringLiteral("FAXサーバにジョブがありません（結果不明）");
            out.insert(id, gone);
        }
    }
    return out;
}

} // namespace qm
