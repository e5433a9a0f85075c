#pragma once

#include "data/FaxConfig.h"

#include <QString>
#include <QStringList>

namespace qm::mail {
struct MailAddress;
}

namespace qm::service {

struct EngineContext;

// Fax and print steps of the forwarding cycle. The cycle decides when to call them (fax
// only when ctx.faxPlatform is true); these routines log their own results.

// Whether this machine can send faxes (sets EngineContext::faxPlatform at start-up).
bool DetectFaxPlatform(EngineContext& ctx);

// Why the number may not be dialled under the dialling rules of Data/FaxPath.txt, naming the
// rule; "" when it may (or when it is no fax number at all, which the fax step refuses itself).
QString DialRefusal(EngineContext& ctx, const QString& number, FaxNumberSource source);

// The text fax and/or the attachment faxes of one message to the numbers the dialling rules
// allow (each refused number is a log line). A job a mail chose (source Mail) also counts
// against its sender's day cap; senderAddress is that sender. False only after a run-time
// error.
bool FaxMessage(EngineContext& ctx, const QString& accountNo, const QStringList& faxNumbers,
                const QString& faxText, const QString& senderAddress,
                const QStringList& attachmentPaths,
                FaxNumberSource source = FaxNumberSource::Account);

// Faxes an attachment kept from an earlier message (looked up by its number in the
// account's attachment index) and answers the requester by mail. Only the account's own
// addresses may ask, within the dialling rules and the day's cap for mail requests.
bool FaxStoredAttachment(EngineContext& ctx, const mail::MailAddress& requester,
                         const QString& faxNumbers, const QString& requestedNumber);

} // namespace qm::service
