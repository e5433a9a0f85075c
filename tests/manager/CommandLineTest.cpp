// The account manager's commands, for servers without a display: the editor's checks and
// save, the same messages, and nothing changed by a refused command.
#include "cli/AccountCommands.h"
#include "data/Paths.h"
#include "data/TimerSettings.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <gtest/gtest.h>

using namespace qm;
using namespace qm::cli;

namespace {

struct Result
{
    int status = -1;
    QString out;
    QString err;
};

Result run(const QStringList& args)
{
    Result r;
    QTextStream out(&r.out);
    QTextStream err(&r.err);
    r.status = runAccountCommand(args, out, err);
    out.flush();
    err.flush();
    return r;
}

// Every file below Data/ with its contents, to see that a refused command changed nothing.
QMap<QString, QByteArray> dataFiles()
{
    QMap<QString, QByteArray> files;
    QDirIterator it(filePaths().dataDir, QDir::Files);
    while (it.hasNext()) {
        QFile f(it.next());
        if (f.open(QIODevice::ReadOnly))
            files.insert(f.fileName(), f.readAll());
    }
    return files;
}

class CommandLine : public ::testing::Test
{
protected:
    void SetUp() override { setProgramDir(m_dir.path()); }
    void TearDown() override { setProgramDir(QString()); }
    QTemporaryDir m_dir;
};

} // namespace

TEST_F(CommandLine, AccountsAreAddedShownChangedAndDeletedThroughTheEditorsRules)
{
    const QStringList account{"AccountName=本店",
                              "SourceAddress=box@example.jp",
                              "PopUserId=box",
                              "PopPassword=Secret-123",
                              "PopServer=pop.example.jp",
                              "SmtpServer=smtp.example.jp",
                              "ForwardTo=a@example.jp,b@example.jp"};
    const Result added = run(QStringList{"--add"} + account);
    ASSERT_EQ(added.status, kCommandDone) << added.err.toStdString();
    EXPECT_EQ(added.out, QStringLiteral("01\n"));
    EXPECT_EQ(run({"--list"}).out, QStringLiteral("01\t本店\tbox@example.jp\t転送\n"));
    const Result shown = run({"--show", "01"});
    EXPECT_TRUE(shown.out.contains(QStringLiteral("ForwardTo=a@example.jp,b@example.jp\n")));
    EXPECT_TRUE(shown.out.contains(QStringLiteral("PopPassword=********\n")));
    EXPECT_FALSE(shown.out.contains(QStringLiteral("Secret-123")));

    // Refused: the editor's message with the field named, and every file as it was.
    const auto before = dataFiles();
    const Result split = run({"--set", "01", "PhoneEditing=1", "SplitChars=abc"});
    EXPECT_EQ(split.status, kCommandRefused);
    EXPECT_TRUE(split.err.startsWith(QStringLiteral("アカウント設定: SplitChars: ")))
        << split.err.toStdString();
    const Result nowhere = run({"--set", "01", "ForwardTo=", "FaxNumbers="});
    EXPECT_EQ(nowhere.status, kCommandRefused);
    EXPECT_TRUE(nowhere.err.contains(QStringLiteral("ForwardTo"))) << nowhere.err.toStdString();
    EXPECT_EQ(run({"--set", "01", "UseApop=yes"}).status, kCommandRefused);
    // A line break would split the account's line in two; the message says so.
    const Result broken = run({"--set", "01", "AccountName=a\nb"});
    EXPECT_EQ(broken.status, kCommandRefused);
    EXPECT_EQ(
        broken.err,
        QStringLiteral("アカウント設定: AccountName: 「アカウント名」に改行は使えません。\n"));
    EXPECT_EQ(dataFiles(), before);

    EXPECT_EQ(run({"--set", "01", "AccountNo=02"}).status, kCommandUsage);
    EXPECT_EQ(run({"--set", "100", "AccountName=x"}).status, kCommandUsage);
    EXPECT_EQ(run({"--show"}).status, kCommandUsage);
    EXPECT_EQ(run({"--set", "05", "AccountName=x"}).status, kCommandRefused) << "no account 05";

    ASSERT_EQ(run({"--set", "01", "ForwardState=2", "UseApop=1"}).status, kCommandDone);
    EXPECT_TRUE(run({"--show", "01"}).out.contains(QStringLiteral("ForwardState=2\n")));
    ASSERT_EQ(run({"--delete", "01"}).status, kCommandDone);
    EXPECT_TRUE(run({"--list"}).out.contains(QStringLiteral("停止中")));
}

