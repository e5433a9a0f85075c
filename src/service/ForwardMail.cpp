#include "service/ForwardMail.h"

#include "data/MailSecurity.h"
#include "platform/mail/MailLibrary.h"
#include "service/EngineContext.h"
#include "service/RuntimeError.h"

#include <QFile>
#include <QFileInfo>

namespace qm::service {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// The recipients as the log shows them: list items separated by " / ", cc and bcc as
// items of their own; the reply-to item is not shown but leaves its separator.
QString displayRecipients(const mail::OutgoingMail& mail)
{
    QStringList items = mail.to;
    if (!mail.cc.isEmpty())
        items << QStringLiteral("cc") << mail.cc;
    if (!mail.bcc.isEmpty())
        items << QStringLiteral("bcc") << mail.bcc;
    return items.join(QStringLiteral(" / ")) + QStringLiteral(" / ");
}

// A refusal carries the server's three-digit reply code. A result without one means the
// mail never reached a server's verdict (no connection, time-out, broken session): that is
// the send failing, not the server saying no, and the message is tried again next cycle.
bool isServerReply(const QString& result)
{
    return result.size() >= 3 && result.at(0).isDigit() && result.at(1).isDigit() &&
           result.at(2).isDigit();
}

mail::SendResult callSendMail(EngineContext& ctx, const mail::SmtpServer& server,
                              const mail::OutgoingMail& mail)
{
    try {
        return ctx.mailLibrary().SendMail(server, mail);
    } catch (const std::exception& e) {
        throw RuntimeError(QString::fromUtf8(e.what()));
    }
}

// Kinds of once-a-cycle notices.
const QString kSmtpHeld = QStringLiteral("smtp-held");
const QString kSmtpInClear = QStringLiteral("smtp-in-clear");

QString sizeText(qint64 bytes)
{
    constexpr qint64 kMb = 1024 * 1024;
    if (bytes < kMb)
        return QStringLiteral("%1 KB").arg(std::max<qint64>(1, (bytes + 1023) / 1024));
    if (bytes < 10 * kMb)
        return QStringLiteral("%1 MB").arg(double(bytes) / double(kMb), 0, 'f', 1);
    return QStringLiteral("%1 MB").arg((bytes + kMb / 2) / kMb);
}

// The same mail without its files, a line for each left-out file in the text.
mail::OutgoingMail withoutAttachments(const mail::OutgoingMail& mail, QStringList* leftOut)
{
    mail::OutgoingMail text = mail;
    text.attachments.clear();
    QString lines;
    for (const QString& path : mail.attachments) {
        const QFileInfo info(path);
        const QString item = info.fileName() + QStringLiteral(" (") + sizeText(info.size()) + u')';
        *leftOut << item;
        lines += QStringLiteral("<添付ファイル省略> ") + item + kCrLf;
    }
    if (!text.body.isEmpty() && !text.body.endsWith(kCrLf))
        text.body += kCrLf;
    text.body += kCrLf + lines;
    return text;
}

// What the user must fix when a mail could not even be offered to the server.
QString heldAdvice(mail::SendResult::NotSent why)
{
    if (why == mail::SendResult::NotSent::Login)
        return QStringLiteral(
            "未送信のまま保留しました。【アカウントの編集】でSMTP認証のユーザー名と"
            "パスワードを確認してください");
    return QStringLiteral("未送信のまま保留しました。【アカウントの編集】で接続の暗号化と信頼する"
                          "証明書を確認してください");
}

} // namespace

