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
             "To: ", "cc: ", "Subject: subject of " + QFileInfo(file).fileName(), "Body: b"});
    }
    QString SendMail(const QString&, const QString&, const QString&, const QString&, const QString&,
                     const QString&) override
    {
        return QString();
    }
};

} // namespace

TEST(Deletion, AMessageTheServerKeepsIsRecordedAndLaterPositionsStay)
{
    QTemporaryDir dir;
    setProgramDir(dir.path());
    ensureDataDir();
    EngineContext ctx;
    ctx.paths = filePaths();
    ctx.wait = [](int) {};
    ScriptedMail mail;
    ctx.mail = &mail;
    ctx.account.accountNo = QStringLiteral("01");
    ctx.account.forwardState = QStringLiteral("2");
    ctx.account.recipientList = QStringLiteral("to@y.jp");
    ctx.account.smtpServerArg = QStringLiteral("smtp");
    ctx.account.sourceAddress = QStringLiteral("me@y.jp");
    ctx.account.forwardAsSender = QStringLiteral("0");
    const AccountFiles files = AccountFiles::forAccount(ctx, "01");
    QDir().mkpath(files.workFolder);
    for (const char* name : {"m1", "m2", "m3"}) {
        QFile f(files.workFolder + "/" + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        mail.files << f.fileName();
    }
    mail.refuseDele = QStringLiteral("DELE 1");

    ASSERT_TRUE(ReceiveAndForward(ctx, "01"));
    // m1 stayed, so m2 is still the second message, and after it goes m3 is second.
    EXPECT_EQ(mail.commands, QStringList({"SAVEALL", "DELE 1", "DELE 2", "DELE 2"}));
    EXPECT_EQ(readTextLines(files.receivedList).value(), QStringList({"\"m1\""}));
    setProgramDir(QString());
}
