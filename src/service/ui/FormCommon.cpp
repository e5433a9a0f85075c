#include "FormCommon.h"

#include "ProgramIcon.h"
#include "data/AtomicFile.h"
#include "data/CommonSettingsEntry.h"
#include "data/Encryption.h"
#include "data/Paths.h"
#include "data/TimerSettings.h"
#include "widgets/LineEdits.h"
#include "widgets/MessageBox.h"
#include "widgets/WindowGeometry.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace qm::ui {

using widgets::MessageBox;

namespace {
const QString kTitle = QStringLiteral("共通設定");
const QString kCrLf = QStringLiteral("\r\n");

void warn(QWidget* parent, const QString& text)
{
    MessageBox::warning(parent, kTitle, text);
}
} // namespace

FormCommon::FormCommon(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("formCommon"));
    setWindowTitle(kTitle);
    setWindowIcon(programIcon());
    // Only OK and Cancel may close the dialog; the title bar offers no close box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    buildControls();
    loadSettings();
    applyPasswordState();
    showEncryptionState();
    widgets::centreOnScreen(this);
}

void FormCommon::buildControls()
{
    auto named = [](QWidget* w, const char* name) {
        w->setObjectName(QString::fromLatin1(name));
        return w;
    };

    auto* Label6 = new QLabel(QStringLiteral("メール受信"), this);
    named(Label6, "Label6");
    txtMinute = new QLineEdit(QStringLiteral("5"), this);
    named(txtMinute, "txtMinute");
    auto* Label8 = new QLabel(QStringLiteral("分間隔　（1～1440分）"), this);
    named(Label8, "Label8");
    auto* Label7 = new QLabel(QStringLiteral("ログ保存"), this);
    named(Label7, "Label7");
    txtHour = new QLineEdit(QStringLiteral("24"), this);
    named(txtHour, "txtHour");
    auto* Label9 = new QLabel(QStringLiteral("時間経過したログは自動削除　（1～168時間）"), this);
    named(Label9, "Label9");
    for (QLineEdit* box : {txtMinute, txtHour})
        box->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 16);

    CheckRemote = new QCheckBox(QStringLiteral("携帯（PC）からの設定変更を許す"), this);
    named(CheckRemote, "CheckRemote");
    CheckRemote->setChecked(true);

    CheckPassword = new QCheckBox(QStringLiteral("パスワードを設定する"), this);
    named(CheckPassword, "CheckPassword");
    LabelPassword = new QLabel(QStringLiteral("パスワード"), this);
    named(LabelPassword, "LabelPassword");
    txtPassword = new QLineEdit(this);
    named(txtPassword, "txtPassword");
    widgets::echoAsStars(txtPassword);
    LabelPassword->setBuddy(txtPassword);
    CheckStart = new QCheckBox(QStringLiteral("起動時にチェックする"), this);
    named(CheckStart, "CheckStart");
    CheckEnd = new QCheckBox(QStringLiteral("終了時にチェックする"), this);
    named(CheckEnd, "CheckEnd");
    CheckAccount = new QCheckBox(QStringLiteral("アカウント設定時にチェックする"), this);
    named(CheckAccount, "CheckAccount");

    Checklog = new QCheckBox(QStringLiteral("テスト用に詳細ログを記録する　※通常はオフ"), this);
    named(Checklog, "Checklog");

    Label1 = new QLabel(QStringLiteral("アカウント設定やログの内容を暗号化して保存"), this);
    named(Label1, "Label1");
    cmdEncrypt = new QPushButton(QStringLiteral("暗号化"), this);
    named(cmdEncrypt, "cmdEncrypt");
    cmdEncrypt->setAutoDefault(false);

    LabelMsg = new QLabel(QStringLiteral("共通設定を登録してください。"), this);
    named(LabelMsg, "LabelMsg");
    LabelMsg->setStyleSheet(QStringLiteral("color: #c00000;"));
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    named(cmdOK, "cmdOK");
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    named(cmdCancel, "cmdCancel");
    cmdCancel->setAutoDefault(false);

    // Layout: timing, password, log and encryption groups, then the buttons.
    auto* timing = new QGroupBox(this);
    auto* tg = new QGridLayout(timing);
    tg->addWidget(Label6, 0, 0);
    tg->addWidget(txtMinute, 0, 1);
    tg->addWidget(Label8, 0, 2);
    tg->addWidget(Label7, 1, 0);
    tg->addWidget(txtHour, 1, 1);
    tg->addWidget(Label9, 1, 2);
    tg->addWidget(CheckRemote, 2, 0, 1, 3);
    tg->setColumnStretch(2, 1);

    auto* pass = new QGroupBox(this);
    auto* pg = new QGridLayout(pass);
    pg->addWidget(CheckPassword, 0, 0, 1, 2);
    pg->addWidget(LabelPassword, 1, 0);
    pg->addWidget(txtPassword, 1, 1);
    pg->addWidget(CheckStart, 2, 1);
    pg->addWidget(CheckEnd, 3, 1);
    pg->addWidget(CheckAccount, 4, 1);
    pg->setColumnMinimumWidth(0, 90);
    pg->setColumnStretch(1, 1);

    auto* logBox = new QGroupBox(this);
    auto* lg = new QVBoxLayout(logBox);
    lg->addWidget(Checklog);

    auto* encBox = new QGroupBox(this);
    auto* eg = new QHBoxLayout(encBox);
    eg->addWidget(Label1, 1);
    eg->addWidget(cmdEncrypt);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(LabelMsg);
    buttons->addStretch(1); // keeps the buttons their size when the prompt is hidden
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);

    auto* top = new QVBoxLayout(this);
    top->addWidget(timing);
    top->addWidget(pass);
    top->addWidget(logBox);
    top->addWidget(encBox);
    top->addLayout(buttons);

    connect(CheckPassword, &QCheckBox::clicked, this, [this] { applyPasswordState(); });
    connect(Checklog, &QCheckBox::clicked, this, &FormCommon::onChecklogClicked);
    connect(cmdOK, &QPushButton::clicked, this, &FormCommon::onOk);
    connect(cmdCancel, &QPushButton::clicked, this, [this] { QDialog::reject(); });
    connect(cmdEncrypt, &QPushButton::clicked, this, &FormCommon::onEncrypt);
    for (QLineEdit* box : {txtMinute, txtHour, txtPassword})
        widgets::selectAllOnFocus(box);
}

