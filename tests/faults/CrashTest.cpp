#include "data/Encryption.h"
#include "data/Paths.h"
#include "data/SettingsLine.h"
#include "data/TextCodec.h"
#include "data/TimerSettings.h"
#include "support/ProgramFolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QMap>
#include <QRandomGenerator>
#include <QThread>
#include <algorithm>
#include <gtest/gtest.h>
#include <iostream>
#include <memory>
#include <vector>

using namespace qm;
using namespace qm::test;

namespace {

// Four program folders are killed side by side: a cycle spends most of its time waiting
// before a deletion, so lanes keep 200 kills within a few minutes.
const int kLaneUsers[] = {68, 71, 72, 73};

int killCount()
{
    bool ok = false;
    const int n = qEnvironmentVariableIntValue("QM_FAULTS_KILLS", &ok);
    return ok && n > 0 ? n : 200;
}

// Every file a cycle rewrites must read back whole after any kill.
void expectFilesComplete(int kill)
{
    const auto accounts = readTextLines(filePaths().accountFile);
    ASSERT_TRUE(accounts.has_value()) << "kill " << kill << ": account file unreadable";
    ASSERT_EQ(accounts->size(), 1) << "kill " << kill;
    const auto record = AccountRecord::fromLine(accounts->first());
    ASSERT_TRUE(record.has_value()) << "kill " << kill << ": " << accounts->first().toStdString();
    EXPECT_EQ(record->AccountNo, QStringLiteral("01"));
    EXPECT_TRUE(record->FaxNumbers.startsWith(QStringLiteral("03-"))) << "kill " << kill;

    QString warning;
    readTimerSettings(filePaths().settingsFile, &warning);
    EXPECT_TRUE(warning.isEmpty()) << "kill " << kill << ": " << warning.toStdString();

    QString error;
    const auto log = readStoredFile(filePaths().logFile, &error);
    ASSERT_TRUE(log.has_value()) << "kill " << kill << ": " << error.toStdString();
    const auto text = decodeCp932(log->plain);
    ASSERT_TRUE(text.has_value()) << "kill " << kill << ": log is not whole Shift-JIS";
    for (const QString& line : splitLines(*text))
        ASSERT_EQ(splitSettingsLine(line).size(), 5)
            << "kill " << kill << ": " << line.toStdString();
    // Lines of a killed cycle wait in the journal; read with it, the log is whole too.
    ASSERT_TRUE(readLog(&error).has_value()) << "kill " << kill << ": " << error.toStdString();

    // A job file always names a complete fax image.
    const QDir spool(filePaths().dataDir + QStringLiteral("/FaxSpool"));
    for (const QString& job : spool.entryList({QStringLiteral("*.job")}, QDir::Files)) {
        const QFileInfo tif(
            spool.filePath(QString(job).replace(QStringLiteral(".job"), QStringLiteral(".tif"))));
        EXPECT_TRUE(tif.exists() && tif.size() > 1000)
            << "kill " << kill << ": " << job.toStdString();
    }
}

QMap<QString, int> forwardedSubjects(const QString& to)
{
    // Each accepted mail is decoded once; the list grows with every kill.
    static QHash<QString, QString> subjectOfFolder;
    QMap<QString, int> count;
    for (const ReceivedMail& m : receivedMails(to)) {
        auto it = subjectOfFolder.find(m.folder);
        if (it == subjectOfFolder.end())
            it = subjectOfFolder.insert(m.folder, parseMail(m.raw).subject);
        ++count[*it];
    }
    return count;
}

int duplicates(const QMap<QString, int>& count)
{
    int n = 0;
    for (int c : count)
        n += c - 1;
    return n;
}

int faxJobs()
{
    return QDir(filePaths().dataDir + QStringLiteral("/FaxSpool"))
        .entryList({QStringLiteral("*.job")}, QDir::Files)
        .size();
}

struct Lane
{
    int user = 0;
    QString to, boss;
    ProgramFolder* program = nullptr;
    QStringList delivered;
    int commands = 0, killed = 0, finished = 0, repeats = 0, lastDuplicates = 0;

    void use() const { setProgramDir(program->path()); }
    void deliverMail(const QString& subject)
    {
        deliver(user, QStringLiteral("山田 <yamada@sender.test>"), subject,
                QStringLiteral("本文 %1\n").arg(subject));
        delivered << subject;
    }
};

} // namespace

