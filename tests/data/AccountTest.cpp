#include "data/Account.h"

#include "data/AccountRecord.h"
#include "data/Numbers.h"

#include <gtest/gtest.h>

using namespace qm;

namespace {

AccountRecord record()
{
    AccountRecord r = newAccountTemplate(QStringLiteral("01"));
    r.PopServer = QStringLiteral("pop.example.jp");
    r.PopPassword = QStringLiteral("pw");
    r.SmtpServer = QStringLiteral("smtp.example.jp");
    r.ForwardTo = QStringLiteral("a@x\t b@x \t");
    r.ForwardCc = QStringLiteral("c@x");
    r.ForwardBcc = QStringLiteral("d@x");
    return r;
}

} // namespace

TEST(Account, ColumnsBecomeServersListsAndSwitches)
{
    AccountRecord r = record();
    r.UseApop = QStringLiteral("1");
    r.SmtpAuthMethod = QStringLiteral("3");
    r.SmtpUser = QStringLiteral("user");
    r.FaxNumbers = QStringLiteral("0312345678\t\t0612345678\t");
    r.ForwardAsSender = QStringLiteral("2");
    Account a = *Account::fromRecord(r);
    EXPECT_EQ(a.accountNo, QStringLiteral("01"));
    EXPECT_EQ(a.pop.server.display(), QStringLiteral("pop.example.jp:110"));
    EXPECT_TRUE(a.pop.apop);
    EXPECT_EQ(a.pop.password, QStringLiteral("pw"));
    EXPECT_FALSE(a.smtp.login) << "authentication is off";
    EXPECT_EQ(a.smtpUser, QStringLiteral("user"));
    EXPECT_EQ(a.to, QStringList({"a@x", "b@x"}));
    EXPECT_EQ(a.cc, QStringList({"c@x"}));
    EXPECT_EQ(a.bcc, QStringList({"d@x"}));
    EXPECT_EQ(a.faxNumbers, QStringList({"0312345678", "0612345678"}));
    EXPECT_FALSE(a.forwardAsSender) << "only \"1\" is on";
    EXPECT_TRUE(a.dropSymbols);

    r.UseSmtpAuth = QStringLiteral("1");
    r.SmtpPort.clear();
    r.PopPort = QStringLiteral("+110");
    a = *Account::fromRecord(r);
    ASSERT_TRUE(a.smtp.login);
    EXPECT_EQ(a.smtp.login->method, SmtpAuthMethod::CramMd5);
    EXPECT_EQ(a.smtp.server.port, kSmtpDefaultPort);
    EXPECT_FALSE(a.pop.server.isValid()) << "a port that is not a number is no server";
    r.SmtpAuthMethod = QStringLiteral("0");
    EXPECT_FALSE(Account::fromRecord(r)->smtp.login);

    r.ForwardTo = QStringLiteral(" \t");
    a = *Account::fromRecord(r);
    EXPECT_FALSE(a.hasRecipients());
    EXPECT_TRUE(a.cc.isEmpty() && a.bcc.isEmpty()) << "no cc or bcc without a To";

    for (const char* state : {"-1", "-2", "0", "7", "", "1 "}) {
        r.ForwardState = QString::fromLatin1(state);
        EXPECT_FALSE(Account::fromRecord(r)->forwards()) << state;
    }
    r.ForwardState = QStringLiteral("2");
    EXPECT_EQ(Account::fromRecord(r)->forwardState, ForwardState::ForwardAndDelete);
    EXPECT_EQ(forwardStateColumn(ForwardState::ForwardAndDelete), r.ForwardState);
    EXPECT_EQ(forwardStateColumn(ForwardState::Off), QStringLiteral("0"));

    // A lone character (the TAB the editor leaves) is no condition.
    r.FilterFrom = QStringLiteral("\t");
    r.FilterSubject = QStringLiteral("至急\t会議\t");
    r.FilterBody = QStringLiteral("x");
    a = *Account::fromRecord(r);
    EXPECT_TRUE(a.fromConditions.isEmpty());
    EXPECT_EQ(a.subjectConditions, QStringList({"至急", "会議"}));
    EXPECT_TRUE(a.bodyConditions.isEmpty());
    EXPECT_TRUE(a.hasConditions());
}

TEST(Account, SplitValuesCountOnlyWithPhoneEditing)
{
    AccountRecord r = record();
    r.PhoneEditing = QStringLiteral("1");
    r.SplitChars.clear();
    r.SplitMaxMails = QStringLiteral("3");
    EXPECT_EQ(Account::fromRecord(r)->splitChars, 0);
    EXPECT_EQ(Account::fromRecord(r)->splitMaxMails, 3);
    r.SplitChars = QStringLiteral(" 70.0 ");
    EXPECT_EQ(Account::fromRecord(r)->splitChars, 70);
    for (const char* bad : {"百", "40000", "abc", "1,000", "1e2"}) {
        r.SplitChars = QString::fromUtf8(bad);
        EXPECT_FALSE(Account::fromRecord(r)) << bad;
    }
    r.PhoneEditing = QStringLiteral("0");
    r.SplitMaxMails = QStringLiteral("50000");
    const Account a = *Account::fromRecord(r);
    EXPECT_EQ(a.splitChars, 0);
    EXPECT_EQ(a.splitMaxMails, 0);
}

TEST(Numbers, OneParserForPlainAndGroupedTexts)
{
    EXPECT_EQ(readNumber(u" 1,234.5e2 ", NumberForm::Grouped), 123450.0);
    EXPECT_FALSE(readNumber(u"1,234", NumberForm::Plain));
    EXPECT_EQ(readNumber(u"\t-12 "), -12.0);
    EXPECT_EQ(readNumber(u"5."), 5.0);
    EXPECT_EQ(readNumber(u".5"), 0.5);
    for (const char16_t* bad : {u"", u" ", u".", u"12a", u"e5", u",5", u"1e", u"１０", u"+-1"})
        EXPECT_FALSE(readNumber(bad, NumberForm::Grouped)) << QString::fromUtf16(bad).toStdString();
    EXPECT_EQ(readInt16Field(u"32767"), 32767);
    EXPECT_EQ(readInt16Field(u"2.5"), 2) << "halves round to even";
    EXPECT_EQ(readInt16Field(u"-32768.4"), -32768);
    EXPECT_FALSE(readInt16Field(u"32767.5"));
    EXPECT_EQ(readPort(u"65535"), 65535);
    for (const char16_t* bad : {u"0", u"65536", u"+25", u" 25", u"000110", u""})
        EXPECT_FALSE(readPort(bad)) << QString::fromUtf16(bad).toStdString();
}
