#include "service/AccountLoader.h"

#include "data/AccountRecord.h"
#include "data/DataLock.h"
#include "data/Encryption.h"
#include "data/ForwardLog.h"
#include "data/Paths.h"
#include "data/TextCodec.h"
#include "platform/mail/MailLibrary.h"
#include "service/EngineContext.h"
#include "service/ForwardingCycle.h"
#include "service/RuntimeError.h"
#include "service/Screen.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <memory>

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
    r.PhoneEditing = QStringLiteral("1");
    r.SplitChars.clear();
    r.SplitMaxMails = QStringLiteral("3");
    EXPECT_EQ(LoadCurrentAccount(r).splitChars, 0);
    EXPECT_EQ(LoadCurrentAccount(r).splitMaxMails, 3);
    r.SplitChars = QStringLiteral(" 70.0 ");
    EXPECT_EQ(LoadCurrentAccount(r).splitChars, 70);
    for (const char* bad : {"百", "40000", "abc"}) {
        r.SplitChars = QString::fromUtf8(bad);
        EXPECT_THROW(LoadCurrentAccount(r), RuntimeError) << bad;
    }
    // Without phone editing the split values play no part, whatever they hold.
    r.PhoneEditing = QStringLiteral("0");
    r.SplitMaxMails = QStringLiteral("50000");
    const CurrentAccount a = LoadCurrentAccount(r);
    EXPECT_EQ(a.splitChars, 0);
    EXPECT_EQ(a.splitMaxMails, 0);
}

// Reading the account file at the start of a cycle. No account here is served, so no mail
// server is involved.
struct AccountFileReading : ::testing::Test
{
    // Shows nothing; notes each box and whether another thread could take the data lock
    // while the box was up (another program would be blocked otherwise).
    struct ProbeScreen : Screen
    {
        QStringList boxes;
        bool lockFreeWhileShown = true;
        BoxAnswer messageBox(const QString& text, const QString&, BoxIcon, BoxButtons) override
        {
            boxes << text;
            bool taken = false;
            std::unique_ptr<QThread> other(
                QThread::create([&taken] { taken = DataLock(200).isLocked(); }));
            other->start();
            other->wait();
            lockFreeWhileShown = lockFreeWhileShown && taken;
            return BoxAnswer::Ok;
        }
        void showLog() override {}
        void processEvents() override {}
    };

    // An empty mailbox that notes whom it was asked for.
    struct EmptyMailboxes : mail::MailLibrary
    {
        QStringList collected;
        mail::MailResult RcvMail(const mail::PopAccount& account, const QString&) override
        {
            collected << account.server.host;
            return mail::MailResult::message(QString());
        }
        QString DeleteMail(const mail::PopAccount&, const QString&) override { return {}; }
        mail::ReadResult ReadMail(const QString&, const QString&) override { return {}; }
        mail::SendResult SendMail(const mail::SmtpServer&, const mail::OutgoingMail&) override
        {
            return {};
        }
    };

    QTemporaryDir dir;
    ProbeScreen screen;
    EmptyMailboxes mailboxes;
    EngineContext ctx;

    void SetUp() override
    {
        setProgramDir(dir.path());
        ensureDataDir();
        ctx.paths = filePaths();
        ctx.mail = &mailboxes;
        ctx.screen = &screen;
        ctx.wait = [](int) {};
    }
    void TearDown() override { setProgramDir(QString()); }

    static void put(const QString& path, const QByteArray& bytes)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    static QByteArray vacantAccountFile()
    {
        return *encodeLines({newAccountTemplateLine(QStringLiteral("01"))});
    }
    QList<LogRow> logRows() const { return takeLogRows().value_or(QList<LogRow>()); }
};

TEST_F(AccountFileReading, AnUnreadableFileIsLoggedOnceACycleAndWaitsOnNobody)
{
    // A folder in place of the account file: it exists but cannot be read.
    ASSERT_TRUE(QDir().mkpath(ctx.paths.accountFile));
    for (int cycle = 1; cycle <= 2; ++cycle) {
        RunForwardingCycle(ctx);
        EXPECT_TRUE(screen.boxes.isEmpty()) << "nobody is there to answer a box in a cycle";
        const QList<LogRow> rows = logRows();
        ASSERT_EQ(rows.size(), cycle) << "one line a cycle";
        EXPECT_EQ(rows.first().account, QStringLiteral("quillmarc"));
        EXPECT_FALSE(rows.first().sender.isEmpty());
        EXPECT_EQ(ctx.errorsReported, cycle);
    }
}

TEST_F(AccountFileReading, WithEncryptionOnAPlainFileIsReadSilentlyAndADamagedOneLoggedShortly)
{
    put(ctx.paths.encryptionMarker, "on");
    put(ctx.paths.accountFile, vacantAccountFile());
    RunForwardingCycle(ctx);
    EXPECT_TRUE(screen.boxes.isEmpty());
    EXPECT_TRUE(logRows().isEmpty());

    QByteArray damaged = *encryptBytes(vacantAccountFile());
    damaged.chop(12);
    put(ctx.paths.accountFile, damaged);
    for (int cycle = 1; cycle <= 2; ++cycle) {
        RunForwardingCycle(ctx);
        EXPECT_TRUE(screen.boxes.isEmpty());
        const QList<LogRow> rows = logRows();
        ASSERT_EQ(rows.size(), cycle) << "one line a cycle";
        const LogRow& row = rows.first();
        for (const QString& text : {row.account, row.sender, row.destination}) {
            EXPECT_LT(text.size(), 40);
            EXPECT_FALSE(text.contains(QString::fromLatin1(damaged.mid(8, 12))))
                << text.toStdString();
        }
    }
}

TEST_F(AccountFileReading, SplitValuesStopAnAccountOnlyWithPhoneEditingOn)
{
    AccountRecord r = record();
    r.SplitChars = QStringLiteral("abc");
    r.SplitMaxMails = QStringLiteral("50000");
    put(ctx.paths.accountFile, *encodeLines({buildReplacedLine(r)}));
    RunForwardingCycle(ctx);
    EXPECT_EQ(mailboxes.collected, QStringList{QStringLiteral("pop.example.jp")});
    EXPECT_TRUE(logRows().isEmpty());

    r.PhoneEditing = QStringLiteral("1");
    put(ctx.paths.accountFile, *encodeLines({buildReplacedLine(r)}));
    RunForwardingCycle(ctx);
    EXPECT_EQ(mailboxes.collected.size(), 1) << "not collected";
    const QList<LogRow> rows = logRows();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows.first().destination,
              QStringLiteral("分割文字数または分割通数が数値ではありません"));
}

TEST_F(AccountFileReading, OnlyTwoDigitAccountNumbersBecomeFolders)
{
    QStringList lines;
    for (const char* number : {"../../escape", "7", "00", "1a"}) {
        AccountRecord r = record();
        r.AccountNo = QString::fromLatin1(number);
        lines << buildReplacedLine(r);
    }
    put(ctx.paths.accountFile, *encodeLines(lines));
    RunForwardingCycle(ctx);
    EXPECT_TRUE(mailboxes.collected.isEmpty());
    const QList<LogRow> rows = logRows();
    ASSERT_EQ(rows.size(), 4);
    for (const LogRow& row : rows)
        EXPECT_EQ(row.destination, QStringLiteral("アカウント番号が正しくありません"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{"Data"});
}
