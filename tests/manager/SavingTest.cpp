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
#include <QProcess>
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

TEST_F(ManagerTest, EachCheckShowsItsMessageMovesTheFocusAndSavesNothing)
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
        {"no destination", [](auto& e) { e.txtSndTo->clear(); },
         "転送先(To)かFAX番号のどちらかを入力してください。", [](auto& e) { return e.txtSndTo; }},
        {"count missing",
         [](auto& e) {
             e.CheckPhone->setChecked(true);
             e.divChar->setText("100");
         },
         "分割文字数を入力したら最大通数も入力してください。", [](auto& e) { return e.divCount; }},
        {"count zero",
         [](auto& e) {
             e.CheckPhone->setChecked(true);
             e.divChar->setText("50");
             e.divCount->setText("0");
         },
         "最大通数は０よりも大きい値を入力してください。", [](auto& e) { return e.divCount; }},
        {"chars missing",
         [](auto& e) {
             e.CheckPhone->setChecked(true);
             e.divCount->setText("2");
         },
         "分割文字数が未入力です。", [](auto& e) { return e.divChar; }},
        {"chars zero",
         [](auto& e) {
             e.CheckPhone->setChecked(true);
             e.divChar->setText("0");
             e.divCount->setText("3");
         },
         "分割文字数は０よりも大きい値を入力してください。", [](auto& e) { return e.divChar; }},
        {"chars not a number",
         [](auto& e) {
             e.CheckPhone->setChecked(true);
             e.divChar->setText("百");
             e.divCount->setText("2");
         },
         "分割文字数は半角の数字（0～32767）で入力してください。",
         [](auto& e) { return e.divChar; }},
        {"count too large",
         [](auto& e) {
             e.CheckPhone->setChecked(true);
             e.divChar->setText("70");
             e.divCount->setText("40000");
         },
         "最大通数は半角の数字（0～32767）で入力してください。",
         [](auto& e) { return e.divCount; }},
        {"comma in a name", [](auto& e) { e.txtAccount->setText("東京,大阪"); },
         "「アカウント名」にカンマ（,）は使えません。", [](auto& e) { return e.txtAccount; }},
        {"comma in a password", [](auto& e) { e.txtRcvPassword->setText("a,b"); },
         "「パスワード」にカンマ（,）は使えません。", [](auto& e) { return e.txtRcvPassword; }},
        {"look-alike in a password", [](auto& e) { e.txtRcvPassword->setText("a\u301Cb"); },
         "「パスワード」に保存できない文字が含まれています。",
         [](auto& e) { return e.txtRcvPassword; }},
        {"quote in a filter", [](auto& e) { e.txtFrom->setPlainText("\"boss\""); },
         "「From（差出人）」にダブルクォーテーション（\"）は使えません。",
         [](auto& e) { return e.txtFrom; }},
        {"comma in a delete string",
         [](auto& e) {
             e.CheckPhone->setChecked(true);
             e.txtDelString->setPlainText("a,b");
         },
         "「削除文字列」にカンマ（,）は使えません。", [](auto& e) { return e.txtDelString; }},
        {"character outside Shift-JIS", [](auto& e) { e.txtSubject->setPlainText("会議🍣"); },
         "「Subject（件名）」に保存できない文字が含まれています。",
         [](auto& e) { return e.txtSubject; }},
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

