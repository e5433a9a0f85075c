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

TEST(AccountLoader, ServersLoginsAndRecipients)
{
    AccountRecord r = record();
    r.UseApop = QStringLiteral("1");
    r.UseSmtpAuth = QStringLiteral("0");
    r.SmtpAuthMethod = QStringLiteral("3");
    r.SmtpUser = QStringLiteral("user");
    CurrentAccount a = LoadCurrentAccount(r);
    EXPECT_EQ(a.pop.server.display(), QStringLiteral("pop.example.jp:110"));
    EXPECT_TRUE(a.pop.apop);
    EXPECT_EQ(a.pop.password, QStringLiteral("pw"));
    EXPECT_EQ(a.smtp.server.display(), QStringLiteral("smtp.example.jp:25"));
    EXPECT_FALSE(a.smtp.login) << "authentication is off";
    EXPECT_EQ(a.to, QStringList({"a@x", "b@x"}));
    EXPECT_EQ(a.cc, QStringList({"c@x"}));
    EXPECT_EQ(a.bcc, QStringList({"d@x"}));

    r.UseSmtpAuth = QStringLiteral("1");
    r.SmtpPort.clear();
    r.PopPort = QStringLiteral("x");
    a = LoadCurrentAccount(r);
    ASSERT_TRUE(a.smtp.login);
    EXPECT_EQ(a.smtp.login->method, mail::SmtpAuthMethod::CramMd5);
    EXPECT_EQ(a.smtp.server.port, 25);
    EXPECT_FALSE(a.pop.server.isValid()) << "a port that is not a number is no server";

    r.ForwardTo.clear();
    a = LoadCurrentAccount(r);
    EXPECT_FALSE(a.hasRecipients());
    EXPECT_TRUE(a.cc.isEmpty() && a.bcc.isEmpty()) << "no cc or bcc without a To";
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
