#include "data/AccountKeys.h"

namespace qm {

namespace {

std::optional<AccountField> fieldOfColumn(int column)
{
    switch (column) {
    case AccountRecord::ColAccountName:
        return AccountField::AccountName;
    case AccountRecord::ColRemoteAddress:
        return AccountField::RemoteAddress;
    case AccountRecord::ColSourceAddress:
        return AccountField::SourceAddress;
    case AccountRecord::ColPopUserId:
        return AccountField::PopUserId;
    case AccountRecord::ColPopPassword:
        return AccountField::PopPassword;
    case AccountRecord::ColPopServer:
        return AccountField::PopServer;
    case AccountRecord::ColPopPort:
        return AccountField::PopPort;
    case AccountRecord::ColSmtpServer:
        return AccountField::SmtpServer;
    case AccountRecord::ColSmtpPort:
        return AccountField::SmtpPort;
    case AccountRecord::ColSmtpUser:
        return AccountField::SmtpUser;
    case AccountRecord::ColSmtpPassword:
        return AccountField::SmtpPassword;
    case AccountRecord::ColForwardTo:
        return AccountField::ForwardTo;
    case AccountRecord::ColForwardCc:
        return AccountField::ForwardCc;
    case AccountRecord::ColForwardBcc:
        return AccountField::ForwardBcc;
    case AccountRecord::ColFaxNumbers:
        return AccountField::FaxNumbers;
    case AccountRecord::ColFilterFrom:
        return AccountField::FilterFrom;
    case AccountRecord::ColFilterSubject:
        return AccountField::FilterSubject;
    case AccountRecord::ColFilterBody:
        return AccountField::FilterBody;
    case AccountRecord::ColSplitChars:
        return AccountField::SplitChars;
    case AccountRecord::ColSplitMaxMails:
        return AccountField::SplitMaxMails;
    default:
        return std::nullopt;
    }
}

QList<AccountKey> buildKeys()
{
    QList<AccountKey> keys;
    for (int c = AccountRecord::ColAccountName; c < AccountRecord::kColumnCount; ++c) {
        AccountKey key;
        key.name = AccountRecord::columnName(c);
        key.read = [c](const AccountEntry& e) { return e.record.column(c); };
        key.write = [c](AccountEntry& e, const QString& value) { e.record.setColumn(c, value); };
        key.choices = AccountRecord::columnChoices(c);
        key.field = fieldOfColumn(c);
        key.list = c >= AccountRecord::ColForwardTo && c <= AccountRecord::ColFilterBody;
        key.secret = c == AccountRecord::ColPopPassword || c == AccountRecord::ColSmtpPassword;
        keys << key;
    }
    keys << mailConnectionKeys();
    return keys;
}

} // namespace

QList<AccountKey> mailConnectionKeys()
{
    return {};
}

AccountKey mailConnectionKey(const QString& name, std::function<QString(const QString&)> check,
                             bool secret)
{
    AccountKey key;
    key.name = name;
    key.read = [name](const AccountEntry& e) { return e.connection.value(name); };
    key.write = [name](AccountEntry& e, const QString& value) {
        if (value.isEmpty())
            e.connection.remove(name);
        else
            e.connection.insert(name, value);
    };
    key.check = std::move(check);
    key.secret = secret;
    return key;
}

const QList<AccountKey>& accountKeys()
{
    static const QList<AccountKey> keys = buildKeys();
    return keys;
}

const AccountKey* findAccountKey(const QString& name)
{
    for (const AccountKey& key : accountKeys()) {
        if (key.name == name)
            return &key;
    }
    return nullptr;
}

const AccountKey* accountKeyFor(AccountField field)
{
    for (const AccountKey& key : accountKeys()) {
        if (key.field == field)
            return &key;
    }
    return nullptr;
}

} // namespace qm
