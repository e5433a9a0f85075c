#include "ProgramFolder.h"
#include "data/Encryption.h"
#include "data/Paths.h"
#include "data/SettingsLine.h"
#include "data/TextCodec.h"
#include "data/TimerSettings.h"

#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QMap>
#include <QRandomGenerator>
#include <QThread>
#include <gtest/gtest.h>
#include <iostream>

using namespace qm;
using namespace qm::test;

namespace {

const QString kBoss = QStringLiteral("boss68@remote.test");
const QString kTo = QStringLiteral("crash68@dest.test");
const int kUser = 68;

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

    // A job file always names a complete fax image.
    const QDir spool(filePaths().dataDir + QStringLiteral("/FaxSpool"));
    for (const QString& job : spool.entryList({QStringLiteral("*.job")}, QDir::Files)) {
        const QFileInfo tif(
            spool.filePath(QString(job).replace(QStringLiteral(".job"), QStringLiteral(".tif"))));
        EXPECT_TRUE(tif.exists() && tif.size() > 1000)
            << "kill " << kill << ": " << job.toStdString();
    }
}

QMap<QString, int> forwardedSubjects()
{
    // Each accepted mail is decoded once; the list grows with every kill.
    static QHash<QString, QString> subjectOfFolder;
    QMap<QString, int> count;
    for (const ReceivedMail& m : receivedMails(kTo)) {
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

} // namespace

// kill -9 at random moments of cycles that collect, forward, fax to the spool, delete on the
// server and rewrite the account file for remote commands. QM_FAULTS_KILLS sets the count.
TEST(Crash, KillAtRandomMomentsLosesNothingAndRepeatsAtMostTheMessageInFlight)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    ProgramFolder program;
    program.writeSettings(1, 1);
    AccountRecord a = testAccount(servers, "01", kUser, kTo);
    a.ForwardState = QStringLiteral("2");
    a.RemoteAddress = kBoss;
    a.FaxNumbers = QStringLiteral("03-1111-2222");
    program.writeAccounts({a});
    clearReceivedMails(kBoss);

    // One whole cycle first: how long a kill may wait.
    deliver(kUser, QStringLiteral("山田 <yamada@sender.test>"), QStringLiteral("crash-start"),
            QStringLiteral("最初の一通\n"));
    QElapsedTimer clock;
    clock.start();
    const auto first = program.runOnce();
    ASSERT_EQ(first.exitCode, 0) << first.stdErr.toStdString();
    const int cycleMs = int(clock.elapsed());
    ASSERT_EQ(forwardedSubjects().value(QStringLiteral("crash-start")), 1);
    ASSERT_EQ(faxJobs(), 1) << program.logDump().toStdString();

    const int kills = killCount();
    QStringList delivered{QStringLiteral("crash-start")};
    int commands = 0, killedMidway = 0, finishedFirst = 0, repeats = 0;
    int lastDuplicates = 0;
    QRandomGenerator random(20261207);
    for (int i = 0; i < kills; ++i) {
        if (i % 4 == 0) {
            const QString subject = QStringLiteral("crash-%1").arg(i);
            deliver(kUser, QStringLiteral("山田 <yamada@sender.test>"), subject,
                    QStringLiteral("本文 %1\n").arg(i));
            delivered << subject;
        }
        if (i % 20 == 10) {
            deliver(kUser, kBoss, QStringLiteral("ファックス"),
                    QStringLiteral("01\n03-%1-0000\n").arg(1000 + i));
            ++commands;
        }
        QProcess p;
        p.setProgram(program.exe());
        p.setArguments({QStringLiteral("--run-once")});
        p.setStandardErrorFile(QProcess::nullDevice());
        p.start();
        ASSERT_TRUE(p.waitForStarted());
        const int wait = int(random.bounded(quint32(std::min(cycleMs, 2000))));
        if (p.waitForFinished(wait)) {
            ++finishedFirst;
        } else {
            p.kill(); // SIGKILL
            p.waitForFinished();
            ++killedMidway;
        }
        expectFilesComplete(i);
        if (HasFatalFailure())
            return;
        const int now = duplicates(forwardedSubjects());
        EXPECT_LE(now - lastDuplicates, 1) << "kill " << i << " repeated more than one message";
        repeats += now - lastDuplicates;
        lastDuplicates = now;
    }

    // Undisturbed cycles finish the work.
    for (int cycle = 0; cycle < 10 && mailboxCount(userName(kUser)) > 0; ++cycle) {
        const auto run = program.runOnce(600000);
        ASSERT_EQ(run.exitCode, 0) << run.stdErr.toStdString();
    }
    expectFilesComplete(kills);
    EXPECT_EQ(mailboxCount(userName(kUser)), 0);
    const QMap<QString, int> forwarded = forwardedSubjects();
    for (const QString& subject : delivered)
        EXPECT_GE(forwarded.value(subject), 1) << subject.toStdString() << " lost";
    EXPECT_EQ(forwarded.size(), delivered.size());
    EXPECT_LE(duplicates(forwarded), killedMidway);
    EXPECT_GE(faxJobs(), delivered.size());
    EXPECT_LE(faxJobs(), delivered.size() + killedMidway);
    EXPECT_GE(receivedMails(kBoss).size(), commands);
    std::cout << "kill -9 runs: " << kills << " (killed mid-cycle " << killedMidway
              << ", finished before the kill " << finishedFirst << "); messages "
              << delivered.size() << ", remote commands " << commands << ", forwarded twice "
              << repeats << ", fax jobs " << faxJobs() << "; cycle " << cycleMs << " ms\n";
}
