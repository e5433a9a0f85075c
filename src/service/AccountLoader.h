#pragma once

#include "data/AccountRecord.h"
#include "data/MailSecurity.h"
#include "service/CurrentAccount.h"

namespace qm::service {

// Loads one account line into the current account with the derived values.
// Throws RuntimeError when phone editing is on and SplitChars or SplitMaxMails is neither
// empty nor a 16-bit number (splitValuesOf).
CurrentAccount LoadCurrentAccount(const AccountRecord& record);

// Puts the account's connection settings (Data/MailConn.txt) into its POP3 and SMTP servers.
void ApplyMailSecurity(CurrentAccount& account, const MailSecurity& security);

// Removes exactly one trailing TAB.
QString DropTrailingTab(const QString& field);

} // namespace qm::service
