#include "UiTestSupport.h"
#include "data/AccountRecord.h"
#include "data/LogRowKind.h"
#include "data/Paths.h"
#include "data/TextCodec.h"
#include "platform/mail/MailLibrary.h"
#include "service/ForwardingTimer.h"
#include "service/ui/FormQuillmarc.h"
#include "service/ui/WindowService.h"
#include "support/ProgramFolder.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QSystemTrayIcon>
#include <QTcpServer>
#include <QTimer>
#include <QTreeWidget>

using namespace qm;
using namespace qm::ui;
using namespace qm::ui::test;

namespace {

const QString kSender = QStringLiteral("山田 <yamada@sender.test>");

class WindowCycleTest : public ProgramDirTest
{
protected:
    void writeAccounts(const QList<AccountRecord>& records)
    {
        QStringList lines;
        for (const AccountRecord& r : records)
            lines << buildReplacedLine(r);
        QString error;
        ASSERT_TRUE(writeTextLines(filePaths().accountFile, lines, &error)) << error.toStdString();
    }

    // Runs the event loop until done() or the time is up.
    static bool waitUntil(const std::function<bool()>& done, int ms)
    {
        QElapsedTimer clock;
        clock.start();
        while (!done()) {
            if (clock.elapsed() > ms)
                return false;
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return true;
    }

    static QList<LogRow> logRows() { return readLog().value_or(QList<LogRow>()); }
};

TEST_F(WindowCycleTest, SmtpServerDownIsLoggedOncePerCycleWithoutABoxAndCyclesKeepTheirTime)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    writeSettings(R"("1","24",0,0,"",0,0,0,0)");
    AccountRecord a = qm::test::testAccount(servers, "01", 73, QStringLiteral("down73@dest.test"));
    a.SmtpPort = QString::number(qm::test::closedPort());
    writeAccounts({a});
    qm::test::deliver(73, kSender, QStringLiteral("一通目"), QStringLiteral("本文1\n"));
    qm::test::deliver(73, kSender, QStringLiteral("二通目"), QStringLiteral("本文2\n"));

    WindowEngine engine;
    constexpr int kTickMs = 400;
    FormQuillmarc window(engine.hooks(), WindowTimings{kTickMs, 20});
    engine.attach(&window);
    QList<qint64> starts, ends;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(window.timer(), &service::ForwardingTimer::cycleStarted,
                     [&] { starts << clock.elapsed(); });
    QObject::connect(window.timer(), &service::ForwardingTimer::cycleFinished,
                     [&] { ends << clock.elapsed(); });
    ASSERT_TRUE(window.startUp());
    window.show();

    ASSERT_TRUE(waitUntil([&] { return ends.size() >= 2; }, 60000)) << "two cycles ran";
    EXPECT_TRUE(MessageBox::shown().isEmpty()) << shownTexts().join(u'\n').toStdString();
    // The next cycle starts one tick after the last one ended: nobody had to click anything.
    EXPECT_LE(starts.at(1) - ends.at(0), 3 * kTickMs);

    // Two messages, two cycles: one line a cycle, under the account, with what to do.
    int lines = 0;
    for (const LogRow& r : logRows()) {
        if (!r.sender.contains(QStringLiteral("に接続できません")))
            continue;
        ++lines;
        EXPECT_EQ(r.account, QStringLiteral("試験01"));
        EXPECT_TRUE(r.sender.startsWith(QStringLiteral("SMTPサーバー "))) << r.sender.toStdString();
        EXPECT_TRUE(r.sender.contains(QStringLiteral("手順: 接続"))) << r.sender.toStdString();
        EXPECT_FALSE(r.sender.contains(QStringLiteral("サーバーの応答"))) << r.sender.toStdString();
        EXPECT_EQ(logRowKind(r), LogRowKind::Error);
    }
    EXPECT_GE(lines, 2);
    EXPECT_LE(lines, int(ends.size()));
    EXPECT_EQ(qm::test::mailboxCount(qm::test::userName(73)), 2) << "nothing was lost";

