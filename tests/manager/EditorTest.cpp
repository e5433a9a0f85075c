#include "ManagerTestSupport.h"
#include "data/AccountRecord.h"
#include "data/MailConnectionFile.h"
#include "data/Paths.h"
#include "manager/FormQuillmarcBAccount.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

using qm::manager::FormQuillmarcBAccount;

namespace {

QString lineFor(qm::AccountRecord rec)
{
    return qm::buildReplacedLine(rec);
}

} // namespace

TEST_F(ManagerTest, NewAccountTemplateOpensWithItsInitialState)
{
    writeData("account.txt", {qm::newAccountTemplateLine("05")});
    FormQuillmarcBAccount e;
    e.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&e));

    EXPECT_EQ(e.windowTitle(), QStringLiteral("アカウント設定"));
    EXPECT_TRUE(e.cmdOK->isVisible());
    EXPECT_TRUE(e.cmdDelete->isVisible());
    EXPECT_EQ(e.txtID->text(), QStringLiteral("05"));
    EXPECT_EQ(e.txtID2->text(), QStringLiteral("05"));
    EXPECT_EQ(e.txtAccount2->text(), QStringLiteral("アカウント05"));
    EXPECT_TRUE(e.chkForward->isChecked());
    EXPECT_TRUE(e.OptionDel[0]->isChecked());
    EXPECT_TRUE(e.OptionDel[0]->isEnabled());
    EXPECT_TRUE(e.OptionDel[1]->isEnabled());
    EXPECT_EQ(e.txtRcvPOP_Port->text(), QStringLiteral("110"));
    EXPECT_EQ(e.txtRcvSMTP_Port->text(), QStringLiteral("25"));
    EXPECT_FALSE(e.CheckSMTP->isChecked());
    EXPECT_FALSE(e.txtSMTPUser->isEnabled());
    EXPECT_FALSE(e.txtSMTPPassword->isEnabled());
    EXPECT_TRUE(e.OptionAUTH[1]->isChecked());
    EXPECT_FALSE(e.OptionAUTH[1]->isEnabled());
    EXPECT_FALSE(e.cmbFontFAX->isEnabled());
    EXPECT_FALSE(e.cmbFontSizeFAX->isEnabled());
    EXPECT_TRUE(e.OptionFAX[0]->isChecked());
    EXPECT_TRUE(e.CheckHeadder->isChecked());
    EXPECT_FALSE(e.CheckPhone->isChecked());
    for (QWidget* w : std::initializer_list<QWidget*>{e.divChar, e.divCount, e.CheckRenban,
                                                      e.CheckSpace, e.CheckSpaceW, e.CheckTab,
                                                      e.CheckCRLF, e.CheckSymbol, e.txtDelString})
        EXPECT_FALSE(w->isEnabledTo(e.frmFillter)) << w->objectName().toStdString();
    EXPECT_TRUE(e.CheckSymbol->isChecked());
    EXPECT_EQ(e.tbsOptions->currentIndex(), 0);
    EXPECT_FALSE(e.frmFillter->isEnabled());
    EXPECT_EQ(e.txtRcvPassword->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(e.txtRcvPassword->testAttribute(Qt::WA_InputMethodEnabled));

    // The default name is selected whole so that typing replaces it.
    e.txtAccount->setFocus();
    QTest::qWait(20);
    EXPECT_EQ(e.txtAccount->selectedText(), QStringLiteral("アカウント05"));
    // Fax fonts follow the fax number box.
    e.txtSndFAX->setPlainText(QStringLiteral("03-1234-5678"));
    EXPECT_TRUE(e.cmbFontFAX->isEnabled());
    e.txtSndFAX->clear();
    EXPECT_FALSE(e.cmbFontSizeFAX->isEnabled());
    e.CheckSMTP->setChecked(true);
    EXPECT_TRUE(e.txtSMTPUser->isEnabled());
    EXPECT_TRUE(e.OptionAUTH[2]->isEnabled());
    e.CheckPhone->setChecked(true);
    // Enabled within its tab; the tab itself is disabled while not shown.
    EXPECT_TRUE(e.txtDelString->isEnabledTo(e.frmFillter));
    e.chkPrint->setChecked(true);
    EXPECT_TRUE(e.cmbFontPrn->isEnabled());
    EXPECT_TRUE(e.OptionPrint[1]->isEnabled());
}

