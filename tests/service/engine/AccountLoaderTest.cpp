#include "service/AccountLoader.h"

#include "data/AccountRecord.h"
#include "data/DataLock.h"
#include "data/Encryption.h"
#include "data/ForwardLog.h"
#include "data/Paths.h"
#include "data/TextCodec.h"
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

    QTemporaryDir dir;
    ProbeScreen screen;
    EngineContext ctx;

    void SetUp() override
    {
        setProgramDir(dir.path());
        ensureDataDir();
        ctx.paths = filePaths();
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

TEST_F(AccountFileReading, AnErrorIsShownOnlyAfterTheDataLockIsReleased)
{
    // A folder in place of the account file: it exists but cannot be read.
    ASSERT_TRUE(QDir().mkpath(ctx.paths.accountFile));
    RunForwardingCycle(ctx);
    ASSERT_EQ(screen.boxes.size(), 1);
    EXPECT_TRUE(screen.lockFreeWhileShown);
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
    EXPECT_EQ(FirstCollectedServer(ctx.paths), QStringLiteral("pop.example.jp\t110"));

    r.PhoneEditing = QStringLiteral("1");
    put(ctx.paths.accountFile, *encodeLines({buildReplacedLine(r)}));
    EXPECT_TRUE(FirstCollectedServer(ctx.paths).isEmpty());
    RunForwardingCycle(ctx);
    const QList<LogRow> rows = logRows();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows.first().destination,
              QStringLiteral("分割文字数または分割通数が数値ではありません"));
}
