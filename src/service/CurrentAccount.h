#pragma once

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
    QString popServerArg;   // server, or server TAB port
    QString popPasswordArg; // "a " + password for APOP
    QString smtpServerArg;  // server, or server TAB port
    QString authMethod;     // "0" when authentication is off
    QString authUser;
    QString authPassword;
    QString recipientList; // To, then TAB "cc" TAB ..., TAB "bcc" TAB ...
    bool conditionFrom = false;
    bool conditionSubject = false;
    bool conditionBody = false;
    QStringList fromList;
    QStringList subjectList;
    QStringList bodyList;

    bool forwards() const { return forwardState == u"1" || forwardState == u"2"; }
};

} // namespace qm::service
