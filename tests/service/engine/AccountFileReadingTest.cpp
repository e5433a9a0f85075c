#include "data/AccountRecord.h"
#include "data/DataLock.h"
#include "data/Encryption.h"
#include "data/ForwardLog.h"
#include "data/Paths.h"
#include "data/TextCodec.h"
#include "platform/mail/MailLibrary.h"
#include "service/EngineContext.h"
#include "service/ForwardingCycle.h"
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
    r.ForwardTo = QStringLiteral("a@x");
    return r;
}

} // namespace

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