    // The window and the tray say so until a cycle goes through.
    EXPECT_TRUE(window.needsAttention());
    EXPECT_TRUE(window.LabelAttention->isVisible());
    EXPECT_TRUE(window.LabelAttention->text().contains(QStringLiteral("に接続できません")));
    EXPECT_TRUE(window.trayIcon()->toolTip().contains(QStringLiteral("要確認")));
    const QTreeWidgetItem* top = nullptr;
    for (int i = 0; i < window.ListView->topLevelItemCount() && !top; ++i) {
        if (window.ListView->topLevelItem(i)->text(3).contains(QStringLiteral("接続できません")))
            top = window.ListView->topLevelItem(i);
    }
    ASSERT_NE(top, nullptr);
    EXPECT_FALSE(top->icon(2).isNull()) << "an error row shows its kind";
    EXPECT_EQ(top->toolTip(3).contains(QStringLiteral("手順: 接続")), true);

    a.SmtpPort = QString::number(servers.smtpPort);
    writeAccounts({a});
    const qsizetype before = ends.size();
    ASSERT_TRUE(waitUntil([&] { return ends.size() >= before + 1; }, 60000));
    EXPECT_EQ(qm::test::receivedMails(QStringLiteral("down73@dest.test")).size(), 2);
    EXPECT_FALSE(window.needsAttention());
    EXPECT_FALSE(window.trayIcon()->toolTip().contains(QStringLiteral("要確認")));
    window.ExitService();
    EXPECT_TRUE(window.hasEnded());
}

// A POP3 server that takes the connection and never says a word.
TEST_F(WindowCycleTest, WindowAnswersWhileAServerHangsAndQuittingWaitsOnlyForTheStepInHand)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    writeSettings(R"("1","24",0,0,"",0,0,0,1)");
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    const QString to = QStringLiteral("hang74@dest.test");
    AccountRecord first = qm::test::testAccount(servers, "01", 74, to);
    AccountRecord hanging = qm::test::testAccount(servers, "02", 75, to);
    hanging.PopPort = QString::number(silent.serverPort());
    AccountRecord last = qm::test::testAccount(servers, "03", 76, to);
    writeAccounts({first, hanging, last});
    qm::test::deliver(74, kSender, QStringLiteral("先"), QStringLiteral("本文\n"));
    qm::test::deliver(76, kSender, QStringLiteral("後"), QStringLiteral("本文\n"));
    mail::setMailTimeouts({5, 4});

    WindowEngine engine;
    FormQuillmarc window(engine.hooks(), WindowTimings{3600000, 20});
    engine.attach(&window);
    ASSERT_TRUE(window.startUp());
    window.show();

    int ticks = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] { ++ticks; });
    heartbeat.start(50);
    bool shownWhileRunning = false;
    bool endedWhileRunning = true;
    bool endedUnderDialog = false;
    // Once the hanging account is reached, the first account's forward is in the view
    // already, and the user quits.
    QTimer::singleShot(0, [&] {
        waitUntil([&] { return silent.hasPendingConnections(); }, 30000);
        waitUntil([&] { return !window.ListView->findItems(to, Qt::MatchContains, 4).isEmpty(); },
                  5000);
        shownWhileRunning = window.timer()->isCycleRunning() &&
                            !window.ListView->findItems(to, Qt::MatchContains, 4).isEmpty();
        window.ExitService();
        endedWhileRunning = window.hasEnded();
        // A dialog the user opens meanwhile does not hold the cycle's end.
        QDialog about(&window);
        QTimer::singleShot(0, [&] {
            endedUnderDialog = waitUntil([&] { return !window.timer()->isCycleRunning(); }, 30000);
            about.reject();
        });
        about.exec();
    });
    const int ticksBefore = ticks;
    window.forwardNow();
    ASSERT_TRUE(waitUntil([&] { return !window.timer()->isCycleRunning(); }, 30000));
    heartbeat.stop();
    EXPECT_TRUE(endedUnderDialog);

    EXPECT_GE(ticks - ticksBefore, 20) << "the window kept handling its events for seconds";
    EXPECT_TRUE(shownWhileRunning) << "the log grew while the cycle ran";
    EXPECT_FALSE(endedWhileRunning);
    ASSERT_TRUE(waitUntil([&] { return window.hasEnded(); }, 10000));
    EXPECT_EQ(qm::test::receivedMails(to).size(), 1) << "the account after the quit waits";
    int stopped = 0;
    for (const LogRow& r : logRows())
        stopped += r.account == u"quillmarc Stopped" ? 1 : 0;
    EXPECT_EQ(stopped, 1);
    EXPECT_TRUE(MessageBox::shown().isEmpty()) << shownTexts().join(u'\n').toStdString();
    mail::setMailTimeouts({20, 30});
}

} // namespace
