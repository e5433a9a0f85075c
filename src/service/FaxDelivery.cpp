#include "service/FaxDelivery.h"

#include "data/AccountFiles.h"
#include "data/AccountSettings.h"
#include "data/Clock.h"
#include "data/MailFaxQuota.h"
#include "data/Paths.h"
#include "data/SettingsLine.h"
#include "data/TextCodec.h"
#include "platform/fax/FaxFileTypes.h"
#include "platform/fax/FaxNumber.h"
#include "platform/fax/FaxStation.h"
#include "platform/mail/MailLibrary.h"
#include "platform/print/ForwardTextPrinter.h"
#include "service/EngineContext.h"
#include "service/FaxJobs.h"
#include "service/FaxTextSettings.h"
#include "service/ForwardMail.h"
#include "service/ReceiveFiles.h"
#include "service/RuntimeError.h"
#include "service/SenderAddress.h"

#include <QFileInfo>
#include <QRegularExpression>
namespace qm::service {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

QStringList nonEmptyItems(const QString& tabList)
{
    QStringList items = tabList.split(u'\t');
    items.removeAll(QString());
    return items;
}

QString suffix3(const QString& path)
{
    return path.size() >= 3 ? path.right(3) : QString();
}

} // namespace

bool DetectFaxPlatform(EngineContext& ctx)
{
    return ctx.faxStation().isUsable();
}

namespace {

// One job of a file; true when the backend took it. A job taken is followed until it ends.
bool sendFax(EngineContext& ctx, FaxJob job, const FaxRequester& who,
             const TextFaxStyle& style = {})
{
    job.accountSmtp = ctx.account.smtp;
    job.accountAddress = ctx.account.sourceAddress;
    const FaxResult result = ctx.faxStation().send(job, style);
    FollowFaxJob(ctx, who, job, result);
    return result.ok;
}

bool sendFaxFile(EngineContext& ctx, const QString& displayName, const QString& path,
                 const QString& number, const FaxRequester& who)
{
    return sendFax(ctx, {displayName, path, number}, who);
}

} // namespace

QString DialRefusal(EngineContext& ctx, const QString& number, FaxNumberSource source)
{
    const QString dial = faxDialString(number);
    if (dial.isEmpty())
        return {};
    return diallingRuleAgainst(loadFaxConfig(ctx.paths.dataDir), dial, source);
}

namespace {

// Counts one fax job a mail's sender asked for; false (with a log line) when the sender has
// reached the day's cap, and then no job may be sent.
bool takeMailFaxJob(EngineContext& ctx, const QString& sender)
{
    const int cap = loadFaxConfig(ctx.paths.dataDir).mailJobsPerSenderPerDay;
    const QString address = mail::addressSpec(sender);
    QString error;
    if (countMailFaxJob(ctx.paths.dataDir, address, Clock::now().date(), cap, &error))
        return true;
    ctx.writeLog(ctx.account.accountName, address,
                 error.isEmpty()
                     ? QStringLiteral("FAX要求は1日%1件までです (mailfax-per-day)").arg(cap)
                     : error);
    ctx.showLog();
    return false;
}

// False, with a log line naming the number and the rule, when it may not be dialled.
bool dialAllowed(EngineContext& ctx, const QString& number, FaxNumberSource source,
                 const QString& sender)
{
    const QString rule = DialRefusal(ctx, number, source);
    if (rule.isEmpty())
        return true;
    ctx.writeLog(ctx.account.accountName, sender,
                 number + QStringLiteral(" 発信できない番号です (%1)").arg(rule));
    ctx.showLog();
    return false;
}

} // namespace

