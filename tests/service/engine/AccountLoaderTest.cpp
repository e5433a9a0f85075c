#include "service/AccountLoader.h"

#include "data/AccountRecord.h"
#include "service/RuntimeError.h"

#include <gtest/gtest.h>

using namespace qm;
using namespace qm::service;

namespace {

AccountRecord record()
{
    AccountRecord r = newAccountTemplate(QStringLiteral("01"));
    r.PopServer = QStringLiteral("pop.example.jp");
    r.PopPort = QStringLiteral("110");
    r.PopPassword = QStringLiteral("pw");
    r.SmtpServer = QStringLiteral("smtp.example.jp");
    r.SmtpPort = QStringLiteral("25");
    r.ForwardTo = QStringLiteral("a@x\tb@x\t");
    r.ForwardCc = QStringLiteral("c@x");
    r.ForwardBcc = QStringLiteral("d@x");
    return r;
}

} // namespace

TEST(AccountLoader, ServerArgumentsAndRecipientList)
{
    AccountRecord r = record();
    r.UseApop = QStringLiteral("1");
    r.UseSmtpAuth = QStringLiteral("0");
    r.SmtpAuthMethod = QStringLiteral("3");
    r.SmtpUser = QStringLiteral("user");
    const CurrentAccount a = LoadCurrentAccount(r);
    EXPECT_EQ(a.popServerArg, QStringLiteral("pop.example.jp\t110"));
    EXPECT_EQ(a.popPasswordArg, QStringLiteral("a pw"));
    EXPECT_EQ(a.smtpServerArg, QStringLiteral("smtp.example.jp\t25"));
    EXPECT_EQ(a.authMethod, QStringLiteral("0"));
    EXPECT_TRUE(a.authUser.isEmpty());
    EXPECT_EQ(a.recipientList, QStringLiteral("a@x\tb@x\tcc\tc@x\tbcc\td@x"));

    r.ForwardTo.clear();
    EXPECT_TRUE(LoadCurrentAccount(r).recipientList.isEmpty()) << "no cc or bcc without a To";
}

TEST(AccountLoader, StatesOutsideTheForwardingOnesCountAsOff)
{
    AccountRecord r = record();
    for (const char* state : {"-1", "-2", "0", "7", "", "1 "}) {
        r.ForwardState = QString::fromLatin1(state);
        EXPECT_EQ(LoadCurrentAccount(r).forwardState, QStringLiteral("0")) << state;
    }
    r.ForwardState = QStringLiteral("2");
    EXPECT_TRUE(LoadCurrentAccount(r).forwards());
}

TEST(AccountLoader, ConditionFlagsNeedMoreThanOneCharacter)
{
    AccountRecord r = record();
    r.FilterFrom = QStringLiteral("\t");
    r.FilterSubject = QStringLiteral("至急\t会議\t");
    r.FilterBody = QStringLiteral("x");
    const CurrentAccount a = LoadCurrentAccount(r);
    EXPECT_FALSE(a.conditionFrom);
    EXPECT_TRUE(a.conditionSubject);
    EXPECT_FALSE(a.conditionBody);
    EXPECT_EQ(a.subjectList, QStringList({"至急", "会議"}));
}

TEST(AccountLoader, SplitValues)
{
    AccountRecord r = record();
    r.SplitChars.clear();
    r.SplitMaxMails = QStringLiteral("3");
    EXPECT_EQ(LoadCurrentAccount(r).splitChars, 0);
    EXPECT_EQ(LoadCurrentAccount(r).splitMaxMails, 3);
    r.SplitChars = QStringLiteral("百");
    EXPECT_THROW(LoadCurrentAccount(r), RuntimeError);
    r.SplitChars = QStringLiteral("40000");
    EXPECT_THROW(LoadCurrentAccount(r), RuntimeError);
}