// What the editor's boxes would not take, the command line does not either, with the editor's
// message under the key; "1" is account 01 as the list shows it.
TEST_F(CommandLine, EveryKeyIsCheckedAsTheEditorsBoxTakesIt)
{
    ASSERT_EQ(
        run({"--add", "SourceAddress=box@example.jp", "PopUserId=box", "PopPassword=pw",
             "PopServer=pop.example.jp", "SmtpServer=smtp.example.jp", "ForwardTo=a@example.jp"})
            .status,
        kCommandDone);
    const auto before = dataFiles();
    const auto refused = [](const QStringList& args) {
        const Result r = run(args);
        EXPECT_EQ(r.status, kCommandRefused) << args.join(u' ').toStdString();
        return r.err;
    };
    EXPECT_EQ(refused({"--set", "01", "PopPort=abc"}),
              QStringLiteral("アカウント設定: PopPort: "
                             "ポート番号は半角の数字（1～65535）で入力してください。\n"));
    refused({"--set", "01", "SmtpPort=70000"});
    refused({"--set", "01", "SmtpPort= 25"});
    EXPECT_TRUE(
        refused({"--set", "01", "FaxNumbers=abc"})
            .startsWith(QStringLiteral("アカウント設定: FaxNumbers: 「転送先FAX番号」の「abc」")));
    EXPECT_TRUE(refused({"--set", "01", "ForwardTo=a@example.jp,not-an-address"})
                    .startsWith(QStringLiteral("アカウント設定: ForwardTo: ")));
    refused({"--set", "01", "ForwardCc=x@y@z"});
    refused({"--set", "01", "SourceAddress=nobody"});
    // Kept for later while phone editing is off, but still only what the box takes.
    EXPECT_TRUE(refused({"--set", "01", "PhoneEditing=0", "SplitChars=abc"})
                    .startsWith(QStringLiteral("アカウント設定: SplitChars: ")));
    EXPECT_EQ(
        refused({"--set", "01", "AccountName=a\nb"}),
        QStringLiteral("アカウント設定: AccountName: 「アカウント名」に改行は使えません。\n"));
    EXPECT_TRUE(refused({"--set", "01", "ForwardTo=a@example.jp\nb@example.jp"})
                    .contains(QStringLiteral("改行")));
    EXPECT_EQ(dataFiles(), before);

    const Result unknown = run({"--set", "01", "Colour=red"});
    EXPECT_EQ(unknown.status, kCommandUsage);
    EXPECT_TRUE(unknown.err.contains(QStringLiteral("unknown key"))) << unknown.err.toStdString();
    EXPECT_TRUE(unknown.err.contains(QStringLiteral("Colour")));

    const Result shown = run({"--show", "1"});
    EXPECT_EQ(shown.status, kCommandDone) << shown.err.toStdString();
    EXPECT_TRUE(shown.out.startsWith(QStringLiteral("AccountNo=01\n")));
    EXPECT_EQ(run({"--set", "1", "FaxNumbers=03-1234-5678,+81 3 1234 5678", "PopPort=995"}).status,
              kCommandDone);
    EXPECT_TRUE(run({"--show", "01"})
                    .out.contains(QStringLiteral("FaxNumbers=03-1234-5678,+81 3 1234 5678\n")));
}

// Connection settings beside the account line: a new account requires TLS, values are checked
// and stored in their one form, and "auto" is the default that leaves no key.
TEST_F(CommandLine, ConnectionSettingsAreCheckedAndNewAccountsRequireTls)
{
    const Result added = run({"--add", "AccountName=a", "SourceAddress=a@example.jp", "PopUserId=a",
                              "PopPassword=Secret-123", "PopServer=pop.example.jp",
                              "ForwardTo=b@example.jp", "SmtpServer=smtp.example.jp"});
    ASSERT_EQ(added.status, kCommandDone) << added.err.toStdString();
    Result shown = run({"--show", "01"});
    EXPECT_TRUE(shown.out.contains(QStringLiteral("PopSecurity=required\nSmtpSecurity=required\n")))
        << shown.out.toStdString();
    const auto before = dataFiles();
    EXPECT_EQ(run({"--set", "01", "PopSecurity=starttls"}).status, kCommandRefused);
    EXPECT_EQ(run({"--set", "01", "SmtpPin=AB:CD"}).status, kCommandRefused);
    EXPECT_EQ(run({"--set", "01", "SmtpCaFile=ca.pem"}).status, kCommandRefused)
        << "not a full path";
    EXPECT_EQ(run({"--set", "01", "SmtpPerConnection=0"}).status, kCommandRefused);
    EXPECT_EQ(dataFiles(), before);
    const QString pin(64, u'a');
    ASSERT_EQ(run({"--set", "01", "PopSecurity=auto", "SmtpSecurity=TLS", "SmtpPin=" + pin,
                   "SmtpSizeLimit=3072"})
                  .status,
              kCommandDone);
    shown = run({"--show", "01"});
    EXPECT_FALSE(shown.out.contains(QStringLiteral("PopSecurity="))) << shown.out.toStdString();
    EXPECT_TRUE(shown.out.contains(QStringLiteral("SmtpSecurity=tls\n")));
    EXPECT_TRUE(shown.out.contains(QStringLiteral("SmtpPin=AA:AA:")));
    EXPECT_TRUE(shown.out.contains(QStringLiteral("SmtpSizeLimit=3072\n")));
}

