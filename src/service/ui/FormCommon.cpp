#include "FormCommon.h"

#include "ProgramIcon.h"
#include "data/AtomicFile.h"
#include "data/CommonSettingsEntry.h"
#include "data/Encryption.h"
#include "data/Paths.h"
#include "data/TimerSettings.h"
#include "ui_FormCommon.h"
#include "widgets/LineEdits.h"
#include "widgets/MessageBox.h"
#include "widgets/WindowGeometry.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

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
    // The controls and their layout: FormCommon.ui.
    Ui::FormCommon ui;
    ui.setupUi(this);
    txtMinute = ui.txtMinute;
    txtHour = ui.txtHour;
    CheckRemote = ui.CheckRemote;
    CheckPassword = ui.CheckPassword;
    LabelPassword = ui.LabelPassword;
    txtPassword = ui.txtPassword;
    CheckStart = ui.CheckStart;
    CheckEnd = ui.CheckEnd;
    CheckAccount = ui.CheckAccount;
    Checklog = ui.Checklog;
    Label1 = ui.Label1;
    cmdEncrypt = ui.cmdEncrypt;
    LabelMsg = ui.LabelMsg;
    cmdOK = ui.cmdOK;
    cmdCancel = ui.cmdCancel;
    widgets::echoAsStars(txtPassword);

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
