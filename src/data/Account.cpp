#include "data/Account.h"

#include "data/AccountRecord.h"
#include "data/MailSecurity.h"

namespace qm {

namespace {

bool isOn(const QString& column)
{
    return column == u"1";
}

// Off states ("-1", "-2") and anything the writers never produce are off, so a stray value
// never forwards.
ForwardState forwardStateOf(const QString& column)
{
    if (column == u"1")
        return ForwardState::Forward;
    if (column == u"2")
        return ForwardState::ForwardAndDelete;
    return ForwardState::Off;
}

// "0" (or anything else) is no authentication.
std::optional<SmtpAuthMethod> smtpAuthMethodOf(const QString& column)
{
    if (column == u"1")
        return SmtpAuthMethod::Plain;
    if (column == u"2")
        return SmtpAuthMethod::Login;
    if (column == u"3")
        return SmtpAuthMethod::CramMd5;
    return std::nullopt;
}

// The editor leaves one TAB after the last item of a list.
QString dropTrailingTab(const QString& column)
{
    return column.endsWith(u'\t') ? column.left(column.size() - 1) : column;
}

QStringList addressList(const QString& column)
{
    QStringList items;
    for (const QString& item : column.split(u'\t')) {
        if (!item.trimmed().isEmpty())
            items << item.trimmed();
    }
    return items;
}

// A lone character (say the TAB the editor leaves) is no condition; items are kept as they
// are, spaces and all.
QStringList conditionList(const QString& column)
{
    if (column.size() <= 1)
        return {};
    return dropTrailingTab(column).split(u'\t');
}

} // namespace

std::optional<Account> Account::fromRecord(const AccountRecord& r)
{
    // Checked by the same rule as the account editor's, so a value the editor let through
    // (phone editing off) never stops the account.
    const std::optional<SplitValues> split = splitValuesOf(r);
    if (!split)
        return std::nullopt;
    Account a;
    a.accountNo = r.AccountNo;
    a.accountName = r.AccountName;
    a.forwardState = forwardStateOf(r.ForwardState);
    a.remoteAddress = r.RemoteAddress;
    a.sourceAddress = r.SourceAddress;

    a.pop.server = ServerAddress::fromColumns(r.PopServer, r.PopPort, kPop3DefaultPort);
    a.pop.user = r.PopUserId;
    a.pop.password = r.PopPassword;
    a.pop.apop = isOn(r.UseApop);
    a.smtp.server = ServerAddress::fromColumns(r.SmtpServer, r.SmtpPort, kSmtpDefaultPort);
    a.smtpUser = r.SmtpUser;
    if (isOn(r.UseSmtpAuth)) {
        if (const auto method = smtpAuthMethodOf(r.SmtpAuthMethod))
            a.smtp.login = SmtpLogin{r.SmtpUser, r.SmtpPassword, *method, std::nullopt};
    }

    a.to = addressList(r.ForwardTo);
    if (!a.to.isEmpty()) {
        a.cc = addressList(r.ForwardCc);
        a.bcc = addressList(r.ForwardBcc);
    }
    a.faxNumbers = dropTrailingTab(r.FaxNumbers).split(u'\t', Qt::SkipEmptyParts);
    a.fromConditions = conditionList(r.FilterFrom);
    a.subjectConditions = conditionList(r.FilterSubject);
    a.bodyConditions = conditionList(r.FilterBody);

    a.forwardAsSender = isOn(r.ForwardAsSender);
    a.phoneEditing = isOn(r.PhoneEditing);
    a.splitChars = split->chars;
    a.splitMaxMails = split->maxMails;
    a.numberSubjects = isOn(r.NumberSubjects);
    a.dropSpaces = isOn(r.DropSpaces);
    a.dropWideSpaces = isOn(r.DropWideSpaces);
    a.dropTabs = isOn(r.DropTabs);
    a.dropLineBreaks = isOn(r.DropLineBreaks);
    a.dropSymbols = isOn(r.DropSymbols);
    return a;
}

void Account::applySecurity(const MailSecurity& s)
{
    pop.security = s.pop;
    pop.trust = s.popTrust;
    smtp.security = s.smtp;
    smtp.trust = s.smtpTrust;
    smtp.messagesPerConnection = s.smtpPerConnection;
    smtp.sizeLimit = s.smtpSizeLimitKb * 1024;
}

QString forwardStateColumn(ForwardState state)
{
    switch (state) {
    case ForwardState::Forward:
        return QStringLiteral("1");
    case ForwardState::ForwardAndDelete:
        return QStringLiteral("2");
    case ForwardState::Off:
        break;
    }
    return QStringLiteral("0");
}

QString listColumn(const QStringList& items)
{
    return items.join(u'\t');
}

} // namespace qm
