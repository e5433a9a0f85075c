// Every window as it first opens on a 1024x768 screen: wholly on the screen, and every control
// in it whole. And Qt's own texts in Japanese.
#include "ControlsInside.h"
#include "data/AccountFile.h"
#include "data/AccountRecord.h"
#include "data/Paths.h"
#include "manager/FormQuillmarcB.h"
#include "manager/FormQuillmarcBAccount.h"
#include "service/ui/FormCommon.h"
#include "service/ui/FormQuillmarc.h"
#include "service/ui/ProgramIcon.h"
#include "widgets/HelpFiles.h"
#include "widgets/MessageBox.h"
#include "widgets/QtTranslations.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

// Readable QString values in failure messages.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

class WindowFit : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        qm::setProgramDir(m_dir.path());
        ASSERT_TRUE(qm::ensureDataDir());
    }
    void TearDown() override { qm::setProgramDir(QString()); }

    void writeData(const char* name, const QByteArray& bytes)
    {
        QFile f(qm::filePaths().dataDir + u'/' + QString::fromLatin1(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    // The window lies on the screen with room for its title bar, and nothing in it is cut.
    static void expectFits(QWidget* window, const char* what)
    {
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect frame = window->frameGeometry();
        EXPECT_TRUE(screen.contains(frame))
            << what << ": frame at " << frame.x() << ',' << frame.y() << ' ' << frame.width() << 'x'
            << frame.height();
        EXPECT_GE(window->geometry().top(), screen.top() + 20) << what << ": no room for a title";
        // QM_FIT_SHOTS=<folder>: the whole screen as each window is checked, to look at.
        if (const QString shots = qEnvironmentVariable("QM_FIT_SHOTS"); !shots.isEmpty()) {
            QGuiApplication::primaryScreen()->grabWindow(0).save(
                shots + u'/' + QString::fromUtf8(what).replace(u' ', u'-') +
                QStringLiteral(".png"));
        }
        const QStringList clipped = qm::test::clippedControls(window);
        EXPECT_TRUE(clipped.isEmpty()) << what << ":\n" << clipped.join(u'\n').toStdString();
    }

    static void shown(QWidget* window)
    {
        window->show();
        QTest::qWait(50);
    }

    QTemporaryDir m_dir;
};

TEST_F(WindowFit, TheScreenIsTheSmallDesk)
{
    EXPECT_EQ(QGuiApplication::primaryScreen()->geometry(), QRect(0, 0, 1024, 768));
}

TEST_F(WindowFit, TheEditorShowsEveryControlWholeOnEachTab)
{
    ASSERT_TRUE(qm::writeHandOverRecord(qm::newAccountTemplate(QStringLiteral("01"))));
    qm::manager::FormQuillmarcBAccount editor;
    shown(&editor);
    for (int tab = 0; tab < editor.tbsOptions->count(); ++tab) {
        editor.tbsOptions->setCurrentIndex(tab);
        QTest::qWait(20);
        expectFits(&editor, qPrintable(editor.tbsOptions->tabText(tab)));
    }
    // The optional parts switched on take no more room.
    editor.CheckPhone->setChecked(true);
    editor.CheckSMTP->setChecked(true);
    editor.chkPrint->setChecked(true);
    editor.tbsOptions->setCurrentIndex(1);
    QTest::qWait(20);
    expectFits(&editor, "転送条件, all on");
}

TEST_F(WindowFit, TheAccountListFits)
{
    qm::AccountRecord rec = qm::newAccountTemplate(QStringLiteral("01"));
    rec.AccountName = QStringLiteral("営業部の受付窓口");
    rec.SourceAddress = QStringLiteral("office@example.jp");
    ASSERT_TRUE(qm::saveAccount(rec).ok);
    qm::manager::FormQuillmarcB list;
    shown(&list);
    expectFits(&list, "account list");
}

TEST_F(WindowFit, TheCommonSettingsDialogFitsOnFirstRunAndLater)
{
    {
        qm::ui::FormCommon first;
        shown(&first);
        expectFits(&first, "common settings, first run");
    }
    writeData("TimerSet.txt", "\"5\",\"24\",1,1,\"pw\",0,0,0,0\r\n");
    qm::ui::FormCommon later;
    shown(&later);
    expectFits(&later, "common settings");
}

TEST_F(WindowFit, TheFirstMainWindowOpensWhollyOnTheScreen)
{
    writeData("TimerSet.txt", "\"5\",\"24\",1,0,\"\",0,0,0,0\r\n");
    writeData("account.crp", "\r\n");
    qm::ui::FormQuillmarc window(qm::ui::WindowHooks{}, qm::ui::WindowTimings{3600000, 20});
    ASSERT_TRUE(window.startUp());
    window.showAsPlaced();
    QTest::qWait(50);
    expectFits(&window, "main window");
    window.ExitService();
}

TEST_F(WindowFit, QtsOwnButtonsAreJapanese)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("quillmarc"),
                    QStringLiteral("終了しますか？"), QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text().remove(u'&'), QStringLiteral("はい(Y)"));
    EXPECT_EQ(box.button(QMessageBox::No)->text().remove(u'&'), QStringLiteral("いいえ(N)"));
}

// The help ships with the program; a desktop without a browser gets a box that says where.
TEST_F(WindowFit, TheHelpIsShippedAndABoxSaysWhereWithoutABrowser)
{
    ASSERT_TRUE(QFile::exists(qm::widgets::helpPage())) << qm::widgets::helpPage().toStdString();
    for (const char* page : {"README.html", "quillmarc.1.html", "quillmarcB.1.html"})
        EXPECT_TRUE(QFile::exists(qm::widgets::helpPage(QString::fromLatin1(page)))) << page;

    // xdg-open as it ends on a desktop with no browser, and as it ends with one.
    const QString opener = m_dir.filePath(QStringLiteral("xdg-open"));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(m_dir.path()) + ':' + path);
    for (const int status : {3, 0}) {
        QFile script(opener);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nexit " + QByteArray::number(status) + "\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qm::widgets::MessageBox::clearShown();
        qm::widgets::openHelp(nullptr);
        if (status != 0) {
            ASSERT_EQ(qm::widgets::MessageBox::shown().size(), 1);
            EXPECT_TRUE(qm::widgets::MessageBox::shown()[0].text.contains(qm::widgets::helpPage()));
        } else {
            EXPECT_TRUE(qm::widgets::MessageBox::shown().isEmpty());
        }
    }
    qputenv("PATH", path);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    qm::ui::applyJapaneseFont();
    qm::widgets::installQtTranslations();
    qm::widgets::MessageBox::setAutoAnswer(true);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
