// A server that refuses a deletion cannot be had on demand from the real test server (it
// refuses only when another client changed the mailbox mid-cycle), so this one case runs
// against a scripted mail library.
#include "data/Paths.h"
#include "data/TextCodec.h"
#include "platform/mail/MailLibrary.h"
#include "service/AccountFiles.h"
#include "service/EngineContext.h"
#include "service/ReceiveAndForward.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace qm;
using namespace qm::service;

namespace {

struct ScriptedMail : mail::MailLibrary
{
    QStringList files;
    QStringList commands;
    QString refuseDele; // the DELE command to refuse

    mail::MailResult RcvMail(const QString&, const QString&, const QString&, const QString& command,
                             const QString&) override
    {
        commands << command;
        if (command == u"SAVEALL")
            return mail::MailResult::list(files);
        return mail::MailResult::message(command == refuseDele ? QStringLiteral("削除できません")
                                                               : QString());
    }
    mail::MailResult ReadMail(const QString& file, const QString&, const QString&) override
    {
        return mail::MailResult::list(
            {"Date: d", "From: a@x.jp",
             "To: ", "cc: ", "Subject: subject of " + QFileInfo(file).fileName(), "Body: abcdef"});
    }
    QStringList sendResults; // one per SendMail call, "" when it runs out

    QString SendMail(const QString&, const QString&, const QString&, const QString&, const QString&,
                     const QString&) override
    {
        return sendResults.isEmpty() ? QString() : sendResults.takeFirst();
    }
};

} // namespace

struct DeletionFixture : ::testing::Test
{
    QTemporaryDir dir;
    EngineContext ctx;
    ScriptedMail mail;
    AccountFiles files;

    void SetUp() override
    {
        setProgramDir(dir.path());
        ensureDataDir();
        ctx.paths = filePaths();
        ctx.wait = [](int) {};
        ctx.mail = &mail;
        ctx.account.accountNo = QStringLiteral("01");
        ctx.account.forwardState = QStringLiteral("2");
        ctx.account.recipientList = QStringLiteral("to@y.jp");
        ctx.account.smtpServerArg = QStringLiteral("smtp");
        ctx.account.sourceAddress = QStringLiteral("me@y.jp");
        ctx.account.forwardAsSender = QStringLiteral("0");
        files = AccountFiles::forAccount(ctx, "01");
        QDir().mkpath(files.workFolder);
    }
    void TearDown() override { setProgramDir(QString()); }

    void store(const QStringList& names)
    {
        for (const QString& name : names) {
            QFile f(files.workFolder + "/" + name);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            mail.files << f.fileName();
        }
    }
};

TEST_F(DeletionFixture, AMessageTheServerKeepsIsRecordedAndLaterPositionsStay)
{
    store({"m1", "m2", "m3"});
    mail.refuseDele = QStringLiteral("DELE 1");

    ASSERT_TRUE(ReceiveAndForward(ctx, "01"));
    // m1 stayed, so m2 is still the second message, and after it goes m3 is second.
    EXPECT_EQ(mail.commands, QStringList({"SAVEALL", "DELE 1", "DELE 2", "DELE 2"}));
    EXPECT_EQ(readTextLines(files.receivedList).value(), QStringList({"\"m1\""}));
}

TEST_F(DeletionFixture, APartThatFailedKeepsTheMessageOnTheServerForTheNextCycle)
{
    store({"m1"});
    ctx.account.phoneEditing = QStringLiteral("1");
    ctx.account.splitChars = 2;
    ctx.account.splitMaxMails = 3;
    mail.sendResults = {QStringLiteral("SMTPサーバー smtp に接続できません"), QString(), QString()};

    ASSERT_TRUE(ReceiveAndForward(ctx, "01"));
    EXPECT_EQ(mail.commands, QStringList({"SAVEALL"})) << "no deletion";
    EXPECT_EQ(ctx.errorsReported, 1);
    EXPECT_FALSE(QFile::exists(files.workFolder + "/m1")) << "the stored copy goes";
    EXPECT_FALSE(QFile::exists(files.receivedList));
}
