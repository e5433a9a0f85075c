#include "service/ForwardMail.h"

#include "platform/mail/MailLibrary.h"
#include "service/EngineContext.h"
#include "service/RuntimeError.h"

#include <QFile>

namespace qm::service {

namespace {

const QString kTab = QStringLiteral("\t");
const QString kCrLf = QStringLiteral("\r\n");

QString methodWord(const QString& method)
{
    if (method == u"1")
        return QStringLiteral("PLAIN");
    if (method == u"2")
        return QStringLiteral("LOGIN");
    if (method == u"3")
        return QStringLiteral("CRAM-MD5");
    return QString();
}

// The recipients as the log shows them: list items separated by " / ", the reply-to
// element left out.
QString displayRecipients(const QString& recipients)
{
    QString shown = recipients;
    shown.replace(kTab, QStringLiteral(" / "));
    const qsizetype cut = shown.indexOf(u'>');
    return cut < 0 ? shown : shown.left(cut);
}

// A refusal carries the server's three-digit reply code. A result without one means the
// mail never reached a server's verdict (no connection, time-out, broken session): that is
// the send failing, not the server saying no, and the message is tried again next cycle.
bool isServerReply(const QString& result)
{
    return result.size() >= 3 && result.at(0).isDigit() && result.at(1).isDigit() &&
           result.at(2).isDigit();
}

QString callSendMail(EngineContext& ctx, const QString& server, const QString& recipients,
                     const QString& sender, const QString& subject, const QString& body,
                     const QString& attachments)
{
    try {
        return ctx.mailLibrary().SendMail(server, recipients, sender, subject, body, attachments);
    } catch (const std::exception& e) {
        throw RuntimeError(QString::fromUtf8(e.what()));
    }
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

bool SendForwardMail(EngineContext& ctx, const QString& server, const QString& recipients,
                     const QString& sender, const QString& subject, const QString& body,
                     const QString& attachments, const QString& senderAddress)
{
    QString result;
    try {
        result = callSendMail(ctx, server, recipients, sender, subject, body, attachments);
        if (!result.isEmpty() && !isServerReply(result))
            throw RuntimeError(result);
    } catch (const RuntimeError& e) {
        ctx.reportError(e.description());
        return false;
    }
    // A 4xx reply is the server asking to come back later: logged, and the message stays
    // unhandled so the next cycle sends it again instead of dropping it.
    if (result.startsWith(u'4')) {
        ctx.writeLog(ctx.account.accountName, senderAddress, result);
        ctx.showLog();
        return false;
    }
    if (result.isEmpty()) {
        ctx.writeLog(ctx.account.accountName, senderAddress, displayRecipients(recipients));
    } else {
        ctx.writeLog(ctx.account.accountName, senderAddress, result);
        LogRefusalAdvice(ctx, result);
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
                            const QString& messageFile)
{
    const CurrentAccount& a = ctx.account;
    ForwardResult outcome;

    const bool asSender = a.forwardAsSender == u"1";
    QString body = input.body;
    if (asSender) {
        outcome.senderAddress = input.sender;
    } else {
        outcome.senderAddress = a.sourceAddress;
        body = input.sender + kCrLf + input.body;
    }

    QString recipients;
    if (!a.recipientList.isEmpty()) {
        recipients = a.recipientList;
        if (!input.sender.isEmpty())
            recipients += kTab + QStringLiteral(">reply-to: ") + input.sender;
    }

    QString senderString;
    const QString word = methodWord(a.authMethod);
    if (!outcome.senderAddress.isEmpty()) {
        senderString = outcome.senderAddress;
        if (a.useSmtpAuth == u"1" && !word.isEmpty())
            senderString += kTab + a.authUser + u':' + a.authPassword + kTab + word;
    }

    const bool mobile = a.phoneEditing == u"1";
    const QString attachments = mobile ? QString() : input.attachments;

    // Nowhere to send: nothing is sent or logged, and the fax step still runs.
    if (recipients.isEmpty() || a.smtpServerArg.isEmpty() || senderString.isEmpty())
        return outcome;

    bool anyFailed = false;
    if (!mobile || a.splitChars <= 0) {
        outcome.ok = SendForwardMail(ctx, a.smtpServerArg, recipients, senderString, input.subject,
                                     body, attachments, outcome.senderAddress);
        anyFailed = !outcome.ok;
    } else {
        const QStringList parts = SplitIntoParts(input.body, a.splitChars, a.splitMaxMails);
        const QString total = QString::number(parts.size());
        for (qsizetype k = 0; k < parts.size(); ++k) {
            QString subject = input.subject;
            if (a.numberSubjects == u"1")
                subject += u' ' + QString::number(k + 1) + u'/' + total;
            const QString partBody = asSender ? parts.at(k) : input.sender + kCrLf + parts.at(k);
            outcome.ok = SendForwardMail(ctx, a.smtpServerArg, recipients, senderString, subject,
                                         partBody, QString(), outcome.senderAddress);
            anyFailed = anyFailed || !outcome.ok;
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
    QString result;
    try {
        result = callSendMail(ctx, ctx.account.smtpServerArg, toAddress, fromAddress, subject, body,
                              QString());
    } catch (const RuntimeError& e) {
        result = e.description();
    }
    if (result.isEmpty())
        return;
    ctx.writeLog(ctx.account.accountName, toAddress, result);
    ctx.showLog();
}

} // namespace qm::service
