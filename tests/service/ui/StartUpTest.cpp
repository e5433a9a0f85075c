#include "UiTestSupport.h"
#include "data/Paths.h"
#include "data/TimerSettings.h"
#include "service/ForwardingTimer.h"
#include "service/ui/FormCommon.h"
#include "service/ui/FormLogin.h"
#include "service/ui/FormQuillmarc.h"

#include <QCoreApplication>
#include <QFile>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

using namespace qm::ui;
using namespace qm::ui::test;

namespace {

class StartUpTest : public ProgramDirTest
{
protected:
    std::unique_ptr<FormQuillmarc> window(int tickMs = 3600000)
    {
        WindowHooks hooks;
        hooks.runCycle = [this] { ++cycles; };
        hooks.createFontDataFile = [this](QString*) {
            ++fontTables;
            return true;
        };
        return std::make_unique<FormQuillmarc>(hooks, WindowTimings{tickMs, 20});
    }
    QString readAll(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
    }
    int cycles = 0;
    int fontTables = 0;
};

TEST_F(StartUpTest, FirstRunAsksSettingsThenFirstAccountInOrder)
{
    // The stand-in manager notes the mode it was given and whether settings existed then.
    installAccountManager(
        "cp Data/quillmarc.prm mode.seen; test -f Data/TimerSet.txt && echo yes > settings.seen;"
        " sleep 0.2; printf 'x\\r\\n' > Data/account.crp");
    bool dialogFirst = false;
    onNextModal([&](QWidget* w) {
        auto* common = qobject_cast<FormCommon*>(w);
        ASSERT_NE(common, nullptr);
        dialogFirst = !QFile::exists(dataFile("account.crp"));
        EXPECT_FALSE(common->cmdCancel->isEnabled());
        common->cmdOK->click();
    });
    auto w = window();
    ASSERT_TRUE(w->startUp());
    EXPECT_TRUE(dialogFirst);
    EXPECT_EQ(readAll(m_programDir + "/mode.seen"), QStringLiteral("\"Append\"\r\n"));
    EXPECT_EQ(readAll(m_programDir + "/settings.seen"), QStringLiteral("yes\n"));
    EXPECT_FALSE(QFile::exists(dataFile("quillmarc.prm")));
    EXPECT_EQ(fontTables, 1);
    EXPECT_EQ(w->ListView->topLevelItem(0)->text(2), QStringLiteral("quillmarc Started ▲"));
}

TEST_F(StartUpTest, ManagerClosedWithoutAccountOffersAWayOut)
{
    writeSettings(R"("5","24",1,0,"",0,0,0,0)");
    installAccountManager("exit 0");
    MessageBox::setNextAnswer(QMessageBox::No);
    auto w = window();
    EXPECT_FALSE(w->startUp());
    EXPECT_TRUE(w->hasEnded());
    ASSERT_EQ(MessageBox::shown().size(), 1);
    EXPECT_EQ(MessageBox::shown().first().buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_FALSE(QFile::exists(dataFile("quillmarc.log")));
}

TEST_F(StartUpTest, ManagerThatCannotStartIsReportedAndLeavesNoModeFile)
{
    writeSettings(R"("5","24",1,0,"",0,0,0,0)");
    auto w = window();
    // No quillmarcB in the folder: an error, then the way-out question (answered No: end).
    EXPECT_FALSE(w->startUp());
    EXPECT_GE(MessageBox::shown().size(), 2);
    EXPECT_EQ(MessageBox::shown().first().icon, QMessageBox::Critical);
    EXPECT_FALSE(QFile::exists(dataFile("quillmarc.prm")));
}

TEST_F(StartUpTest, LeftOverModeFileIsRemovedAndSettingsLoaded)
{
    writeSettings(R"("7","24",0,0,"",0,0,0,0)");
    writeAccountFile();
    QFile f(dataFile("quillmarc.prm"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("\"Suspended\"\r\n");
    f.close();
    auto w = window();
    ASSERT_TRUE(w->startUp());
    EXPECT_FALSE(QFile::exists(dataFile("quillmarc.prm")));
    EXPECT_EQ(w->settings().intervalMinutes, 7);
    EXPECT_TRUE(w->timer()->isActive());
}

TEST_F(StartUpTest, SecondInstanceShowsNothingAndTouchesNothing)
{
    writeSettings(R"("5","24",1,0,"",0,0,0,0)");
    writeAccountFile();
    auto first = window();
    ASSERT_TRUE(first->startUp());
    // Files the first instance may still need.
    for (const char* name : {"account.dec", "quillmarc.tmp"}) {
        QFile f(dataFile(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const QString ini = dataFile(QCoreApplication::applicationName() + ".ini");
    const bool iniBefore = QFile::exists(ini);
    MessageBox::clearShown();

    auto second = window();
    EXPECT_FALSE(second->startUp());
    EXPECT_TRUE(second->isSecondInstance());
    EXPECT_TRUE(MessageBox::shown().isEmpty());
    EXPECT_TRUE(QFile::exists(dataFile("account.dec")));
    EXPECT_TRUE(QFile::exists(dataFile("quillmarc.tmp")));
    EXPECT_EQ(QFile::exists(ini), iniBefore);
    EXPECT_FALSE(first->hasEnded());

    // Once the first one ends, a new start succeeds and its shut-down cleans the copies.
    first->ExitService();
    EXPECT_FALSE(QFile::exists(dataFile("account.dec")));
    EXPECT_FALSE(QFile::exists(dataFile("quillmarc.tmp")));
    auto third = window();
    EXPECT_TRUE(third->startUp());
}

class PasswordPlacesTest : public StartUpTest
{
protected:
    void SetUp() override
    {
        StartUpTest::SetUp();
        writeAccountFile();
        installAccountManager("touch manager.started");
    }
    bool managerStarted()
    {
        settle(300);
        return QFile::exists(m_programDir + "/manager.started");
    }
};

TEST_F(PasswordPlacesTest, StartUpRefusedEndsWithoutLoggingOrReceiving)
{
    // Interval 1 and a 5 ms minute: any armed timer would run cycles while the dialog waits.
    writeSettings(R"("1","24",1,1,"pw",1,0,0,0)");
    auto w = window(5);
    onNextModal([](QWidget* d) {
        settle(100);
        qobject_cast<FormLogin*>(d)->cmdCancel->click();
    });
    EXPECT_FALSE(w->startUp());
    EXPECT_EQ(cycles, 0);
    EXPECT_TRUE(w->hasEnded());
    EXPECT_FALSE(QFile::exists(dataFile("quillmarc.log")));

    auto again = window();
    answerPassword("pw");
    EXPECT_TRUE(again->startUp());
}

TEST_F(PasswordPlacesTest, OnlyCommonSettingsAskWhenNoPlaceIsTicked)
{
    writeSettings(R"("5","24",1,1,"pw",0,0,0,0)");
    auto w = window();
    ASSERT_TRUE(w->startUp()); // no dialog at start
    w->accountManager("Edit");
    EXPECT_TRUE(managerStarted());

    cancelPassword();
    w->openCommonSettings(); // refused: the settings dialog never opens
    EXPECT_EQ(w->settings().intervalMinutes, 5);

    answerPassword("pw");
    onNextModal([](QWidget* d) {
        auto* common = qobject_cast<FormCommon*>(d);
        ASSERT_NE(common, nullptr);
        common->cmdCancel->click();
    });
    w->openCommonSettings();

    w->ExitService(); // no exit password either
    EXPECT_TRUE(w->hasEnded());
}

TEST_F(PasswordPlacesTest, AccountMenusAndExitAskWhenTicked)
{
    writeSettings(R"("5","24",1,1,"pw",0,1,1,0)");
    auto w = window();
    ASSERT_TRUE(w->startUp());
    cancelPassword();
    w->accountManager("Append");
    EXPECT_FALSE(managerStarted());
    EXPECT_FALSE(QFile::exists(dataFile("quillmarc.prm")));

    answerPassword("pw");
    w->accountManager("Append");
    EXPECT_TRUE(managerStarted());

    cancelPassword();
    w->ExitService();
    EXPECT_FALSE(w->hasEnded());
    answerPassword("pw");
    w->cmdQuit->click();
    EXPECT_TRUE(w->hasEnded());
    QFile log(dataFile("quillmarc.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().contains("quillmarc Stopped"));
}

} // namespace

namespace {

TEST_F(StartUpTest, SystemStopWhileWaitingForTheFirstAccountEndsStartUp)
{
    writeSettings(R"("5","24",1,0,"",0,0,0,0)");
    installAccountManager("sleep 5");
    auto w = window();
    QTimer::singleShot(100, w.get(), [&w] { w->stopBySystem(); });
    EXPECT_FALSE(w->startUp());
    EXPECT_TRUE(w->hasEnded());
    EXPECT_FALSE(QFile::exists(dataFile("quillmarc.log")));
}

TEST_F(StartUpTest, SystemStopDuringFirstRunDialogEndsStartUp)
{
    auto w = window();
    QTimer::singleShot(100, w.get(), [&w] { w->stopBySystem(); });
    EXPECT_FALSE(w->startUp());
    EXPECT_TRUE(w->hasEnded());
    EXPECT_FALSE(QFile::exists(dataFile("TimerSet.txt")));
}

} // namespace
