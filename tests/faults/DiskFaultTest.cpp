#include "data/Paths.h"
#include "data/TextCodec.h"
#include "support/ProgramFolder.h"

#include <QDir>
#include <QProcess>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace qm;
using namespace qm::test;

namespace {

const QString kBoss = QStringLiteral("boss69@remote.test");

bool run(const QString& program, const QStringList& args)
{
    return QProcess::execute(program, args) == 0;
}

// Data/ on a small tmpfs of its own, so it can be filled or made read-only.
class SmallDataDisk
{
public:
    explicit SmallDataDisk(const QString& dataDir) : m_dir(dataDir)
    {
        m_mounted = geteuid() == 0 &&
                    run(QStringLiteral("mount"),
                        {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                         QStringLiteral("size=4m"), QStringLiteral("tmpfs"), dataDir});
    }
    ~SmallDataDisk()
    {
        if (m_mounted)
            run(QStringLiteral("umount"), {m_dir});
    }
    bool mounted() const { return m_mounted; }
    void readOnly(bool on)
    {
        run(QStringLiteral("mount"),
            {QStringLiteral("-o"), on ? QStringLiteral("remount,ro") : QStringLiteral("remount,rw"),
             m_dir});
    }
    void fill()
    {
        run(QStringLiteral("sh"),
            {QStringLiteral("-c"),
             QStringLiteral("dd if=/dev/zero of='%1/filler' bs=64k 2>/dev/null; true").arg(m_dir)});
    }
    void unfill() { QFile::remove(m_dir + QStringLiteral("/filler")); }

private:
    QString m_dir;
    bool m_mounted = false;
};

QMap<QString, QByteArray> snapshot()
{
    QMap<QString, QByteArray> files;
    const QDir dir(filePaths().dataDir);
    for (const QString& name : dir.entryList(QDir::Files)) {
        if (name != u"filler")
            files[name] = readFileBytes(dir.filePath(name)).value_or(QByteArray("<unreadable>"));
    }
    return files;
}

} // namespace

// A remote command mail makes the cycle rewrite the account file, and every step writes the
// log; with Data/ read-only or full both must fail with a message and leave the files whole.
TEST(DiskFaults, ReadOnlyOrFullDataLeavesEveryFileWholeAndTheCommandRunsLater)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    ProgramFolder program;
    SmallDataDisk disk(filePaths().dataDir);
    if (!disk.mounted()) {
        if (runningInCi())
            FAIL() << "cannot mount a tmpfs on Data/ (needs root)";
        GTEST_SKIP() << "cannot mount a tmpfs on Data/ (needs root)";
    }
    program.writeSettings(1, 1);
    AccountRecord a = testAccount(servers, "01", 69, QStringLiteral("disk69@dest.test"));
    a.RemoteAddress = kBoss;
    a.FaxNumbers = QStringLiteral("03-1111-2222");
    program.writeAccounts({a});
    ASSERT_EQ(program.runOnce().exitCode, 0); // the log exists before the faults
    deliver(69, kBoss, QStringLiteral("ファックス"), QStringLiteral("01\n03-9999-0000\n"));

    for (const bool full : {false, true}) {
        SCOPED_TRACE(full ? "full" : "read-only");
        const auto before = snapshot();
        if (full)
            disk.fill();
        else
            disk.readOnly(true);
        const auto faulted = program.runOnce();
        if (full)
            disk.unfill();
        else
            disk.readOnly(false);
        EXPECT_NE(faulted.exitCode, 0) << faulted.stdErr.toStdString();
        EXPECT_FALSE(faulted.stdErr.trimmed().isEmpty());
        const auto after = snapshot();
        for (auto it = before.begin(); it != before.end(); ++it)
            EXPECT_EQ(after.value(it.key()), it.value()) << it.key().toStdString() << " changed";
        for (const QString& name : after.keys())
            EXPECT_TRUE(before.contains(name) || !name.contains(u'.') ||
                        name.endsWith(u".instance"))
                << name.toStdString() << " left behind";
        EXPECT_EQ(program.storedAccount("01")->FaxNumbers, QStringLiteral("03-1111-2222"));
    }

    const auto healthy = program.runOnce();
    EXPECT_EQ(healthy.exitCode, 0) << healthy.stdErr.toStdString();
    // The command that could not be stored was kept and is applied now.
    EXPECT_EQ(program.storedAccount("01")->FaxNumbers, QStringLiteral("03-9999-0000"))
        << program.logDump().toStdString();
}