// kill -9 at random moments of cycles that collect, forward, fax to the spool, delete on the
// server and rewrite the account file for remote commands. QM_FAULTS_KILLS sets the count.
TEST(Crash, KillAtRandomMomentsLosesNothingAndRepeatsAtMostTheMessageInFlight)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    std::vector<std::unique_ptr<ProgramFolder>> folders;
    QList<Lane> lanes;
    int cycleMs = 0;
    for (int user : kLaneUsers) {
        folders.push_back(std::make_unique<ProgramFolder>());
        Lane lane;
        lane.user = user;
        lane.to = QStringLiteral("crash%1@dest.test").arg(user);
        lane.boss = QStringLiteral("boss%1@remote.test").arg(user);
        lane.program = folders.back().get();
        lane.use();
        lane.program->writeSettings(1, 1);
        AccountRecord a = testAccount(servers, "01", user, lane.to);
        a.ForwardState = QStringLiteral("2");
        a.RemoteAddress = lane.boss;
        a.FaxNumbers = QStringLiteral("03-1111-2222");
        lane.program->writeAccounts({a});
        clearReceivedMails(lane.boss);

        // One whole cycle first: how long a kill may wait.
        lane.deliverMail(QStringLiteral("crash-start"));
        QElapsedTimer clock;
        clock.start();
        const auto first = lane.program->runOnce();
        ASSERT_EQ(first.exitCode, 0) << first.stdErr.toStdString();
        cycleMs = std::max(cycleMs, int(clock.elapsed()));
        ASSERT_EQ(forwardedSubjects(lane.to).value(QStringLiteral("crash-start")), 1);
        ASSERT_EQ(faxJobs(), 1) << lane.program->logDump().toStdString();
        lanes << lane;
    }

    const int kills = killCount();
    QRandomGenerator random(20261207);
    int killNo = 0;
    for (int round = 0; killNo < kills; ++round) {
        const int active = std::min<int>(lanes.size(), kills - killNo);
        std::vector<std::unique_ptr<QProcess>> runs;
        QList<int> waits;
        for (int l = 0; l < active; ++l) {
            Lane& lane = lanes[l];
            if (round % 5 == 0)
                lane.deliverMail(QStringLiteral("crash-%1").arg(round));
            if (round % 10 == 5) {
                deliver(lane.user, lane.boss, QStringLiteral("ファックス"),
                        QStringLiteral("01\n03-%1-0000\n").arg(1000 + round));
                ++lane.commands;
            }
            auto p = std::make_unique<QProcess>();
            p->setProgram(lane.program->exe());
            p->setArguments({QStringLiteral("--run-once")});
            p->setStandardErrorFile(QProcess::nullDevice());
            p->start();
            ASSERT_TRUE(p->waitForStarted());
            runs.push_back(std::move(p));
            // Up to a little past a whole cycle, so deletions and rewrites are hit too.
            waits << int(random.bounded(quint32(cycleMs + 300)));
        }
        QElapsedTimer clock;
        clock.start();
        QList<int> order;
        for (int l = 0; l < active; ++l)
            order << l;
        std::sort(order.begin(), order.end(), [&](int x, int y) { return waits[x] < waits[y]; });
        for (int l : order) {
            QProcess& p = *runs[size_t(l)];
            const int left = std::max(0, waits[l] - int(clock.elapsed()));
            if (p.state() == QProcess::NotRunning || p.waitForFinished(left)) {
                ++lanes[l].finished;
            } else {
                p.kill(); // SIGKILL
                p.waitForFinished();
                ++lanes[l].killed;
            }
        }
        for (int l = 0; l < active; ++l, ++killNo) {
            Lane& lane = lanes[l];
            lane.use();
            expectFilesComplete(killNo);
            if (HasFatalFailure())
                return;
            const int now = duplicates(forwardedSubjects(lane.to));
            EXPECT_LE(now - lane.lastDuplicates, 1)
                << "kill " << killNo << " repeated more than one message";
            lane.repeats += now - lane.lastDuplicates;
            lane.lastDuplicates = now;
        }
    }

    // Undisturbed cycles, side by side, finish the work.
    for (int cycle = 0; cycle < 10; ++cycle) {
        std::vector<std::unique_ptr<QProcess>> runs;
        for (const Lane& lane : lanes) {
            if (mailboxCount(userName(lane.user)) == 0)
                continue;
            auto p = std::make_unique<QProcess>();
            p->setProgram(lane.program->exe());
            p->setArguments({QStringLiteral("--run-once")});
            p->start();
            runs.push_back(std::move(p));
        }
        if (runs.empty())
            break;
        for (auto& p : runs) {
            ASSERT_TRUE(p->waitForFinished(600000));
            ASSERT_EQ(p->exitCode(), 0) << p->readAllStandardError().toStdString();
        }
    }
    int killed = 0, finished = 0, messages = 0, commands = 0, repeats = 0, jobs = 0;
    for (Lane& lane : lanes) {
        lane.use();
        expectFilesComplete(kills);
        EXPECT_EQ(mailboxCount(userName(lane.user)), 0);
        const QMap<QString, int> forwarded = forwardedSubjects(lane.to);
        for (const QString& subject : lane.delivered)
            EXPECT_GE(forwarded.value(subject), 1) << subject.toStdString() << " lost";
        EXPECT_EQ(forwarded.size(), lane.delivered.size())
            << "forwarded: " << QStringList(forwarded.keys()).join(u',').toStdString()
            << "; delivered: " << lane.delivered.join(u',').toStdString();
        EXPECT_LE(duplicates(forwarded), lane.killed);
        EXPECT_GE(faxJobs(), lane.delivered.size());
        EXPECT_LE(faxJobs(), lane.delivered.size() + lane.killed);
        EXPECT_GE(receivedMails(lane.boss).size(), lane.commands);
        // A kill may cost the line of a forward in flight, but that message goes again and
        // is logged then: no other line may be missing.
        int forwardLines = 0;
        for (const LogRow& r : lane.program->log())
            forwardLines += r.destination == lane.to + QStringLiteral(" / ") ? 1 : 0;
        EXPECT_GE(forwardLines, lane.delivered.size());
        EXPECT_LE(forwardLines, receivedMails(lane.to).size());
        killed += lane.killed;
        finished += lane.finished;
        messages += lane.delivered.size();
        commands += lane.commands;
        repeats += duplicates(forwarded);
        jobs += faxJobs();
    }
    std::cout << "kill -9 runs: " << kills << " (killed mid-cycle " << killed
              << ", finished before the kill " << finished << "); messages " << messages
              << ", remote commands " << commands << ", forwarded twice " << repeats
              << ", fax jobs " << jobs << "; cycle " << cycleMs << " ms\n";
}
