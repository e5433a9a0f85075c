#include "data/AccountRecord.h"
#include "data/Paths.h"
#include "data/TextCodec.h"
#include "data/TimerSettings.h"
#include "support/MailTestSupport.h"
#include "support/NotifySocket.h"
#include "support/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

using namespace qm;
using namespace qm::test;

namespace {

const QString kUnit = QStringLiteral("/lib/systemd/system/quillmarc.service");
const QString kStateDir = QStringLiteral("/var/lib/quillmarc");

struct Ran
{
    int exitCode = -1;
    QString output; // standard output and error together
};

Ran run(const QString& program, const QStringList& args, int timeoutMs,
        const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(program, args);
    Ran r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        r.output = QStringLiteral("timed out: ") + program + u' ' + args.join(u' ');
    } else if (p.exitStatus() == QProcess::NormalExit) {
        r.exitCode = p.exitCode();
    }
    r.output += QString::fromLocal8Bit(p.readAll());
    return r;
}

bool packageInstalled()
{
    const Ran r = run(QStringLiteral("dpkg-query"),
                      {QStringLiteral("-W"), QStringLiteral("-f=${db:Status-Status}"),
                       QStringLiteral("quillmarc")},
                      30000);
    return r.exitCode == 0 && r.output.trimmed() == QLatin1String("installed");
}

QString unitValue(const QString& key)
{
    QFile f(kUnit);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    for (const QString& line : QString::fromUtf8(f.readAll()).split(u'\n')) {
        if (line.startsWith(key + u'='))
            return line.mid(key.size() + 1).trimmed();
    }
    return QString();
}

// The unit's own command and user, with its data folder swapped for a test folder.
QStringList serviceCommand(const QString& dataFolder)
{
    const QString user = unitValue(QStringLiteral("User"));
    QStringList command = {QStringLiteral("setpriv"), QStringLiteral("--reuid=") + user,
                           QStringLiteral("--regid=") + user, QStringLiteral("--init-groups"),
                           QStringLiteral("--")};
    for (const QString& word :
         unitValue(QStringLiteral("ExecStart")).split(u' ', Qt::SkipEmptyParts))
        command << (word == kStateDir ? dataFolder : word);
    return command;
}

// A data folder of the service's user, as an administrator would prepare it.
class ServiceData
{
public:
    ServiceData() { QDir().mkpath(paths().dataDir); }
    QString path() const { return m_dir.path(); }
    FilePaths paths() const { return SetFilePaths(m_dir.path(), m_dir.path()); }

    void writeSettings() const
    {
        QString error;
        ASSERT_TRUE(writeTimerSettings(paths().settingsFile, TimerSettings(), &error))
            << error.toStdString();
    }
    void writeAccounts(const QList<AccountRecord>& records) const
    {
        QStringList lines;
        for (const AccountRecord& r : records)
            lines << buildReplacedLine(r);
        QString error;
        ASSERT_TRUE(writeTextLines(paths().accountFile, lines, &error)) << error.toStdString();
    }
    void giveToServiceUser() const
    {
        const QString user = unitValue(QStringLiteral("User"));
        ASSERT_EQ(
            run(QStringLiteral("chown"), {QStringLiteral("-R"), user + u':' + user, path()}, 30000)
                .exitCode,
            0);
    }

private:
    QTemporaryDir m_dir;
};

} // namespace

class PackageTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        if (::geteuid() != 0) {
            s_skip = "installing a package needs root";
            return;
        }
        if (packageInstalled() && QFileInfo(kStateDir + QStringLiteral("/Data")).isDir()) {
            s_problem = "quillmarc is installed here with data in /var/lib/quillmarc; purging it "
                        "at the end would lose that data";
            return;
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const QString out = QStringLiteral(QM_BINARY_DIR "/package-test");
        env.insert(QStringLiteral("OUT_DIR"), out);
        const Ran built =
            run(QStringLiteral(QM_SOURCE_DIR "/scripts/package.sh"),
                {QStringLiteral("--prebuilt"), QStringLiteral(QM_BINARY_DIR)}, 600000, env);
        const QStringList debs =
            QDir(out).entryList({QStringLiteral("quillmarc_*.deb")}, QDir::Files);
        if (built.exitCode != 0 || debs.size() != 1) {
            s_problem = "scripts/package.sh failed:\n" + built.output.right(6000).toStdString();
            return;
        }
        env.insert(QStringLiteral("DEBIAN_FRONTEND"), QStringLiteral("noninteractive"));
        const Ran installed =
            run(QStringLiteral("apt-get"),
                {QStringLiteral("-o"), QStringLiteral("DPkg::Lock::Timeout=600"),
                 QStringLiteral("install"), QStringLiteral("-y"),
                 QStringLiteral("--no-install-recommends"), out + u'/' + debs.first()},
                600000, env);
        if (installed.exitCode != 0 || !packageInstalled())
            s_problem = "apt-get install failed:\n" + installed.output.right(6000).toStdString();
    }

    static void TearDownTestSuite()
    {
        if (!packageInstalled())
            return;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DEBIAN_FRONTEND"), QStringLiteral("noninteractive"));
        const Ran purged =
            run(QStringLiteral("apt-get"),
                {QStringLiteral("-o"), QStringLiteral("DPkg::Lock::Timeout=600"),
                 QStringLiteral("purge"), QStringLiteral("-y"), QStringLiteral("quillmarc")},
                600000, env);
        EXPECT_EQ(purged.exitCode, 0) << purged.output.toStdString();
        EXPECT_FALSE(packageInstalled());
        for (const char* path : {"/usr/bin/quillmarc", "/usr/bin/quillmarcB",
                                 "/lib/systemd/system/quillmarc.service", "/var/lib/quillmarc"})
            EXPECT_FALSE(QFileInfo::exists(QString::fromLatin1(path))) << path << " after purge";
    }

    void SetUp() override
    {
        if (!s_skip.empty())
            GTEST_SKIP() << s_skip;
        if (!s_problem.empty())
            FAIL() << s_problem;
    }

    static inline std::string s_skip;
    static inline std::string s_problem;
};

TEST_F(PackageTest, InstallsProgramsPagesMenuEntriesAndAUnitSystemdAccepts)
{
    for (const char* path :
         {"/usr/bin/quillmarc", "/usr/bin/quillmarcB", "/usr/share/man/man1/quillmarc.1.gz",
          "/usr/share/man/man1/quillmarcB.1.gz", "/usr/share/applications/quillmarc.desktop",
          "/usr/share/applications/quillmarcB.desktop",
          "/usr/share/icons/hicolor/scalable/apps/quillmarc.svg",
          "/usr/share/icons/hicolor/scalable/apps/quillmarcB.svg"})
        EXPECT_TRUE(QFileInfo::exists(QString::fromLatin1(path))) << path;
    const QString user = unitValue(QStringLiteral("User"));
    ASSERT_FALSE(user.isEmpty());
    const passwd* pw = ::getpwnam(user.toLocal8Bit().constData());
    ASSERT_NE(pw, nullptr) << "the package makes the service's user";
    EXPECT_NE(pw->pw_uid, 0u);
    EXPECT_EQ(QFileInfo(kStateDir).ownerId(), pw->pw_uid);

    // verify exits 0 on unknown keys and values it ignores; only silence means all was taken.
    const Ran verify =
        run(QStringLiteral("systemd-analyze"), {QStringLiteral("verify"), kUnit}, 60000);
    EXPECT_EQ(verify.exitCode, 0);
    EXPECT_EQ(verify.output.trimmed(), QString());

    // Root may write /usr/bin, but without --data a desktop user's folder is chosen, not that.
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.remove(QStringLiteral("XDG_DATA_HOME"));
    env.remove(QStringLiteral("QUILLMARC_DATA"));
    const Ran once =
        run(QStringLiteral("/usr/bin/quillmarc"), {QStringLiteral("--run-once")}, 60000, env);
    EXPECT_EQ(once.exitCode, 2);
    EXPECT_TRUE(once.output.contains(home.path() +
                                     QStringLiteral("/.local/share/quillmarc/Data/TimerSet.txt")))
        << once.output.toStdString();
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/usr/bin/Data")));
}