TEST_F(ManagerTest, StoredValuesFillTheControls)
{
    qm::AccountRecord rec = qm::newAccountTemplate("07");
    rec.AccountName = QStringLiteral("経理");
    rec.ForwardState = QStringLiteral("-2");
    rec.UseSmtpAuth = QStringLiteral("1");
    rec.SmtpAuthMethod = QStringLiteral("0");
    rec.ForwardTo = QStringLiteral("a@x.jp\tb@x.jp");
    rec.FilterSubject = QStringLiteral("至急\t請求");
    rec.PhoneEditing = QStringLiteral("1");
    rec.SplitChars = QStringLiteral("100");
    rec.DropTabs = QStringLiteral("0");
    writeData("account.txt", {lineFor(rec)});
    writeData("DelString.txt", {"\"06\",\"x\"", "\"07\",\"Do You Yahoo!?\tfree mail\""});

    FormQuillmarcBAccount e;
    EXPECT_EQ(e.txtAccount2->text(), QStringLiteral("経理"));
    EXPECT_FALSE(e.chkForward->isChecked());
    EXPECT_TRUE(e.OptionDel[1]->isChecked());
    EXPECT_FALSE(e.OptionDel[0]->isEnabled());
    EXPECT_FALSE(e.OptionDel[1]->isEnabled());
    e.chkForward->setChecked(true);
    EXPECT_TRUE(e.OptionDel[1]->isEnabled());

    // Method 0 chooses no button, even with authentication on.
    EXPECT_TRUE(e.txtSMTPUser->isEnabled());
    for (QRadioButton* b : e.OptionAUTH)
        EXPECT_FALSE(b->isChecked());
    EXPECT_EQ(e.txtSndTo->toPlainText(), QStringLiteral("a@x.jp\nb@x.jp"));
    EXPECT_EQ(e.txtSubject->toPlainText(), QStringLiteral("至急\n請求"));
    EXPECT_EQ(e.divChar->text(), QStringLiteral("100"));
    EXPECT_TRUE(e.divChar->isEnabledTo(e.frmFillter));
    EXPECT_FALSE(e.CheckTab->isChecked());
    EXPECT_EQ(e.txtDelString->toPlainText(), QStringLiteral("Do You Yahoo!?\nfree mail"));
}

TEST_F(ManagerTest, CompanionFilesSetPrintFaxFontsAndFaxOption)
{
    qm::AccountRecord rec = qm::newAccountTemplate("02");
    rec.FaxNumbers = QStringLiteral("0312345678");
    writeData("account.txt", {lineFor(rec)});
    writeData("FontData.txt", {"\"02\",\"1\",\"1\",\"ＭＳ 明朝\",\"14\",\"設定不可\",\"0\""});
    writeData("FaxOpt.txt", {"\"02\",\"attach\""});
    FormQuillmarcBAccount e;
    EXPECT_TRUE(e.chkPrint->isChecked());
    EXPECT_TRUE(e.OptionPrint[1]->isChecked());
    EXPECT_TRUE(e.cmbFontPrn->isEnabled());
    EXPECT_EQ(e.cmbFontPrn->currentText(), QStringLiteral("ＭＳ 明朝"));
    EXPECT_EQ(e.cmbFontSizePrn->currentText(), QStringLiteral("14"));
    // Size "0" disables both fax font boxes although a number is present; the name the
    // service wrote is kept.
    EXPECT_EQ(e.cmbFontSizeFAX->currentText(), QStringLiteral("0"));
    EXPECT_EQ(e.cmbFontFAX->currentText(), QStringLiteral("設定不可"));
    EXPECT_FALSE(e.cmbFontFAX->isEnabled());
    EXPECT_FALSE(e.cmbFontSizeFAX->isEnabled());
    EXPECT_TRUE(e.OptionFAX[1]->isChecked());
    EXPECT_EQ(e.faxOption(), QStringLiteral("attach"));
}

TEST_F(ManagerTest, ModeChoosesButtonsAndCaption)
{
    writeData("account.txt", {qm::newAccountTemplateLine("01")});
    writeMode("Delete");
    {
        FormQuillmarcBAccount e;
        EXPECT_EQ(e.windowTitle(), QStringLiteral("アカウントの削除"));
        EXPECT_FALSE(e.cmdOK->isVisibleTo(&e));
        EXPECT_TRUE(e.cmdDelete->isVisibleTo(&e));
    }
    writeMode("Append");
    FormQuillmarcBAccount e;
    EXPECT_EQ(e.windowTitle(), QStringLiteral("アカウントの追加"));
    EXPECT_TRUE(e.cmdOK->isVisibleTo(&e));
    EXPECT_FALSE(e.cmdDelete->isVisibleTo(&e));
    EXPECT_TRUE(e.cmdCancel->isVisibleTo(&e));
    EXPECT_FALSE(e.cmdOK->isDefault() || e.cmdOK->autoDefault());
}

