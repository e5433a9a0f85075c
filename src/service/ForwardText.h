#pragma once

#include "platform/mail/MailLibrary.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace qm {
struct Account;
struct AccountFiles;
} // namespace qm

namespace qm::service {

struct EngineContext;

// Who sent the message as the fax page, the forward's sender line and the From condition
// read it: the From header's text as a log column would hold it.
QString SenderText(const mail::ReceivedMessage& message);

// The text that is faxed and printed: date, sender, subject, then the body as received.
QString BuildFaxText(const mail::ReceivedMessage& message);
// A mail's sending time as the fax page shows it: the office's local time, in Japanese
// ("2026年12月9日(水) 11:20"); a Date header that does not read as a date stays as it is.
QString FaxDateLine(const mail::ReceivedMessage& message);

// The text of a mail-to-fax request.
QString BuildMailToFaxText(const mail::ReceivedMessage& message);

// Whether the message meets the account's forward conditions (From, then Subject, then Body).
bool MatchesForwardConditions(const Account& account, const mail::ReceivedMessage& message);

// Records each attachment in the attachment index by its 1-based position, so that a later
// mail can ask for it by number.
void RecordAttachments(EngineContext& ctx, const mail::ReceivedMessage& message,
                       const QString& receiveNumber, const AccountFiles& files);

// The decoration entries removed for mobile phones, in their order of removal.
const QStringList& DecorationList();

// Mobile editing of the forward text, by the account's switches; with DropSymbols also the
// account's strings to delete and the attachment list ("<添付ファイル>" and key=name lines).
QString EditForwardText(const Account& account, const QString& body,
                        const QStringList& deleteStrings, const QString& receiveNumber,
                        const QList<mail::ReceivedAttachment>& attachments);

} // namespace qm::service
