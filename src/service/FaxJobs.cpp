#include "service/FaxJobs.h"

#include "data/Clock.h"
#include "data/FaxConfig.h"
#include "data/ForwardLog.h"
#include "data/Paths.h"
#include "platform/fax/FaxStation.h"
#include "platform/mail/MailLibrary.h"
#include "service/EngineContext.h"
#include "service/ForwardMail.h"
#include "service/SenderAddress.h"

#include <QFileInfo>
#include <QMap>

namespace qm::service {

namespace {

const QString kCrLf = QStringLiteral("\r\n");
const QString kMailBackend = QStringLiteral("mail");
// How long a gateway mail waits for its notice when FaxPath.txt sets no kill time, as long
// as HylaFAX lets a job wait.
constexpr int kMailNoticeMinutes = 180;

struct Outcome
{
    bool sent = false;
    QString reason;
    int pages = 0;
    int tries = 0;
};

// A reason comes from a fax server or a mail: one line, no control characters, not long.
QString cleanReason(const QString& text)
{
    QString out;
    for (const QChar c : text)
        out.append(c < u' ' || c == u'\x7f' ? u' ' : c);
    out = out.simplified();
    return out.size() > 120 ? out.left(120) + QStringLiteral("…") : out;
}

// HylaFAX tells in English; the office reads Japanese, with the server's words kept.
QString japaneseReason(const QString& reason)
{
    static const QList<std::pair<const char*, QString>> known = {
        {"kill time expired", QStringLiteral("送信期限切れ")},
        {"busy", QStringLiteral("話中")},
        {"no answer", QStringLiteral("応答なし")},
        {"no carrier", QStringLiteral("相手が応答しません")},
        {"aborted by request", QStringLiteral("取り消されました")},
        {"no local dialtone", QStringLiteral("発信音がありません")},
        {"too many attempts", QStringLiteral("再試行の上限")},
    };
    const QString lower = reason.toLower();
    for (const auto& [english, japanese] : known) {
        if (lower.contains(QLatin1String(english)))
            return japanese + QStringLiteral(": ") + reason;
    }
    return reason;
}

QString outcomeText(const QueuedFaxJob& job, const Outcome& o)
{
    QStringList details;
    if (!o.sent && !o.reason.isEmpty())
        details << o.reason;
    const int pages = o.pages > 0 ? o.pages : job.pages;
    if (o.sent && pages > 0)
        details << QStringLiteral("%1枚").arg(pages);
    if (o.tries > 0)
        details << QStringLiteral("%1回").arg(o.tries);
    if (o.sent && !o.reason.isEmpty())
        details << o.reason;
    const QString head =
        job.number + (o.sent ? QStringLiteral(" FAX送信完了") : QStringLiteral(" FAX送信失敗"));
    return details.isEmpty() ? head : head + QStringLiteral(" (") + details.join(u'、') + u')';
}

// Who hears of the outcome by mail, "" for nobody.
QString replyTarget(const EngineContext& ctx, const FaxConfig& config, FaxJobRequest kind,
                    const QString& requester)
{
    QString to;
    if (kind == FaxJobRequest::Mail && config.replyToRequests)
        to = FaxReplyAddress(requester);
    else if (kind == FaxJobRequest::Account && config.replyToAccount)
        to = ctx.account.remoteAddress;
    return mail::isPlainAddress(to) ? to : QString();
}

void replyOutcome(EngineContext& ctx, const FaxConfig& config, const QueuedFaxJob& job,
                  const Outcome& o)
{
    const QString to = replyTarget(ctx, config, job.request, job.requester);
    if (to.isEmpty() || ctx.account.sourceAddress.isEmpty())
        return;
    const QString timeFormat = QStringLiteral("yyyy/MM/dd HH:mm");
    const int pages = o.pages > 0 ? o.pages : job.pages;
    QString body = (o.sent ? QStringLiteral("FAXを送信しました。")
                           : QStringLiteral("FAXを送信できませんでした。")) +
                   kCrLf + QStringLiteral("送信先: ") + job.number + kCrLf;
    if (!job.document.isEmpty())
        body += QStringLiteral("文書: ") + job.document + kCrLf;
    if (pages > 0)
        body += QStringLiteral("枚数: %1枚").arg(pages) + kCrLf;
    if (job.queuedAt.isValid())
        body += QStringLiteral("受付: ") + job.queuedAt.toString(timeFormat) + kCrLf;
    body += QStringLiteral("終了: ") + Clock::now().toString(timeFormat) + kCrLf;
    if (o.tries > 0)
        body += QStringLiteral("発信回数: %1回").arg(o.tries) + kCrLf;
    if (!o.reason.isEmpty())
        body += (o.sent ? QStringLiteral("備考: ") : QStringLiteral("理由: ")) + o.reason + kCrLf;
    SendReplyMail(ctx, ctx.account.sourceAddress, to,
                  o.sent ? QStringLiteral("<FAX送信完了>") : QStringLiteral("<FAX送信失敗>"), body);
}

// Recorded as ended first: a job is never reported twice, even when the program is stopped
// while it reports.
void endJob(EngineContext& ctx, FaxJobRecord& record, const FaxConfig& config,
            const QueuedFaxJob& job, const Outcome& o)
{
    QString error;
    if (!record.markEnded(job, &error)) {
        ctx.logOncePerCycle(ctx.account.accountNo, QStringLiteral("faxjobs"),
                            {.account = ctx.account.accountName,
                             .sender = QStringLiteral("FAXジョブの記録を更新できません"),
                             .destination = error});
        return;
    }
    ctx.log({.account = ctx.account.accountName,
             .sender = job.requester,
             .destination = outcomeText(job, o)});
    syncLog();
    replyOutcome(ctx, config, job, o);
}

QList<QueuedFaxJob> pendingOfAccount(FaxJobRecord& record, const QString& accountNo)
{
    QList<QueuedFaxJob> out;
    for (const QueuedFaxJob& job : record.pending()) {
        if (job.accountNo == accountNo)
            out << job;
    }
    return out;
}

// Only the service's notice counts, and it must say which way it went.
bool isFailureNotice(const QString& text)
{
    static const QStringList words = {
        QStringLiteral("失敗"),         QStringLiteral("エラー"),
        QStringLiteral("不達"),         QStringLiteral("できませんでした"),
        QStringLiteral("送信不可"),     QStringLiteral("話中"),
        QStringLiteral("fail"),         QStringLiteral("error"),
        QStringLiteral("undeliver"),    QStringLiteral("not delivered"),
        QStringLiteral("unsuccessful"), QStringLiteral("busy"),
    };
    for (const QString& w : words) {
        if (text.contains(w, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

} // namespace

QString FaxReplyAddress(const QString& sender)
{
    return mail::addressSpec(sender);
}

void FollowFaxJob(EngineContext& ctx, const FaxRequester& who, const FaxJob& job,
                  const FaxResult& result)
{
    // A job the backend refused never started: the caller's log line is all there is of it.
    // Nor can a job be followed that no backend names.
    if (!result.ok || result.jobId.isEmpty() || result.backend.isEmpty())
        return;
    QueuedFaxJob queued;
    queued.backend = result.backend;
    queued.jobId = result.jobId;
    queued.number = job.number;
    queued.accountNo = ctx.account.accountNo;
    queued.request = who.kind;
    queued.requester = who.sender;
    queued.document = job.displayName;
    // An attachment is known to the requester by its name; the mail's text by the job's.
    if (!job.text)
        queued.document += QStringLiteral(" ") + QFileInfo(job.filePath).fileName();
    queued.pages = result.pages;
    queued.queuedAt = Clock::now();
    QString error;
    if (!FaxJobRecord(ctx.paths.dataDir).add(queued, &error)) {
        ctx.log({.account = ctx.account.accountName,
                 .sender = QStringLiteral("FAXジョブを記録できません"),
                 .destination = error});
    }
}

void CheckFaxJobs(EngineContext& ctx)
{
    FaxJobRecord record(ctx.paths.dataDir);
    const QList<QueuedFaxJob> jobs = pendingOfAccount(record, ctx.account.accountNo);
    if (jobs.isEmpty())
        return;
    const FaxConfig config = loadFaxConfig(ctx.paths.dataDir);
    QMap<QString, QStringList> idsByBackend;
    for (const QueuedFaxJob& job : jobs)
        idsByBackend[job.backend] << job.jobId;
    QMap<QString, FaxJobStatuses> known;
    for (auto it = idsByBackend.cbegin(); it != idsByBackend.cend(); ++it) {
        const auto statuses = ctx.faxStation().jobStatuses(it.key(), it.value());
        if (statuses)
            known.insert(it.key(), *statuses);
        else if (ctx.settings.detailLog == 1)
            ctx.logOncePerCycle(ctx.account.accountNo, QStringLiteral("faxstatus ") + it.key(),
                                {.account = ctx.account.accountName,
                                 .sender = QStringLiteral("FAXジョブの状態を確認できません"),
                                 .destination = it.key()});
    }

    const QDateTime now = Clock::now();
    for (const QueuedFaxJob& job : jobs) {
        if (ctx.shouldStop())
            return;
        const auto backend = known.constFind(job.backend);
        const bool asked = backend != known.cend();
        if (asked && backend->contains(job.jobId)) {
            const FaxJobStatus s = backend->value(job.jobId);
            const bool sent = s.state == FaxJobStatus::State::Sent;
            QString reason = cleanReason(s.reason);
            if (!sent && reason.isEmpty())
                reason = QStringLiteral("理由不明");
            endJob(ctx, record, config, job,
                   Outcome{sent, sent ? QString() : japaneseReason(reason), s.pages, s.tries});
            continue;
        }
        // The spool's sender and the gateway keep no time limit of their own.
        if (job.backend == u"hylafax")
            continue;
        const int minutes = config.killMinutes > 0        ? config.killMinutes
                            : job.backend == kMailBackend ? kMailNoticeMinutes
                                                          : 0;
        if (minutes <= 0 || !job.queuedAt.isValid() ||
            job.queuedAt.addSecs(qint64(minutes) * 60) > now)
            continue;
        if (job.backend == kMailBackend)
            endJob(
                ctx, record, config, job,
                Outcome{true, QStringLiteral("FAXゲートウェイへ送信済み（配信通知なし）"), 0, 0});
        else
            endJob(
                ctx, record, config, job,
                Outcome{false, QStringLiteral("送信期限切れ (killtime %1分)").arg(minutes), 0, 0});
    }
}

bool TakeMailFaxNotice(EngineContext& ctx, const mail::ReceivedMessage& message)
{
    // Asked for every message: the sender is looked at before the record is read.
    const FaxConfig config = loadFaxConfig(ctx.paths.dataDir);
    const QStringList senders = mailFaxNoticeSenders(config);
    if (senders.isEmpty() || !SenderIsAnyOf(message.sender, senders))
        return false;
    FaxJobRecord record(ctx.paths.dataDir);
    for (const QueuedFaxJob& job : pendingOfAccount(record, ctx.account.accountNo)) {
        if (job.backend != kMailBackend ||
            (!message.subject.contains(job.jobId) && !message.body.contains(job.jobId)))
            continue;
        const bool failed = isFailureNotice(message.subject) || isFailureNotice(message.body);
        const QString reason = cleanReason(message.subject);
        endJob(ctx, record, config, job,
               failed ? Outcome{false, reason.isEmpty() ? QStringLiteral("理由不明") : reason, 0, 0}
                      : Outcome{true, QStringLiteral("FAXゲートウェイの配信通知"), 0, 0});
        return true;
    }
    return false;
}

} // namespace qm::service
