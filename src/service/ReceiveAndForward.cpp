#include "service/ReceiveAndForward.h"

#include "data/AccountSettings.h"
#include "platform/mail/MailLibrary.h"
#include "service/AccountFiles.h"
#include "service/EngineContext.h"
#include "service/FaxDelivery.h"
#include "service/ForwardMail.h"
#include "service/ForwardText.h"
#include "service/Numeric.h"
#include "service/ParsedMessage.h"
#include "service/ReceiveFiles.h"
#include "service/RemoteSettings.h"
#include "service/RuntimeError.h"

#include <QFileInfo>

namespace qm::service {

namespace {

const QString kFieldList = QStringLiteral("date:from:to:cc:subject:body:");

mail::MailLibrary& mailLibrary(EngineContext& ctx)
{
    return ctx.mailLibrary();
}

bool detailLog(const EngineContext& ctx)
{
    return ctx.settings.detailLog == 1;
}

void detailLine(EngineContext& ctx, const QString& second, const QString& third)
{
    if (!detailLog(ctx))
        return;
    ctx.writeLog(ctx.account.accountName, second, third);
    ctx.showLog();
}

// The requested attachment number: the whole run of digits the body starts with.
QString leadingDigits(const QString& body)
{
    qsizetype n = 0;
    while (n < body.size() && body.at(n) >= u'0' && body.at(n) <= u'9')
        ++n;
    return body.left(n);
}

class MessageRun
{
public:
    MessageRun(EngineContext& ctx, const QString& accountNo, const AccountFiles& files,
               ReceivedList& received)
        : ctx(ctx), accountNo(accountNo), files(files), received(received)
    {
    }

    // Processes one stored message; position is its place in the mailbox and moves up
    // by one for every deletion.
    void process(const QString& messageFile, int& position);

private:
    bool handle(const QString& messageFile, int& position);

