// A send that fails for one part only, or a deletion the server refuses, cannot be had on
// demand from the real test servers, so these cases run against a scripted mail library.
#include "data/AccountFiles.h"
#include "data/Paths.h"
#include "data/TextCodec.h"
#include "platform/fax/FaxStation.h"
#include "platform/mail/MailLibrary.h"
#include "platform/print/ForwardTextPrinter.h"
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

// A mailbox that keeps its messages: a stored copy the cycle removed comes back at the next
// collection, as it does from a real server.
struct ScriptedMail : mail::MailLibrary
{
    QStringList files;
    QStringList deleted;      // every DeleteMail call, by file name
    QStringList refuseDelete; // file names whose deletion fails (once each)
    QStringList sendResults;  // one per SendMail call, "" when it runs out
    QStringList subjects;     // of every mail sent

    mail::MailResult RcvMail(const mail::PopAccount&, const QString&) override
    {
        for (const QString& f : std::as_const(files)) {
            QFile file(f);
            if (!file.exists() && file.open(QIODevice::WriteOnly))
                file.close();
        }
        return files.isEmpty() ? mail::MailResult::message(QString())
                               : mail::MailResult::list(files);
    }
    QString DeleteMail(const mail::PopAccount&, const QString& file) override
    {
        const QString name = QFileInfo(file).fileName();
        deleted << name;
        if (refuseDelete.removeOne(name))
            return QStringLiteral("POP3サーバーとの通信が途中で切れました");
        files.removeAll(file);
        return QString();
    }
    mail::ReadResult ReadMail(const QString& file, const QString&) override
    {
        mail::ReadResult r;
        r.message.date = QStringLiteral("d");
        r.message.fromText = QStringLiteral("a@x.jp");
        r.message.subject = "subject of " + QFileInfo(file).fileName();
        r.message.body = QStringLiteral("abcdef");
        return r;
    }
    mail::SendResult SendMail(const mail::SmtpServer&, const mail::OutgoingMail& mail) override
    {
        subjects << mail.subject;
        mail::SendResult r;
        r.error = sendResults.isEmpty() ? QString() : sendResults.takeFirst();
        return r;
    }
};

struct CountingFax : FaxStation
{
    int jobs = 0;
    bool isUsable(QString*) override { return true; }
    FaxResult send(const FaxJob&, const TextFaxStyle&) override
    {
        ++jobs;
        return {true, QStringLiteral("job"), QString()};
    }
    void prepare(OfficeKind, const QString&) override {}
    std::optional<FaxJobStatuses> jobStatuses(const QString&, const QStringList&) override
    {
        return FaxJobStatuses{};
    }
};

struct CountingPrinter : Printer
{
    int prints = 0;
    PrintResult print(const QString&, const QString&, int) override
    {
        ++prints;
        PrintResult r;
        r.ok = true;
        return r;
    }
};

} // namespace

struct RetryFixture : ::testing::Test
{
    QTemporaryDir dir;
    EngineContext ctx;
    ScriptedMail mail;
    CountingFax fax;
    CountingPrinter printer;
    AccountFiles files;

    void SetUp() override
    {
        setProgramDir(dir.path());
        ensureDataDir();
        ctx.paths = filePaths();
        ctx.wait = [](int) {};
        ctx.mail = &mail;
        ctx.fax = &fax;
        ctx.printer = &printer;
        ctx.account.accountNo = QStringLiteral("01");
        ctx.account.forwardState = ForwardState::ForwardAndDelete;
        ctx.account.to = QStringList{QStringLiteral("to@y.jp")};
        ctx.account.smtp.server.host = QStringLiteral("smtp");
        ctx.account.sourceAddress = QStringLiteral("me@y.jp");
        ctx.account.forwardAsSender = false;
        files = AccountFiles::forAccount(ctx.paths, "01");
        QDir().mkpath(files.workFolder);
    }
    void TearDown() override { setProgramDir(QString()); }

    void store(const QStringList& names)
    {
        for (const QString& name : names)
            mail.files << files.workFolder + "/" + name;
    }
};

TEST_F(RetryFixture, ADeletionThatFailedIsRetriedWithoutForwardingAgain)
{
    store({"m1", "m2"});
    mail.refuseDelete = QStringList{"m1"};

    ASSERT_TRUE(ReceiveAndForward(ctx, "01"));
    EXPECT_EQ(mail.deleted, QStringList({"m1", "m2"}));
    EXPECT_EQ(mail.subjects.size(), 2);

    // m1 is still on the server: its deletion is tried again, and it is not sent again.
    ASSERT_TRUE(ReceiveAndForward(ctx, "01"));
    EXPECT_EQ(mail.deleted, QStringList({"m1", "m2", "m1"}));
    EXPECT_EQ(mail.subjects.size(), 2);
    EXPECT_TRUE(mail.files.isEmpty());
}

TEST_F(RetryFixture, AFailedPartIsSentAgainAloneAndFaxAndPrintHappenOnce)
{
    store({"m1"});
    ctx.faxPlatform = true;
    ctx.account.faxNumbers = QStringList{QStringLiteral("0312345678")};
    ctx.font.printMode = 2;
    ctx.account.phoneEditing = true;
    ctx.account.numberSubjects = true;
    ctx.account.splitChars = 2;
    ctx.account.splitMaxMails = 3;
    mail.sendResults = {QString(), QStringLiteral("SMTPサーバー smtp に接続できません"), QString()};

    ASSERT_TRUE(ReceiveAndForward(ctx, "01"));
    EXPECT_EQ(mail.subjects,
              QStringList({"subject of m1 1/3", "subject of m1 2/3", "subject of m1 3/3"}));
    EXPECT_TRUE(mail.deleted.isEmpty()) << "a message that did not go out whole stays";
    EXPECT_EQ(ctx.errorsReported, 1);
    EXPECT_EQ(fax.jobs, 1);
    EXPECT_EQ(printer.prints, 1);
    EXPECT_FALSE(QFile::exists(files.receivedList));

    mail.subjects.clear();
    ASSERT_TRUE(ReceiveAndForward(ctx, "01"));
    EXPECT_EQ(mail.subjects, QStringList({"subject of m1 2/3"}));
    EXPECT_EQ(mail.deleted, QStringList({"m1"})) << "whole now, so it leaves the server";
    EXPECT_EQ(fax.jobs, 1);
    EXPECT_EQ(printer.prints, 1);
    EXPECT_EQ(readTextLines(files.receiveCounter).value().value(0), "\"00001\",\"\"")
        << "the retry keeps its receive number";
}
