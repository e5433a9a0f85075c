#include "manager/FormQuillmarcBAccount.h"

#include "data/AccountFile.h"
#include "data/AccountSettings.h"
#include "data/HandOverFiles.h"
#include "data/MailSecurity.h"
#include "data/TimerSettings.h"
#include "manager/ConnectionSecurityPanel.h"
#include "manager/SignInPanel.h"
#include "manager/SystemVersion.h"
#include "widgets/LineEdits.h"
#include "widgets/WindowGeometry.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

namespace qm::manager {

namespace {

// The stored list fields separate items by TAB; the boxes show one item per line.
QString tabsToLines(const QString& field)
{
    QString text = field;
    text.replace(QLatin1Char('\t'), QLatin1Char('\n'));
    return text;
}

bool ticked(const QString& value)
{
    return value.trimmed().toInt() == 1;
}

// Clears an exclusive group so that no option is chosen.
void clearChoice(QButtonGroup* group)
{
    group->setExclusive(false);
    for (QAbstractButton* b : group->buttons())
        b->setChecked(false);
    group->setExclusive(true);
}

} // namespace

FormQuillmarcBAccount::FormQuillmarcBAccount(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("formQuillmarcBAccount"));
    widgets::raiseAndCentreWhenFirstShown(this);
    buildWindow();
    tbsOptions->addTab(new ConnectionSecurityPanel(&m_connection), QStringLiteral("接続の暗号化"));
    m_signInPanel = new SignInPanel(&m_connection);
    tbsOptions->addTab(m_signInPanel, QStringLiteral("サインイン"));

    connect(chkForward, &QCheckBox::toggled, this, &FormQuillmarcBAccount::enableOptionDel);
    connect(CheckSMTP, &QCheckBox::toggled, this, &FormQuillmarcBAccount::enableSmtpAuth);
    connect(CheckPhone, &QCheckBox::toggled, this, &FormQuillmarcBAccount::enablePhoneEditing);
    connect(chkPrint, &QCheckBox::toggled, this, &FormQuillmarcBAccount::enablePrintOptions);
    connect(txtAccount, &QLineEdit::textChanged, txtAccount2, &QLineEdit::setText);
    connect(txtSndFAX, &QPlainTextEdit::textChanged, this, [this] {
        const bool any = !txtSndFAX->toPlainText().isEmpty();
        cmbFontFAX->setEnabled(any);
        cmbFontSizeFAX->setEnabled(any);
    });
    // Typing replaces a default name or port.
    widgets::selectAllOnFocus(txtRcvPOP_Port);
    widgets::selectAllOnFocus(txtRcvSMTP_Port);
    widgets::selectAllOnFocus(
        txtAccount, [this] { return txtAccount->text().startsWith(QStringLiteral("アカウント")); });

    enableSmtpAuth(false);
    enablePhoneEditing(false);
    enablePrintOptions(false);
    formLoad();
}

FormQuillmarcBAccount::~FormQuillmarcBAccount() = default;

void FormQuillmarcBAccount::formLoad()
{
    frmFillter->setEnabled(false);
    tbsOptions->setCurrentIndex(0);
    readEditorMode();
    loadAccountRecord();
    loadPrintSettings();
    applyRemoteSwitch();
    loadFaxOption(txtID->text());
    m_connection = readMailConnectionValues(txtID->text());
    if (windowTitle() == QStringLiteral("アカウントの追加"))
        m_connection.insert(newAccountMailSecurity());
    tbsOptions->findChild<ConnectionSecurityPanel*>()->load();
    m_signInPanel->load();
    showSystemVersion();
}

void FormQuillmarcBAccount::done(int result)
{
    // The hand-over record never outlives the editor.
    deleteHandOverRecord();
    QDialog::done(result);
}

void FormQuillmarcBAccount::readEditorMode()
{
    const std::optional<QString> mode = readModeFile();
    if (!mode)
        return;
    if (*mode == QLatin1String("Append")) {
        setWindowTitle(QStringLiteral("アカウントの追加"));
        cmdDelete->setVisible(false);
    } else if (*mode == QLatin1String("Edit")) {
        setWindowTitle(QStringLiteral("アカウントの編集"));
        cmdDelete->setVisible(false);
    } else if (*mode == QLatin1String("Delete")) {
        setWindowTitle(QStringLiteral("アカウントの削除"));
        cmdOK->setVisible(false);
    }
}

void FormQuillmarcBAccount::setForwardState(const QString& state)
{
    struct Row
    {
        const char* value;
        bool forward;
        int option;
    };
    static const Row rows[] = {
        {"1", true, 0}, {"2", true, 1}, {"-1", false, 0}, {"-2", false, 1}, {"0", false, 0}};
    for (const Row& row : rows) {
        if (state == QLatin1String(row.value)) {
            OptionDel[row.option]->setChecked(true);
            chkForward->setChecked(row.forward);
            enableOptionDel(row.forward);
            return;
        }
    }
}

