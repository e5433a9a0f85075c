#include "ManagerTestSupport.h"
#include "data/AccountRecord.h"
#include "data/AtomicFile.h"
#include "data/Encryption.h"
#include "data/Paths.h"
#include "data/TextCodec.h"
#include "manager/FormQuillmarcB.h"
#include "manager/FormQuillmarcBAccount.h"
#include "widgets/MessageBox.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <functional>

using qm::manager::FormQuillmarcB;
using qm::manager::FormQuillmarcBAccount;

namespace {

QStringList rowTexts(const FormQuillmarcB& list, int row)
{
    QStringList texts;
    const QTreeWidgetItem* item = list.ListView->topLevelItem(row);
    for (int c = 0; c < 4; ++c)
        texts.append(item ? item->text(c) : QString());
    return texts;
}

// Runs `act` on each editor the list opens, once its modal loop is running.
void onEditor(FormQuillmarcB& list, std::function<void(FormQuillmarcBAccount&)> act)
{
    QObject::connect(&list, &FormQuillmarcB::editorOpening, &list, [act](QWidget* w) {
        auto* editor = static_cast<FormQuillmarcBAccount*>(w);
        QTimer::singleShot(0, editor, [editor, act] {
            act(*editor);
            if (editor->isVisible())
                editor->reject();
        });
    });
}

void clickRow(FormQuillmarcB& list, int row)
{
    QTreeWidgetItem* item = list.ListView->topLevelItem(row);
    ASSERT_NE(item, nullptr);
    const QRect rect = list.ListView->visualItemRect(item);
    QTest::mouseClick(list.ListView->viewport(), Qt::LeftButton, {}, rect.center());
}

} // namespace

TEST_F(ManagerTest, WithoutModeFileTheListKeepsItsDefaults)
{
    writeData(QStringLiteral("account.txt"), {QStringLiteral("left over")});
    FormQuillmarcB list;
    EXPECT_EQ(list.windowTitle(), QStringLiteral("アカウント設定"));
    EXPECT_TRUE(list.ListView->isEnabled());
    EXPECT_FALSE(list.LabelMsg1->isVisibleTo(&list));
    EXPECT_FALSE(list.cmdAppend->isVisibleTo(&list));
    EXPECT_EQ(list.currentAccountNo(), 0);
    EXPECT_FALSE(QFileInfo::exists(dataPath(QStringLiteral("account.txt"))));
}

TEST_F(ManagerTest, ModeWordSetsCaptionPromptAndList)
{
    struct Case
    {
        QString mode, caption, prompt;
        bool append;
    };
    const Case cases[] = {
        {"Append", "アカウントの追加", "【アカウントの追加】をクリックしてください。", true},
        {"Edit", "アカウントの編集", "編集するアカウントの行をクリックしてください。", false},
        {"Delete", "アカウントの削除", "削除するアカウントの行をクリックしてください。", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode.toStdString());
        writeMode(c.mode);
        FormQuillmarcB list;
        EXPECT_EQ(list.windowTitle(), c.caption);
        EXPECT_EQ(list.LabelMsg1->text(), c.prompt);
        EXPECT_TRUE(list.LabelMsg1->isVisibleTo(&list));
        EXPECT_EQ(list.cmdAppend->isVisibleTo(&list), c.append);
        EXPECT_EQ(list.ListView->isEnabled(), !c.append);
    }
    writeMode(QStringLiteral("Suspended"));
    FormQuillmarcB other;
    EXPECT_EQ(other.windowTitle(), QStringLiteral("アカウント設定"));
    EXPECT_TRUE(other.ListView->isEnabled());
}

