#include "data/AccountEntry.h"

#include <QStringList>
#include <functional>
#include <gtest/gtest.h>

using namespace qm;

namespace {

// What the editor hands over for a new account once the user filled in what is required.
AccountEntry typedEntry()
{
    AccountEntry e;
    e.record = newAccountTemplate(QStringLiteral("02"));
    e.record.SourceAddress = QStringLiteral("office@example.jp");
    e.record.PopUserId = QStringLiteral("office");
    e.record.PopPassword = QStringLiteral("secret");
    e.record.PopServer = QStringLiteral("pop.example.jp");
    e.record.SmtpServer = QStringLiteral("smtp.example.jp");
    e.record.ForwardTo = QStringLiteral("boss@example.jp");
    e.font.AccountNo = e.record.AccountNo;
    return e;
}

void phone(AccountEntry& e, const char* chars, const char* count)
{
    e.record.PhoneEditing = QStringLiteral("1");
    e.record.SplitChars = QString::fromUtf8(chars);
    e.record.SplitMaxMails = QString::fromUtf8(count);
}

} // namespace

TEST(AccountEntry, TheFirstProblemInTheEditorsOrderIsReported)
{
    struct Case
    {
        const char* what;
        std::function<void(AccountEntry&)> edit;
        AccountField field;
        QString message;
    };
    const QString missing = QStringLiteral("転送元の情報に入力モレがあります。");
    const Case cases[] = {
        {"empty SMTP port", [](auto& e) { e.record.SmtpPort.clear(); }, AccountField::SmtpPort,
         missing},
        {"sources checked in order",
         [](auto& e) {
             e.record.SmtpPort.clear();
             e.record.SourceAddress.clear();
         },
         AccountField::SourceAddress, missing},
        {"no destination", [](auto& e) { e.record.ForwardTo.clear(); }, AccountField::ForwardTo,
         "転送先(To)かFAX番号のどちらかを入力してください。"},
        {"destination before split values",
         [](auto& e) {
             e.record.ForwardTo.clear();
             phone(e, "100", "");
         },
         AccountField::ForwardTo, "転送先(To)かFAX番号のどちらかを入力してください。"},
        {"count missing", [](auto& e) { phone(e, "100", ""); }, AccountField::SplitMaxMails,
         "分割文字数を入力したら最大通数も入力してください。"},
        {"count zero", [](auto& e) { phone(e, "50", "0"); }, AccountField::SplitMaxMails,
         "最大通数は０よりも大きい値を入力してください。"},
        {"chars missing", [](auto& e) { phone(e, "", "2"); }, AccountField::SplitChars,
         "分割文字数が未入力です。"},
        {"chars zero", [](auto& e) { phone(e, "0", "3"); }, AccountField::SplitChars,
         "分割文字数は０よりも大きい値を入力してください。"},
        {"chars not a number", [](auto& e) { phone(e, "百", "2"); }, AccountField::SplitChars,
         "分割文字数は半角の数字（0～32767）で入力してください。"},
        {"chars negative", [](auto& e) { phone(e, "-1", "2"); }, AccountField::SplitChars,
         "分割文字数は半角の数字（0～32767）で入力してください。"},
        {"count too large", [](auto& e) { phone(e, "70", "40000"); }, AccountField::SplitMaxMails,
         "最大通数は半角の数字（0～32767）で入力してください。"},
        {"split values before characters",
         [](auto& e) {
             phone(e, "0", "3");
             e.record.AccountName = QStringLiteral("東京,大阪");
         },
         AccountField::SplitChars, "分割文字数は０よりも大きい値を入力してください。"},
        {"comma in a name", [](auto& e) { e.record.AccountName = QStringLiteral("東京,大阪"); },
         AccountField::AccountName, "「アカウント名」にカンマ（,）は使えません。"},
        {"look-alike in a password",
         [](auto& e) { e.record.PopPassword = QStringLiteral("a\u301Cb"); },
         AccountField::PopPassword, "「パスワード」に保存できない文字が含まれています。"},
        {"quote in a filter", [](auto& e) { e.record.FilterFrom = QStringLiteral("\"boss\""); },
         AccountField::FilterFrom,
         "「From（差出人）」にダブルクォーテーション（\"）は使えません。"},
        {"comma in a font size", [](auto& e) { e.font.faxFontSize = QStringLiteral("1,1"); },
         AccountField::FaxFontSize, "「FAX印字のフォントサイズ」にカンマ（,）は使えません。"},
        {"comma in a delete string",
         [](auto& e) {
             e.deleteStrings = {QStringLiteral("広告"), QStringLiteral("a,b")};
         },
         AccountField::DeleteStrings, "「削除文字列」にカンマ（,）は使えません。"},
        {"letters kept while phone editing is off",
         [](auto& e) { e.record.SplitMaxMails = QStringLiteral("多め"); },
         AccountField::SplitMaxMails, "最大通数は半角の数字（0～32767）で入力してください。"},
        {"line break in a name", [](auto& e) { e.record.AccountName = QStringLiteral("a\nb"); },
         AccountField::AccountName, "「アカウント名」に改行は使えません。"},
        {"port out of range", [](auto& e) { e.record.PopPort = QStringLiteral("0"); },
         AccountField::PopPort, "ポート番号は半角の数字（1～65535）で入力してください。"},
        {"fax number with letters", [](auto& e) { e.record.FaxNumbers = QStringLiteral("03-FAX"); },
         AccountField::FaxNumbers,
         "「転送先FAX番号」の「03-FAX」はFAX番号として使えません。03-1234-5678 又は 0312345678 "
         "の形式で入力してください。"},
        {"character outside Shift-JIS",
         [](auto& e) { e.record.FilterSubject = QStringLiteral("会議🍣"); },
         AccountField::FilterSubject, "「Subject（件名）」に保存できない文字が含まれています。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AccountEntry e = typedEntry();
        c.edit(e);
        const std::optional<AccountProblem> problem = validateAccountEntry(e);
        ASSERT_TRUE(problem);
        EXPECT_EQ(int(problem->field), int(c.field));
        EXPECT_EQ(problem->message.toStdString(), c.message.toStdString());
    }
}

TEST(AccountEntry, WhatTheStoredFormCanCarryPasses)
{
    const std::function<void(AccountEntry&)> edits[] = {
        [](auto&) {},
        // Without phone editing the split values need not agree.
        [](auto& e) {
            e.record.SplitChars = QStringLiteral("100");
            e.record.SplitMaxMails.clear();
        },
        [](auto& e) {
            e.record.ForwardTo = QStringLiteral("a@example.jp\n\nb.c+d@example.ne.jp");
            e.record.FaxNumbers = QStringLiteral("03-1234-5678\n+81 3 1234 5678");
            e.record.PopPort = QStringLiteral("995");
        },
        // Any number the service reads is taken as typed.
        [](auto& e) { phone(e, " 70 ", "3.0"); },
        // Addresses turn "," into "." when saved.
        [](auto& e) {
            e.record.SourceAddress = QStringLiteral("office,main@example.jp");
            e.record.ForwardTo = QStringLiteral("a@example,jp\nb@example.jp\n");
        },
        [](auto& e) {
            e.record.ForwardTo.clear();
            e.record.FaxNumbers = QStringLiteral("0312345678");
        },
        // A wave dash has a Shift-JIS form outside the sign-in values.
        [](auto& e) { e.record.FilterSubject = QStringLiteral("10\u301C12時"); },
    };
    int i = 0;
    for (const auto& edit : edits) {
        SCOPED_TRACE(i++);
        AccountEntry e = typedEntry();
        edit(e);
        const auto problem = validateAccountEntry(e);
        EXPECT_FALSE(problem) << problem->message.toStdString();
    }
}
