#include "service/ReceiveAndForward.h"

#include "data/AccountFiles.h"
#include "data/AccountSettings.h"
#include "data/ForwardLog.h"
#include "data/MailSecurity.h"
#include "data/Numbers.h"
#include "platform/fax/FaxNumber.h"
#include "platform/mail/MailLibrary.h"
#include "service/EngineContext.h"
#include "service/FaxDelivery.h"
#include "service/FaxJobs.h"
#include "service/ForwardMail.h"
#include "service/ForwardText.h"
#include "service/PrintForwardText.h"
#include "service/ReceiveFiles.h"
#include "service/RemoteSettings.h"
#include "service/RuntimeError.h"
#include "service/SenderAddress.h"

#include <QFileInfo>

namespace qm::service {

namespace {

bool detailLog(const EngineContext& ctx)
{
    return ctx.settings.detailLog == 1;
}

void detailLine(EngineContext& ctx, const QString& second, const QString& third)
{
    if (!detailLog(ctx))
        return;
    ctx.log({.account = ctx.account.accountName, .sender = second, .destination = third});
}

// The requested attachment number: the whole run of digits the body starts with.
QString leadingDigits(const QString& body)
{
    qsizetype n = 0;
    while (n < body.size() && body.at(n) >= u'0' && body.at(n) <= u'9')
        ++n;
    return body.left(n);
}

// The number a mail-to-fax subject asks for, in the forms the fax layer dials ("03-1234-5678",
// "+81 3 1234 5678"), or "" when the subject is not a fax number. Four digits or fewer is
// ordinary mail.
QString mailToFaxNumber(const QString& subject)
{
    const QString dial = faxDialString(subject.trimmed());
    qsizetype digits = 0;
    for (const QChar c : dial)
        digits += c.isDigit() ? 1 : 0;
    return digits > 4 ? dial : QString();
}

class MessageRun
{
public:
    MessageRun(EngineContext& ctx, const QString& accountNo, const AccountFiles& files,
               ReceivedList& received, PendingDeletions& pending)
        : ctx(ctx), accountNo(accountNo), files(files), received(received), pending(pending),
          progress(files.progressLog)
    {
    }

    void process(const QString& messageFile);

private:
    bool handle(const QString& messageFile);
    // Each answers whether the message is done with.
    bool faxOnRequest(const mail::ReceivedMessage& message, const QString& receiveNumber);
    bool remoteCommand(const mail::ReceivedMessage& message, const QString& messageFile);
    // Answers true when the message was deleted from the server.
    bool forward(const mail::ReceivedMessage& message, const QString& messageFile,
                 const QString& receiveNumber, MessageProgress done);

