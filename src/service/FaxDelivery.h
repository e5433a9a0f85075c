#pragma once

#include <QString>
#include <QStringList>

namespace qm::service {

struct EngineContext;

// Fax and print steps of the forwarding cycle. The cycle decides when to call them (fax
// only when ctx.faxPlatform is true); these routines log their own results.

// Whether this machine can send faxes (sets EngineContext::faxPlatform at start-up).
bool DetectFaxPlatform(EngineContext& ctx);

// The text fax and/or the attachment faxes of one message. senderAddress is only used in
// log lines. False only after a run-time error.
bool FaxMessage(EngineContext& ctx, const QString& accountNo, const QStringList& faxNumbers,
                const QString& faxText, const QString& senderAddress,
                const QStringList& attachmentPaths);

// Faxes an attachment kept from an earlier message (looked up by its number in the
// account's attachment index) and answers the requester by mail.
bool FaxStoredAttachment(EngineContext& ctx, const QString& requestingSender,
                         const QString& faxNumbers, const QString& requestedNumber);

// Prints the text on the default printer in the account's print font.
void PrintForwardText(EngineContext& ctx, const QString& text);

} // namespace qm::service
