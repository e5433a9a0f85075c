#include "data/AccountEntry.h"

#include "data/AccountSettings.h"
#include "data/FaxNumber.h"
#include "data/MailAddress.h"
#include "data/Numbers.h"
#include "data/TextCodec.h"

#include <QRegularExpression>

namespace qm {

namespace {

AccountProblem problem(AccountField field, const QString& message)
{
    return {field, message};
}

std::optional<AccountProblem> checkSplitValues(const AccountRecord& typed)
{
    // The service loads the account by the same rule, so what is saved here is never the
    // reason it skips the account.
    const std::optional<SplitValues> split = splitValuesOf(typed);
    if (split && !split->apply) {
        // Off, the values are kept for later: they must still be what the boxes take.
        if (!readSplitValue(typed.SplitChars) || typed.SplitChars.startsWith(u'-'))
            return problem(
                AccountField::SplitChars,
                QStringLiteral("分割文字数は半角の数字（0～32767）で入力してください。"));
        if (!readSplitValue(typed.SplitMaxMails) || typed.SplitMaxMails.startsWith(u'-'))
            return problem(AccountField::SplitMaxMails,
                           QStringLiteral("最大通数は半角の数字（0～32767）で入力してください。"));
        return std::nullopt;
    }
    // A negative value would mean "no split" to the service; here it is a typing error.
    if (!split || split->chars < 0 || split->maxMails < 0) {
        const auto chars = readSplitValue(typed.SplitChars);
        if (!chars || *chars < 0)
            return problem(
                AccountField::SplitChars,
                QStringLiteral("分割文字数は半角の数字（0～32767）で入力してください。"));
        return problem(AccountField::SplitMaxMails,
                       QStringLiteral("最大通数は半角の数字（0～32767）で入力してください。"));
    }
    const QString& chars = typed.SplitChars;
    const QString& count = typed.SplitMaxMails;
    if (!chars.isEmpty() && count.isEmpty())
        return problem(AccountField::SplitMaxMails,
                       QStringLiteral("分割文字数を入力したら最大通数も入力してください。"));
    if (!chars.isEmpty() && split->maxMails == 0)
        return problem(AccountField::SplitMaxMails,
                       QStringLiteral("最大通数は０よりも大きい値を入力してください。"));
    if (!count.isEmpty() && chars.isEmpty())
        return problem(AccountField::SplitChars, QStringLiteral("分割文字数が未入力です。"));
    if (!count.isEmpty() && split->chars == 0)
        return problem(AccountField::SplitChars,
                       QStringLiteral("分割文字数は０よりも大きい値を入力してください。"));
    return std::nullopt;
}

std::optional<AccountProblem> checkFieldCharacters(const AccountEntry& entry)
{
    // The line format has no escaping: a "," would shift every later column and a double
    // quote would vanish on the next read. Address fields turn "," into "." instead.
    struct Field
    {
        AccountField field;
        QString text;
        QString name;
        bool commaBecomesDot;
        // Sign-in values go to the server exactly as typed: a look-alike would be another one.
        bool exact = false;
        // One item a line in the editor's box; elsewhere a line break would split the line.
        bool list = false;
    };
    const AccountRecord& r = entry.record;
    const FontDataRow& f = entry.font;
    const Field fields[] = {
        {AccountField::AccountName, r.AccountName, QStringLiteral("アカウント名"), false},
        {AccountField::SourceAddress, r.SourceAddress, QStringLiteral("転送元メールアドレス"),
         true},
        {AccountField::PopUserId, r.PopUserId, QStringLiteral("ユーザーID"), false, true},
        {AccountField::PopPassword, r.PopPassword, QStringLiteral("パスワード"), false, true},
        {AccountField::PopServer, r.PopServer, QStringLiteral("受信サーバー名（POP）"), false},
        {AccountField::PopPort, r.PopPort, QStringLiteral("ポート（POP）"), false},
        {AccountField::SmtpServer, r.SmtpServer, QStringLiteral("送信サーバー名(SMTP)"), false},
        {AccountField::SmtpPort, r.SmtpPort, QStringLiteral("ポート（SMTP）"), false},
        {AccountField::SmtpUser, r.SmtpUser, QStringLiteral("SMTP認証のユーザー名"), false, true},
        {AccountField::SmtpPassword, r.SmtpPassword, QStringLiteral("SMTP認証のパスワード"), false,
         true},
        {AccountField::ForwardTo, r.ForwardTo, QStringLiteral("転送先メールアドレス (To)"), true,
         false, true},
        {AccountField::ForwardCc, r.ForwardCc, QStringLiteral("転送先メールアドレス (CC)"), true,
         false, true},
        {AccountField::ForwardBcc, r.ForwardBcc, QStringLiteral("転送先メールアドレス (BCC)"), true,
         false, true},
        {AccountField::FaxNumbers, r.FaxNumbers, QStringLiteral("転送先FAX番号"), false, false,
         true},
        {AccountField::PrintFontName, f.printFontName, QStringLiteral("印刷時のフォント"), false},
        {AccountField::PrintFontSize, f.printFontSize, QStringLiteral("印刷時のフォントサイズ"),
         false},
        {AccountField::FaxFontName, f.faxFontName, QStringLiteral("FAX印字のフォント"), false},
        {AccountField::FaxFontSize, f.faxFontSize, QStringLiteral("FAX印字のフォントサイズ"),
         false},
        {AccountField::RemoteAddress, r.RemoteAddress, QStringLiteral("リモート設定メールアドレス"),
         true},
        {AccountField::FilterFrom, r.FilterFrom, QStringLiteral("From（差出人）"), false, false,
         true},
        {AccountField::FilterSubject, r.FilterSubject, QStringLiteral("Subject（件名）"), false,
         false, true},
        {AccountField::FilterBody, r.FilterBody, QStringLiteral("Body（本文）"), false, false,
         true},
        {AccountField::DeleteStrings, entry.deleteStrings.join(QLatin1Char('\n')),
         QStringLiteral("削除文字列"), false, false, true},
    };
    for (const Field& field : fields) {
        if (!field.list && (field.text.contains(u'\n') || field.text.contains(u'\r')))
            return problem(field.field,
                           QStringLiteral("「%1」に改行は使えません。").arg(field.name));
        if (!field.commaBecomesDot && field.text.contains(QLatin1Char(',')))
            return problem(field.field,
                           QStringLiteral("「%1」にカンマ（,）は使えません。").arg(field.name));
        if (field.text.contains(QLatin1Char('"')))
            return problem(field.field,
                           QStringLiteral("「%1」にダブルクォーテーション（\"）は使えません。")
                               .arg(field.name));
        if (field.exact ? !cp932Keeps(field.text) : !encodeCp932(field.text))
            return problem(
                field.field,
                QStringLiteral("「%1」に保存できない文字が含まれています。").arg(field.name));
    }
    return std::nullopt;
}

// The items of a list box, one a line, blank lines left out.
QStringList listLines(const QString& text)
{
    QStringList lines;
    for (const QString& line : text.split(QRegularExpression(QStringLiteral("\r\n|\n|\r")))) {
        if (!line.trimmed().isEmpty())
            lines << line.trimmed();
    }
    return lines;
}

// What the mail and fax steps could not use: a port that is no port, an address no server
// takes, a number the fax step would not dial.
std::optional<AccountProblem> checkValueRules(const AccountRecord& r)
{
    const std::pair<AccountField, const QString*> ports[] = {{AccountField::PopPort, &r.PopPort},
                                                             {AccountField::SmtpPort, &r.SmtpPort}};
    for (const auto& [field, text] : ports) {
        if (!readPort(*text))
            return problem(
                field, QStringLiteral("ポート番号は半角の数字（1～65535）で入力してください。"));
    }
    // Saving turns "," into "." in addresses; the address checked is the one stored.
    const auto stored = [](const QString& address) { return QString(address).replace(u',', u'.'); };
    if (!isPlainMailAddress(stored(r.SourceAddress.trimmed())))
        return problem(
            AccountField::SourceAddress,
            QStringLiteral("「転送元メールアドレス」はメールアドレスの形（name@example.jp）で"
                           "入力してください。"));
    struct List
    {
        AccountField field;
        const QString* text;
        QString name;
    };
    const List lists[] = {
        {AccountField::ForwardTo, &r.ForwardTo, QStringLiteral("転送先メールアドレス (To)")},
        {AccountField::ForwardCc, &r.ForwardCc, QStringLiteral("転送先メールアドレス (CC)")},
        {AccountField::ForwardBcc, &r.ForwardBcc, QStringLiteral("転送先メールアドレス (BCC)")},
    };
    for (const List& list : lists) {
        for (const QString& line : listLines(*list.text)) {
            if (!isPlainMailAddress(stored(line)))
                return problem(list.field,
                               QStringLiteral("「%1」の「%2」はメールアドレスとして使えません。")
                                   .arg(list.name, line));
        }
    }
    for (const QString& line : listLines(r.FaxNumbers)) {
        if (!isValidFaxNumber(line))
            return problem(AccountField::FaxNumbers,
                           QStringLiteral("「転送先FAX番号」の「%1」はFAX番号として使えません。"
                                          "03-1234-5678 又は 0312345678 の形式で入力してください。")
                               .arg(line));
    }
    return std::nullopt;
}

} // namespace

std::optional<AccountProblem> validateAccountEntry(const AccountEntry& entry)
{
    const AccountRecord& r = entry.record;
    const std::pair<AccountField, const QString*> required[] = {
        {AccountField::SourceAddress, &r.SourceAddress},
        {AccountField::PopUserId, &r.PopUserId},
        {AccountField::PopPassword, &r.PopPassword},
        {AccountField::PopServer, &r.PopServer},
        {AccountField::PopPort, &r.PopPort},
        {AccountField::SmtpServer, &r.SmtpServer},
        {AccountField::SmtpPort, &r.SmtpPort},
    };
    // A mailbox that signs in with a token has no password to give.
    const QString popAuth = entry.connection.value(QStringLiteral("PopAuth"));
    const bool tokenLogin = popAuth == u"xoauth2" || popAuth == u"oauthbearer";
    for (const auto& [field, text] : required) {
        if (text->isEmpty() && !(tokenLogin && field == AccountField::PopPassword))
            return problem(field, QStringLiteral("転送元の情報に入力モレがあります。"));
    }
    if (r.ForwardTo.isEmpty() && r.FaxNumbers.isEmpty())
        return problem(AccountField::ForwardTo,
                       QStringLiteral("転送先(To)かFAX番号のどちらかを入力してください。"));
    if (auto split = checkSplitValues(r))
        return split;
    if (auto characters = checkFieldCharacters(entry))
        return characters;
    return checkValueRules(r);
}

AccountEntry storedAccountEntry(const AccountRecord& record)
{
    AccountEntry entry;
    entry.record = record;
    AccountRecord& r = entry.record;
    for (QString* list : {&r.ForwardTo, &r.ForwardCc, &r.ForwardBcc, &r.FaxNumbers, &r.FilterFrom,
                          &r.FilterSubject, &r.FilterBody})
        list->replace(u'\t', u'\n');
    entry.font.AccountNo = r.AccountNo;
    if (const auto row = readFontDataRow(r.AccountNo))
        entry.font = *row;
    const QString option = readFaxOption(r.AccountNo);
    if (option == u"mail" || option == u"attach")
        entry.faxOption = option;
    entry.deleteStrings = readDeleteStrings(r.AccountNo);
    entry.connection = readMailConnectionValues(r.AccountNo);
    return entry;
}

} // namespace qm