QStringList SplitIntoParts(const QString& text, int splitChars, int splitMaxMails)
{
    QStringList parts;
    if (splitChars <= 0 || splitMaxMails <= 0)
        return parts;
    // Characters, not UTF-16 units: a chunk never ends inside a surrogate pair.
    const QList<uint> chars = text.toUcs4();
    const qsizetype total = chars.size();
    const qsizetype needed = total == 0 ? 1 : (total + splitChars - 1) / splitChars;
    const qsizetype count = std::min<qsizetype>(needed, splitMaxMails);
    for (qsizetype k = 0; k < count; ++k) {
        const qsizetype start = k * qsizetype(splitChars);
        const qsizetype length =
            std::min<qsizetype>(splitChars, std::max<qsizetype>(0, total - start));
        const char32_t* data = reinterpret_cast<const char32_t*>(chars.constData()) + start;
        parts << QString::fromUcs4(data, length);
    }
    return parts;
}

bool SendForwardMail(EngineContext& ctx, const mail::OutgoingMail& mail,
                     const QString& senderAddress)
{
    const QString& account = ctx.account.accountName;
    const QString& accountNo = ctx.account.accountNo;
    // A login refused once this cycle is refused for every mail: trying each one again would
    // only earn the account a lock-out at the provider.
    if (ctx.noticesThisCycle.contains(accountNo + u'\t' + kSmtpHeld))
        return false;
    mail::SendResult result;
    try {
        result = callSendMail(ctx, ctx.account.smtp, mail);
        if (result.passwordInClear)
            ctx.logOncePerCycle(accountNo, kSmtpInClear, account,
                                QStringLiteral("SMTPのパスワードを暗号化せずに送りました"),
                                QStringLiteral("【アカウントの編集】で接続の暗号化を"
                                               "「暗号化必須」にしてください"));
        // Not a verdict on the mail: it stays unhandled and goes once the account is mended.
        if (result.notSent == mail::SendResult::NotSent::Login ||
            result.notSent == mail::SendResult::NotSent::Tls) {
            ctx.logOncePerCycle(accountNo, kSmtpHeld, account, result.error,
                                heldAdvice(result.notSent));
            if (result.refusedCertificate)
                recordRefusedCertificate(
                    accountNo, true,
                    {result.refusedCertificate->fingerprint, result.refusedCertificate->subject});
            return false;
        }
        // Too big for the server or the account's bound: the text goes, naming the files.
        if (result.tooLarge && !mail.attachments.isEmpty()) {
            QStringList leftOut;
            const mail::OutgoingMail text = withoutAttachments(mail, &leftOut);
            ctx.writeLog(account, senderAddress,
                         result.error + QStringLiteral(" 添付ファイルを省いて送ります: ") +
                             leftOut.join(QStringLiteral(", ")));
            return SendForwardMail(ctx, text, senderAddress);
        }
        if (!result.accepted() && !isServerReply(result.error) && !result.tooLarge)
            throw RuntimeError(result.error);
    } catch (const RuntimeError& e) {
        // A server that cannot be reached fails every message alike: one line a cycle.
        ++ctx.errorsReported;
        ctx.logFault(QStringLiteral("send"), e.description());
        return false;
    }
    // A 4xx reply is the server asking to come back later: logged, and the message stays
    // unhandled so the next cycle sends it again instead of dropping it.
    if (result.error.startsWith(u'4')) {
        ctx.writeLog(account, senderAddress, result.error);
        ctx.showLog();
        return false;
    }
    if (result.accepted()) {
        ctx.writeLog(account, senderAddress, displayRecipients(mail));
        // The others got it; the user needs to see which address to fix.
        for (const QString& refused : result.refused)
            ctx.writeLog(account, senderAddress, QStringLiteral("宛先エラー ") + refused);
    } else {
        ctx.writeLog(account, senderAddress, result.error);
        LogRefusalAdvice(ctx, result.error);
    }
    ctx.showLog();
    return true;
}

void LogRefusalAdvice(EngineContext& ctx, const QString& result)
{
    if (!result.startsWith(QStringLiteral("521")))
        return;
    ctx.writeLog(ctx.account.accountName,
                 QStringLiteral("プロバイダは、他のドメインでのメール送信を許可していません。"),
                 QString());
    ctx.writeLog(QString(),
                 QStringLiteral("【アカウントの編集】の【アカウント】で【SMTP認証】をオンにする"
                                "（プロバイダが対応している認証方式）"),
                 QString());
    ctx.writeLog(QString(), QStringLiteral("　　　　又は"), QString());
    ctx.writeLog(QString(),
                 QStringLiteral("【アカウントの編集】の【転送条件】で【差出人のアドレスで送信する】"
                                "をオフにしてください。"),
                 QString());
}

