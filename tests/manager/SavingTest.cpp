#include "ManagerTestSupport.h"
#include "data/AccountFile.h"
#include "data/AccountRecord.h"
#include "data/AtomicFile.h"
#include "data/Paths.h"
#include "data/SettingsLine.h"
#include "manager/FormQuillmarcBAccount.h"
#include "widgets/MessageBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <functional>

using qm::manager::FormQuillmarcBAccount;
using qm::widgets::MessageBox;

namespace {

// Every file below Data/ except the hand-over record, which the editor owns while open.
QMap<QString, QByteArray> dataSnapshot(const QString& programDir)
{
    QMap<QString, QByteArray> files;
    const QDir dir(programDir + QStringLiteral("/Data"));
    for (const QString& name : dir.entryList(QDir::Files)) {
        if (name == QLatin1String("account.txt") || name.endsWith(QLatin1String(".lock")))
            continue;
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            files.insert(name, f.readAll());
    }
    return files;
}

} // namespace

TEST_F(ManagerTest, ACheckShowsItsMessageMovesTheFocusToItsBoxAndSavesNothing)
{
    struct Case
    {
        const char* what;
        std::function<void(FormQuillmarcBAccount&)> edit;
        QString message;
        std::function<QWidget*(FormQuillmarcBAccount&)> focus;
    };
    const Case cases[] = {
        {"empty SMTP port", [](auto& e) { e.txtRcvSMTP_Port->clear(); },
         "転送元の情報に入力モレがあります。", [](auto& e) { return e.txtRcvSMTP_Port; }},
        {"count missing",
         [](auto& e) {
             e.CheckPhone->setChecked(true);
             e.divChar->setText("100");
         },
         "分割文字数を入力したら最大通数も入力してください。", [](auto& e) { return e.divCount; }},
        {"quote in a filter", [](auto& e) { e.txtFrom->setPlainText("\"boss\""); },
         "「From（差出人）」にダブルクォーテーション（\"）は使えません。",
         [](auto& e) { return e.txtFrom; }},
        {"comma in a delete string",
         [](auto& e) {
             e.CheckPhone->setChecked(true);
             e.txtDelString->setPlainText("広告\na,b");
         },
         "「削除文字列」にカンマ（,）は使えません。", [](auto& e) { return e.txtDelString; }},
        // The rules the command line applies too: one check in the data layer.
        {"letters in a port", [](auto& e) { e.txtRcvPOP_Port->setText("abc"); },
         "ポート番号は半角の数字（1～65535）で入力してください。",
         [](auto& e) { return e.txtRcvPOP_Port; }},
        {"no address", [](auto& e) { e.txtSndCC->setPlainText("boss"); },
         "「転送先メールアドレス (CC)」の「boss」はメールアドレスとして使えません。",
         [](auto& e) { return e.txtSndCC; }},
    };
    writeAccounts({workingLine("01", "本社", "1")});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MessageBox::clearShown();
        writeData("account.txt", {qm::newAccountTemplateLine("02")});
        const auto before = dataSnapshot(m_dir.path());
        FormQuillmarcBAccount e;
        e.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&e));
        fillRequired(e);
        c.edit(e);
        e.cmdOK->click();
        ASSERT_EQ(MessageBox::shown().size(), 1);
        EXPECT_EQ(MessageBox::shown()[0].text, c.message);
        EXPECT_EQ(MessageBox::shown()[0].title, QStringLiteral("アカウント設定"));
        EXPECT_EQ(MessageBox::shown()[0].icon, QMessageBox::Warning);
        EXPECT_EQ(QApplication::focusWidget(), c.focus(e));
        EXPECT_TRUE(e.isVisible());
        EXPECT_EQ(dataSnapshot(m_dir.path()), before);
    }
}

TEST_F(ManagerTest, ForwardStateRoundTripsThroughSaveAndLoad)
{
    writeData("account.txt", {qm::newAccountTemplateLine("05")});
    {
        FormQuillmarcBAccount e;
        fillRequired(e);
        e.OptionDel[1]->setChecked(true);
        e.cmdOK->click();
    }
    ASSERT_EQ(accountLines().size(), 1);
    // An appended record stores its numbers bare.
    EXPECT_TRUE(accountLines()[0].startsWith(QStringLiteral("\"05\",\"アカウント05\",2,")));
    EXPECT_EQ(accountFields("05")[2], QStringLiteral("2"));
    EXPECT_EQ(accountFields("05")[13], QStringLiteral("2"));

    ASSERT_TRUE(qm::writeHandOverRecord(QStringLiteral("05")));
    {
        FormQuillmarcBAccount e;
        EXPECT_TRUE(e.chkForward->isChecked());
        EXPECT_TRUE(e.OptionDel[1]->isChecked());
        e.chkForward->setChecked(false);
        e.cmdOK->click();
    }
    EXPECT_EQ(accountFields("05")[2], QStringLiteral("-2"));
    ASSERT_TRUE(qm::writeHandOverRecord(QStringLiteral("05")));
    FormQuillmarcBAccount e;
    EXPECT_FALSE(e.chkForward->isChecked());
    EXPECT_TRUE(e.OptionDel[1]->isChecked());
    EXPECT_FALSE(e.OptionDel[1]->isEnabled());
}

