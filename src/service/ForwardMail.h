#pragma once

#include <QString>
#include <QStringList>

namespace qm::service {

struct EngineContext;

// One received message as the forward step needs it.
struct ForwardInput
{
    QString sender; // the cleaned sender of the message
    QString subject;
    QString body;        // the forward text (after mobile editing)
    QString attachments; // full paths joined by TAB
};

struct ForwardResult
{
    bool ok = true;        // false when the last send ended in a run-time error
    bool allSent = true;   // false when any send (of any part) ended in one
    QString senderAddress; // the address the mail went out from (used by the fax log)
};

// Sends one message on by mail to the current account's recipients: one mail, or numbered
// parts for mobile phones. Logs every result.
ForwardResult ForwardByMail(EngineContext& ctx, const ForwardInput& input,
                            const QString& messageFile);

// The mobile parts of a text: chunks of splitChars characters, at most splitMaxMails of
// them (an empty text is one empty part; no parts when either bound is 0 or less).
QStringList SplitIntoParts(const QString& text, int splitChars, int splitMaxMails);

// One SendMail call with its log line(s); false only after a run-time error.
bool SendForwardMail(EngineContext& ctx, const QString& server, const QString& recipients,
                     const QString& sender, const QString& subject, const QString& body,
                     const QString& attachments, const QString& senderAddress);

// The four advice lines after a "521" refusal.
void LogRefusalAdvice(EngineContext& ctx, const QString& result);

// A plain reply mail through the current account's SMTP server, no authentication.
// A failed send is logged.
void SendReplyMail(EngineContext& ctx, const QString& fromAddress, const QString& toAddress,
                   const QString& subject, const QString& body);

} // namespace qm::service