TEST_F(ManagerTest, SplitValuesAreNotCheckedWithoutMobileEditingAndSavedAsTyped)
{
    writeData("account.txt", {qm::newAccountTemplateLine("01")});
    FormQuillmarcBAccount e;
    fillRequired(e);
    e.divChar->setText("100");
    e.divCount->setText("多め");
    e.txtRcvAddress->setText("office,main@example.jp");
    e.cmdOK->click();
    EXPECT_TRUE(MessageBox::shown().isEmpty());
    EXPECT_EQ(e.result(), QDialog::Accepted);
    const QStringList f = accountFields("01");
    ASSERT_EQ(f.size(), 33);
    EXPECT_EQ(f[25], QStringLiteral("100"));
    EXPECT_EQ(f[26], QStringLiteral("多め"));
    EXPECT_EQ(f[4], QStringLiteral("office.main@example.jp"));

    // With it on, any number the service can read is accepted, and kept as typed.
    ASSERT_TRUE(qm::writeHandOverRecord(QStringLiteral("01")));
    FormQuillmarcBAccount on;
    on.CheckPhone->setChecked(true);
    on.divChar->setText(" 70 ");
    on.divCount->setText("3.0");
    on.cmdOK->click();
    EXPECT_TRUE(MessageBox::shown().isEmpty()) << shownTexts().join('\n').toStdString();
    EXPECT_EQ(accountFields("01").mid(24, 3), (QStringList{"1", " 70 ", "3.0"}));
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

TEST_F(ManagerTest, SavingTwiceLeavesOneLineInEachOfTheFourFiles)
{
    writeAccounts({workingLine("01", "本社", "1")});
    writeData("FontData.txt",
              {"\"01\",\"0\",\"0\",\"ＭＳ ゴシック\",\"11\",\"ＭＳ ゴシック\",\"11\""});
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(qm::writeHandOverRecord(QStringLiteral("03")));
        FormQuillmarcBAccount e;
        fillRequired(e);
        e.txtAccount->setText(QStringLiteral("支店%1").arg(round));
        e.chkPrint->setChecked(true);
        e.OptionPrint[1]->setChecked(true);
        e.txtSndFAX->setPlainText("0312345678");
        e.cmbFontSizeFAX->setCurrentText("14");
        e.OptionFAX[1]->setChecked(true);
        e.CheckPhone->setChecked(true);
        e.txtDelString->setPlainText("広告\n配信停止");
        e.cmdOK->click();
        ASSERT_EQ(e.result(), QDialog::Accepted) << shownTexts().join('\n').toStdString();
    }
    auto linesFor = [this](const QString& file, const QString& no) {
        QStringList found;
        for (const QString& line : dataLines(file)) {
            if (qm::splitSettingsLine(line).value(0) == no)
                found.append(line);
        }
        return found;
    };
    EXPECT_EQ(accountLines().size(), 2);
    EXPECT_EQ(accountFields("03")[1], QStringLiteral("支店1"));
    EXPECT_EQ(accountFields("01"), qm::splitSettingsLine(workingLine("01", "本社", "1")));
    EXPECT_EQ(linesFor("DelString.txt", "03"), QStringList{"\"03\",\"広告\t配信停止\""});
    EXPECT_EQ(linesFor("FontData.txt", "03"),
              QStringList{"\"03\",\"1\",\"1\",\"ＭＳ ゴシック\",\"11\",\"ＭＳ ゴシック\",\"14\""});
    EXPECT_EQ(linesFor("FaxOpt.txt", "03"), QStringList{"\"03\",\"attach\""});
    EXPECT_EQ(dataLines("FontData.txt").size(), 2);
    EXPECT_TRUE(QFileInfo(m_dir.filePath("MlTmp03/Attach")).isDir());
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

TEST_F(ManagerTest, DeletingBlanksTheRecordAndEmptiesItsWorkFolders)
{
    writeAccounts({workingLine("01", "本社", "1"), workingLine("02", "支店", "2"),
                   workingLine("03", "倉庫", "-1")});
    writeData("DelString.txt", {"\"02\",\"広告\""});
    writeData("FaxOpt.txt", {"\"02\",\"attach\""});
    for (const char* path : {"MlTmp02/Attach", "MlTmp02/Data", "MlTmp01"})
        ASSERT_TRUE(QDir().mkpath(m_dir.filePath(path)));
    for (const char* path : {"MlTmp02/1.eml", "MlTmp02/Attach/a.pdf", "MlTmp01/9.eml"}) {
        QFile f(m_dir.filePath(path));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
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
    EXPECT_EQ(accountFields("02")[1], QStringLiteral("アカウント02（削除済み）"));
    EXPECT_EQ(accountFields("01"), qm::splitSettingsLine(workingLine("01", "本社", "1")));
    EXPECT_EQ(accountFields("03"), qm::splitSettingsLine(workingLine("03", "倉庫", "-1")));
    EXPECT_EQ(bytes("DelString.txt"), before["DelString.txt"]);
    EXPECT_EQ(bytes("FaxOpt.txt"), before["FaxOpt.txt"]);
    EXPECT_TRUE(QDir(m_dir.filePath("MlTmp02")).entryList(QDir::Files).isEmpty());
    EXPECT_TRUE(QDir(m_dir.filePath("MlTmp02/Attach")).entryList(QDir::Files).isEmpty());
    EXPECT_TRUE(QFileInfo(m_dir.filePath("MlTmp02/Attach")).isDir());
    EXPECT_TRUE(QFileInfo::exists(m_dir.filePath("MlTmp01/9.eml")));
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

TEST_F(ManagerTest, SavingWhileTheServiceRewritesLosesNoChange)
{
    writeAccounts({workingLine("01", "本社", "1"), workingLine("02", "支店", "1")});
    QProcess service;
    service.start(QStringLiteral(QM_SERVICE_REWRITER), {m_dir.path(), QStringLiteral("300")});
    ASSERT_TRUE(service.waitForStarted());
    int saves = 0;
    bool finished = false;
    // A short pause between saves (waiting on the child) also lets its rewrites through.
    while (saves < 15 || !finished) {
        finished = finished || service.waitForFinished(5);
        ASSERT_TRUE(qm::writeHandOverRecord(QStringLiteral("02")));
        FormQuillmarcBAccount e;
        e.txtAccount->setText(QStringLiteral("支店%1").arg(saves));
        e.txtSndCC->setPlainText(QStringLiteral("cc%1@example.jp").arg(saves));
        e.cmdOK->click();
        ASSERT_EQ(e.result(), QDialog::Accepted) << shownTexts().join('\n').toStdString();
        ++saves;
        ASSERT_LT(saves, 3000);
    }
    EXPECT_EQ(service.exitCode(), 0) << service.readAllStandardError().toStdString();

    const QStringList lines = accountLines();
    ASSERT_EQ(lines.size(), 2);
    for (const QString& line : lines)
        EXPECT_EQ(qm::splitSettingsLine(line).size(), 33) << line.toStdString();
    const QStringList one = accountFields("01");
    EXPECT_EQ(one[2], QStringLiteral("1"));
    EXPECT_EQ(one[19], QStringLiteral("0399999999"));
    EXPECT_EQ(one[1], QStringLiteral("本社"));
    const QStringList two = accountFields("02");
    EXPECT_EQ(two[1], QStringLiteral("支店%1").arg(saves - 1));
    EXPECT_EQ(two[17], QStringLiteral("cc%1@example.jp").arg(saves - 1));
    EXPECT_EQ(two[19], QString());
}