TEST_F(ManagerTest, TheRowsOfTheThreeSettingsFilesComeFromTheirControls)
{
    ASSERT_TRUE(qm::writeHandOverRecord(QStringLiteral("03")));
    FormQuillmarcBAccount e;
    fillRequired(e);
    e.chkPrint->setChecked(true);
    e.OptionPrint[1]->setChecked(true);
    e.txtSndFAX->setPlainText("0312345678");
    e.cmbFontSizeFAX->setCurrentText("14");
    e.OptionFAX[1]->setChecked(true);
    e.CheckPhone->setChecked(true);
    e.txtDelString->setPlainText("広告\n配信停止");
    e.cmdOK->click();
    ASSERT_EQ(e.result(), QDialog::Accepted) << shownTexts().join('\n').toStdString();
    EXPECT_EQ(dataLines("DelString.txt"), QStringList{"\"03\",\"広告\t配信停止\""});
    EXPECT_EQ(dataLines("FontData.txt"),
              QStringList{"\"03\",\"1\",\"1\",\"ＭＳ ゴシック\",\"11\",\"ＭＳ ゴシック\",\"14\""});
    EXPECT_EQ(dataLines("FaxOpt.txt"), QStringList{"\"03\",\"attach\""});
    EXPECT_EQ(e.faxOption(), QStringLiteral("attach"));
}

TEST_F(ManagerTest, TrailingLineBreaksLeaveTheListsButFaxNumbersKeepThem)
{
    writeData("account.txt", {qm::newAccountTemplateLine("01")});
    FormQuillmarcBAccount e;
    fillRequired(e);
    e.txtSndTo->setPlainText("a@example.jp\nb@example.jp\n\n");
    e.txtFrom->setPlainText("boss@\n");
    e.txtSndFAX->setPlainText("0312345678\n");
    e.cmdOK->click();
    const QStringList f = accountFields("01");
    ASSERT_EQ(f.size(), 33);
    EXPECT_EQ(f[16], QStringLiteral("a@example.jp\tb@example.jp"));
    EXPECT_EQ(f[20], QStringLiteral("boss@"));
    EXPECT_EQ(f[19], QStringLiteral("0312345678\t"));
    EXPECT_EQ(e.txtSndTo->toPlainText(), QStringLiteral("a@example.jp\nb@example.jp"));
}

TEST_F(ManagerTest, DeleteAsksFirstAndBlanksTheRecordOnlyOnYes)
{
    writeAccounts({workingLine("01", "本社", "1"), workingLine("02", "支店", "2")});
    writeMode("Delete");
    ASSERT_TRUE(qm::writeHandOverRecord(QStringLiteral("02")));
    const auto before = dataSnapshot(m_dir.path());

    FormQuillmarcBAccount e;
    e.show();
    MessageBox::setNextAnswer(QMessageBox::No);
    e.cmdDelete->click();
    EXPECT_TRUE(e.isVisible());
    EXPECT_EQ(dataSnapshot(m_dir.path()), before);
    ASSERT_EQ(MessageBox::shown().size(), 1);
    EXPECT_EQ(MessageBox::shown()[0].text,
              QStringLiteral("このアカウントを削除してよろしいですか？"));
    EXPECT_EQ(MessageBox::shown()[0].title, QStringLiteral("quillmarcB"));

    MessageBox::setNextAnswer(QMessageBox::Yes);
    e.cmdDelete->click();
    EXPECT_FALSE(e.isVisible());
    EXPECT_EQ(accountFields("02"), qm::deletedAccountTemplate("02").toFields());
    EXPECT_EQ(accountFields("01"), qm::splitSettingsLine(workingLine("01", "本社", "1")));
    EXPECT_FALSE(QFileInfo::exists(dataPath("account.txt")));
}

TEST_F(ManagerTest, CancelAfterEditingWritesNothing)
{
    writeAccounts({workingLine("01", "本社", "1")});
    ASSERT_TRUE(qm::writeHandOverRecord(QStringLiteral("01")));
    const auto before = dataSnapshot(m_dir.path());
    FormQuillmarcBAccount e;
    e.show();
    e.txtAccount->setText("変更");
    e.chkForward->setChecked(false);
    e.txtDelString->setPlainText("x");
    QTest::keyClick(&e, Qt::Key_Escape);
    EXPECT_FALSE(e.isVisible());
    EXPECT_EQ(e.result(), QDialog::Rejected);
    EXPECT_EQ(dataSnapshot(m_dir.path()), before);
    EXPECT_FALSE(QFileInfo::exists(dataPath("account.txt")));
    EXPECT_FALSE(QFileInfo::exists(m_dir.filePath("MlTmp01")));
}

TEST_F(ManagerTest, AFailingFileStepKeepsTheWindowOpenAndEveryFileAsItWas)
{
    writeAccounts({workingLine("01", "本社", "1")});
    writeData("FontData.txt",
              {"\"01\",\"0\",\"0\",\"ＭＳ ゴシック\",\"11\",\"ＭＳ ゴシック\",\"11\""});
    ASSERT_TRUE(qm::writeHandOverRecord(QStringLiteral("01")));
    const auto before = dataSnapshot(m_dir.path());
    FormQuillmarcBAccount e;
    e.show();
    e.txtAccount->setText("本社（新）");
    qm::setAtomicWriteHook([](qm::AtomicWriteStep step, const QString& path) {
        return !(step == qm::AtomicWriteStep::TempWritten && path.contains("FontData"));
    });
    e.cmdOK->click();
    qm::setAtomicWriteHook({});
    EXPECT_TRUE(e.isVisible());
    ASSERT_EQ(MessageBox::shown().size(), 1);
    EXPECT_EQ(MessageBox::shown()[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(MessageBox::shown()[0].text.startsWith(
        QStringLiteral("アカウントを保存できませんでした。")));
    EXPECT_EQ(dataSnapshot(m_dir.path()), before);
    EXPECT_EQ(e.txtAccount->text(), QStringLiteral("本社（新）"));

    // The same input saves once the file can be written again.
    e.cmdOK->click();
    EXPECT_FALSE(e.isVisible());
    EXPECT_EQ(accountFields("01")[1], QStringLiteral("本社（新）"));
}
