#include "data/AccountRecord.h"

#include "data/Numbers.h"
#include "data/SettingsLine.h"

#include <array>

namespace qm {

namespace {

using Member = QString AccountRecord::*;

constexpr std::array<Member, AccountRecord::kColumnCount> kMembers = {
    &AccountRecord::AccountNo,      &AccountRecord::AccountName,    &AccountRecord::ForwardState,
    &AccountRecord::RemoteAddress,  &AccountRecord::SourceAddress,  &AccountRecord::PopUserId,
    &AccountRecord::PopPassword,    &AccountRecord::PopServer,      &AccountRecord::PopPort,
    &AccountRecord::UseApop,        &AccountRecord::SmtpServer,     &AccountRecord::SmtpPort,
    &AccountRecord::UseSmtpAuth,    &AccountRecord::SmtpAuthMethod, &AccountRecord::SmtpUser,
    &AccountRecord::SmtpPassword,   &AccountRecord::ForwardTo,      &AccountRecord::ForwardCc,
    &AccountRecord::ForwardBcc,     &AccountRecord::FaxNumbers,     &AccountRecord::FilterFrom,
    &AccountRecord::FilterSubject,  &AccountRecord::FilterBody,     &AccountRecord::ForwardAsSender,
    &AccountRecord::PhoneEditing,   &AccountRecord::SplitChars,     &AccountRecord::SplitMaxMails,
    &AccountRecord::NumberSubjects, &AccountRecord::DropSpaces,     &AccountRecord::DropWideSpaces,
    &AccountRecord::DropTabs,       &AccountRecord::DropLineBreaks, &AccountRecord::DropSymbols,
};

constexpr std::array<const char*, AccountRecord::kColumnCount> kNames = {
    "AccountNo",    "AccountName",    "ForwardState",   "RemoteAddress",   "SourceAddress",
    "PopUserId",    "PopPassword",    "PopServer",      "PopPort",         "UseApop",
    "SmtpServer",   "SmtpPort",       "UseSmtpAuth",    "SmtpAuthMethod",  "SmtpUser",
    "SmtpPassword", "ForwardTo",      "ForwardCc",      "ForwardBcc",      "FaxNumbers",
    "FilterFrom",   "FilterSubject",  "FilterBody",     "ForwardAsSender", "PhoneEditing",
    "SplitChars",   "SplitMaxMails",  "NumberSubjects", "DropSpaces",      "DropWideSpaces",
    "DropTabs",     "DropLineBreaks", "DropSymbols",
};

// Columns an appended record writes as bare numbers: ForwardState, the check boxes and
// SmtpAuthMethod.
bool isBareWhenAppended(int col)
{
    return !AccountRecord::columnChoices(col).isEmpty();
}

AccountRecord templateRecord(const QString& no, const QString& name, const QString& state)
{
    AccountRecord r;
    r.AccountNo = no;
    r.AccountName = name;
    r.ForwardState = state;
    r.PopPort = QStringLiteral("110");
    r.UseApop = QStringLiteral("0");
    r.SmtpPort = QStringLiteral("25");
    r.UseSmtpAuth = QStringLiteral("0");
    r.SmtpAuthMethod = QStringLiteral("2");
    r.ForwardAsSender = QStringLiteral("1");
    r.PhoneEditing = QStringLiteral("0");
    r.NumberSubjects = QStringLiteral("0");
    r.DropSpaces = r.DropWideSpaces = r.DropTabs = r.DropLineBreaks = r.DropSymbols =
        QStringLiteral("1");
    return r;
}

// Template lines: columns 0 and 1 quoted, every other value bare, empty ones as nothing.
QString templateLine(const AccountRecord& r)
{
    QList<LineField> fields;
    const QStringList values = r.toFields();
    for (int i = 0; i < AccountRecord::kColumnCount; ++i)
        fields.append({values[i], i <= AccountRecord::ColAccountName});
    return joinSettingsLine(fields);
}

QString dropTrailingLineBreaks(QString s)
{
    while (s.endsWith(QLatin1String("\r\n")))
        s.chop(2);
    // Editors on this platform give bare LF too.
    while (s.endsWith(QLatin1Char('\n')) || s.endsWith(QLatin1Char('\r')))
        s.chop(1);
    return s;
}

QString lineBreaksToTabs(QString s)
{
    s.replace(QLatin1String("\r\n"), QLatin1String("\t"));
    s.replace(QLatin1Char('\n'), QLatin1Char('\t'));
    s.replace(QLatin1Char('\r'), QLatin1Char('\t'));
    return s;
}

} // namespace

QString AccountRecord::column(int i) const
{
    if (i < 0 || i >= kColumnCount)
        return {};
    return this->*kMembers[static_cast<size_t>(i)];
}

void AccountRecord::setColumn(int i, const QString& value)
{
    if (i < 0 || i >= kColumnCount)
        return;
    this->*kMembers[static_cast<size_t>(i)] = value;
}

QStringList AccountRecord::toFields() const
{
    QStringList out;
    out.reserve(kColumnCount);
    for (Member m : kMembers)
        out.append(this->*m);
    return out;
}

std::optional<AccountRecord> AccountRecord::fromFields(const QStringList& fields)
{
    if (fields.size() != kColumnCount)
        return std::nullopt;
    AccountRecord r;
    for (int i = 0; i < kColumnCount; ++i)
        r.*kMembers[static_cast<size_t>(i)] = fields[i];
    if (!isAccountNumber(r.AccountNo))
        return std::nullopt;
    return r;
}

QStringList AccountRecord::columnChoices(int column)
{
    switch (column) {
    case ColForwardState:
        return {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("-1"),
                QStringLiteral("-2")};
    case ColSmtpAuthMethod:
        return {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")};
    case ColUseApop:
    case ColUseSmtpAuth:
    case ColForwardAsSender:
    case ColPhoneEditing:
    case ColNumberSubjects:
    case ColDropSpaces:
    case ColDropWideSpaces:
    case ColDropTabs:
    case ColDropLineBreaks:
    case ColDropSymbols:
        return {QStringLiteral("0"), QStringLiteral("1")};
    default:
        return {};
    }
}

bool AccountRecord::isAccountNumber(const QString& text)
{
    return text.size() == 2 && isAsciiDigits(text) && text != u"00";
}

std::optional<AccountRecord> AccountRecord::fromLine(const QString& line)
{
    return fromFields(splitSettingsLine(line));
}

QString AccountRecord::columnName(int i)
{
    if (i < 0 || i >= kColumnCount)
        return {};
    return QString::fromLatin1(kNames[static_cast<size_t>(i)]);
}

QString formatAccountNo(int number)
{
    if (number < 1 || number > 99)
        return {};
    return QStringLiteral("%1").arg(number, 2, 10, QLatin1Char('0'));
}

int nextAccountNumber(const QList<AccountRecord>& records)
{
    int largest = 0;
    for (const AccountRecord& r : records) {
        bool ok = false;
        const int n = r.AccountNo.toInt(&ok);
        if (ok && n > largest)
            largest = n;
    }
    return largest >= 99 ? 0 : largest + 1;
}

QStringList listItems(const QString& field)
{
    if (field.isEmpty())
        return {};
    return field.split(QLatin1Char('\t'));
}

AccountRecord newAccountTemplate(const QString& accountNo)
{
    return templateRecord(accountNo, QStringLiteral("アカウント") + accountNo, QStringLiteral("1"));
}

AccountRecord deletedAccountTemplate(const QString& accountNo)
{
    return templateRecord(accountNo,
                          QStringLiteral("アカウント") + accountNo + QStringLiteral("（削除済み）"),
                          QStringLiteral("0"));
}

QString newAccountTemplateLine(const QString& accountNo)
{
    return templateLine(newAccountTemplate(accountNo));
}

QString deletedAccountTemplateLine(const QString& accountNo)
{
    return templateLine(deletedAccountTemplate(accountNo));
}

QString buildReplacedLine(const AccountRecord& record)
{
    return joinQuoted(record.toFields());
}

QString buildAppendedLine(const AccountRecord& record)
{
    QList<LineField> fields;
    const QStringList values = record.toFields();
    for (int i = 0; i < AccountRecord::kColumnCount; ++i)
        fields.append({values[i], !isBareWhenAppended(i)});
    return joinSettingsLine(fields);
}

AccountRecord normalizeEditedRecord(AccountRecord r)
{
    for (QString* list : {&r.ForwardTo, &r.ForwardCc, &r.ForwardBcc, &r.FilterFrom,
                          &r.FilterSubject, &r.FilterBody})
        *list = dropTrailingLineBreaks(*list);
    for (QString* addr :
         {&r.RemoteAddress, &r.SourceAddress, &r.ForwardTo, &r.ForwardCc, &r.ForwardBcc})
        addr->replace(QLatin1Char(','), QLatin1Char('.'));
    for (QString* list : {&r.ForwardTo, &r.ForwardCc, &r.ForwardBcc, &r.FaxNumbers, &r.FilterFrom,
                          &r.FilterSubject, &r.FilterBody})
        *list = lineBreaksToTabs(*list);
    return r;
}

std::optional<qint16> readSplitValue(const QString& column)
{
    if (column.isEmpty())
        return qint16(0);
    return readInt16Field(column);
}

std::optional<SplitValues> splitValuesOf(const AccountRecord& record)
{
    SplitValues values;
    if (record.PhoneEditing != QLatin1String("1"))
        return values;
    const auto chars = readSplitValue(record.SplitChars);
    const auto maxMails = readSplitValue(record.SplitMaxMails);
    if (!chars || !maxMails)
        return std::nullopt;
    values.apply = true;
    values.chars = *chars;
    values.maxMails = *maxMails;
    return values;
}

QStringList unstorableColumns(const AccountRecord& record)
{
    QStringList names;
    for (int i = 0; i < AccountRecord::kColumnCount; ++i) {
        if (!isStorableField(record.column(i)))
            names.append(AccountRecord::columnName(i));
    }
    return names;
}

QString forwardStateText(const QString& forwardState)
{
    if (forwardState == QLatin1String("1"))
        return QStringLiteral("転送");
    if (forwardState == QLatin1String("2"))
        return QStringLiteral("転送削除");
    return QStringLiteral("停止中");
}

} // namespace qm