TEST_F(ManagerTest, ListShowsColumnsAndStateTextsInFileOrder)
{
    writeAccounts({workingLine("03", "本社", "1"), workingLine("01", "支店", "2"),
                   workingLine("02", "倉庫", "-1"), workingLine("05", "工場", "-2"),
                   qm::deletedAccountTemplateLine("04"), workingLine("06", "謎", "7"),
                   QStringLiteral("\"07\",\"short\",\"1\",\"\",\"a@b\"")});
    FormQuillmarcB list;
    const QTreeWidgetItem* head = list.ListView->headerItem();
    EXPECT_EQ(head->text(0), QStringLiteral("№"));
    EXPECT_EQ(head->text(1), QStringLiteral("アカウント名"));
    EXPECT_EQ(head->text(2), QStringLiteral("転送元メールアドレス"));
    EXPECT_EQ(head->text(3), QStringLiteral("転送状態"));

    ASSERT_EQ(list.ListView->topLevelItemCount(), 6);
    EXPECT_EQ(rowTexts(list, 0), (QStringList{"03", "本社", "src03@example.jp", "転送"}));
    EXPECT_EQ(rowTexts(list, 1)[3], QStringLiteral("転送削除"));
    EXPECT_EQ(rowTexts(list, 2)[3], QStringLiteral("停止中"));
    EXPECT_EQ(rowTexts(list, 3)[3], QStringLiteral("停止中"));
    EXPECT_EQ(rowTexts(list, 4), (QStringList{"04", "アカウント04（削除済み）", "", "停止中"}));
    EXPECT_EQ(rowTexts(list, 5)[0], QStringLiteral("06"));
}

TEST_F(ManagerTest, EncryptedAccountFileListsTheSameRows)
{
    const QStringList lines = {workingLine("01", "本社", "1"), workingLine("02", "支店", "-2")};
    writeAccounts(lines);
    QStringList plainRows;
    {
        FormQuillmarcB list;
        for (int r = 0; r < list.ListView->topLevelItemCount(); ++r)
            plainRows += rowTexts(list, r);
    }
    ASSERT_EQ(plainRows.size(), 8);

    ASSERT_TRUE(qm::writeTextLines(qm::filePaths().encryptionMarker, {QStringLiteral("on")}));
    ASSERT_TRUE(qm::encryptionOn());
    ASSERT_TRUE(qm::writeStoredFile(dataPath("account.crp"), *qm::encodeLines(lines)));
    ASSERT_TRUE(qm::looksEncrypted(bytes("account.crp")));
    FormQuillmarcB list;
    QStringList encryptedRows;
    for (int r = 0; r < list.ListView->topLevelItemCount(); ++r)
        encryptedRows += rowTexts(list, r);
    EXPECT_EQ(encryptedRows, plainRows);
}

TEST_F(ManagerTest, FirstAccountIsNumberOneWithItsFolders)
{
    writeMode(QStringLiteral("Append"));
    FormQuillmarcB list;
    QString shownNo, shownName;
    onEditor(list, [&](FormQuillmarcBAccount& e) {
        shownNo = e.txtID->text();
        shownName = e.txtAccount->text();
        fillRequired(e);
        e.cmdOK->click();
    });
    list.cmdAppend->click();
    EXPECT_EQ(shownNo, QStringLiteral("01"));
    EXPECT_EQ(shownName, QStringLiteral("アカウント01"));
    EXPECT_EQ(list.currentAccountNo(), 0);

    ASSERT_EQ(accountLines().size(), 1);
    EXPECT_EQ(accountFields("01").value(1), QStringLiteral("アカウント01"));
    EXPECT_TRUE(QFileInfo(m_dir.filePath("MlTmp01")).isDir());
    EXPECT_TRUE(QFileInfo(m_dir.filePath("MlTmp01/Attach")).isDir());
    // The list was filled again after the editor closed.
    ASSERT_EQ(list.ListView->topLevelItemCount(), 1);
    EXPECT_EQ(rowTexts(list, 0)[0], QStringLiteral("01"));
    EXPECT_FALSE(QFileInfo::exists(dataPath("account.txt")));
}

TEST_F(ManagerTest, NewNumberIsHighestPlusOneNotTheFirstGap)
{
    writeMode(QStringLiteral("Append"));
    writeAccounts({workingLine("01", "a", "1"), qm::deletedAccountTemplateLine("02"),
                   workingLine("05", "b", "1")});
    FormQuillmarcB list;
    QString shownNo;
    QStringList handedOver;
    onEditor(list, [&](FormQuillmarcBAccount& e) {
        shownNo = e.txtID->text();
        handedOver = dataLines("account.txt");
    });
    list.cmdAppend->click();
    EXPECT_EQ(shownNo, QStringLiteral("06"));
    EXPECT_EQ(handedOver, QStringList{qm::newAccountTemplateLine("06")});
    // Cancelled: nothing was added.
    EXPECT_EQ(accountLines().size(), 3);
}

