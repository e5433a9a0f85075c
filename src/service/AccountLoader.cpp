#include "service/AccountLoader.h"

#include "service/Numeric.h"
#include "service/RuntimeError.h"

namespace qm::service {

namespace {

const QString kTab = QStringLiteral("\t");

QStringList conditionList(const QString& field)
{
    return field.split(u'\t');
}

} // namespace

QString DropTrailingTab(const QString& field)
{
    return field.endsWith(u'\t') ? field.left(field.size() - 1) : field;
}

CurrentAccount LoadCurrentAccount(const AccountRecord& r)
{
    CurrentAccount a;
    a.accountNo = r.AccountNo;
    a.accountName = r.AccountName;
    // Off states ("-1", "-2") and anything the writers never produce count as "0", so a
    // stray value never forwards and never borrows the state of the line before.
    a.forwardState =
        (r.ForwardState == u"1" || r.ForwardState == u"2") ? r.ForwardState : QStringLiteral("0");
    a.remoteAddress = r.RemoteAddress;
    a.sourceAddress = r.SourceAddress;
    a.popUserId = r.PopUserId;
    a.popPassword = r.PopPassword;
    a.popServer = r.PopServer;
    a.popPort = r.PopPort;
    a.useApop = r.UseApop;
    a.smtpServer = r.SmtpServer;
    a.smtpPort = r.SmtpPort;
    a.useSmtpAuth = r.UseSmtpAuth;
    a.smtpAuthMethod = r.SmtpAuthMethod;
    a.smtpUser = r.SmtpUser;
    a.smtpPassword = r.SmtpPassword;
    a.forwardTo = DropTrailingTab(r.ForwardTo);
    a.forwardCc = DropTrailingTab(r.ForwardCc);
    a.forwardBcc = DropTrailingTab(r.ForwardBcc);
    a.faxNumbers = DropTrailingTab(r.FaxNumbers);
    a.filterFrom = DropTrailingTab(r.FilterFrom);
    a.filterSubject = DropTrailingTab(r.FilterSubject);
    a.filterBody = DropTrailingTab(r.FilterBody);
    a.forwardAsSender = r.ForwardAsSender;
    a.phoneEditing = r.PhoneEditing;
    // Checked by the same rule as the account editor's, so a value the editor let through
    // (phone editing off) never stops the account.
    const std::optional<SplitValues> split = splitValuesOf(r);
    if (!split)
        throw RuntimeError(TypeMismatchText());
    a.splitChars = split->chars;
    a.splitMaxMails = split->maxMails;
    a.numberSubjects = r.NumberSubjects;
    a.dropSpaces = r.DropSpaces;
    a.dropWideSpaces = r.DropWideSpaces;
    a.dropTabs = r.DropTabs;
    a.dropLineBreaks = r.DropLineBreaks;
    a.dropSymbols = r.DropSymbols;

    a.popServerArg = a.popPort.isEmpty() ? a.popServer : a.popServer + kTab + a.popPort;
    a.popPasswordArg = a.useApop == u"1" ? QStringLiteral("a ") + a.popPassword : a.popPassword;
    a.smtpServerArg = a.smtpPort.isEmpty() ? a.smtpServer : a.smtpServer + kTab + a.smtpPort;
    if (a.useSmtpAuth == u"1") {
        a.authMethod = a.smtpAuthMethod;
        a.authUser = a.smtpUser;
        a.authPassword = a.smtpPassword;
    } else {
        a.authMethod = QStringLiteral("0");
    }

    a.recipientList = a.forwardTo;
    if (!a.recipientList.isEmpty() && !a.forwardCc.isEmpty())
        a.recipientList += kTab + QStringLiteral("cc") + kTab + a.forwardCc;
    if (!a.recipientList.isEmpty() && !a.forwardBcc.isEmpty())
        a.recipientList += kTab + QStringLiteral("bcc") + kTab + a.forwardBcc;

    // A lone character (say the TAB the editor leaves) is no condition.
    a.conditionFrom = r.FilterFrom.size() > 1;
    a.conditionSubject = r.FilterSubject.size() > 1;
    a.conditionBody = r.FilterBody.size() > 1;
    a.fromList = conditionList(a.filterFrom);
    a.subjectList = conditionList(a.filterSubject);
    a.bodyList = conditionList(a.filterBody);
    return a;
}

} // namespace qm::service
