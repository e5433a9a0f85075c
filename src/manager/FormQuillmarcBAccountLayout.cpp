// Builds the editor's controls. Texts, tips and initial states are fixed; positions come
// from Qt layouts so nothing is cut off with larger fonts.
#include "manager/FormQuillmarcBAccount.h"
#include "manager/SignInPanel.h"
#include "widgets/LineEdits.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace qm::manager {

namespace {

const QString kProviderTip =
    QStringLiteral("ご利用になっているプロバイダの資料で確認してください。");
const QString kPortTip = QStringLiteral("通常は変更する必要はありません。");
const QString kAuthTip = QStringLiteral("ご利用のプロバイダが対応している方式を選択してください。");

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

QLabel* label(const QString& text, QWidget* buddy = nullptr)
{
    auto* l = new QLabel(text);
    if (buddy)
        l->setBuddy(buddy);
    return l;
}

QLabel* note(const QString& text)
{
    auto* l = new QLabel(text);
    l->setWordWrap(true);
    return l;
}

QComboBox* fontBox(const char* name, const QStringList& items, const QString& text,
                   const QString& tip)
{
    auto* box = new QComboBox;
    box->setObjectName(QString::fromLatin1(name));
    // Editable: the settings file may hold a value that is not in the list, and it must be
    // shown and kept as it is.
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->addItems(items);
    box->setCurrentText(text);
    box->setToolTip(tip);
    box->setEnabled(false);
    return box;
}

} // namespace

QPlainTextEdit* FormQuillmarcBAccount::makeListBox(const char* name, const QString& tip)
{
    auto* box = new QPlainTextEdit;
    box->setObjectName(QString::fromLatin1(name));
    box->setToolTip(tip);
    box->setTabChangesFocus(true);
    box->setLineWrapMode(QPlainTextEdit::NoWrap);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->setMinimumHeight(60);
    return box;
}

QLineEdit* FormQuillmarcBAccount::makeLineEdit(const char* name, const QString& tip)
{
    auto* edit = new QLineEdit;
    edit->setObjectName(QString::fromLatin1(name));
    edit->setToolTip(tip);
    return edit;
}

QCheckBox* FormQuillmarcBAccount::makeCheckBox(const char* name, const QString& text,
                                               const QString& tip)
{
    auto* box = new QCheckBox(text);
    box->setObjectName(QString::fromLatin1(name));
    box->setToolTip(tip);
    return box;
}

void FormQuillmarcBAccount::buildWindow()
{
    setWindowTitle(QStringLiteral("アカウント設定"));

    tbsOptions = new QTabWidget;
    tbsOptions->setObjectName(QStringLiteral("tbsOptions"));
    frmAccount = buildAccountTab();
    frmFillter = buildFilterTab();
    tbsOptions->addTab(frmAccount, QStringLiteral("アカウント"));
    tbsOptions->addTab(frmFillter, QStringLiteral("転送条件"));
    tbsOptions->tabBar()->setTabData(0, QStringLiteral("Account"));
    tbsOptions->tabBar()->setTabData(1, QStringLiteral("fillter"));
    tbsOptions->setTabToolTip(0, QStringLiteral("メールアドレスやサーバーの設定"));
    tbsOptions->setTabToolTip(1, QStringLiteral("転送フィルターの設定"));
    m_signInPanel = new SignInPanel(&m_connection);
    tbsOptions->addTab(m_signInPanel, QStringLiteral("サインイン"));
    connect(tbsOptions, &QTabWidget::currentChanged, this, &FormQuillmarcBAccount::tbsOptionsClick);

    cmdOK = new QPushButton(QStringLiteral("OK"));
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setToolTip(QStringLiteral("入力した内容を確認してから、クリックしてください。"));
    cmdCancel = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"));
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setToolTip(QStringLiteral("入力した内容は変更されません。"));
    cmdDelete = new QPushButton(QStringLiteral("削 除"));
    cmdDelete->setObjectName(QStringLiteral("cmdDelete"));
    cmdDelete->setToolTip(QStringLiteral("このアカウント情報を削除します。"));
    // Enter must never save: no button is a default one.
    for (QPushButton* b : {cmdOK, cmdCancel, cmdDelete}) {
        b->setAutoDefault(false);
        b->setDefault(false);
        b->setMinimumWidth(100);
    }
    connect(cmdOK, &QPushButton::clicked, this, &FormQuillmarcBAccount::cmdOKClick);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cmdDelete, &QPushButton::clicked, this, &FormQuillmarcBAccount::cmdDeleteClick);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    buttons->addWidget(cmdDelete);

    auto* top = new QVBoxLayout(this);
    top->addWidget(tbsOptions);
    top->addLayout(buttons);

    auto* nextTabKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab), this);
    nextTabKey->setContext(Qt::WidgetWithChildrenShortcut);
    connect(nextTabKey, &QShortcut::activated, this, &FormQuillmarcBAccount::nextTab);
}