TEST_F(ManagerTest, RemoteSwitchOffDisablesTheRemoteAddress)
{
    writeData("TimerSet.txt", {"\"5\",\"24\",0,0,\"\",0,0,0,0"});
    FormQuillmarcBAccount off;
    EXPECT_FALSE(off.txtRmtAddress->isEnabled());
    writeData("TimerSet.txt", {"\"5\",\"24\",1,0,\"\",0,0,0,0"});
    FormQuillmarcBAccount on;
    EXPECT_TRUE(on.txtRmtAddress->isEnabled());
}

TEST_F(ManagerTest, FaxEntryFollowsTheFaxBackend)
{
    {
        FormQuillmarcBAccount spool; // default spool folder below Data/ can be made
        EXPECT_TRUE(spool.txtSndFAX->isEnabled());
        EXPECT_FALSE(spool.Label_OSVersion->text().isEmpty());
    }
    writeData("FaxPath.txt",
              {"\"backend\",\"hylafax\"",
               QStringLiteral("\"sendfax\",\"%1\"").arg(m_dir.filePath("no-sendfax"))});
    FormQuillmarcBAccount missing;
    EXPECT_FALSE(missing.txtSndFAX->isEnabled());
}

TEST_F(ManagerTest, CtrlTabCyclesTheTabs)
{
    writeData("account.txt", {qm::newAccountTemplateLine("01")});
    FormQuillmarcBAccount e;
    e.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&e));
    e.txtRcvAddress->setFocus();
    QTest::keyClick(e.txtRcvAddress, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(e.tbsOptions->currentIndex(), 1);
    EXPECT_TRUE(e.frmFillter->isEnabled());
    EXPECT_FALSE(e.frmAccount->isEnabled());
    e.txtFrom->setFocus();
    QTest::keyClick(e.txtFrom, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(e.tbsOptions->currentIndex(), 2) << "the connection tab";
    QTest::keyClick(e.tbsOptions->currentWidget(), Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(e.tbsOptions->currentIndex(), 3) << "the sign-in page";
    auto* provider = e.findChild<QWidget*>(QStringLiteral("cmbOAuthProvider"));
    ASSERT_NE(provider, nullptr);
    provider->setFocus();
    QTest::keyClick(provider, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(e.tbsOptions->currentIndex(), 0);
    EXPECT_TRUE(e.frmAccount->isEnabled());
}

TEST_F(ManagerTest, SignInPageShowsTheStoredSettingsAndForgetsTheSignInOfAnotherClient)
{
    writeData("account.txt", {qm::newAccountTemplateLine("01")});
    QString error;
    ASSERT_TRUE(qm::saveMailConnectionValues(
        QStringLiteral("01"),
        {{QStringLiteral("OAuthProvider"), QStringLiteral("microsoft")},
         {QStringLiteral("OAuthTenant"), QStringLiteral("contoso.example")},
         {QStringLiteral("OAuthClientId"), QStringLiteral("abc")},
         {QStringLiteral("PopAuth"), QStringLiteral("xoauth2")},
         {QStringLiteral("OAuthRefreshToken"), QStringLiteral("refresh-secret")}},
        &error))
        << error.toStdString();
    FormQuillmarcBAccount e;
    auto* provider = e.findChild<QComboBox*>(QStringLiteral("cmbOAuthProvider"));
    auto* tenant = e.findChild<QLineEdit*>(QStringLiteral("txtOAuthTenant"));
    auto* clientId = e.findChild<QLineEdit*>(QStringLiteral("txtOAuthClientId"));
    auto* popAuth = e.findChild<QComboBox*>(QStringLiteral("cmbPopAuth"));
    auto* status = e.findChild<QLabel*>(QStringLiteral("lblSignInStatus"));
    ASSERT_TRUE(provider && tenant && clientId && popAuth && status);
    EXPECT_EQ(provider->currentData().toString(), QStringLiteral("microsoft"));
    EXPECT_EQ(tenant->text(), QStringLiteral("contoso.example"));
    EXPECT_EQ(clientId->text(), QStringLiteral("abc"));
    EXPECT_EQ(popAuth->currentData().toString(), QStringLiteral("xoauth2"));
    EXPECT_TRUE(status->text().contains(QStringLiteral("サインイン済み")))
        << status->text().toStdString();
    // A sign-in belongs to the client it was made with.
    clientId->setText(QStringLiteral("another"));
    EXPECT_TRUE(status->text().contains(QStringLiteral("まだサインインしていません")));
}