void FormQuillmarcBAccount::loadAccountRecord()
{
    const std::optional<AccountRecord> found = readHandOverRecord();
    if (!found)
        return;
    const AccountRecord& rec = *found;

    txtID->setText(rec.AccountNo);
    txtID2->setText(rec.AccountNo);
    txtAccount->setText(rec.AccountName);
    txtAccount2->setText(rec.AccountName);
    setForwardState(rec.ForwardState);

    txtRmtAddress->setText(rec.RemoteAddress);
    txtRcvAddress->setText(rec.SourceAddress);
    txtRcvUserID->setText(rec.PopUserId);
    txtRcvPassword->setText(rec.PopPassword);
    txtRcvPOP->setText(rec.PopServer);
    txtRcvPOP_Port->setText(rec.PopPort);
    txtRcvSMTP->setText(rec.SmtpServer);
    txtRcvSMTP_Port->setText(rec.SmtpPort);
    txtSMTPUser->setText(rec.SmtpUser);
    txtSMTPPassword->setText(rec.SmtpPassword);
    divChar->setText(rec.SplitChars);
    divCount->setText(rec.SplitMaxMails);

    CheckAPOP->setChecked(ticked(rec.UseApop));
    CheckSMTP->setChecked(ticked(rec.UseSmtpAuth));
    CheckHeadder->setChecked(ticked(rec.ForwardAsSender));
    CheckPhone->setChecked(ticked(rec.PhoneEditing));
    CheckRenban->setChecked(ticked(rec.NumberSubjects));
    CheckSpace->setChecked(ticked(rec.DropSpaces));
    CheckSpaceW->setChecked(ticked(rec.DropWideSpaces));
    CheckTab->setChecked(ticked(rec.DropTabs));
    CheckCRLF->setChecked(ticked(rec.DropLineBreaks));
    CheckSymbol->setChecked(ticked(rec.DropSymbols));

    clearChoice(groupAUTH);
    bool numeric = false;
    const int method = rec.SmtpAuthMethod.trimmed().toInt(&numeric) - 1;
    if (numeric && method >= 0 && method <= 2)
        OptionAUTH[method]->setChecked(true);

    txtSndTo->setPlainText(tabsToLines(rec.ForwardTo));
    txtSndCC->setPlainText(tabsToLines(rec.ForwardCc));
    txtSndBCC->setPlainText(tabsToLines(rec.ForwardBcc));
    txtSndFAX->setPlainText(tabsToLines(rec.FaxNumbers));
    txtFrom->setPlainText(tabsToLines(rec.FilterFrom));
    txtSubject->setPlainText(tabsToLines(rec.FilterSubject));
    txtBody->setPlainText(tabsToLines(rec.FilterBody));

    enableSmtpAuth(CheckSMTP->isChecked());
    loadDelString();
    enablePhoneEditing(CheckPhone->isChecked());
}

void FormQuillmarcBAccount::loadDelString()
{
    const QStringList strings = readDeleteStrings(txtID->text());
    if (!strings.isEmpty())
        txtDelString->setPlainText(strings.join(QLatin1Char('\n')));
}

void FormQuillmarcBAccount::loadPrintSettings()
{
    const std::optional<FontDataRow> row = readFontDataRow(txtID->text());
    if (!row)
        return;
    chkPrint->setChecked(ticked(row->printOn));
    OptionPrint[row->printAll == QLatin1String("0") ? 0 : 1]->setChecked(true);
    cmbFontPrn->setCurrentText(row->printFontName);
    cmbFontSizePrn->setCurrentText(row->printFontSize);
    // Taken as stored, also "設定不可" from the service's fax-font reset, so that a save
    // writes back what the service decided instead of silently re-enabling a font.
    cmbFontFAX->setCurrentText(row->faxFontName);
    cmbFontSizeFAX->setCurrentText(row->faxFontSize);
    if (cmbFontSizeFAX->currentText() == QLatin1String("0")) {
        cmbFontSizeFAX->setEnabled(false);
        cmbFontFAX->setEnabled(false);
    }
    enablePrintOptions(chkPrint->isChecked());
}

void FormQuillmarcBAccount::applyRemoteSwitch()
{
    const TimerSettings settings = LoadTimerSettings();
    if (!settings.fileExists)
        return;
    txtRmtAddress->setEnabled(settings.rawRemoteSettings != QLatin1String("0"));
}

void FormQuillmarcBAccount::loadFaxOption(const QString& accountNo)
{
    const QString option = readFaxOption(accountNo);
    if (option == QLatin1String("mail") || option == QLatin1String("attach")) {
        OptionFAX[option == QLatin1String("mail") ? 0 : 1]->setChecked(true);
        m_faxOption = option;
    } else {
        clearChoice(groupFAX);
    }
}

void FormQuillmarcBAccount::showSystemVersion()
{
    const SystemVersion version = currentSystemVersion();
    Label_OSVersion->setText(version.text);
    txtSndFAX->setEnabled(version.faxEntry);
}

void FormQuillmarcBAccount::enableOptionDel(bool on)
{
    OptionDel[0]->setEnabled(on);
    OptionDel[1]->setEnabled(on);
}

void FormQuillmarcBAccount::enableSmtpAuth(bool on)
{
    txtSMTPUser->setEnabled(on);
    txtSMTPPassword->setEnabled(on);
    for (QRadioButton* b : OptionAUTH)
        b->setEnabled(on);
}

void FormQuillmarcBAccount::enablePhoneEditing(bool on)
{
    for (QWidget* w :
         std::initializer_list<QWidget*>{divChar, divCount, CheckRenban, CheckSpace, CheckSpaceW,
                                         CheckTab, CheckCRLF, CheckSymbol, txtDelString})
        w->setEnabled(on);
}

void FormQuillmarcBAccount::enablePrintOptions(bool on)
{
    OptionPrint[0]->setEnabled(on);
    OptionPrint[1]->setEnabled(on);
    cmbFontPrn->setEnabled(on);
    cmbFontSizePrn->setEnabled(on);
}

void FormQuillmarcBAccount::tbsOptionsClick(int index)
{
    frmAccount->setEnabled(index == 0);
    frmFillter->setEnabled(index == 1);
}

void FormQuillmarcBAccount::nextTab()
{
    tbsOptions->setCurrentIndex((tbsOptions->currentIndex() + 1) % tbsOptions->count());
}

} // namespace qm::manager