QWidget* FormQuillmarcBAccount::buildAccountTab()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("frmAccount"));

    // Source mailbox and servers.
    txtID = makeLineEdit("txtID", QString());
    txtID->setReadOnly(true);
    txtID->setAlignment(Qt::AlignCenter);
    txtID->setMaximumWidth(50);
    txtAccount =
        makeLineEdit("txtAccount", QStringLiteral("転送元がわかるような名前をお付けください。"));
    setIme(txtAccount, Ime::On);
    txtRcvAddress = makeLineEdit("txtRcvAddress", kProviderTip);
    setIme(txtRcvAddress, Ime::Off);
    txtRcvUserID = makeLineEdit("txtRcvUserID", kProviderTip);
    setIme(txtRcvUserID, Ime::Disabled);
    txtRcvPassword = makeLineEdit("txtRcvPassword", kProviderTip);
    widgets::echoAsStars(txtRcvPassword);
    setIme(txtRcvPassword, Ime::Disabled);
    txtRcvPOP = makeLineEdit("txtRcvPOP", kProviderTip);
    setIme(txtRcvPOP, Ime::Disabled);
    txtRcvPOP_Port = makeLineEdit("txtRcvPOP_Port", kPortTip);
    txtRcvPOP_Port->setText(QStringLiteral("110"));
    txtRcvPOP_Port->setAlignment(Qt::AlignCenter);
    txtRcvPOP_Port->setMaximumWidth(60);
    setIme(txtRcvPOP_Port, Ime::Off);
    CheckAPOP = makeCheckBox("CheckAPOP", QStringLiteral("APOP"), kProviderTip);
    txtRcvSMTP = makeLineEdit("txtRcvSMTP", kProviderTip);
    setIme(txtRcvSMTP, Ime::Disabled);
    txtRcvSMTP_Port = makeLineEdit("txtRcvSMTP_Port", kPortTip);
    txtRcvSMTP_Port->setText(QStringLiteral("25"));
    txtRcvSMTP_Port->setAlignment(Qt::AlignCenter);
    txtRcvSMTP_Port->setMaximumWidth(60);
    setIme(txtRcvSMTP_Port, Ime::Off);
    CheckSMTP = makeCheckBox("CheckSMTP", QStringLiteral("SMTP認証"), kAuthTip);
    txtSMTPUser = makeLineEdit("txtSMTPUser", kProviderTip);
    setIme(txtSMTPUser, Ime::Disabled);
    txtSMTPPassword = makeLineEdit("txtSMTPPassword", kProviderTip);
    widgets::echoAsStars(txtSMTPPassword);
    setIme(txtSMTPPassword, Ime::Disabled);
    groupAUTH = new QButtonGroup(this);
    const char* authNames[] = {"AUTH-PLAIN", "AUTH-LOGIN", "CRAM-MD5"};
    auto* authRow = new QHBoxLayout;
    for (int i = 0; i < 3; ++i) {
        OptionAUTH[i] = new QRadioButton(QString::fromLatin1(authNames[i]));
        OptionAUTH[i]->setObjectName(QStringLiteral("OptionAUTH_%1").arg(i));
        OptionAUTH[i]->setToolTip(kAuthTip);
        groupAUTH->addButton(OptionAUTH[i], i);
        authRow->addWidget(OptionAUTH[i]);
    }
    OptionAUTH[1]->setChecked(true);
    authRow->addStretch();

    auto* servers = new QGroupBox;
    servers->setObjectName(QStringLiteral("FrameServer"));
    auto* g = new QGridLayout(servers);
    int r = 0;
    g->addWidget(label(QStringLiteral("№"), txtID), r, 0);
    auto* idRow = new QHBoxLayout;
    idRow->addWidget(txtID);
    idRow->addWidget(label(QStringLiteral("アカウント名"), txtAccount));
    idRow->addWidget(txtAccount, 1);
    g->addLayout(idRow, r++, 1, 1, 3);
    g->addWidget(label(QStringLiteral("転送元メールアドレス"), txtRcvAddress), r, 0);
    g->addWidget(txtRcvAddress, r++, 1, 1, 3);
    g->addWidget(label(QStringLiteral("ユーザーID"), txtRcvUserID), r, 0);
    g->addWidget(txtRcvUserID, r++, 1, 1, 3);
    g->addWidget(label(QStringLiteral("パスワード"), txtRcvPassword), r, 0);
    g->addWidget(txtRcvPassword, r++, 1, 1, 3);
    g->addWidget(label(QStringLiteral("受信サーバー名（POP）"), txtRcvPOP), r, 0);
    g->addWidget(txtRcvPOP, r, 1);
    g->addWidget(label(QStringLiteral("ポート"), txtRcvPOP_Port), r, 2);
    g->addWidget(txtRcvPOP_Port, r++, 3);
    g->addWidget(CheckAPOP, r++, 1);
    g->addWidget(label(QStringLiteral("送信サーバー名(SMTP)"), txtRcvSMTP), r, 0);
    g->addWidget(txtRcvSMTP, r, 1);
    g->addWidget(label(QStringLiteral("ポート"), txtRcvSMTP_Port), r, 2);
    g->addWidget(txtRcvSMTP_Port, r++, 3);
    g->addWidget(CheckSMTP, r++, 1);
    g->addWidget(label(QStringLiteral("ユーザー名"), txtSMTPUser), r, 0);
    g->addWidget(txtSMTPUser, r++, 1, 1, 3);
    g->addWidget(label(QStringLiteral("パスワード"), txtSMTPPassword), r, 0);
    g->addWidget(txtSMTPPassword, r++, 1, 1, 3);
    g->addLayout(authRow, r++, 1, 1, 3);
    g->addWidget(note(QStringLiteral("※ 認証方式はプロバイダの資料をご覧ください")), r++, 1, 1, 3);
    g->setColumnStretch(1, 1);

    // Remote settings and notes.
    txtRmtAddress =
        makeLineEdit("txtRmtAddress", QStringLiteral("このメールアドレスから設定を変更できます。"));
    setIme(txtRmtAddress, Ime::Off);
    auto* remote = new QGroupBox;
    remote->setObjectName(QStringLiteral("FrameRemote"));
    auto* rg = new QGridLayout(remote);
    rg->addWidget(label(QStringLiteral("リモート設定メールアドレス"), txtRmtAddress), 0, 0);
    rg->addWidget(txtRmtAddress, 0, 1);
    rg->addWidget(note(QStringLiteral("リモート設定変更を行う携帯などのメールアドレス")), 1, 1);
    rg->setColumnStretch(1, 1);

    auto* commaNote = note(QStringLiteral("カンマを含むアドレス・ID・パスワードは登録できません"));
    commaNote->setObjectName(QStringLiteral("LabelComma"));
    Label_OSVersion = new QLabel;
    Label_OSVersion->setObjectName(QStringLiteral("Label_OSVersion"));

    auto* left = new QVBoxLayout;
    left->addWidget(servers);
    left->addWidget(remote);
    left->addWidget(commaNote);
    left->addStretch();
    left->addWidget(Label_OSVersion);

    // Destinations.
    txtSndTo = makeListBox("txtSndTo", QString());
    setIme(txtSndTo, Ime::Disabled);
    txtSndCC = makeListBox(
        "txtSndCC", QStringLiteral("転送先にも、他の転送先のメールアドレスが表示されます。"));
    setIme(txtSndCC, Ime::Disabled);
    txtSndBCC = makeListBox(
        "txtSndBCC", QStringLiteral("転送先には、他の転送先のメールアドレスは表示されません。"));
    setIme(txtSndBCC, Ime::Disabled);
    txtSndFAX = makeListBox("txtSndFAX",
                            QStringLiteral("03-1234-5678 又は 0312345678 の形式で入力します。"));
    setIme(txtSndFAX, Ime::Disabled);
    txtSndFAX->setEnabled(false);

    groupFAX = new QButtonGroup(this);
    auto* faxOpt = new QGroupBox;
    faxOpt->setObjectName(QStringLiteral("FrameFaxOpt"));
    auto* fo = new QGridLayout(faxOpt);
    OptionFAX[0] = new QRadioButton(QStringLiteral("メール本文を転送"));
    OptionFAX[1] = new QRadioButton(QStringLiteral("添付ファイルを転送"));
    for (int i = 0; i < 2; ++i) {
        OptionFAX[i]->setObjectName(QStringLiteral("OptionFAX_%1").arg(i));
        groupFAX->addButton(OptionFAX[i], i);
    }
    fo->addWidget(OptionFAX[0], 0, 0);
    fo->addWidget(OptionFAX[1], 1, 0);
    fo->addWidget(note(QStringLiteral("拡張子がtif・xls・doc・txt")), 2, 0);

    cmbFontFAX =
        fontBox("cmbFontFAX", {QStringLiteral("ＭＳ ゴシック"), QStringLiteral("ＭＳ Ｐゴシック")},
                QStringLiteral("ＭＳ ゴシック"), QStringLiteral("FAX印字のフォント"));
    cmbFontSizeFAX = fontBox("cmbFontSizeFAX", {"11", "12", "14", "16", "18"}, QStringLiteral("11"),
                             QStringLiteral("FAX印字のフォントサイズ"));
    fo->addWidget(cmbFontFAX, 3, 0);
    fo->addWidget(cmbFontSizeFAX, 4, 0);
    fo->setRowStretch(5, 1);

    auto* dest = new QGroupBox;
    dest->setObjectName(QStringLiteral("FrameDestination"));
    auto* dg = new QGridLayout(dest);
    r = 0;
    dg->addWidget(label(QStringLiteral("転送先メールアドレス (To)"), txtSndTo), r++, 0, 1, 2);
    dg->addWidget(txtSndTo, r++, 0, 1, 2);
    dg->addWidget(
        note(QStringLiteral("複数指定する場合は Enter で改行してください。最後の行は改行なし。")),
        r++, 0, 1, 2);
    dg->addWidget(label(QStringLiteral("転送先メールアドレス (CC)"), txtSndCC), r, 0);
    dg->addWidget(label(QStringLiteral("転送先メールアドレス (BCC)"), txtSndBCC), r++, 1);
    dg->addWidget(txtSndCC, r, 0);
    dg->addWidget(txtSndBCC, r++, 1);
    dg->addWidget(label(QStringLiteral("転送先FAX番号"), txtSndFAX), r++, 0, 1, 2);
    dg->addWidget(txtSndFAX, r, 0);
    dg->addWidget(faxOpt, r++, 1);

    // Forwarding and printing switches.
    chkForward = makeCheckBox("chkForward", QStringLiteral("転送する"),
                              QStringLiteral("転送をするか、一時的に転送しないかを設定します。"));
    chkForward->setChecked(true);
    groupDel = new QButtonGroup(this);
    auto* delOpt = new QGroupBox(QStringLiteral("転送したメールを"));
    delOpt->setObjectName(QStringLiteral("FrameDelOpt"));
    auto* dl = new QHBoxLayout(delOpt);
    OptionDel[0] = new QRadioButton(QStringLiteral("POPサーバに残す"));
    OptionDel[1] = new QRadioButton(QStringLiteral("POPサーバから削除"));
    for (int i = 0; i < 2; ++i) {
        OptionDel[i]->setObjectName(QStringLiteral("OptionDel_%1").arg(i));
        groupDel->addButton(OptionDel[i], i);
        dl->addWidget(OptionDel[i]);
    }
    OptionDel[0]->setChecked(true);

    chkPrint = makeCheckBox(
        "chkPrint", QStringLiteral("印刷する"),
        QStringLiteral("印刷をする・しないを設定します。（転送する・しないとは無関係）"));
    groupPrint = new QButtonGroup(this);
    auto* printOpt = new QGroupBox;
    printOpt->setObjectName(QStringLiteral("FramePrintOption"));
    auto* pl = new QGridLayout(printOpt);
    OptionPrint[0] = new QRadioButton(QStringLiteral("転送条件で印刷"));
    OptionPrint[1] = new QRadioButton(QStringLiteral("全てを印刷"));
    for (int i = 0; i < 2; ++i) {
        OptionPrint[i]->setObjectName(QStringLiteral("OptionPrint_%1").arg(i));
        OptionPrint[i]->setEnabled(false);
        groupPrint->addButton(OptionPrint[i], i);
    }
    OptionPrint[0]->setChecked(true);
    cmbFontPrn = fontBox("cmbFontPrn",
                         {QStringLiteral("ＭＳ ゴシック"), QStringLiteral("ＭＳ 明朝"),
                          QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("ＭＳ Ｐ明朝")},
                         QStringLiteral("ＭＳ ゴシック"), QStringLiteral("印刷時のフォント"));
    cmbFontSizePrn = fontBox("cmbFontSizePrn", {"10", "11", "12", "14"}, QStringLiteral("11"),
                             QStringLiteral("印刷時のフォントサイズ"));
    pl->addWidget(OptionPrint[0], 0, 0);
    pl->addWidget(OptionPrint[1], 0, 1);
    pl->addWidget(cmbFontPrn, 1, 0);
    pl->addWidget(cmbFontSizePrn, 1, 1);

    auto* switches = new QGroupBox;
    switches->setObjectName(QStringLiteral("FrameSwitches"));
    auto* sg = new QGridLayout(switches);
    sg->addWidget(chkForward, 0, 0, Qt::AlignTop);
    sg->addWidget(delOpt, 0, 1);
    sg->addWidget(chkPrint, 1, 0, Qt::AlignTop);
    sg->addWidget(printOpt, 1, 1);
    sg->setColumnStretch(1, 1);

    auto* right = new QVBoxLayout;
    right->addWidget(dest, 1);
    right->addWidget(switches);

    auto* columns = new QHBoxLayout(page);
    columns->addLayout(left, 1);
    columns->addLayout(right, 1);
    return page;
}