    EngineContext& ctx;
    const QString& accountNo;
    const AccountFiles& files;
    ReceivedList& received;
    PendingDeletions& pending;
    ProgressLog progress;
    bool remoteWarned = false; // one line a cycle for a remote address that cannot match
};

void MessageRun::process(const QString& messageFile)
{
    if (received.IsAlreadyReceived(messageFile) || pending.contains(messageFile)) {
        if (ctx.account.forwards())
            detailLine(ctx, QFileInfo(messageFile).fileName(), QStringLiteral("受信済み"));
        return;
    }
    const bool deleted = handle(messageFile);
    if (!deleted)
        received.MarkReceived(messageFile);
    // The message's log lines reach the disk together, once it is done.
    syncLog();
}

// Answers true when the message was deleted from the server as a forwarded message.
bool MessageRun::handle(const QString& messageFile)
{
    const Account& a = ctx.account;
    const mail::ReadResult read = ctx.mailLibrary().ReadMail(messageFile, files.attachFolder);
    if (!read.ok()) {
        ctx.log({.account = a.accountName, .sender = read.error});
        return false;
    }
    const mail::ReceivedMessage& message = read.message;
    // The fax gateway's notice on a job we sent is its outcome, not mail to forward (its
    // daemon may send it, so this comes before the bounce test).
    if (ctx.faxPlatform && TakeMailFaxNotice(ctx, message))
        return false;
    // Bounces of a mailer daemon are recorded as handled and nothing else.
    if (SenderText(message).contains(QStringLiteral("DAEMON")))
        return false;

    // A message tried before keeps its number, so its parts and attachment keys match.
    const std::optional<MessageProgress> before = progress.find(messageFile);
    const QString receiveNumber = before && !before->receiveNumber.isEmpty()
                                      ? before->receiveNumber
                                      : NextReceiveNumber(ctx, files);
    if (a.forwards())
        detailLine(ctx, QStringLiteral("№") + receiveNumber, QStringLiteral("受信"));

    MessageProgress done = before.value_or(MessageProgress{});
    done.receiveNumber = receiveNumber;
    if (faxOnRequest(message, receiveNumber) || remoteCommand(message, messageFile))
        return false;
    return forward(message, messageFile, receiveNumber, done);
}

// Mail to fax: the subject is a fax number.
bool MessageRun::faxOnRequest(const mail::ReceivedMessage& message, const QString& receiveNumber)
{
    const QString faxNumber = mailToFaxNumber(message.subject);
    if (faxNumber.isEmpty() || !ctx.account.forwards() || !ctx.faxPlatform)
        return false;
    if (message.body.size() >= 4 && isAsciiDigits(message.body.left(4))) {
        FaxStoredAttachment(ctx, message.sender, faxNumber, leadingDigits(message.body));
    } else {
        RecordAttachments(ctx, message, receiveNumber, files);
        FaxMessage(ctx, accountNo, {faxNumber}, BuildMailToFaxText(message), message.sender.address,
                   message.attachmentPaths(), FaxNumberSource::Mail);
    }
    return true;
}

bool MessageRun::remoteCommand(const mail::ReceivedMessage& message, const QString& messageFile)
{
    const Account& a = ctx.account;
    // Only the remote-settings address itself may steer the account: a display name or a
    // longer domain that merely contains it is anybody.
    const bool remoteOn = ctx.settings.remoteSettingsAllowed != 0;
    if (remoteOn && !remoteWarned && !a.remoteAddress.trimmed().isEmpty() &&
        !CanMatchSender(a.remoteAddress)) {
        remoteWarned = true;
        ctx.log({.account = a.accountName,
                 .sender = QStringLiteral("リモート設定アドレスが正しくありません"),
                 .destination = a.remoteAddress});
    }
    if (!remoteOn || !SenderIs(message.sender, a.remoteAddress))
        return false;
    bool stored = true;
    if (!HandleRemoteMail(ctx, message.subject, message.body, accountNo, message.sender.address,
                          &stored))
        return false;
    // A change the account file did not take keeps its mail on the server and unrecorded, so
    // the next cycle applies it.
    if (!stored)
        QFile::remove(messageFile);
    else
        DeleteServerMessage(ctx, messageFile, pending);
    return true;
}

bool MessageRun::forward(const mail::ReceivedMessage& message, const QString& messageFile,
                         const QString& receiveNumber, MessageProgress done)
{
    const Account& a = ctx.account;
    const QString faxText = BuildFaxText(message);
    const bool matched = MatchesForwardConditions(a, message);
    if (a.forwards())
        detailLine(ctx, QStringLiteral("№") + receiveNumber,
                   matched ? QStringLiteral("転送条件一致") : QStringLiteral("転送条件不一致"));

    bool deleted = false;
    bool sentWhole = true;
    if (matched && a.forwards()) {
        RecordAttachments(ctx, message, receiveNumber, files);
        const QStringList attachmentPaths = message.attachmentPaths();
        QString forwardText = message.body;
        if (a.phoneEditing)
            forwardText = EditForwardText(a, message.body, readDeleteStrings(accountNo),
                                          receiveNumber, message.attachments);
        const ForwardResult sent = ForwardByMail(
            ctx,
            {SenderText(message), message.sender, message.subject, forwardText, attachmentPaths},
            messageFile, done.partsSent);
        done.partsSent += sent.partsSent;
        sentWhole = sent.allSent;
        if (!a.faxNumbers.isEmpty() && sent.ok && ctx.faxPlatform && !done.faxed) {
            FaxMessage(ctx, accountNo, a.faxNumbers, faxText, sent.senderAddress, attachmentPaths);
            done.faxed = true;
        }
        // Only a message that went out whole leaves the server; a failed send is tried again.
        // A message the server would not delete is recorded as handled, so it is not sent
        // again every cycle.
        if (a.forwardState == ForwardState::ForwardAndDelete && sent.allSent)
            deleted = DeleteServerMessage(ctx, messageFile, pending);
        if (sent.ok && ctx.font.printMode == 1 && !done.printed) {
            PrintForwardText(ctx, faxText);
            done.printed = true;
        }
    }
    if (ctx.font.printMode == 2 && !done.printed) {
        PrintForwardText(ctx, faxText);
        done.printed = true;
    }
    // The next cycle takes the message again: it must know what is already done.
    if (!sentWhole && !progress.record(messageFile, done))
        ctx.log({.account = a.accountName,
                 .sender = QStringLiteral("送信の進み具合を記録できません"),
                 .destination = QFileInfo(messageFile).fileName()});
    return deleted;
}

} // namespace

bool DeleteServerMessage(EngineContext& ctx, const QString& messageFile, PendingDeletions& pending)
{
    ctx.sleep(2000);
    const Account& a = ctx.account;
    // Recorded first: a deletion whose answer is lost with its connection is tried again
    // until a collection no longer lists the message.
    pending.add(messageFile);
    const QString error = ctx.mailLibrary().DeleteMail(a.pop, messageFile);
    if (error.isEmpty())
        return true;
    ctx.logFault(QStringLiteral("delete\t") + error, error);
    return false;
}

bool ReceiveAndForward(EngineContext& ctx, const QString& accountNo)
{
    try {
        const Account& a = ctx.account;
        const AccountFiles files = AccountFiles::forAccount(ctx.paths, accountNo);
        PrepareAccountDataFolder(files);

        const mail::MailResult box = ctx.mailLibrary().RcvMail(a.pop, files.workFolder);
        if (box.passwordInClear)
            ctx.logOncePerCycle(
                accountNo, QStringLiteral("pop-in-clear"),
                {.account = a.accountName,
                 .sender = QStringLiteral("POP3のパスワードを暗号化せずに送りました"),
                 .destination = QStringLiteral("【アカウントの編集】で接続の暗号化を"
                                               "「暗号化必須」にしてください")});
        const QString offText = !a.forwards() ? QStringLiteral("転送オフ") : QString();
        if (box.isList) {
            detailLine(ctx, QStringLiteral("受信メールあり"), offText);
            PendingDeletions pending(files.pendingDeletes);
            for (const QString& name : pending.stillListed(box.items))
                DeleteServerMessage(ctx, files.workFolder + u'/' + name, pending);
            ReceivedList received(files.receivedList);
            MessageRun run(ctx, accountNo, files, received, pending);
            for (const QString& messageFile : box.items) {
                if (ctx.shouldStop())
                    break;
                run.process(messageFile);
            }
        } else if (box.text.isEmpty()) {
            detailLine(ctx, QStringLiteral("受信メールなし"), offText);
            ClearAccountFiles(files);
        } else {
            ctx.logFault(QStringLiteral("receive"), box.text);
            if (box.refusedCertificate)
                recordRefusedCertificate(
                    accountNo, false,
                    {box.refusedCertificate->fingerprint, box.refusedCertificate->subject});
        }
        return true;
    } catch (const RuntimeError& e) {
        ctx.reportError(e.description());
    } catch (const std::exception& e) {
        ctx.reportError(QString::fromUtf8(e.what()));
    }
    return false;
}

} // namespace qm::service