ForwardResult ForwardByMail(EngineContext& ctx, const ForwardInput& input,
                            const QString& messageFile, const QSet<int>& sentBefore)
{
    const Account& a = ctx.account;
    ForwardResult outcome;

    // A message without a sender that could send it (no From at all, or one no server takes)
    // goes out from the account's own address, with the sender line, rather than not at all.
    const bool plainSender = mail::isPlainAddress(input.from.address);
    const bool asSender = a.forwardAsSender && plainSender;
    outcome.senderAddress = asSender ? input.from.display() : a.sourceAddress;
    // Nowhere to send: nothing is sent or logged, and the fax step still runs.
    if (!a.hasRecipients() || a.smtp.server.host.isEmpty() || outcome.senderAddress.isEmpty())
        return outcome;

    // Every part of a forward without the sender's address names the sender first.
    const QString senderLine = asSender ? QString() : input.sender + kCrLf;
    const bool mobile = a.phoneEditing;
    mail::OutgoingMail mail;
    // The name quoted: no display name can turn into the address the mail goes out from.
    mail.from = asSender ? input.from.headerText() : a.sourceAddress;
    mail.to = a.to;
    mail.cc = a.cc;
    mail.bcc = a.bcc;
    if (plainSender)
        mail.replyTo = input.from.headerText();

    bool anyFailed = false;
    if (!mobile || a.splitChars <= 0) {
        mail.subject = input.subject;
        mail.body = senderLine + input.body;
        // A mobile forward never carries files; its text lists them instead.
        if (!mobile)
            mail.attachments = input.attachments;
        if (!sentBefore.contains(1)) {
            outcome.ok = SendForwardMail(ctx, mail, outcome.senderAddress);
            anyFailed = !outcome.ok;
            if (outcome.ok)
                outcome.partsSent.insert(1);
        }
    } else {
        const QStringList parts = SplitIntoParts(input.body, a.splitChars, a.splitMaxMails);
        const QString total = QString::number(parts.size());
        for (qsizetype k = 0; k < parts.size(); ++k) {
            const int number = int(k + 1);
            if (sentBefore.contains(number))
                continue;
            mail.subject = input.subject;
            if (a.numberSubjects)
                mail.subject += u' ' + QString::number(number) + u'/' + total;
            mail.body = senderLine + parts.at(k);
            outcome.ok = SendForwardMail(ctx, mail, outcome.senderAddress);
            anyFailed = anyFailed || !outcome.ok;
            if (outcome.ok)
                outcome.partsSent.insert(number);
            ctx.sleep(2000);
        }
    }
    // A send that failed outright: the stored copy goes, so the message is not recorded
    // as handled and the next cycle takes it again.
    outcome.allSent = !anyFailed;
    if (anyFailed && !messageFile.isEmpty() && QFile::exists(messageFile))
        QFile::remove(messageFile);
    return outcome;
}

void SendReplyMail(EngineContext& ctx, const QString& fromAddress, const QString& toAddress,
                   const QString& subject, const QString& body)
{
    mail::OutgoingMail mail;
    mail.from = fromAddress;
    mail.to = QStringList{toAddress};
    mail.subject = subject;
    mail.body = body;
    // Replies go without authentication.
    mail::SmtpServer server = ctx.account.smtp;
    server.login.reset();
    QString error;
    try {
        error = callSendMail(ctx, server, mail).error;
    } catch (const RuntimeError& e) {
        error = e.description();
    }
    if (error.isEmpty())
        return;
    ctx.writeLog(ctx.account.accountName, toAddress, error);
    ctx.showLog();
}

} // namespace qm::service