QWidget* FormQuillmarcBAccount::buildFilterTab()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("frmFillter"));

    txtID2 = makeLineEdit("txtID2", QString());
    txtID2->setReadOnly(true);
    txtID2->setAlignment(Qt::AlignCenter);
    txtID2->setMaximumWidth(50);
    txtAccount2 = makeLineEdit("txtAccount2", QString());
    txtAccount2->setReadOnly(true);

    auto* head = new QHBoxLayout;
    head->addWidget(label(QStringLiteral("№")));
    head->addWidget(txtID2);
    head->addWidget(label(QStringLiteral("アカウント名")));
    head->addWidget(txtAccount2, 1);

    txtFrom = makeListBox(
        "txtFrom",
        QStringLiteral("メールアドレスの一部を指定すると、そこからのメールだけを転送します。"));
    setIme(txtFrom, Ime::Off);
    txtSubject = makeListBox(
        "txtSubject", QStringLiteral("件名の一部の言葉を指定すると、そのメールを転送します。"));
    setIme(txtSubject, Ime::On);
    txtBody = makeListBox("txtBody",
                          QStringLiteral("本文の一部の言葉を指定すると、そのメールを転送します。"));
    setIme(txtBody, Ime::On);

    auto* filters = new QGroupBox(QStringLiteral("メール・FAXへ転送する条件を指定します。"));
    filters->setObjectName(QStringLiteral("FrameFilter"));
    auto* fg = new QGridLayout(filters);
    fg->addWidget(label(QStringLiteral("From（差出人）"), txtFrom), 0, 0);
    fg->addWidget(label(QStringLiteral("Subject（件名）"), txtSubject), 0, 1);
    fg->addWidget(label(QStringLiteral("Body（本文）"), txtBody), 0, 2);
    fg->addWidget(txtFrom, 1, 0);
    fg->addWidget(txtSubject, 1, 1);
    fg->addWidget(txtBody, 1, 2);
    fg->addWidget(note(QStringLiteral("※　複数指定のときはEnterで改行。最後の行は改行なし。")), 2,
                  0, 1, 3);
    fg->addWidget(note(QStringLiteral("※　指定した条件に一つでも該当したら転送されます。")), 3, 0,
                  1, 3);

    CheckHeadder = makeCheckBox("CheckHeadder",
                                QStringLiteral("差出人のアドレスで転送する（ヘッダー情報をそのまま"
                                               "転送する) …プロバイダによっては使用できません。"),
                                QString());
    CheckHeadder->setChecked(true);
    CheckPhone = makeCheckBox("CheckPhone", QStringLiteral("携帯電話向けの編集を行う"), QString());

    divChar = makeLineEdit(
        "divChar", QStringLiteral("お使いになっている携帯の制限よりも少なめに指定してください。"));
    divChar->setMaximumWidth(70);
    divChar->setAlignment(Qt::AlignRight);
    setIme(divChar, Ime::Off);
    divCount = makeLineEdit("divCount", QStringLiteral("分割する最大の通数。"));
    divCount->setMaximumWidth(50);
    divCount->setAlignment(Qt::AlignRight);
    setIme(divCount, Ime::Off);
    CheckRenban = makeCheckBox("CheckRenban", QStringLiteral("件名に連番をつける"),
                               QStringLiteral("1/3 2/3 など連番が件名の後ろに付きます。"));
    CheckSpace = makeCheckBox("CheckSpace", QStringLiteral("半角スペース"),
                              QStringLiteral("半角スペースが2個以上連続していると削除します。"));
    CheckSpaceW = makeCheckBox("CheckSpaceW", QStringLiteral("全角スペース"),
                               QStringLiteral("全角スペースが2個以上連続していると削除します。"));
    CheckTab =
        makeCheckBox("CheckTab", QStringLiteral("TAB"), QStringLiteral("Tabあれば削除します。"));
    CheckCRLF =
        makeCheckBox("CheckCRLF", QStringLiteral("改行"), QStringLiteral("改行を削除します。"));
    CheckSymbol =
        makeCheckBox("CheckSymbol", QStringLiteral("修飾文字・記号"),
                     QStringLiteral("よく修飾に使われる文字を削除して、携帯に転送します。"));
    for (QCheckBox* c : {CheckSpace, CheckSpaceW, CheckTab, CheckCRLF, CheckSymbol})
        c->setChecked(true);
    txtDelString = makeListBox(
        "txtDelString", QStringLiteral("Do You Yahoo!? などフリーメールで付く言葉を削除します。"));
    setIme(txtDelString, Ime::System);

    auto* split = new QHBoxLayout;
    split->addWidget(divChar);
    split->addWidget(label(QStringLiteral("文字ごとに分割し、最大"), divChar));
    split->addWidget(divCount);
    split->addWidget(label(QStringLiteral("通まで送信する"), divCount));
    split->addSpacing(20);
    split->addWidget(CheckRenban);
    split->addStretch();

    auto* symbols = new QGroupBox(QStringLiteral("特殊文字を削除する"));
    symbols->setObjectName(QStringLiteral("FrameSymbols"));
    auto* sg = new QGridLayout(symbols);
    sg->addWidget(CheckSpace, 0, 0);
    sg->addWidget(CheckSpaceW, 0, 1);
    sg->addWidget(CheckTab, 0, 2);
    sg->addWidget(CheckCRLF, 0, 3);
    sg->addWidget(CheckSymbol, 1, 0);
    sg->addWidget(note(QStringLiteral("▲▽ ◆◇　■□　┌　┐┘└├　┤ 等")), 1, 1, 1, 3);
    sg->addWidget(note(QStringLiteral("-- == __　<<>>>(( ))■ ◆ □ ━ ┏ ┓ ┗ ┛ ┃")), 2, 1, 1, 3);

    auto* phone = new QGroupBox;
    phone->setObjectName(QStringLiteral("FramePhone"));
    auto* pg = new QVBoxLayout(phone);
    auto* phoneHead = new QHBoxLayout;
    phoneHead->addWidget(CheckPhone);
    phoneHead->addWidget(note(QStringLiteral("（FAXへの転送には反映しません）")), 1);
    pg->addLayout(phoneHead);
    pg->addLayout(split);
    pg->addWidget(symbols);
    pg->addWidget(label(QStringLiteral("削除文字列（Enterで改行）"), txtDelString));
    pg->addWidget(txtDelString);

    auto* v = new QVBoxLayout(page);
    v->addLayout(head);
    v->addWidget(filters, 1);
    v->addWidget(CheckHeadder);
    v->addWidget(note(QStringLiteral("※　オフの場合は、差出人は貴方のメールアドレスとなり、本文の1"
                                     "行目に差出人のアドレスが入ります")));
    v->addWidget(phone);
    return page;
}

} // namespace qm::manager
