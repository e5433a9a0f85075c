#include "service/ForwardingTimer.h"

#include "service/RuntimeError.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace qm::service;

namespace {

struct TimerFixture : ::testing::Test
{
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "qm_engine_tests";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);
    }

    QTemporaryDir dir;
    QString modeFile = dir.filePath("quillmarc.prm");
    int interval = 5;
    int cycles = 0;
    int forwardNowLines = 0;
    QStringList errors;
    std::function<void()> duringCycle;

    TimerHooks hooks()
    {
        TimerHooks h;
        h.loadSettings = [this] { return interval; };
        h.runCycle = [this] {
            ++cycles;
            if (duringCycle)
                duringCycle();
        };
        h.logForwardNow = [this] { ++forwardNowLines; };
        h.reportError = [this](const QString& e) { errors << e; };
        return h;
    }

    void createModeFile()
    {
        QFile f(modeFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("\"Suspended\"\r\n");
    }
};

} // namespace

TEST_F(TimerFixture, CyclesComeEveryIntervalTicks)
{
    ForwardingTimer timer(modeFile, hooks());
    interval = 1;
    EXPECT_TRUE(timer.tick());
    EXPECT_TRUE(timer.tick());
    EXPECT_EQ(cycles, 2);

    interval = 5;
    for (int i = 1; i <= 4; ++i)
        EXPECT_FALSE(timer.tick()) << i;
    EXPECT_TRUE(timer.tick());
    EXPECT_EQ(cycles, 3);
    EXPECT_EQ(timer.minuteCounter(), 0);
}

TEST_F(TimerFixture, ModeFilePausesTheCountButNotForwardNow)
{
    ForwardingTimer timer(modeFile, hooks());
    interval = 2;
    EXPECT_FALSE(timer.tick());
    createModeFile();
    for (int i = 0; i < 50; ++i)
        EXPECT_FALSE(timer.tick());
    EXPECT_EQ(cycles, 0);
    EXPECT_EQ(timer.minuteCounter(), 1);

    EXPECT_TRUE(timer.forwardNow());
    EXPECT_EQ(cycles, 1);
    EXPECT_EQ(forwardNowLines, 1);
    EXPECT_FALSE(QFile::exists(modeFile)) << "forward now ends a suspension";
    // The count starts again: a full interval until the next timed cycle.
    EXPECT_FALSE(timer.tick());
    EXPECT_TRUE(timer.tick());
}

TEST_F(TimerFixture, NothingStartsWhileACycleIsRunning)
{
    ForwardingTimer timer(modeFile, hooks());
    interval = 1;
    bool tickRan = true;
    bool nowRan = true;
    // The fax step lets events run: a tick and a forward-now click arrive mid-cycle.
    duringCycle = [&] {
        EXPECT_TRUE(timer.isCycleRunning());
        tickRan = timer.tick();
        nowRan = timer.forwardNow();
    };
    EXPECT_TRUE(timer.forwardNow());
    EXPECT_FALSE(tickRan);
    EXPECT_FALSE(nowRan);
    EXPECT_EQ(cycles, 1);
    EXPECT_FALSE(timer.isCycleRunning());

    EXPECT_TRUE(timer.tick());
    EXPECT_FALSE(tickRan);
    EXPECT_EQ(cycles, 2);
}

TEST_F(TimerFixture, ErrorsAreReportedAndPollingGoesOn)
{
    ForwardingTimer timer(modeFile, hooks());
    interval = 1;
    duringCycle = [] { throw RuntimeError(QStringLiteral("壊れた")); };
    timer.start(60000);
    EXPECT_TRUE(timer.tick());
    EXPECT_EQ(errors, QStringList({"壊れた"}));
    EXPECT_TRUE(timer.isActive()) << "the timer is re-armed after a failed cycle";
    EXPECT_FALSE(timer.isCycleRunning());
    duringCycle = nullptr;
    EXPECT_TRUE(timer.tick());
    EXPECT_EQ(cycles, 2);
}