bool FaxMessage(EngineContext& ctx, const QString& accountNo, const QStringList& faxNumbers,
                const QString& faxText, const QString& senderAddress,
                const QStringList& attachmentPaths, FaxNumberSource source)
{
    const QString account = ctx.account.accountName;
    const FaxRequester who{source == FaxNumberSource::Mail ? FaxJobRequest::Mail
                                                           : FaxJobRequest::Account,
                           senderAddress};
    try {
        const QString option = readFaxOption(accountNo);
        QStringList numbers;
        for (const QString& number : faxNumbers) {
            if (!number.isEmpty() && dialAllowed(ctx, number, source, senderAddress))
                numbers << number;
        }
        // A refused number counts against no cap.
        if (numbers.isEmpty() ||
            (source == FaxNumberSource::Mail && !takeMailFaxJob(ctx, senderAddress)))
            return true;
        QStringList attachments = attachmentPaths;
        attachments.removeAll(QString());
        bool hasFaxable = false;
        for (const QString& a : attachments)
            hasFaxable = hasFaxable || isFaxableFile(a);

        if (option != u"attach" || attachments.isEmpty()) {
            const std::optional<TextFaxStyle> style = LoadFaxTextStyle(ctx, accountNo);
            if (!style)
                MarkFaxFontUnavailable(ctx);
            for (const QString& number : numbers) {
                FaxJob job{QStringLiteral("メール転送"), QString(), number};
                job.text = faxText;
                const bool sent = sendFax(ctx, job, who, style.value_or(TextFaxStyle()));
                ctx.writeLog(account, senderAddress,
                             sent ? number : number + QStringLiteral(" FAX設定エラー1"));
                ctx.showLog();
            }
        }

        if (option == u"attach" && hasFaxable) {
            for (const QString& attachment : attachments) {
                if (!isFaxableFile(attachment))
                    continue;
                for (const QString& number : numbers) {
                    const bool sent =
                        sendFaxFile(ctx, QStringLiteral("メール"), attachment, number, who);
                    // Which document went: a comma of the sender's would cut the line.
                    const QString document =
                        QFileInfo(attachment)
                            .fileName()
                            .replace(QRegularExpression(QStringLiteral("[,\"\\r\\n]")),
                                     QStringLiteral("_"));
                    ctx.writeLog(account, senderAddress,
                                 number + QStringLiteral(" (") + document + QLatin1Char(')') +
                                     (sent ? QString() : QStringLiteral(" FAX送信エラー")));
                    ctx.showLog();
                }
            }
        }
        return true;
    } catch (const RuntimeError& e) {
        ctx.writeLog(account, senderAddress, QStringLiteral("FAX設定エラー2"));
        ctx.showLog();
        ctx.reportError(e.description());
        return false;
    }
}

bool FaxStoredAttachment(EngineContext& ctx, const mail::MailAddress& requester,
                         const QString& faxNumbers, const QString& requestedNumber)
{
    const Account& a = ctx.account;
    const QString& requestingSender = requester.address;
    // Stored files go only to the people they were forwarded to: receive numbers are
    // sequential, so anybody else could pull out every document the account ever received.
    if (!SenderIsAnyOf(requester, a.to + a.cc + a.bcc + QStringList{a.remoteAddress})) {
        ctx.writeLog(a.accountName, requestingSender,
                     QStringLiteral("添付ファイルの要求を拒否しました（登録されていない差出人）"));
        ctx.showLog();
        return true;
    }
    try {
        const AccountFiles files = AccountFiles::forAccount(ctx.paths, a.accountNo);
        const auto entry = FindStoredAttachment(files, requestedNumber);
        if (!entry) {
            SendReplyMail(ctx, a.sourceAddress, requestingSender, QStringLiteral("<添付FL不明>"),
                          QStringLiteral("指定された番号(") + requestedNumber +
                              QStringLiteral(")の添付ファイルは見つかりません。") + kCrLf +
                              QStringLiteral("番号を確認して再度指示してください。"));
            return true;
        }

        const QString suffix = suffix3(entry->path);
        const bool workbook = suffix == u"xls" || suffix == u"XLS";
        const bool document = suffix == u"doc" || suffix == u"DOC";
        const bool faxable = workbook || document || isFaxableFile(entry->path);

        if (!faxable) {
            SendReplyMail(
                ctx, a.sourceAddress, requestingSender, QStringLiteral("<添付FL送信不可>"),
                QStringLiteral("指定された添付ファイル") + kCrLf + entry->name +
                    QStringLiteral("はFAX送信できない種類です。") + kCrLf +
                    QStringLiteral("ファイル名の後3桁が doc xls txt のみFAX送信できます。"));
            return true;
        }

        if (!dialAllowed(ctx, faxNumbers, FaxNumberSource::Mail, requestingSender) ||
            !takeMailFaxJob(ctx, requestingSender))
            return true;
        // Only a job that will be sent is worth starting the office for.
        if (workbook)
            ctx.faxStation().prepare(OfficeKind::Workbook, entry->path);
        else if (document)
            ctx.faxStation().prepare(OfficeKind::Document, entry->path);
        for (const QString& number : nonEmptyItems(faxNumbers)) {
            if (sendFaxFile(ctx, QStringLiteral("添付ファイル送信"), entry->path, number,
                            {FaxJobRequest::Mail, requestingSender})) {
                ctx.writeLog(a.accountName, requestingSender, number);
                ctx.showLog();
                SendReplyMail(
                    ctx, a.sourceAddress, requestingSender, QStringLiteral("<添付FL送信開始>"),
                    QStringLiteral("指定された添付ファイル") + kCrLf + entry->name + kCrLf +
                        QStringLiteral("を") + number + QStringLiteral("へFAX送信開始しました。"));
            } else {
                ctx.writeLog(a.accountName, requestingSender,
                             number + QStringLiteral(" FAX設定エラー3"));
                ctx.showLog();
            }
        }
        return true;
    } catch (const RuntimeError& e) {
        ctx.reportError(e.description());
        return false;
    }
}

} // namespace qm::service
