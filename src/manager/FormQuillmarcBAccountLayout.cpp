// The editor's controls come from FormQuillmarcBAccount.ui (Qt Designer); here they get what a
// form file cannot hold: input method modes, password echo, the option groups and keys.
#include "manager/FormQuillmarcBAccount.h"
#include "ui_FormQuillmarcBAccount.h"
#include "widgets/LineEdits.h"

#include <QButtonGroup>
#include <QKeySequence>
#include <QRegularExpressionValidator>
#include <QShortcut>
#include <QTabBar>

namespace qm::manager {

namespace {

enum class Ime { On, Off, Disabled, System };

// Qt cannot pick the input method's mode; these hints get as close as the platform allows.
void setIme(QWidget* w, Ime mode)
{
    switch (mode) {
    case Ime::On:
        w->setAttribute(Qt::WA_InputMethodEnabled, true);
        w->setInputMethodHints(Qt::ImhNone);
        break;
    case Ime::Off:
        w->setAttribute(Qt::WA_InputMethodEnabled, true);
        w->setInputMethodHints(Qt::ImhPreferLatin | Qt::ImhNoPredictiveText);
        break;
    case Ime::Disabled:
        w->setAttribute(Qt::WA_InputMethodEnabled, false);
        w->setInputMethodHints(Qt::ImhLatinOnly | Qt::ImhNoPredictiveText | Qt::ImhNoAutoUppercase);
        break;
    case Ime::System:
        break;
    }
}

template <size_t N> QButtonGroup* groupOf(QObject* owner, QRadioButton* (&buttons)[N])
{
    auto* group = new QButtonGroup(owner);
    for (size_t i = 0; i < N; ++i)
        group->addButton(buttons[i], int(i));
    return group;
}

} // namespace

void FormQuillmarcBAccount::buildWindow()
{
    Ui::FormQuillmarcBAccount ui;
    ui.setupUi(this);

    tbsOptions = ui.tbsOptions;
    frmAccount = ui.frmAccount;
    frmFillter = ui.frmFillter;
    cmdOK = ui.cmdOK;
    cmdCancel = ui.cmdCancel;
    cmdDelete = ui.cmdDelete;
    txtID = ui.txtID;
    txtAccount = ui.txtAccount;
    txtRcvAddress = ui.txtRcvAddress;
    txtRcvUserID = ui.txtRcvUserID;
    txtRcvPassword = ui.txtRcvPassword;
    txtRcvPOP = ui.txtRcvPOP;
    txtRcvPOP_Port = ui.txtRcvPOP_Port;
    CheckAPOP = ui.CheckAPOP;
    txtRcvSMTP = ui.txtRcvSMTP;
    txtRcvSMTP_Port = ui.txtRcvSMTP_Port;
    CheckSMTP = ui.CheckSMTP;
    txtSMTPUser = ui.txtSMTPUser;
    txtSMTPPassword = ui.txtSMTPPassword;
    OptionAUTH[0] = ui.OptionAUTH_0;
    OptionAUTH[1] = ui.OptionAUTH_1;
    OptionAUTH[2] = ui.OptionAUTH_2;
    txtSndTo = ui.txtSndTo;
    txtSndCC = ui.txtSndCC;
    txtSndBCC = ui.txtSndBCC;
    txtSndFAX = ui.txtSndFAX;
    OptionFAX[0] = ui.OptionFAX_0;
    OptionFAX[1] = ui.OptionFAX_1;
    chkForward = ui.chkForward;
    OptionDel[0] = ui.OptionDel_0;
    OptionDel[1] = ui.OptionDel_1;
    chkPrint = ui.chkPrint;
    OptionPrint[0] = ui.OptionPrint_0;
    OptionPrint[1] = ui.OptionPrint_1;
    cmbFontPrn = ui.cmbFontPrn;
    cmbFontSizePrn = ui.cmbFontSizePrn;
    cmbFontFAX = ui.cmbFontFAX;
    cmbFontSizeFAX = ui.cmbFontSizeFAX;
    txtRmtAddress = ui.txtRmtAddress;
    Label_OSVersion = ui.Label_OSVersion;
    txtID2 = ui.txtID2;
    txtAccount2 = ui.txtAccount2;
    txtFrom = ui.txtFrom;
    txtSubject = ui.txtSubject;
    txtBody = ui.txtBody;
    CheckHeadder = ui.CheckHeadder;
    CheckPhone = ui.CheckPhone;
    divChar = ui.divChar;
    divCount = ui.divCount;
    CheckRenban = ui.CheckRenban;
    CheckSpace = ui.CheckSpace;
    CheckSpaceW = ui.CheckSpaceW;
    CheckTab = ui.CheckTab;
    CheckCRLF = ui.CheckCRLF;
    CheckSymbol = ui.CheckSymbol;
    txtDelString = ui.txtDelString;

    groupAUTH = groupOf(this, OptionAUTH);
    groupFAX = groupOf(this, OptionFAX);
    groupDel = groupOf(this, OptionDel);
    groupPrint = groupOf(this, OptionPrint);

    // The tabs' keys; a tab added later (tbsOptions->addTab) brings its own.
    tbsOptions->tabBar()->setTabData(0, QStringLiteral("Account"));
    tbsOptions->tabBar()->setTabData(1, QStringLiteral("fillter"));
    tbsOptions->setCurrentIndex(0);
    connect(tbsOptions, &QTabWidget::currentChanged, this, &FormQuillmarcBAccount::tbsOptionsClick);

    widgets::echoAsStars(txtRcvPassword);
    widgets::echoAsStars(txtSMTPPassword);
    for (QWidget* w : std::initializer_list<QWidget*>{txtAccount, txtSubject, txtBody})
        setIme(w, Ime::On);
    for (QWidget* w :
         std::initializer_list<QWidget*>{txtRcvAddress, txtRmtAddress, txtFrom, txtRcvPOP_Port,
                                         txtRcvSMTP_Port, divChar, divCount})
        setIme(w, Ime::Off);
    for (QWidget* w : std::initializer_list<QWidget*>{txtRcvUserID, txtRcvPassword, txtRcvPOP,
                                                      txtRcvSMTP, txtSMTPUser, txtSMTPPassword,
                                                      txtSndTo, txtSndCC, txtSndBCC, txtSndFAX})
        setIme(w, Ime::Disabled);
    setIme(txtDelString, Ime::System);

    // The boxes that take a number take digits only, as the account checks expect.
    const QRegularExpression digits(QStringLiteral("[0-9]{0,5}"));
    for (QLineEdit* box : {txtRcvPOP_Port, txtRcvSMTP_Port, divChar, divCount})
        box->setValidator(new QRegularExpressionValidator(digits, box));

    connect(cmdOK, &QPushButton::clicked, this, &FormQuillmarcBAccount::cmdOKClick);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cmdDelete, &QPushButton::clicked, this, &FormQuillmarcBAccount::cmdDeleteClick);

    auto* nextTabKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab), this);
    nextTabKey->setContext(Qt::WidgetWithChildrenShortcut);
    connect(nextTabKey, &QShortcut::activated, this, &FormQuillmarcBAccount::nextTab);
}

} // namespace qm::manager