void FormCommon::loadSettings()
{
    const TimerSettings s = readTimerSettings(filePaths().settingsFile);
    m_firstRun = !s.fileExists;
    LabelMsg->setVisible(m_firstRun);
    cmdCancel->setEnabled(!m_firstRun);
    if (m_firstRun)
        return;
    txtMinute->setText(QString::number(s.intervalMinutes));
    txtHour->setText(QString::number(s.logRetentionHours));
    txtPassword->setText(s.password);
    CheckRemote->setChecked(s.remoteSettingsAllowed != 0);
    CheckPassword->setChecked(s.passwordOn != 0);
    CheckStart->setChecked(s.checkAtStart != 0);
    CheckEnd->setChecked(s.checkAtExit != 0);
    CheckAccount->setChecked(s.checkAtAccountSetting != 0);
    if (s.fieldCount > 8) {
        Checklog->setChecked(s.detailLog != 0);
        // Loading a switched-on detail log warns just as switching it on does.
        if (Checklog->isChecked())
            onChecklogClicked(true);
    }
}

void FormCommon::applyPasswordState()
{
    const bool on = CheckPassword->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{LabelPassword, txtPassword, CheckStart,
                                                      CheckEnd, CheckAccount})
        w->setEnabled(on);
    QPalette pal = txtPassword->palette();
    pal.setColor(QPalette::Base,
                 on ? palette().color(QPalette::Base) : palette().color(QPalette::Button));
    txtPassword->setPalette(pal);
}

void FormCommon::showEncryptionState()
{
    m_encryptionOn = qm::encryptionOn();
    if (m_encryptionOn) {
        cmdEncrypt->setEnabled(false);
        Label1->setText(QStringLiteral("暗号化の設定は済んでいます。"));
    } else {
        cmdEncrypt->setEnabled(true);
    }
}

void FormCommon::onChecklogClicked(bool checked)
{
    if (!checked)
        return;
    MessageBox::warning(this, kTitle,
                        QStringLiteral("この機能をオンにすると処理は遅くなります。") + kCrLf +
                            QStringLiteral("テストが終わったらオフに戻してください。"));
}

CommonSettingsEntry FormCommon::entryFromWindow() const
{
    CommonSettingsEntry e;
    e.intervalMinutes = txtMinute->text();
    e.logRetentionHours = txtHour->text();
    e.remoteSettingsAllowed = CheckRemote->isChecked();
    e.passwordOn = CheckPassword->isChecked();
    e.password = txtPassword->text();
    e.checkAtStart = CheckStart->isChecked();
    e.checkAtExit = CheckEnd->isChecked();
    e.checkAtAccountSetting = CheckAccount->isChecked();
    e.detailLog = Checklog->isChecked();
    return e;
}

bool FormCommon::validate()
{
    const auto problem = validateCommonSettings(entryFromWindow());
    if (!problem)
        return true;
    warn(this, problem->message);
    QWidget* box = problem->field == CommonSettingsField::IntervalMinutes ? txtMinute
                   : problem->field == CommonSettingsField::LogRetentionHours
                       ? static_cast<QWidget*>(txtHour)
                       : txtPassword;
    if (box->isEnabled())
        box->setFocus();
    return false;
}

bool FormCommon::save()
{
    // The numbers are stored as the service reads them back, so a text such as " 5" or
    // "5.0" that passes the check cannot turn into a default on the next read.
    const TimerSettings s = timerSettingsOf(entryFromWindow());
    QString error;
    QString dirError;
    if (!ensureDataDir(&dirError) || !writeTimerSettings(filePaths().settingsFile, s, &error)) {
        if (error.isEmpty())
            error = dirError;
        MessageBox::critical(this, kTitle,
                             QStringLiteral("共通設定を保存できませんでした。") + kCrLf + error);
        return false;
    }
    return true;
}

void FormCommon::onOk()
{
    if (!validate())
        return;
    if (!save())
        return;
    accept();
}

void FormCommon::onEncrypt()
{
    QString error;
    if (SetUpEncryption(&error)) {
        MessageBox::information(this, kTitle, QStringLiteral("暗号化の設定が完了しました。"));
        cmdCancel->setFocus();
        cmdEncrypt->setEnabled(false);
        m_encryptionOn = true;
    } else {
        MessageBox::information(this, kTitle, QStringLiteral("暗号化の設定エラー"));
        m_encryptionOn = false;
        // A half-made switch must not leave the marker claiming encryption is on.
        removeIfExists(filePaths().encryptionMarker);
    }
}

void FormCommon::reject()
{
    // Esc counts as Cancel, and only while Cancel may be pressed.
    if (cmdCancel->isEnabled())
        QDialog::reject();
}

void FormCommon::closeEvent(QCloseEvent* event)
{
    event->ignore();
}

} // namespace qm::ui