TEST_F(PackageTest, ForwardsACycleAsTheServiceUserOnAFreshDataFolder)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    ServiceData data;
    const QString to = QStringLiteral("package01@dest.test");
    // Set up as an administrator would on a server without a screen.
    const QString manager = QStringLiteral("/usr/bin/quillmarcB");
    const QStringList dataOption{QStringLiteral("--data"), data.path()};
    const Ran common =
        run(manager, dataOption + QStringList{"--set-common", "intervalMinutes=5"}, 30000);
    ASSERT_EQ(common.exitCode, 0) << common.output.toStdString();
    const Ran added = run(
        manager,
        dataOption + QStringList{"--add", "AccountName=パッケージ試験",
                                 "SourceAddress=u01@quillmarc.test", "PopUserId=" + userName(1),
                                 "PopPassword=" + userPassword(1), "PopServer=" + servers.pop3Host,
                                 "PopPort=" + QString::number(servers.pop3Port),
                                 "SmtpServer=" + servers.smtpHost,
                                 "SmtpPort=" + QString::number(servers.smtpPort),
                                 "ForwardAsSender=0", "ForwardTo=" + to},
        30000);
    ASSERT_EQ(added.exitCode, 0) << added.output.toStdString();
    EXPECT_EQ(added.output.trimmed(), QStringLiteral("01"));
    emptyMailbox(userName(1));
    clearReceivedMails(to);
    // The service's user may not read the test servers' CA where run.sh keeps it.
    const QString ca = data.path() + QStringLiteral("/ca.pem");
    ASSERT_TRUE(QFile::copy(servers.caFile, ca));
    data.giveToServiceUser();
    deliver(1, QStringLiteral("sender@example.test"), QStringLiteral("パッケージ"),
            QStringLiteral("インストールしたプログラムから\n"));

    QStringList command = serviceCommand(data.path());
    command.replaceInStrings(QRegularExpression(QStringLiteral("^--headless$")),
                             QStringLiteral("--run-once"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QM_CA_FILE"), ca);
    env.insert(QStringLiteral("HOME"), data.path());
    const Ran cycle = run(command.first(), command.mid(1), 120000, env);
    EXPECT_EQ(cycle.exitCode, 0) << cycle.output.toStdString();

    const QList<ReceivedMail> sent = receivedMails(to);
    ASSERT_EQ(sent.size(), 1) << cycle.output.toStdString();
    EXPECT_EQ(parseMail(sent.first().raw).subject, QStringLiteral("パッケージ"));
    EXPECT_TRUE(QFileInfo(data.path() + QStringLiteral("/MlTmp01/Data")).isDir())
        << "work folders beside Data/, inside the service's folder";
}

TEST_F(PackageTest, HeadlessServiceTellsItsManagerWhenReadyAndWhenStopping)
{
    ServiceData data;
    data.writeSettings();
    data.writeAccounts({});
    NotifySocket notify(data.path() + QStringLiteral("/notify"));
    ASSERT_TRUE(notify.isValid());
    data.giveToServiceUser();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("NOTIFY_SOCKET"), notify.path());
    env.insert(QStringLiteral("HOME"), data.path());
    const QStringList command = serviceCommand(data.path());
    QProcess service;
    service.setProcessEnvironment(env);
    service.setProcessChannelMode(QProcess::MergedChannels);
    service.start(command.first(), command.mid(1));
    ASSERT_TRUE(service.waitForStarted());
    const bool ready = notify.waitFor(QStringLiteral("READY=1"), 30000);
    EXPECT_TRUE(ready) << QString::fromLocal8Bit(service.readAll()).toStdString();
    // setpriv execs the program, so this is the service's own pid, as systemd would see it.
    ::kill(pid_t(service.processId()), SIGTERM);
    if (ready)
        EXPECT_TRUE(notify.waitFor(QStringLiteral("STOPPING=1"), 10000));
    ASSERT_TRUE(service.waitForFinished(30000));
    EXPECT_EQ(service.exitCode(), 0) << QString::fromLocal8Bit(service.readAll()).toStdString();
}