TEST_F(CommandLine, CommonSettingsAreCheckedAsTheDialogChecksThem)
{
    EXPECT_EQ(run({"--set-common", "intervalMinutes=10.0", "detailLog=1"}).status, kCommandDone);
    TimerSettings s = readTimerSettings(filePaths().settingsFile);
    EXPECT_EQ(s.intervalMinutes, 10);
    EXPECT_EQ(s.detailLog, 1);

    const auto before = dataFiles();
    const Result range = run({"--set-common", "logRetentionHours=500"});
    EXPECT_EQ(range.status, kCommandRefused);
    EXPECT_TRUE(range.err.startsWith(QStringLiteral("共通設定: logRetentionHours: ログ保存期間")))
        << range.err.toStdString();
    EXPECT_FALSE(range.err.contains(u'\r'));
    EXPECT_EQ(
        run({"--set-common", "intervalMinutes=0"}).err,
        QStringLiteral("共通設定: intervalMinutes: メール受信の間隔は、1分 ～ 1440分です。\n"));
    EXPECT_EQ(run({"--set-common", "logRetentionHours=abc"}).err,
              QStringLiteral("共通設定: logRetentionHours: "
                             "ログ保存期間を入力してください。（1時間 ～ 168時間(7日)）\n"));
    EXPECT_EQ(run({"--set-common", "password=a,b"}).status, kCommandRefused);
    EXPECT_EQ(run({"--set-common", "password=a\r\nb"}).err,
              QStringLiteral("共通設定: password: パスワードに改行は使えません。\n"));
    EXPECT_EQ(run({"--set-common", "detailLog=2"}).status, kCommandRefused);
    EXPECT_EQ(run({"--set-common", "intervalMinutes"}).status, kCommandUsage);
    EXPECT_EQ(dataFiles(), before);
}

// The commands, and every mistake, run where no display is: quillmarcB reads its command line
// before Qt looks for a window system.
TEST_F(CommandLine, TheProgramRunsItsCommandsAndMistakesWithoutADisplay)
{
    const QString exe = m_dir.filePath(QStringLiteral("quillmarcB"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(QM_QUILLMARCB), exe));
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    p.setProcessEnvironment(env);
    const auto status = [&](const QStringList& args) {
        p.start(exe, args);
        EXPECT_TRUE(p.waitForFinished(20000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << args.join(u' ').toStdString();
        return p.exitCode();
    };
    EXPECT_EQ(status({"--set-common", "intervalMinutes=5"}), kCommandDone)
        << p.readAllStandardError().toStdString();
    EXPECT_EQ(status({"--list", "extra"}), kCommandUsage);
    EXPECT_EQ(status({"--lsit"}), kCommandUsage);
    EXPECT_TRUE(
        QString::fromLocal8Bit(p.readAllStandardError()).contains(QStringLiteral("--lsit")));
    EXPECT_EQ(status({"-style", "fusion", "--lsit"}), kCommandUsage);
    EXPECT_EQ(status({"--help"}), kCommandDone);
    EXPECT_TRUE(
        QString::fromLocal8Bit(p.readAllStandardOutput()).contains(QStringLiteral("--set-common")));
    // No command and nothing to show the window on: said so, not a crash inside Qt.
    EXPECT_EQ(status({}), kNoDisplay);
    EXPECT_TRUE(
        QString::fromLocal8Bit(p.readAllStandardError()).contains(QStringLiteral("--help")));
}
