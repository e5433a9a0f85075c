#include "service/AccountLoader.h"

#include "service/Numeric.h"
#include "service/RuntimeError.h"

namespace qm::service {

namespace {

QStringList conditionList(const QString& field)
{
    return field.split(u'\t');
}

QStringList addressList(const QString& field)
{
    QStringList items;
    for (const QString& item : field.split(u'\t')) {
        if (!item.trimmed().isEmpty())
            items << item.trimmed();
    }
    return items;
}

// "0" (or anything else) is no authentication.
std::optional<mail::SmtpAuthMethod> smtpAuthMethod(const QString& column)
{
    if (column == u"1")
        return mail::SmtpAuthMethod::Plain;
    if (column == u"2")
        return mail::SmtpAuthMethod::Login;
    if (column == u"3")
        return mail::SmtpAuthMethod::CramMd5;
    return std::nullopt;
}

} // namespace

void ApplyMailSecurity(CurrentAccount& a, const MailSecurity& s)
{
    a.pop.security = s.pop;
    a.pop.trust = s.popTrust;
    a.smtp.security = s.smtp;
    a.smtp.trust = s.smtpTrust;
    a.smtp.messagesPerConnection = s.smtpPerConnection;
    a.smtp.sizeLimit = s.smtpSizeLimitKb * 1024;
}

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

    a.pop.server = mail::ServerAddress::fromColumns(a.popServer, a.popPort, mail::kPop3DefaultPort);
    a.pop.user = a.popUserId;
    a.pop.password = a.popPassword;
    a.pop.apop = a.useApop == u"1";
    a.smtp.server =
        mail::ServerAddress::fromColumns(a.smtpServer, a.smtpPort, mail::kSmtpDefaultPort);
    if (a.useSmtpAuth == u"1") {
        if (const auto method = smtpAuthMethod(a.smtpAuthMethod))
            a.smtp.login = mail::SmtpLogin{a.smtpUser, a.smtpPassword, *method};
    }

    a.to = addressList(a.forwardTo);
    if (!a.to.isEmpty()) {
        a.cc = addressList(a.forwardCc);
        a.bcc = addressList(a.forwardBcc);
    }

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
