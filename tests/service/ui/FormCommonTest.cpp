#include "service/ui/FormCommon.h"

#include "UiTestSupport.h"
#include "data/Encryption.h"
#include "data/Paths.h"
#include "data/TimerSettings.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace qm::ui;
using namespace qm::ui::test;

namespace {

class FormCommonTest : public ProgramDirTest
{
protected:
    // Types the two numbers, presses OK and returns the one message shown (empty if none).
    QString okWith(FormCommon& d, const QString& minutes, const QString& hours)
    {
        MessageBox::clearShown();
        d.txtMinute->setText(minutes);
        d.txtHour->setText(hours);
        d.cmdOK->click();
        if (MessageBox::shown().isEmpty())
            return {};
        EXPECT_EQ(MessageBox::shown().size(), 1);
        const auto& box = MessageBox::shown().first();
        EXPECT_EQ(box.title, QStringLiteral("共通設定"));
        EXPECT_EQ(box.icon, QMessageBox::Warning);
        EXPECT_EQ(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        return box.text;
    }
};

TEST_F(FormCommonTest, FirstRunCannotBeLeftWithoutOk)
{
    FormCommon d;
    EXPECT_TRUE(d.firstRun());
    EXPECT_FALSE(d.LabelMsg->isHidden());
    EXPECT_EQ(d.LabelMsg->text(), QStringLiteral("共通設定を登録してください。"));
    EXPECT_FALSE(d.cmdCancel->isEnabled());
    EXPECT_EQ(d.txtMinute->text(), QStringLiteral("5"));
    EXPECT_EQ(d.txtHour->text(), QStringLiteral("24"));
    EXPECT_TRUE(d.CheckRemote->isChecked());
    EXPECT_FALSE(d.txtPassword->isEnabled());
    EXPECT_FALSE(d.windowFlags().testFlag(Qt::WindowCloseButtonHint));

    d.show();
    d.reject(); // Esc
    QCloseEvent close;
    QApplication::sendEvent(&d, &close);
    EXPECT_FALSE(close.isAccepted());
    EXPECT_TRUE(d.isVisible());

    d.cmdOK->click();
    EXPECT_FALSE(d.isVisible());
    const auto s = qm::readTimerSettings(qm::filePaths().settingsFile);
    EXPECT_TRUE(s.fileExists);
    EXPECT_EQ(s.intervalMinutes, 5);
    EXPECT_EQ(s.logRetentionHours, 24);
    EXPECT_EQ(s.remoteSettingsAllowed, 1);
    EXPECT_EQ(s.passwordOn, 0);
}

TEST_F(FormCommonTest, IntervalMessagesAndFocus)
{
    FormCommon d;
    const QString range = QStringLiteral("\r\n\r\n1分 ～ 1440分（24時間）");
    EXPECT_EQ(okWith(d, "", "24"), QStringLiteral("メール受信の間隔を入力してください。1") + range);
    EXPECT_EQ(d.focusWidget(), d.txtMinute);
    EXPECT_EQ(okWith(d, "abc", "24"),
              QStringLiteral("メール受信の間隔を入力してください。2") + range);
    const QString three = QStringLiteral("メール受信の間隔は、1分 ～ 1440分です。3") + range;
    for (const char* bad : {"0", "1441", "-5", "99999", "32768"})
        EXPECT_EQ(okWith(d, bad, "24"), three) << bad;
    // Both wrong: only the interval is reported.
    d.txtHour->setFocus();
    EXPECT_EQ(okWith(d, "0", "abc"), three);
    EXPECT_EQ(d.focusWidget(), d.txtMinute);
    EXPECT_FALSE(QFile::exists(qm::filePaths().settingsFile));
}

TEST_F(FormCommonTest, RetentionMessagesAndFocus)
{
    FormCommon d;
    const QString end = QStringLiteral("\r\n");
    const QString pre = QStringLiteral("\r\n\r\n");
    EXPECT_EQ(okWith(d, "5", ""),
              QStringLiteral("ログ保存期間を入力してください。1") + pre + "1時間 ～ 168時間" + end);
    EXPECT_EQ(d.focusWidget(), d.txtHour);
    EXPECT_EQ(okWith(d, "5", "abc"), QStringLiteral("ログ保存期間を入力してください。2") + pre +
                                         "1時間 ～ 168時間(7日)" + end);
    for (const char* bad : {"0", "169", "70000"})
        EXPECT_EQ(okWith(d, "5", bad), QStringLiteral("ログ保存期間を入力してください。3") + pre +
                                           "1時間 ～ 168時間" + end)
            << bad;
    EXPECT_EQ(d.focusWidget(), d.txtHour);
    EXPECT_FALSE(QFile::exists(qm::filePaths().settingsFile));
}

TEST_F(FormCommonTest, BoundariesPassAndNumbersAreStoredReadable)
{
    FormCommon d;
    EXPECT_EQ(okWith(d, "1440", "1"), QString());
    EXPECT_EQ(qm::readTimerSettings(qm::filePaths().settingsFile).intervalMinutes, 1440);
    FormCommon again;
    EXPECT_EQ(okWith(again, " 7", "2.0"), QString());
    const auto s = qm::readTimerSettings(qm::filePaths().settingsFile);
    EXPECT_EQ(s.intervalMinutes, 7);
    EXPECT_EQ(s.logRetentionHours, 2);
}

TEST_F(FormCommonTest, PasswordWithCommaOrQuoteIsRefused)
{
    FormCommon d;
    d.CheckPassword->click();
    for (const char* bad : {"ab,c", "ab\"c"}) {
        d.txtPassword->setText(QString::fromLatin1(bad));
        EXPECT_FALSE(okWith(d, "5", "24").isEmpty()) << bad;
        EXPECT_EQ(d.focusWidget(), d.txtPassword);
    }
    EXPECT_FALSE(QFile::exists(qm::filePaths().settingsFile));
    d.txtPassword->setText(QStringLiteral("Secret1"));
    EXPECT_EQ(okWith(d, "5", "24"), QString());
    EXPECT_EQ(qm::readTimerSettings(qm::filePaths().settingsFile).password,
              QStringLiteral("Secret1"));
}

TEST_F(FormCommonTest, PasswordSwitchDisablesWithoutClearing)
{
    writeSettings(R"("10","48",0,1,"pw",1,1,1,0)");
    FormCommon d;
    EXPECT_FALSE(d.firstRun());
    EXPECT_TRUE(d.LabelMsg->isHidden());
    EXPECT_TRUE(d.cmdCancel->isEnabled());
    EXPECT_EQ(d.txtMinute->text(), QStringLiteral("10"));
    EXPECT_FALSE(d.CheckRemote->isChecked());
    EXPECT_TRUE(d.txtPassword->isEnabled());

    d.CheckPassword->click();
    for (QWidget* w : std::initializer_list<QWidget*>{d.LabelPassword, d.txtPassword, d.CheckStart,
                                                      d.CheckEnd, d.CheckAccount})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_EQ(d.txtPassword->text(), QStringLiteral("pw"));
    EXPECT_TRUE(d.CheckStart->isChecked());
    d.cmdOK->click();
    const auto s = qm::readTimerSettings(qm::filePaths().settingsFile);
    EXPECT_EQ(s.passwordOn, 0);
    EXPECT_EQ(s.password, QStringLiteral("pw"));
    EXPECT_EQ(s.checkAtStart, 1);
    EXPECT_EQ(s.checkAtAccountSetting, 1);
}

TEST_F(FormCommonTest, DetailLogWarnsWhenSwitchedOnAndAtLoad)
{
    const QString warning = QStringLiteral("この機能をオンにすると処理は遅くなります。\r\n"
                                           "テストが終わったらオフに戻してください。");
    writeSettings(R"("5","24",1,0,"",0,0,0,1)");
    FormCommon loaded;
    ASSERT_EQ(shownTexts(), QStringList{warning});
    EXPECT_TRUE(loaded.Checklog->isChecked());

    MessageBox::clearShown();
    loaded.Checklog->click(); // off: silent
    EXPECT_TRUE(shownTexts().isEmpty());
    loaded.Checklog->click(); // on: warns
    EXPECT_EQ(shownTexts(), QStringList{warning});

    // A line of eight fields has no detail log and no warning.
    MessageBox::clearShown();
    writeSettings(R"("5","24",1,0,"",0,0,0)");
    FormCommon eight;
    EXPECT_FALSE(eight.Checklog->isChecked());
    EXPECT_TRUE(shownTexts().isEmpty());
}

TEST_F(FormCommonTest, FocusSelectsWholeText)
{
    FormCommon d;
    d.show();
    d.txtHour->setText(QStringLiteral("123"));
    d.txtHour->deselect();
    QFocusEvent focusIn(QEvent::FocusIn, Qt::MouseFocusReason);
    QApplication::sendEvent(d.txtHour, &focusIn);
    EXPECT_EQ(d.txtHour->selectedText(), QStringLiteral("123"));
}

TEST_F(FormCommonTest, SaveFailureIsShownAndDialogStays)
{
    // A folder where the settings file should be makes the write fail.
    ASSERT_TRUE(QDir().mkpath(qm::filePaths().settingsFile));
    FormCommon d;
    d.show();
    MessageBox::clearShown();
    d.cmdOK->click();
    ASSERT_EQ(MessageBox::shown().size(), 1);
    EXPECT_EQ(MessageBox::shown().first().icon, QMessageBox::Critical);
    EXPECT_TRUE(d.isVisible());
}

} // namespace

namespace {

TEST_F(FormCommonTest, EncryptSwitchesOnAtOnceEvenWhenCancelled)
{
    writeSettings(R"("5","24",1,0,"",0,0,0,0)");
    {
        FormCommon d;
        EXPECT_TRUE(d.cmdEncrypt->isEnabled());
        MessageBox::clearShown();
        d.cmdEncrypt->click();
        ASSERT_EQ(MessageBox::shown().size(), 1);
        EXPECT_EQ(MessageBox::shown().first().text, QStringLiteral("暗号化の設定が完了しました。"));
        EXPECT_EQ(MessageBox::shown().first().icon, QMessageBox::Information);
        EXPECT_FALSE(d.cmdEncrypt->isEnabled());
        EXPECT_TRUE(d.encryptionOn());
        d.cmdCancel->click();
    }
    EXPECT_TRUE(qm::encryptionOn());
    FormCommon again;
    EXPECT_FALSE(again.cmdEncrypt->isEnabled());
    EXPECT_EQ(again.Label1->text(), QStringLiteral("暗号化の設定は済んでいます。"));
}

} // namespace
