#pragma once

#include "platform/mail/MailLibrary.h"

#include <QSet>
#include <QString>
#include <QStringList>

namespace qm::service {

struct EngineContext;

// One received message as the forward step needs it.
struct ForwardInput
{
    QString sender;         // the cleaned sender of the message, for the text
    mail::MailAddress from; // who sent it, for the From and Reply-To headers
    QString subject;
    QString body;            // the forward text (after mobile editing)
    QStringList attachments; // full paths
};

struct ForwardResult
{
    bool ok = true;        // false when the last send ended in a run-time error
    bool allSent = true;   // false when any send (of any part) ended in one
    QSet<int> partsSent;   // 1-based parts that went out now (a single mail is part 1)
    QString senderAddress; // the address the mail went out from (used by the fax log)
};

// Sends one message on by mail to the current account's recipients: one mail, or numbered
// parts for mobile phones, leaving out the parts sent by an earlier try. Logs every result.
ForwardResult ForwardByMail(EngineContext& ctx, const ForwardInput& input,
                            const QString& messageFile, const QSet<int>& sentBefore = {});

// The mobile parts of a text: chunks of splitChars characters, at most splitMaxMails of
// them (an empty text is one empty part; no parts when either bound is 0 or less).
QStringList SplitIntoParts(const QString& text, int splitChars, int splitMaxMails);

// One send through the current account's SMTP server with its log line(s); false only
// after a run-time error or a reply asking to come back later.
bool SendForwardMail(EngineContext& ctx, const mail::OutgoingMail& mail,
                     const QString& senderAddress);

// The four advice lines after a "521" refusal.
void LogRefusalAdvice(EngineContext& ctx, const QString& result);

// A plain reply mail through the current account's SMTP server, no authentication.
// A failed send is logged.
void SendReplyMail(EngineContext& ctx, const QString& fromAddress, const QString& toAddress,
                   const QString& subject, const QString& body);

} // namespace qm::service
