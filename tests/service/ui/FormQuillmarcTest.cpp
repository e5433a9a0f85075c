#include "service/ui/FormQuillmarc.h"

#include "UiTestSupport.h"
#include "data/IniFile.h"
#include "data/Paths.h"
#include "service/ForwardingTimer.h"
#include "service/ui/ServiceAddresses.h"
#include "widgets/WindowGeometry.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTreeWidget>

using namespace qm::ui;
using namespace qm::ui::test;

namespace {

class WindowTest : public ProgramDirTest
{
protected:
    void SetUp() override
    {
        ProgramDirTest::SetUp();
        writeSettings(R"("2","24",1,0,"",0,0,0,0)");
        writeAccountFile();
        hooks.runCycle = [this] { ++cycles; };
    }

    // A started window whose cycles are counted.
    std::unique_ptr<FormQuillmarc> started()
    {
        auto w = std::make_unique<FormQuillmarc>(hooks, WindowTimings{3600000, 20});
        EXPECT_TRUE(w->startUp());
        return w;
    }

    QStringList firstColumn(const FormQuillmarc& w) const
    {
        QStringList out;
        for (int i = 0; i < w.ListView->topLevelItemCount(); ++i)
            out << w.ListView->topLevelItem(i)->text(2);
        return out;
    }

    static QStringList captions(const QMenu* menu)
    {
        QStringList out;
        for (const QAction* a : menu->actions())
            out << (a->isSeparator() ? QStringLiteral("-") : a->text());
        return out;
    }

    WindowHooks hooks;
    int cycles = 0;
};

TEST_F(WindowTest, ControlsMenusAndCaptions)
{
    FormQuillmarc w;
    EXPECT_EQ(w.windowTitle(), QStringLiteral("quillmarc"));
    QStringList headings;
    for (int i = 0; i < w.ListView->columnCount(); ++i)
        headings << w.ListView->headerItem()->text(i);
    EXPECT_EQ(headings, (QStringList{"日付", "時刻", "アカウント名", "差出人", "転送先"}));
    EXPECT_EQ(w.cmdRun->text(), QStringLiteral("今すぐ転送"));
    EXPECT_EQ(w.cmdQuit->text(), QStringLiteral("終 了"));

    QStringList bar;
    for (const QAction* a : w.menuBar()->actions())
        bar << a->text();
    EXPECT_EQ(bar, (QStringList{"ファイル(&F)", "設定(&E)", "ヘルプ(&H)"}));
    EXPECT_EQ(captions(w.menuFile),
              (QStringList{"今すぐ転送(&N)", "-", "転送の一時停止(&S)", "転送の再開(&R)", "-",
                           "転送ログの削除(&D)", "-", "終了(&X)"}));
    EXPECT_EQ(captions(w.menuSetup), (QStringList{"共通設定(&P)", "-", "アカウントの追加(&A)",
                                                  "アカウントの編集(&E)", "アカウントの削除(&D)"}));
    EXPECT_EQ(
        captions(w.menuHelp),
        (QStringList{"オンライン ヘルプ(&O)", "quillmarcホームページ(&F)", "お問合せメール(&M)",
                     "-", "Ostrelホームページ(&A)", "-", "バージョン情報(&V)"}));
    EXPECT_EQ(captions(w.menuTray),
              (QStringList{"元のサイズに戻す(&R)", "-", "quillmarcの終了(&X)"}));
    EXPECT_EQ(w.trayIcon()->toolTip(), QStringLiteral("quillmarc"));
}

TEST_F(WindowTest, ResizeRuleInTwips)
{
    FormQuillmarc w;
    w.show();
    auto* central = w.centralWidget();
    const auto tw = [&](int px) { return qm::widgets::pixelsToTwips(px, &w); };
    w.resize(800, 400);
    settle();
    const int innerW = tw(central->width());
    const int listRight = tw(w.ListView->geometry().right() + 1);
    EXPECT_NEAR(listRight, innerW - 1670, 30);
    EXPECT_NEAR(tw(w.Frame1->x()), listRight + 125, 30);
    EXPECT_NEAR(tw(w.cmdRun->x()), listRight + 215, 30);
    EXPECT_NEAR(tw(w.cmdQuit->x()), listRight + 215, 30);
    EXPECT_NEAR(tw(w.Frame2->x()), listRight + 125, 30);
    EXPECT_NEAR(tw(w.ListView->geometry().bottom() + 1), tw(central->height()) - 45, 30);

    // The text columns follow the window: wider, and each shows more; the date stays.
    const int senderAt800 = w.ListView->columnWidth(3);
    const int dateAt800 = w.ListView->columnWidth(0);
    w.resize(1200, 400);
    settle();
    EXPECT_GT(w.ListView->columnWidth(3), senderAt800 + 100);
    EXPECT_EQ(w.ListView->columnWidth(0), dateAt800);
    EXPECT_LE(w.ListView->columnWidth(0) + w.ListView->columnWidth(1) + w.ListView->columnWidth(2) +
                  w.ListView->columnWidth(3),
              w.ListView->viewport()->width())
        << "no sideways scrolling at this size";
    w.resize(800, 400);
    settle();

    // Too narrow: the log view keeps its width, the rest is placed from it.
    const int keptWidth = w.ListView->width();
    const int runTop = w.cmdRun->y();
    central->resize(80, central->height());
    settle();
    EXPECT_EQ(w.ListView->width(), keptWidth);
    EXPECT_EQ(w.cmdRun->y(), runTop);
}

TEST_F(WindowTest, StartUpLogsAndShowsLabels)
{
    auto w = started();
    EXPECT_EQ(w->LabelTimer->text(), QStringLiteral("2分間隔"));
    EXPECT_EQ(w->LabelRemote->text(), QStringLiteral("リモート設定オン"));
    EXPECT_EQ(firstColumn(*w), QStringList{QStringLiteral("quillmarc Started ▲")});
    EXPECT_TRUE(w->menuSuspend->isEnabled());
    EXPECT_FALSE(w->menuRestart->isEnabled());
}

TEST_F(WindowTest, TimerCountsToIntervalAndSuspendHoldsIt)
{
    auto w = started();
    auto* timer = w->timer();
    timer->tick();
    EXPECT_EQ(cycles, 0);
    timer->tick();
    EXPECT_EQ(cycles, 1);

    w->suspend();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("quillmarc 一時停止中"));
    EXPECT_FALSE(w->menuSuspend->isEnabled());
    EXPECT_TRUE(w->menuRestart->isEnabled());
    EXPECT_TRUE(QFile::exists(dataFile("quillmarc.prm")));
    for (int i = 0; i < 5; ++i)
        timer->tick();
    EXPECT_EQ(cycles, 1);

