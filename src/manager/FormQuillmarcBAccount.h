#pragma once

#include "data/MailConnectionFile.h"

#include <QDialog>
#include <QString>
#include <QStringList>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QWidget;

namespace qm {
struct AccountEntry;
enum class AccountField;
} // namespace qm

namespace qm::manager {

class SignInPanel;

// The account editor: shows the record handed over in Data/account.txt with its rows of the
// three per-account settings files; the data layer checks and saves what is typed, or blanks
// the account.
class FormQuillmarcBAccount : public QDialog
{
    Q_OBJECT
public:
    // Paths come from the data layer's table (qm::filePaths()).
    explicit FormQuillmarcBAccount(QWidget* parent = nullptr);
    ~FormQuillmarcBAccount() override;

    // The controls, by the names the tests use.
    QTabWidget* tbsOptions = nullptr;
    QWidget* frmAccount = nullptr;
    QWidget* frmFillter = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
    QPushButton* cmdDelete = nullptr;

    QLineEdit* txtID = nullptr;
    QLineEdit* txtAccount = nullptr;
    QLineEdit* txtRcvAddress = nullptr;
    QLineEdit* txtRcvUserID = nullptr;
    QLineEdit* txtRcvPassword = nullptr;
    QLineEdit* txtRcvPOP = nullptr;
    QLineEdit* txtRcvPOP_Port = nullptr;
    QCheckBox* CheckAPOP = nullptr;
    QLineEdit* txtRcvSMTP = nullptr;
    QLineEdit* txtRcvSMTP_Port = nullptr;
    QCheckBox* CheckSMTP = nullptr;
    QLineEdit* txtSMTPUser = nullptr;
    QLineEdit* txtSMTPPassword = nullptr;
    QRadioButton* OptionAUTH[3] = {};
    QButtonGroup* groupAUTH = nullptr;
    QPlainTextEdit* txtSndTo = nullptr;
    QPlainTextEdit* txtSndCC = nullptr;
    QPlainTextEdit* txtSndBCC = nullptr;
    QPlainTextEdit* txtSndFAX = nullptr;
    QRadioButton* OptionFAX[2] = {};
    QButtonGroup* groupFAX = nullptr;
    QCheckBox* chkForward = nullptr;
    QRadioButton* OptionDel[2] = {};
    QButtonGroup* groupDel = nullptr;
    QCheckBox* chkPrint = nullptr;
    QRadioButton* OptionPrint[2] = {};
    QButtonGroup* groupPrint = nullptr;
    QComboBox* cmbFontPrn = nullptr;
    QComboBox* cmbFontSizePrn = nullptr;
    QComboBox* cmbFontFAX = nullptr;
    QComboBox* cmbFontSizeFAX = nullptr;
    QLineEdit* txtRmtAddress = nullptr;
    QLabel* Label_OSVersion = nullptr;

    QLineEdit* txtID2 = nullptr;
    QLineEdit* txtAccount2 = nullptr;
    QPlainTextEdit* txtFrom = nullptr;
    QPlainTextEdit* txtSubject = nullptr;
    QPlainTextEdit* txtBody = nullptr;
    QCheckBox* CheckHeadder = nullptr;
    QCheckBox* CheckPhone = nullptr;
    QLineEdit* divChar = nullptr;
    QLineEdit* divCount = nullptr;
    QCheckBox* CheckRenban = nullptr;
    QCheckBox* CheckSpace = nullptr;
    QCheckBox* CheckSpaceW = nullptr;
    QCheckBox* CheckTab = nullptr;
    QCheckBox* CheckCRLF = nullptr;
    QCheckBox* CheckSymbol = nullptr;
    QPlainTextEdit* txtDelString = nullptr;

    // "mail" or "attach": what the fax option was last loaded or saved as.
    QString faxOption() const { return m_faxOption; }

protected:
    void done(int result) override;

private:
    // Layout: FormQuillmarcBAccount.ui, completed in FormQuillmarcBAccountLayout.cpp
    void buildWindow();

    // Loading and enabling (FormQuillmarcBAccount.cpp)
    void formLoad();
    void readEditorMode();
    void loadAccountRecord();
    void loadDelString();
    void loadPrintSettings();
    void applyRemoteSwitch();
    void loadFaxOption(const QString& accountNo);
    void showSystemVersion();
    void setForwardState(const QString& state);
    void enableSmtpAuth(bool on);
    void enablePhoneEditing(bool on);
    void enablePrintOptions(bool on);
    void enableOptionDel(bool on);
    void tbsOptionsClick(int index);
    void nextTab();

    // Buttons (AccountEditorSaving.cpp)
    void cmdOKClick();
    void cmdDeleteClick();
    AccountEntry entryFromWindow() const;
    QWidget* widgetFor(AccountField field) const;
    void warn(const QString& text, QWidget* focus);

    QString m_faxOption = QStringLiteral("mail");
    // The account's stored connection settings, kept through a save (sign-in tokens among them).
    MailConnectionValues m_connection;
    SignInPanel* m_signInPanel = nullptr; // its sign-in page
};

} // namespace qm::manager
