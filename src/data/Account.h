#pragma once

#include "data/MailServer.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <optional>

namespace qm {

struct AccountRecord;
struct MailSecurity;

// Whether and how an account forwards its mail.
enum class ForwardState {
    Off,              // received and logged, not forwarded
    Forward,          // forwarded, the mail stays on the server
    ForwardAndDelete, // forwarded, then deleted from the server
};

// One account as the service works with it: a line of the account file read into values.
struct Account
{
    QString accountNo; // "01".."99"
    QString accountName;
    ForwardState forwardState = ForwardState::Off;
    QString remoteAddress; // remote-settings mails come from here
    QString sourceAddress; // forwards and replies go out from here

    PopAccount pop;
    SmtpServer smtp;  // with the login when SMTP authentication is on
    QString smtpUser; // the column as stored, whether authentication is on or not

    // Forwarding addresses; Cc and Bcc only when there is a To address.
    QStringList to;
    QStringList cc;
    QStringList bcc;
    QStringList faxNumbers;
    // Forward conditions: a mail forwards when any item occurs in its sender, subject or
    // body; with all three empty every mail forwards.
    QStringList fromConditions;
    QStringList subjectConditions;
    QStringList bodyConditions;

    bool forwardAsSender = false;
    bool phoneEditing = false;
    qint16 splitChars = 0; // 0 unless phone editing is on
    qint16 splitMaxMails = 0;
    bool numberSubjects = false;
    bool dropSpaces = false;
    bool dropWideSpaces = false;
    bool dropTabs = false;
    bool dropLineBreaks = false;
    bool dropSymbols = false;

    bool forwards() const { return forwardState != ForwardState::Off; }
    bool hasRecipients() const { return !to.isEmpty(); }
    bool hasConditions() const
    {
        return !fromConditions.isEmpty() || !subjectConditions.isEmpty() ||
               !bodyConditions.isEmpty();
    }

    // The account a record stands for. nullopt when phone editing is on and a split column
    // holds no 16-bit number (splitValuesOf): such an account is not served.
    static std::optional<Account> fromRecord(const AccountRecord& record);

    // Puts the account's connection settings (Data/MailConn.txt) into its servers.
    void applySecurity(const MailSecurity& security);
};

// How the account file stores a forward state (the editor's own "-1" and "-2" read as Off).
QString forwardStateColumn(ForwardState state);
// How the account file stores a list column: the items joined by TAB.
QString listColumn(const QStringList& items);

} // namespace qm
