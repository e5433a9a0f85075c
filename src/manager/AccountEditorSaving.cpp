// The editor's buttons. The data layer checks, saves and deletes; here the controls become
// an entry, and what comes back is shown.
#include "data/AccountEntry.h"
#include "data/AccountTransaction.h"
#include "manager/FormQuillmarcBAccount.h"
#include "widgets/MessageBox.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTabWidget>

namespace qm::manager {

using widgets::MessageBox;

namespace {

const QString kTitle = QStringLiteral("アカウント設定");

QString checkValue(const QCheckBox* box)
{
    return box->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
}

// The saved list drops the line breaks its box ends in; the box shows it the same way.
void showWithoutTrailingBreaks(QPlainTextEdit* box)
{
    QString text = box->toPlainText();
    while (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r')))
        text.chop(1);
    if (text != box->toPlainText())
        box->setPlainText(text);
}

} // namespace

AccountEntry FormQuillmarcBAccount::entryFromWindow() const
{
    AccountEntry entry;
    AccountRecord& rec = entry.record;
    rec.AccountNo = txtID->text();
    rec.AccountName = txtAccount->text();
    const bool deleteOnServer = OptionDel[1]->isChecked();
    if (chkForward->isChecked())
        rec.ForwardState = deleteOnServer ? QStringLiteral("2") : QStringLiteral("1");
    else
        rec.ForwardState = deleteOnServer ? QStringLiteral("-2") : QStringLiteral("-1");
    rec.RemoteAddress = txtRmtAddress->text();
    rec.SourceAddress = txtRcvAddress->text();
    rec.PopUserId = txtRcvUserID->text();
    rec.PopPassword = txtRcvPassword->text();
    rec.PopServer = txtRcvPOP->text();
    rec.PopPort = txtRcvPOP_Port->text();
    rec.UseApop = checkValue(CheckAPOP);
    rec.SmtpServer = txtRcvSMTP->text();
    rec.SmtpPort = txtRcvSMTP_Port->text();
    rec.UseSmtpAuth = checkValue(CheckSMTP);
    // Nothing chosen: empty, so a stored record keeps its method and a new one gets 0.
    const int method = groupAUTH->checkedId();
    rec.SmtpAuthMethod = method >= 0 ? QString::number(method + 1) : QString();
    rec.SmtpUser = txtSMTPUser->text();
    rec.SmtpPassword = txtSMTPPassword->text();
    rec.ForwardTo = txtSndTo->toPlainText();
    rec.ForwardCc = txtSndCC->toPlainText();
    rec.ForwardBcc = txtSndBCC->toPlainText();
    rec.FaxNumbers = txtSndFAX->toPlainText();
    rec.FilterFrom = txtFrom->toPlainText();
    rec.FilterSubject = txtSubject->toPlainText();
    rec.FilterBody = txtBody->toPlainText();
    rec.ForwardAsSender = checkValue(CheckHeadder);
    rec.PhoneEditing = checkValue(CheckPhone);
    rec.SplitChars = divChar->text();
    rec.SplitMaxMails = divCount->text();
    rec.NumberSubjects = checkValue(CheckRenban);
    rec.DropSpaces = checkValue(CheckSpace);
    rec.DropWideSpaces = checkValue(CheckSpaceW);
    rec.DropTabs = checkValue(CheckTab);
    rec.DropLineBreaks = checkValue(CheckCRLF);
    rec.DropSymbols = checkValue(CheckSymbol);

    FontDataRow& font = entry.font;
    font.AccountNo = rec.AccountNo;
    font.printOn = checkValue(chkPrint);
    font.printAll = OptionPrint[0]->isChecked() ? QStringLiteral("0") : QStringLiteral("1");
    font.printFontName = cmbFontPrn->currentText();
    font.printFontSize = cmbFontSizePrn->currentText();
    font.faxFontName = cmbFontFAX->currentText();
    font.faxFontSize = cmbFontSizeFAX->currentText();

    entry.faxOption = OptionFAX[0]->isChecked() ? QStringLiteral("mail") : QStringLiteral("attach");
    const QString delText = txtDelString->toPlainText();
    if (!delText.isEmpty())
        entry.deleteStrings = delText.split(QLatin1Char('\n'));
    entry.connection = m_connection;
    return entry;
}

QWidget* FormQuillmarcBAccount::widgetFor(AccountField field) const
{
    switch (field) {
    case AccountField::AccountName:
        return txtAccount;
    case AccountField::SourceAddress:
        return txtRcvAddress;
    case AccountField::PopUserId:
        return txtRcvUserID;
    case AccountField::PopPassword:
        return txtRcvPassword;
    case AccountField::PopServer:
        return txtRcvPOP;
    case AccountField::PopPort:
        return txtRcvPOP_Port;
    case AccountField::SmtpServer:
        return txtRcvSMTP;
    case AccountField::SmtpPort:
        return txtRcvSMTP_Port;
    case AccountField::SmtpUser:
        return txtSMTPUser;
    case AccountField::SmtpPassword:
        return txtSMTPPassword;
    case AccountField::ForwardTo:
        return txtSndTo;
    case AccountField::ForwardCc:
        return txtSndCC;
    case AccountField::ForwardBcc:
        return txtSndBCC;
    case AccountField::FaxNumbers:
        return txtSndFAX;
    case AccountField::PrintFontName:
        return cmbFontPrn;
    case AccountField::PrintFontSize:
        return cmbFontSizePrn;
    case AccountField::FaxFontName:
        return cmbFontFAX;
    case AccountField::FaxFontSize:
        return cmbFontSizeFAX;
    case AccountField::RemoteAddress:
        return txtRmtAddress;
    case AccountField::FilterFrom:
        return txtFrom;
    case AccountField::FilterSubject:
        return txtSubject;
    case AccountField::FilterBody:
        return txtBody;
    case AccountField::SplitChars:
        return divChar;
    case AccountField::SplitMaxMails:
        return divCount;
    case AccountField::DeleteStrings:
        return txtDelString;
    }
    return nullptr;
}

void FormQuillmarcBAccount::warn(const QString& text, QWidget* focus)
{
    MessageBox::warning(this, kTitle, text);
    if (!focus)
        return;
    // The box may sit on the other tab; bring its tab forward so it can take the focus.
    if (frmFillter->isAncestorOf(focus))
        tbsOptions->setCurrentIndex(1);
    else if (frmAccount->isAncestorOf(focus))
        tbsOptions->setCurrentIndex(0);
    focus->setFocus(Qt::OtherFocusReason);
}

void FormQuillmarcBAccount::cmdOKClick()
{
    const AccountEntry entry = entryFromWindow();
    if (const std::optional<AccountProblem> problem = validateAccountEntry(entry)) {
        warn(problem->message, widgetFor(problem->field));
        return;
    }
    for (QPlainTextEdit* box : {txtSndTo, txtSndCC, txtSndBCC, txtFrom, txtSubject, txtBody})
        showWithoutTrailingBreaks(box);
    QString error;
    if (!saveAccountEntry(entry, &error)) {
        MessageBox::critical(this, kTitle,
                             QStringLiteral("アカウントを保存できませんでした。\n%1").arg(error));
        return;
    }
    m_faxOption = entry.faxOption;
    accept();
}

void FormQuillmarcBAccount::cmdDeleteClick()
{
    const auto answer =
        MessageBox::show(this, QMessageBox::Warning, QCoreApplication::applicationName(),
                         QStringLiteral("このアカウントを削除してよろしいですか？"),
                         QMessageBox::Yes | QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    const AccountDeletion deletion = deleteAccountAndWorkFiles(txtID->text());
    if (!deletion.ok) {
        MessageBox::critical(
            this, kTitle,
            QStringLiteral("アカウントを削除できませんでした。\n%1").arg(deletion.error));
        return;
    }
    if (!deletion.filesLeft.isEmpty()) {
        MessageBox::warning(
            this, kTitle,
            QStringLiteral("アカウントは削除しましたが、次のファイルを削除できませんでした。\n%1")
                .arg(deletion.filesLeft.join(QLatin1Char('\n'))));
    }
    accept();
}

} // namespace qm::manager
