#pragma once

#include "service/ParsedMessage.h"

#include <QString>
#include <QStringList>

namespace qm {
struct Account;
struct AccountFiles;
} // namespace qm

namespace qm::service {

struct EngineContext;

// The text that is faxed and printed: date, sender, subject, then the body as received.
QString BuildFaxText(const ParsedMessage& message);
// A mail's Date header as the fax page shows it: the office's local time, in Japanese
// ("2026年12月9日(水) 11:20"); a header that does not read as a date stays as it is.
QString FaxDateLine(const QString& header);

// The text of a mail-to-fax request.
QString BuildMailToFaxText(const ParsedMessage& message);

// Whether the message meets the account's forward conditions (From, then Subject, then Body).
bool MatchesForwardConditions(const Account& account, const ParsedMessage& message);

// The message's attachments, by 1-based position (an element "File: " with no path keeps
// its position with an empty path and name).
struct Attachments
{
    QStringList paths;
    QStringList names;
    QString list() const { return paths.join(u'\t'); }
    bool any() const;
};

// Collects the attachments and records each one in the attachment index.
Attachments CollectAttachments(EngineContext& ctx, const ParsedMessage& message,
                               const QString& receiveNumber, const AccountFiles& files);

// Just the attachment elements (no index lines).
Attachments AttachmentsOf(const ParsedMessage& message);

// The decoration entries removed for mobile phones, in their order of removal.
const QStringList& DecorationList();

// Mobile editing of the forward text, by the account's switches; with DropSymbols also the
// account's strings to delete and the attachment list ("<添付ファイル>" and key=name lines).
QString EditForwardText(const Account& account, const QString& body,
                        const QStringList& deleteStrings, const QString& receiveNumber,
                        const Attachments& attachments);

} // namespace qm::service
