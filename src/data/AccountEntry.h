#pragma once

#include "data/AccountRecord.h"
#include "data/AccountSettings.h"
#include "data/MailConnectionFile.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace qm {

// One account as the editor hands it over to be checked and saved: the record with its
// values as typed (list fields one item a line), its print and font row, its fax option and
// its delete strings. Saving brings the record into its stored form.
struct AccountEntry
{
    AccountRecord record;
    FontDataRow font;                           // its AccountNo is taken from the record
    QString faxOption = QStringLiteral("mail"); // "mail" or "attach"
    QStringList deleteStrings;
    MailConnectionValues connection; // its line of Data/MailConn.txt
};

// The entry the editor opens with for a stored record (or a new account's template): list
// fields one item a line, the account's rows of the settings files, or the editor's own
// defaults where it has none.
AccountEntry storedAccountEntry(const AccountRecord& record);

// The values a check can find fault with.
enum class AccountField {
    AccountName,
    SourceAddress,
    PopUserId,
    PopPassword,
    PopServer,
    PopPort,
    SmtpServer,
    SmtpPort,
    SmtpUser,
    SmtpPassword,
    ForwardTo,
    ForwardCc,
    ForwardBcc,
    FaxNumbers,
    PrintFontName,
    PrintFontSize,
    FaxFontName,
    FaxFontSize,
    RemoteAddress,
    FilterFrom,
    FilterSubject,
    FilterBody,
    SplitChars,
    SplitMaxMails,
    DeleteStrings
};

struct AccountProblem
{
    AccountField field;
    QString message; // the editor shows it as it is, titled "アカウント設定"
};

// The editor's checks, in its order: the first problem, or nullopt when the entry can be
// saved. Sources complete, a destination, split values (with phone editing on), then what
// the stored files cannot carry.
std::optional<AccountProblem> validateAccountEntry(const AccountEntry& entry);

} // namespace qm
