#include "data/AccountEntry.h"

#include "data/AccountSettings.h"
#include "data/TextCodec.h"

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
    if (split && !split->apply)
        return std::nullopt;
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
        {AccountField::ForwardTo, r.ForwardTo, QStringLiteral("転送先メールアドレス (To)"), true},
        {AccountField::ForwardCc, r.ForwardCc, QStringLiteral("転送先メールアドレス (CC)"), true},
        {AccountField::ForwardBcc, r.ForwardBcc, QStringLiteral("転送先メールアドレス (BCC)"),
         true},
        {AccountField::FaxNumbers, r.FaxNumbers, QStringLiteral("転送先FAX番号"), false},
        {AccountField::PrintFontName, f.printFontName, QStringLiteral("印刷時のフォント"), false},
        {AccountField::PrintFontSize, f.printFontSize, QStringLiteral("印刷時のフォントサイズ"),
         false},
        {AccountField::FaxFontName, f.faxFontName, QStringLiteral("FAX印字のフォント"), false},
        {AccountField::FaxFontSize, f.faxFontSize, QStringLiteral("FAX印字のフォントサイズ"),
         false},
        {AccountField::RemoteAddress, r.RemoteAddress, QStringLiteral("リモート設定メールアドレス"),
         true},
        {AccountField::FilterFrom, r.FilterFrom, QStringLiteral("From（差出人）"), false},
        {AccountField::FilterSubject, r.FilterSubject, QStringLiteral("Subject（件名）"), false},
        {AccountField::FilterBody, r.FilterBody, QStringLiteral("Body（本文）"), false},
        {AccountField::DeleteStrings, entry.deleteStrings.join(QLatin1Char('\n')),
         QStringLiteral("削除文字列"), false},
    };
    for (const Field& field : fields) {
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
    return checkFieldCharacters(entry);
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
