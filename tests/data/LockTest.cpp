#include "DataFixture.h"
#include "data/AccountFile.h"
#include "data/DataLock.h"

#include <QProcess>
#include <QSet>
#include <QThread>
#include <memory>

using namespace qm;

namespace {

void startPeer(QProcess& peer, const QStringList& args)
{
    peer.start(QStringLiteral(QM_DATA_PEER), args);
    ASSERT_TRUE(peer.waitForStarted(5000));
}

} // namespace

TEST_F(DataTest, LockHeldByAnotherProcessTimesOutWithClearError)
{
    QProcess peer;
    startPeer(peer, {QStringLiteral("hold"), m_dir.path(), QStringLiteral("1500")});
    ASSERT_TRUE(peer.waitForReadyRead(5000));
    ASSERT_EQ(peer.readAll().trimmed(), QByteArray("locked"));

    {
        DataLock busy(200);
        EXPECT_FALSE(busy.isLocked());
        EXPECT_FALSE(busy.error().isEmpty());
    }
    const RewriteResult r = [] {
        AccountRecord rec = newAccountTemplate(QStringLiteral("01"));
        return saveAccount(rec);
    }();
    // The default wait outlasts the peer, so the save goes through once it lets go.
    EXPECT_TRUE(r.ok) << r.error.toStdString();
    ASSERT_TRUE(peer.waitForFinished(5000));
    EXPECT_EQ(peer.exitCode(), 0);
}

TEST_F(DataTest, LockIsFreedWhenItsHolderDies)
{
    QProcess peer;
    startPeer(peer, {QStringLiteral("hold"), m_dir.path(), QStringLiteral("60000")});
    ASSERT_TRUE(peer.waitForReadyRead(5000));
    peer.kill();
    ASSERT_TRUE(peer.waitForFinished(5000));
    DataLock lock(2000);
    EXPECT_TRUE(lock.isLocked()) << lock.error().toStdString();
    // Nested guards on one thread share the lock instead of waiting on themselves; another
    // thread still has to wait.
    DataLock nested(100);
    EXPECT_TRUE(nested.isLocked());
    bool otherThreadGotIt = true;
    std::unique_ptr<QThread> other(
        QThread::create([&] { otherThreadGotIt = DataLock(100).isLocked(); }));
    other->start();
    other->wait();
    EXPECT_FALSE(otherThreadGotIt);
}

TEST_F(DataTest, ConcurrentRewritesFromTwoProcessesLoseNothing)
{
    QProcess peer;
    startPeer(peer,
              {QStringLiteral("append"), m_dir.path(), QStringLiteral("1"), QStringLiteral("30")});
    for (int n = 31; n <= 60; ++n) {
        AccountRecord r = newAccountTemplate(formatAccountNo(n));
        const RewriteResult res = saveAccount(r);
        ASSERT_TRUE(res.ok) << res.error.toStdString();
    }
    ASSERT_TRUE(peer.waitForFinished(60000));
    ASSERT_EQ(peer.exitCode(), 0);

    const auto table = readAccountTable();
    ASSERT_TRUE(table);
    QSet<QString> numbers;
    for (const AccountRecord& r : table->records)
        numbers.insert(r.AccountNo);
    EXPECT_EQ(numbers.size(), 60);
    EXPECT_EQ(table->records.size(), 60);
}
