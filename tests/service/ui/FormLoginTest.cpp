#include "service/ui/FormLogin.h"

#include "UiTestSupport.h"
#include "data/Paths.h"
#include "service/ui/FormVersion.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace qm::ui;
using namespace qm::ui::test;

namespace {

using FormLoginTest = ProgramDirTest;

TEST_F(FormLoginTest, VerifyIsExactAndMissingFileMeansEmpty)
{
    const QString path = qm::filePaths().settingsFile;
    EXPECT_TRUE(VerifyPassword(path, QString()));
    EXPECT_FALSE(VerifyPassword(path, QStringLiteral("x")));
    writeSettings(R"("5","24",1,1,"Secret",0,0,0,0)");
    EXPECT_TRUE(VerifyPassword(path, QStringLiteral("Secret")));
    EXPECT_FALSE(VerifyPassword(path, QStringLiteral("secret")));
    EXPECT_FALSE(VerifyPassword(path, QStringLiteral("Secret ")));
    EXPECT_FALSE(VerifyPassword(path, QString()));
}

TEST_F(FormLoginTest, WrongEntryIsSelectedForRetypingThenRightOneOpens)
{
    writeSettings(R"("5","24",1,1,"Secret",0,0,0,0)");
    PasswordGate gate(qm::filePaths().settingsFile, nullptr);
    onNextModal([](QWidget* w) {
        auto* login = qobject_cast<FormLogin*>(w);
        ASSERT_NE(login, nullptr);
        EXPECT_EQ(login->windowTitle(), QStringLiteral("パスワードチェック"));
        EXPECT_EQ(login->lblLabels->buddy(), login->txtPassword);
        login->txtPassword->setText(QStringLiteral("wrong"));
        login->cmdOK->click();
        ASSERT_EQ(MessageBox::shown().size(), 1);
        const auto& box = MessageBox::shown().first();
        EXPECT_EQ(box.title, QStringLiteral("ログオン"));
        EXPECT_EQ(box.text,
                  QStringLiteral("パスワードが正しくありません。もう一度入力してください !"));
        EXPECT_EQ(box.icon, QMessageBox::NoIcon);
        EXPECT_TRUE(login->isVisible());
        EXPECT_EQ(login->txtPassword->selectedText(), QStringLiteral("wrong"));
        login->txtPassword->setText(QStringLiteral("Secret"));
        login->cmdOK->click();
    });
    EXPECT_TRUE(gate.ask());
    EXPECT_TRUE(gate.passwordAccepted());
}

TEST_F(FormLoginTest, CancelRefusesAndKeepsTypedText)
{
    writeSettings(R"("5","24",1,1,"Secret",0,0,0,0)");
    PasswordGate gate(qm::filePaths().settingsFile, nullptr);
    onNextModal([](QWidget* w) {
        auto* login = qobject_cast<FormLogin*>(w);
        login->txtPassword->setText(QStringLiteral("Secr"));
        login->cmdCancel->click();
    });
    EXPECT_FALSE(gate.ask());
    EXPECT_FALSE(gate.passwordAccepted());

    // Shown again: the hidden dialog still holds the entry; closing it any other way refuses.
    onNextModal([](QWidget* w) {
        auto* login = qobject_cast<FormLogin*>(w);
        EXPECT_EQ(login->txtPassword->text(), QStringLiteral("Secr"));
        login->close();
    });
    EXPECT_FALSE(gate.ask());
}

TEST_F(FormLoginTest, EarlierAcceptanceDoesNotOpenALaterShowing)
{
    writeSettings(R"("5","24",1,1,"Secret",0,0,0,0)");
    PasswordGate gate(qm::filePaths().settingsFile, nullptr);
    answerPassword(QStringLiteral("Secret"));
    ASSERT_TRUE(gate.ask());
    cancelPassword();
    EXPECT_FALSE(gate.ask());
    // A correct entry unloads the dialog: the next one starts empty.
    answerPassword(QStringLiteral("Secret"));
    ASSERT_TRUE(gate.ask());
    onNextModal([](QWidget* w) {
        EXPECT_TRUE(qobject_cast<FormLogin*>(w)->txtPassword->text().isEmpty());
        qobject_cast<FormLogin*>(w)->cmdCancel->click();
    });
    EXPECT_FALSE(gate.ask());
}

TEST(FormVersionTest, Texts)
{
    FormVersion box;
    EXPECT_EQ(box.windowTitle(), QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));
    EXPECT_EQ(box.lblTitle->text(), QStringLiteral("  quillmarc"));
    EXPECT_EQ(box.lblVersion->text(), QStringLiteral("Version : 1.41"));
    EXPECT_EQ(box.lblDescription->text(), QStringLiteral("メール to FAX /携帯/PC 自動転送ソフト"));
    box.show();
    box.cmdOK->click();
    EXPECT_FALSE(box.isVisible());
}

} // namespace
