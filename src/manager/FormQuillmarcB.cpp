#include "manager/FormQuillmarcB.h"

#include "data/AccountFile.h"
#include "data/AtomicFile.h"
#include "data/HandOverFiles.h"
#include "data/Paths.h"
#include "data/TextCodec.h"
#include "manager/FormQuillmarcBAccount.h"
#include "widgets/ListView.h"
#include "widgets/MessageBox.h"
#include "widgets/WindowGeometry.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace qm::manager {

using widgets::MessageBox;

FormQuillmarcB::FormQuillmarcB(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("formQuillmarcB"));
    setWindowTitle(QStringLiteral("アカウント設定"));
    widgets::raiseAndCentreWhenFirstShown(this);

    ListView = new QTreeWidget;
    ListView->setObjectName(QStringLiteral("ListView"));
    const QList<int> twips = {330, 1720, 3100, 900};
    widgets::setUpListView(ListView,
                           {QStringLiteral("№"), QStringLiteral("アカウント名"),
                            QStringLiteral("転送元メールアドレス"), QStringLiteral("転送状態")},
                           twips);
    // The widths in twips suit a smaller font than ours; never cut a heading.
    ListView->header()->setMinimumSectionSize(30);
    connect(ListView, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { listRowClick(item); });
    ListView->installEventFilter(this);

    cmdAppend = new QPushButton(QStringLiteral("アカウントの追加"));
    cmdAppend->setObjectName(QStringLiteral("cmdAppend"));
    cmdAppend->setVisible(false);
    cmdAppend->setAutoDefault(false);
    connect(cmdAppend, &QPushButton::clicked, this, &FormQuillmarcB::cmdAppendClick);
    cmdQuit = new QPushButton(QStringLiteral("閉じる"));
    cmdQuit->setObjectName(QStringLiteral("cmdQuit"));
    cmdQuit->setAutoDefault(false);
    connect(cmdQuit, &QPushButton::clicked, this, &FormQuillmarcB::cmdQuitClick);

    LabelMsg1 = new QLabel;
    LabelMsg1->setObjectName(QStringLiteral("LabelMsg1"));
    LabelMsg1->setVisible(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(LabelMsg1, 1);
    buttons->addWidget(cmdAppend);
    buttons->addWidget(cmdQuit);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ListView, 1);
    layout->addLayout(buttons);

    int width = 0;
    for (int t : twips)
        width += widgets::twipsToPixels(t, this);
    resize(qMax(width + 60, 560), 360);

    readMode();
    fillList();
    m_currentAccount = 0;
    deleteHandOverRecord();
}

bool FormQuillmarcB::eventFilter(QObject* watched, QEvent* event)
{
    // Enter on the chosen row opens it too, so the list works without a mouse.
    if (watched == ListView && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && ListView->currentItem()) {
            listRowClick(ListView->currentItem());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FormQuillmarcB::readMode()
{
    const std::optional<QString> mode = readModeFile();
    if (!mode)
        return;
    struct Row
    {
        const char* mode;
        QString caption;
        bool append;
        QString prompt;
    };
    const Row rows[] = {
        {"Append", QStringLiteral("アカウントの追加"), true,
         QStringLiteral("【アカウントの追加】をクリックしてください。")},
        {"Edit", QStringLiteral("アカウントの編集"), false,
         QStringLiteral("編集するアカウントの行をクリックしてください。")},
        {"Delete", QStringLiteral("アカウントの削除"), false,
         QStringLiteral("削除するアカウントの行をクリックしてください。")},
    };
    for (const Row& row : rows) {
        if (*mode == QLatin1String(row.mode)) {
            m_mode = *mode;
            setWindowTitle(row.caption);
            cmdAppend->setVisible(row.append);
            LabelMsg1->setText(row.prompt);
            LabelMsg1->setVisible(true);
            return;
        }
    }
}

void FormQuillmarcB::fillList()
{
    ListView->setEnabled(m_mode != QLatin1String("Append"));
    ListView->clear();
    const std::optional<AccountTable> table = readAccountTable();
    if (!table)
        return;
    ListView->setUpdatesEnabled(false);
    for (const AccountRecord& rec : table->records) {
        auto* item = new QTreeWidgetItem(ListView);
        item->setText(0, rec.AccountNo);
        item->setText(1, rec.AccountName);
        item->setText(2, rec.SourceAddress);
        item->setText(3, forwardStateText(rec.ForwardState));
    }
    ListView->setUpdatesEnabled(true);
}

void FormQuillmarcB::cmdAppendClick()
{
    QString error;
    const std::optional<AccountTable> table = readAccountTable(&error);
    if (!table) {
        // Guessing a number from an unreadable file could hand out one already in use.
        MessageBox::show(this, QMessageBox::Critical, QCoreApplication::applicationName(), error);
        m_currentAccount = 0;
        return;
    }
    int highest = 0;
    for (const AccountRecord& rec : table->records)
        highest = qMax(highest, rec.AccountNo.toInt());
    const int next = highest + 1;
    if (next > kAccountLimit) {
        MessageBox::show(this, QMessageBox::Warning, QCoreApplication::applicationName(),
                         QStringLiteral("アカウントは%1件全て登録済みです。").arg(kAccountLimit));
        m_currentAccount = 0;
        return;
    }
    m_currentAccount = next;
    deleteHandOverRecord();
    QString writeError;
    const bool written =
        ensureDataDir(&writeError) &&
        writeTextLines(filePaths().handOverRecord, {newAccountTemplateLine(formatAccountNo(next))},
                       &writeError);
    if (written)
        openEditor();
    else
        showHandOverError(writeError);
    m_currentAccount = 0;
}

void FormQuillmarcB::listRowClick(QTreeWidgetItem* item)
{
    if (!item || m_mode == QLatin1String("Append") || !item->isSelected())
        return;
    const int number = item->text(0).toInt();
    if (number < 1 || number > kAccountLimit)
        return;
    m_currentAccount = number;
    QString error;
    if (!writeHandOverRecord(formatAccountNo(m_currentAccount), &error)) {
        showHandOverError(error);
        m_currentAccount = 0;
        return;
    }
    openEditor();
}

void FormQuillmarcB::showHandOverError(const QString& error)
{
    // Without the record the editor would open empty instead of on the chosen account.
    MessageBox::show(this, QMessageBox::Critical, QCoreApplication::applicationName(),
                     QStringLiteral("アカウント情報を編集画面に渡せませんでした。\n%1").arg(error));
}

void FormQuillmarcB::openEditor()
{
    FormQuillmarcBAccount editor(this);
    emit editorOpening(&editor);
    editor.exec();
    fillList();
}

bool FormQuillmarcB::removeHandOverFiles()
{
    const bool mode = deleteModeFile();
    const bool record = deleteHandOverRecord();
    return mode && record;
}

void FormQuillmarcB::cmdQuitClick()
{
    if (!removeHandOverFiles()) {
        MessageBox::show(this, QMessageBox::Critical, QCoreApplication::applicationName(),
                         QStringLiteral("cmdQuit Clik Err"));
        return;
    }
    close();
}

void FormQuillmarcB::closeEvent(QCloseEvent* event)
{
    if (!removeHandOverFiles())
        MessageBox::show(this, QMessageBox::Critical, QCoreApplication::applicationName(),
                         QStringLiteral("Unload Error"));
    event->accept();
}

} // namespace qm::manager
