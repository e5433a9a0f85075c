#pragma once

#include "platform/mail/MailLibrary.h"

#include <QString>
#include <QStringList>

namespace qm::service {

// The one account a cycle works on: the columns of its line as loaded, plus what the
// loader derives from them. Overwritten by every account line.
struct CurrentAccount
{
    QString accountNo;
    QString accountName;
    QString forwardState; // "0", "1" or "2" after loading
    QString remoteAddress;
    QString sourceAddress;
    QString popUserId;
    QString popPassword;
    QString popServer;
    QString popPort;
    QString useApop;
    QString smtpServer;
    QString smtpPort;
    QString useSmtpAuth;
    QString smtpAuthMethod;
    QString smtpUser;
    QString smtpPassword;
    QString forwardTo;
    QString forwardCc;
    QString forwardBcc;
    QString faxNumbers;
    QString filterFrom;
    QString filterSubject;
    QString filterBody;
    QString forwardAsSender;
    QString phoneEditing;
    qint16 splitChars = 0;
    qint16 splitMaxMails = 0;
    QString numberSubjects;
    QString dropSpaces;
    QString dropWideSpaces;
    QString dropTabs;
    QString dropLineBreaks;
    QString dropSymbols;

    // Derived when the line is loaded.
    mail::PopAccount pop;
    mail::SmtpServer smtp; // with the login when SMTP authentication is on
    // Forwarding addresses; Cc and Bcc only when there is a To address.
    QStringList to;
    QStringList cc;
    QStringList bcc;
    bool conditionFrom = false;
    bool conditionSubject = false;
    bool conditionBody = false;
    QStringList fromList;
    QStringList subjectList;
    QStringList bodyList;

    bool forwards() const { return forwardState == u"1" || forwardState == u"2"; }
    bool hasRecipients() const { return !to.isEmpty(); }
};

} // namespace qm::service