    w->restart();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("quillmarc"));
    EXPECT_TRUE(w->menuSuspend->isEnabled());
    EXPECT_FALSE(w->menuRestart->isEnabled());
    EXPECT_FALSE(QFile::exists(dataFile("quillmarc.prm")));
    timer->tick();
    timer->tick();
    EXPECT_EQ(cycles, 2);
    EXPECT_EQ(firstColumn(*w).mid(0, 2), (QStringList{"quillmarc Restart", "quillmarc Suspended"}));
}

TEST_F(WindowTest, ForwardNowRunsOnceAndRemovesModeFile)
{
    auto w = started();
    bool buttonsOffDuringCycle = false;
    w->suspend();
    w->timer()->tick(); // counted minute is discarded by forward now
    QObject::connect(w->timer(), &qm::service::ForwardingTimer::cycleStarted, w.get(), [&] {
        // Quitting stays possible: it waits only for the message in hand.
        buttonsOffDuringCycle =
            !w->cmdRun->isEnabled() && w->cmdQuit->isEnabled() && !w->menuRun->isEnabled();
    });
    w->cmdRun->click();
    EXPECT_EQ(cycles, 1);
    EXPECT_TRUE(buttonsOffDuringCycle);
    EXPECT_TRUE(w->cmdRun->isEnabled());
    EXPECT_TRUE(w->cmdQuit->isEnabled());
    EXPECT_FALSE(QFile::exists(dataFile("quillmarc.prm")));
    // The suspended caption stays until Restart.
    EXPECT_EQ(w->windowTitle(), QStringLiteral("quillmarc 一時停止中"));
    EXPECT_EQ(firstColumn(*w).first(), QStringLiteral("受信チェック"));
    EXPECT_EQ(w->timer()->minuteCounter(), 0);
}