    EngineContext& ctx;
    const QString& accountNo;
    const AccountFiles& files;
    ReceivedList& received;
};

void MessageRun::process(const QString& messageFile, int& position)
{
    if (received.IsAlreadyReceived(messageFile)) {
        if (ctx.account.forwardState != u"0")
            detailLine(ctx, QFileInfo(messageFile).fileName(), QStringLiteral("受信済み"));
        return;
    }
    const bool deleted = handle(messageFile, position);
    if (!deleted)
        received.MarkReceived(messageFile);
}

// Answers true when the message was deleted from the server as a forwarded message.
bool MessageRun::handle(const QString& messageFile, int& position)
{
    const CurrentAccount& a = ctx.account;
    const mail::MailResult read =
        mailLibrary(ctx).ReadMail(messageFile, kFieldList, files.attachFolder);
    if (!read.isList) {
        ctx.writeLog(a.accountName, read.text, QString());
        ctx.showLog();
        return false;
    }
    // Bounces of a mailer daemon are recorded as handled and nothing else.
    if (ParseSender(read.items).contains(QStringLiteral("DAEMON")))
        return false;

    const QString receiveNumber = NextReceiveNumber(ctx, files);
    if (a.forwardState != u"0")
        detailLine(ctx, QStringLiteral("№") + receiveNumber, QStringLiteral("受信"));
    const ParsedMessage message = ParseMessage(read.items);

    // Mail to fax: the subject is a fax number.
    const QString subjectNumber = QString(message.subject).remove(u'-');
    if (IsAllDigits(subjectNumber) && subjectNumber.size() > 4 && a.forwardState != u"0" &&
        ctx.faxPlatform) {
        if (message.body.size() >= 4 && IsAllDigits(message.body.left(4))) {
            FaxStoredAttachment(ctx, message.sender, subjectNumber, leadingDigits(message.body));
        } else {
            const Attachments attachments = CollectAttachments(ctx, message, receiveNumber, files);
            FaxMessage(ctx, accountNo, subjectNumber, BuildMailToFaxText(message), message.sender,
                       attachments.list());
        }
        return false;
    }

    const QString faxText = BuildFaxText(message);

    if (!a.remoteAddress.isEmpty() && !message.sender.isEmpty() &&
        message.sender.contains(a.remoteAddress) && ctx.settings.remoteSettingsAllowed != 0) {
        bool stored = true;
        if (HandleRemoteMail(ctx, message.subject, message.body, accountNo, &stored)) {
            // A change the account file did not take keeps its mail on the server and
            // unrecorded, so the next cycle applies it.
            if (!stored) {
                QFile::remove(messageFile);
                return false;
            }
            if (DeleteServerMessage(ctx, position))
                --position;
            return false;
        }
    }

    const bool matched = MatchesForwardConditions(a, message);
    if (a.forwardState != u"0")
        detailLine(ctx, QStringLiteral("№") + receiveNumber,
                   matched ? QStringLiteral("転送条件一致") : QStringLiteral("転送条件不一致"));

    bool deleted = false;
    if (matched && a.forwards()) {
        const Attachments attachments = CollectAttachments(ctx, message, receiveNumber, files);
        QString forwardText = message.body;
        if (a.phoneEditing == u"1")
            forwardText = EditForwardText(a, message.body, readDeleteStrings(accountNo),
                                          receiveNumber, attachments);
        const ForwardResult sent = ForwardByMail(
            ctx, {message.sender, message.subject, forwardText, attachments.list()}, messageFile);
        if (!a.faxNumbers.isEmpty() && sent.ok && ctx.faxPlatform)
            FaxMessage(ctx, accountNo, a.faxNumbers, faxText, sent.senderAddress,
                       attachments.list());
        // Only a message that went out whole leaves the server; a failed send is tried again.
        // A message the server would not delete is recorded as handled, so it is not sent
        // again every cycle, and the positions after it stay where they are.
        if (a.forwardState == u"2" && sent.allSent && DeleteServerMessage(ctx, position)) {
            --position;
            deleted = true;
        }
        if (sent.ok && ctx.font.printMode == 1)
            PrintForwardText(ctx, faxText);
    }
    if (ctx.font.printMode == 2)
        PrintForwardText(ctx, faxText);
    return deleted;
}

} // namespace

bool DeleteServerMessage(EngineContext& ctx, int position)
{
    ctx.sleep(2000);
    const CurrentAccount& a = ctx.account;
    const AccountFiles files = AccountFiles::forAccount(ctx, a.accountNo);
    const mail::MailResult result = mailLibrary(ctx).RcvMail(
        a.popServerArg, a.popUserId, a.popPasswordArg,
        QStringLiteral("DELE ") + QString::number(position), files.workFolder + u'>');
    if (!result.isError())
        return true;
    ctx.writeLog(a.accountName, result.text, QString());
    ctx.showLog();
    return false;
}

bool ReceiveAndForward(EngineContext& ctx, const QString& accountNo)
{
    try {
        const CurrentAccount& a = ctx.account;
        const AccountFiles files = AccountFiles::forAccount(ctx, accountNo);
        PrepareAccountDataFolder(files);

        int position = 0;
        const mail::MailResult box =
            mailLibrary(ctx).RcvMail(a.popServerArg, a.popUserId, a.popPasswordArg,
                                     QStringLiteral("SAVEALL"), files.workFolder + u'>');
        const QString offText = a.forwardState == u"0" ? QStringLiteral("転送オフ") : QString();
        if (box.isList) {
            detailLine(ctx, QStringLiteral("受信メールあり"), offText);
            ReceivedList received(files.receivedList);
            MessageRun run(ctx, accountNo, files, received);
            for (const QString& messageFile : box.items) {
                if (ctx.shouldStop())
                    break;
                ++position;
                run.process(messageFile, position);
            }
        } else if (box.text.isEmpty()) {
            detailLine(ctx, QStringLiteral("受信メールなし"), offText);
            ClearAccountFiles(files);
        } else {
            ctx.writeLog(a.accountName, box.text, QString());
            ctx.showLog();
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