TEST_F(ManagerTest, FullRangeWarnsAndOpensNoEditor)
{
    writeMode(QStringLiteral("Append"));
    writeAccounts({workingLine("03", "a", "1"), workingLine("99", "b", "1")});
    FormQuillmarcB list;
    bool opened = false;
    QObject::connect(&list, &FormQuillmarcB::editorOpening, [&opened](QWidget*) { opened = true; });
    list.cmdAppend->click();
    EXPECT_FALSE(opened);
    EXPECT_EQ(shownTexts(), QStringList{QStringLiteral("アカウントは99件全て登録済みです。")});
    EXPECT_EQ(qm::widgets::MessageBox::shown().value(0).icon, QMessageBox::Warning);
    EXPECT_EQ(qm::widgets::MessageBox::shown().value(0).title, QStringLiteral("quillmarcB"));
    EXPECT_EQ(list.currentAccountNo(), 0);
    EXPECT_FALSE(QFileInfo::exists(dataPath("account.txt")));
}

TEST_F(ManagerTest, RowClickHandsOverThatRecordOrATemplateWhenItVanished)
{
    writeMode(QStringLiteral("Edit"));
    writeAccounts({workingLine("01", "本社", "1"), workingLine("03", "支店", "2")});
    FormQuillmarcB list;
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));

    QStringList handedOver;
    QString shownName;
    onEditor(list, [&](FormQuillmarcBAccount& e) {
        handedOver = dataLines("account.txt");
        shownName = e.txtAccount->text();
    });
    clickRow(list, 1);
    EXPECT_EQ(handedOver, QStringList{workingLine("03", "支店", "2")});
    EXPECT_EQ(shownName, QStringLiteral("支店"));
    EXPECT_EQ(list.currentAccountNo(), 3);

    // Line 03 disappears behind the list's back: the editor gets a fresh 03.
    writeAccounts({workingLine("01", "本社", "1")});
    clickRow(list, 1);
    EXPECT_EQ(handedOver, QStringList{qm::newAccountTemplateLine("03")});
    EXPECT_EQ(shownName, QStringLiteral("アカウント03"));
    // Refreshed after the editor closed.
    EXPECT_EQ(list.ListView->topLevelItemCount(), 1);

    // Enter on the chosen row opens it as well.
    handedOver.clear();
    list.ListView->setCurrentItem(list.ListView->topLevelItem(0));
    QTest::keyClick(list.ListView, Qt::Key_Return);
    EXPECT_EQ(handedOver, QStringList{workingLine("01", "本社", "1")});
}

TEST_F(ManagerTest, AHandOverRecordThatCannotBeWrittenIsShownAndOpensNoEditor)
{
    writeAccounts({workingLine("01", "本社", "1")});
    qm::setAtomicWriteHook([](qm::AtomicWriteStep, const QString& path) {
        return !path.endsWith(QLatin1String("account.txt"));
    });
    for (const QString mode : {"Append", "Edit"}) {
        SCOPED_TRACE(mode.toStdString());
        qm::widgets::MessageBox::clearShown();
        writeMode(mode);
        FormQuillmarcB list;
        list.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
        bool opened = false;
        onEditor(list, [&opened](FormQuillmarcBAccount&) { opened = true; });
        if (mode == QLatin1String("Append"))
            list.cmdAppend->click();
        else
            clickRow(list, 0);
        EXPECT_FALSE(opened);
        ASSERT_EQ(qm::widgets::MessageBox::shown().size(), 1);
        EXPECT_EQ(qm::widgets::MessageBox::shown()[0].icon, QMessageBox::Critical);
        EXPECT_EQ(list.currentAccountNo(), 0);
        EXPECT_EQ(rowTexts(list, 0), (QStringList{"01", "本社", "src01@example.jp", "転送"}));
    }
}

TEST_F(ManagerTest, ClosingRemovesModeFileAndHandOverRecord)
{
    writeMode(QStringLiteral("Edit"));
    FormQuillmarcB list;
    list.show();
    writeData(QStringLiteral("account.txt"), {qm::newAccountTemplateLine("01")});
    list.cmdQuit->click();
    EXPECT_FALSE(list.isVisible());
    EXPECT_FALSE(QFileInfo::exists(dataPath("quillmarc.prm")));
    EXPECT_FALSE(QFileInfo::exists(dataPath("account.txt")));
    EXPECT_TRUE(shownTexts().isEmpty());
}