TEST_F(WindowTest, NoSecondCycleWhileOneWaits)
{
    int depth = 0, maxDepth = 0;
    FormQuillmarc* self = nullptr;
    hooks.runCycle = [&] {
        ++cycles;
        maxDepth = std::max(maxDepth, ++depth);
        // What the fax wait does: pending events run, and everything tries to start a cycle.
        self->timer()->tick();
        self->timer()->tick();
        self->menuRun->trigger();
        self->cmdRun->click();
        self->forwardNow();
        settle(10);
        --depth;
    };
    auto w = started();
    self = w.get();
    w->forwardNow();
    EXPECT_EQ(cycles, 1);
    EXPECT_EQ(maxDepth, 1);
    EXPECT_FALSE(w->hasEnded());
    // Timed cycle too.
    w->timer()->tick();
    w->timer()->tick();
    EXPECT_EQ(cycles, 2);
    EXPECT_EQ(maxDepth, 1);
}

TEST_F(WindowTest, DeleteLog)
{
    auto w = started();
    QFile::remove(dataFile("quillmarc.log"));
    w->deleteLog(); // no file: the view is left alone
    EXPECT_EQ(w->ListView->topLevelItemCount(), 1);
    w->suspend();
    ASSERT_TRUE(QFile::exists(dataFile("quillmarc.log")));
    w->deleteLog();
    EXPECT_EQ(w->ListView->topLevelItemCount(), 0);
    EXPECT_FALSE(QFile::exists(dataFile("quillmarc.log")));
    EXPECT_TRUE(w->ListView->isVisibleTo(w.get()));
}

TEST_F(WindowTest, RightClickMenusByControl)
{
    FormQuillmarc w;
    w.show();
    auto rightRelease = [](QWidget* target) {
        QMouseEvent e(QEvent::MouseButtonRelease, QPointF(2, 2), target->mapToGlobal(QPointF(2, 2)),
                      Qt::RightButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(target, &e);
    };
    rightRelease(w.cmdRun);
    EXPECT_TRUE(w.menuFile->isVisible());
    w.menuFile->hide();
    rightRelease(w.LabelRemote);
    EXPECT_TRUE(w.menuSetup->isVisible());
    w.menuSetup->hide();
    rightRelease(w.ListView->viewport());
    EXPECT_TRUE(w.menuFile->isVisible());
    w.menuFile->hide();
}

} // namespace

namespace {

TEST_F(WindowTest, MinimizeGoesToTrayOnlyWhenThereIsOne)
{
    auto w = started();
    w->show();
    w->showMinimized();
    settle(50);
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        EXPECT_FALSE(w->isVisible());
        EXPECT_TRUE(w->trayIcon()->isVisible());
    } else {
        // Nothing to restore it from: the window must not vanish.
        EXPECT_TRUE(w->isVisible());
    }
    w->restoreFromTray();
    settle(50);
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(w->isMinimized());
    EXPECT_FALSE(w->trayIcon()->isVisible());
}

TEST_F(WindowTest, WindowPlacementSurvivesARestart)
{
    {
        auto w = started();
        w->setGeometry(30, 40, 700, 350);
        w->ExitService();
    }
    ASSERT_TRUE(QFile::exists(qm::GetIniPath()));
    EXPECT_EQ(qm::ReadIniValue(qm::GetIniPath(), "WinPos", "Left", "?"), QStringLiteral("30"));
    EXPECT_EQ(qm::ReadIniValue(qm::GetIniPath(), "WinPos", "Right", "?"), QStringLiteral("730"));
    auto again = started();
    EXPECT_EQ(again->geometry(), QRect(30, 40, 700, 350));
}

TEST(SupportMailTest, MailtoIsAddedOnlyWhenMissing)
{
    EXPECT_EQ(addresses::mailtoUrl("a@b.example"), QStringLiteral("mailto:a@b.example"));
    EXPECT_EQ(addresses::mailtoUrl("MailTo:a@b.example"), QStringLiteral("MailTo:a@b.example"));
    EXPECT_TRUE(addresses::supportMail().contains('@'));
}

} // namespace

namespace {

TEST_F(WindowTest, SystemStopWaitsForTheRunningCycle)
{
    FormQuillmarc* self = nullptr;
    bool endedInsideCycle = false;
    hooks.runCycle = [&] {
        self->stopBySystem();
        settle(10);
        endedInsideCycle = self->hasEnded();
    };
    auto w = started();
    self = w.get();
    w->forwardNow();
    EXPECT_FALSE(endedInsideCycle);
    settle(20);
    EXPECT_TRUE(w->hasEnded());
    QFile log(dataFile("quillmarc.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().contains("quillmarc Stopped"));
}

} // namespace
