#include "FormQuillmarc.h"

#include "FormLogin.h"
#include "ProgramIcon.h"
#include "ServiceAddresses.h"
#include "data/ForwardLog.h"
#include "data/Paths.h"
#include "service/ForwardingTimer.h"
#include "service/InstanceLock.h"
#include "widgets/ListView.h"
#include "widgets/MessageBox.h"
#include "widgets/WindowGeometry.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>

namespace qm::ui {

using widgets::MessageBox;
using widgets::pixelsToTwips;
using widgets::twipsToPixels;

namespace {
// The window's geometry, in twips as the layout rule states it.
constexpr int kMargin = 45;
constexpr int kRightPanel = 1670;  // inner width not given to the log view
constexpr int kBottomSpace = 90;   // inner height not given to the log view
constexpr int kFrameOffset = 125;  // frames start this far right of the log view's width
constexpr int kButtonOffset = 215; // buttons start this far right of the log view's width
constexpr int kFrameWidth = 1530;
constexpr int kButtonWidth = 1320;
constexpr int kFrame1Top = 0;
constexpr int kFrame1Height = 1395;
constexpr int kRunTop = 225;
constexpr int kQuitTop = 810;
constexpr int kButtonHeight = 450;
constexpr int kFrame2Top = 1500;
constexpr int kFrame2Height = 1080;
constexpr int kLabelLeft = 45;
constexpr int kLabelTimerTop = 150;
constexpr int kLabelRemoteTop = 540;
constexpr int kLabelHeight = 390;
constexpr int kInitialInnerWidth = 10500;
// Log view columns, in twips, at the first size.
constexpr int kAccountColumn = 2100;
constexpr int kSenderColumn = 2550;
constexpr int kDestinationColumn = 3000;
constexpr int kInitialInnerHeight = 4800;
} // namespace

FormQuillmarc::FormQuillmarc(WindowHooks hooks, WindowTimings timings, QWidget* parent)
    : QMainWindow(parent), m_hooks(std::move(hooks)), m_timings(timings)
{
    setObjectName(QStringLiteral("FormQuillmarc"));
    setWindowTitle(QStringLiteral("quillmarc"));
    setWindowIcon(programIcon());
    // Right clicks open this window's own menus (below), not Qt's tool bar menu.
    setContextMenuPolicy(Qt::NoContextMenu);

    buildControls();
    buildMenus();
    buildTray();

    service::TimerHooks timerHooks;
    timerHooks.loadSettings = [this] {
        LoadTimerSettings();
        return int(m_settings.intervalMinutes);
    };
    timerHooks.runCycle = [this] {
        if (m_hooks.runCycle)
            m_hooks.runCycle();
    };
    if (m_hooks.startCycle)
        timerHooks.startCycle = m_hooks.startCycle;
    timerHooks.logForwardNow = [this] { log({.account = QStringLiteral("受信チェック")}); };
    // Nobody chose the timer's cycle: what goes wrong in it is logged, not put in a box.
    timerHooks.reportError = [this](const QString& d) {
        log({.account = QStringLiteral("quillmarc"), .sender = d});
        showFault(QStringLiteral("quillmarc"), d);
    };
    m_timer = new service::ForwardingTimer(filePaths().modeFile, std::move(timerHooks), this);
    connect(m_timer, &service::ForwardingTimer::cycleStarted, this,
            [this] { setCycleRunning(true); });
    connect(m_timer, &service::ForwardingTimer::cycleFinished, this,
            [this] { setCycleRunning(false); });

    m_passwordGate = std::make_unique<PasswordGate>(filePaths().settingsFile, this);

    resize(twipsToPixels(kInitialInnerWidth, this),
           twipsToPixels(kInitialInnerHeight, this) + menuBar()->sizeHint().height());
}

FormQuillmarc::~FormQuillmarc() = default;

void FormQuillmarc::buildControls()
{
    m_central = new QWidget(this);
    m_central->setObjectName(QStringLiteral("FormQuillmarcBackground"));
    setCentralWidget(m_central);

    ListView = new QTreeWidget(m_central);
    ListView->setObjectName(QStringLiteral("ListView"));
    widgets::setUpListView(ListView,
                           {QStringLiteral("日付"), QStringLiteral("時刻"),
                            QStringLiteral("アカウント名"), QStringLiteral("差出人"),
                            QStringLiteral("転送先")},
                           {1350, 750, kAccountColumn, kSenderColumn, kDestinationColumn});

    Frame1 = new QGroupBox(m_central);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    cmdRun = new QPushButton(QStringLiteral("今すぐ転送"), m_central);
    cmdRun->setObjectName(QStringLiteral("cmdRun"));
    cmdQuit = new QPushButton(QStringLiteral("終 了"), m_central);
    cmdQuit->setObjectName(QStringLiteral("cmdQuit"));

    Frame2 = new QGroupBox(m_central);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    LabelTimer = new QLabel(Frame2);
    LabelTimer->setObjectName(QStringLiteral("LabelTimer"));
    LabelRemote = new QLabel(Frame2);
    LabelRemote->setObjectName(QStringLiteral("LabelRemote"));
    for (QLabel* l : {LabelTimer, LabelRemote}) {
        l->setWordWrap(true);
        l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    }

    ListView->setMouseTracking(true);
    connect(ListView, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { showLogRow(item); });

    LabelAttention = new QLabel(this);
    LabelAttention->setObjectName(QStringLiteral("LabelAttention"));
    LabelAttention->setTextFormat(Qt::PlainText);
    // A long error must not widen the window: the status line cuts it, its tool tip has it.
    LabelAttention->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    LabelAttention->setMinimumWidth(1);
    LabelAttention->setStyleSheet(QStringLiteral("color: #a00000;"));
    statusBar()->addWidget(LabelAttention, 1);
    statusBar()->setSizeGripEnabled(false);
    statusBar()->hide();

    connect(cmdRun, &QPushButton::clicked, this, &FormQuillmarc::forwardNow);
    connect(cmdQuit, &QPushButton::clicked, this, &FormQuillmarc::ExitService);

    for (QWidget* w :
         std::initializer_list<QWidget*>{m_central, ListView->viewport(), ListView->header(),
                                         Frame1, cmdRun, cmdQuit, Frame2, LabelTimer, LabelRemote})
        w->installEventFilter(this);
}

void FormQuillmarc::buildMenus()
{
    auto item = [this](QMenu* menu, const char* name, const QString& caption,
                       void (FormQuillmarc::*slot)()) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    auto lambdaItem = [this](QMenu* menu, const char* name, const QString& caption,
                             std::function<void()> fn) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, std::move(fn));
        return a;
    };

    menuFile = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    menuFile->setObjectName(QStringLiteral("menuFile"));
    menuRun =
        item(menuFile, "menuRun", QStringLiteral("今すぐ転送(&N)"), &FormQuillmarc::forwardNow);
    menuFile->addSeparator();
    menuSuspend = item(menuFile, "menuSuspend", QStringLiteral("転送の一時停止(&S)"),
                       &FormQuillmarc::suspend);
    menuRestart =
        item(menuFile, "menuRestart", QStringLiteral("転送の再開(&R)"), &FormQuillmarc::restart);
    menuFile->addSeparator();
    menuDeleteLog = item(menuFile, "menuDeleteLog", QStringLiteral("転送ログの削除(&D)"),
                         &FormQuillmarc::deleteLog);
    menuFile->addSeparator();
    menuEnd1 = item(menuFile, "menuEnd1", QStringLiteral("終了(&X)"), &FormQuillmarc::ExitService);

    menuSetup = menuBar()->addMenu(QStringLiteral("設定(&E)"));
    menuSetup->setObjectName(QStringLiteral("menuSetup"));
    menuCommon = item(menuSetup, "menuCommon", QStringLiteral("共通設定(&P)"),
                      &FormQuillmarc::openCommonSettings);
    menuSetup->addSeparator();
    menuAppendAcnt = lambdaItem(menuSetup, "menuAppendAcnt", QStringLiteral("アカウントの追加(&A)"),
                                [this] { accountManager(QStringLiteral("Append")); });
    menuEditAcnt = lambdaItem(menuSetup, "menuEditAcnt", QStringLiteral("アカウントの編集(&E)"),
                              [this] { accountManager(QStringLiteral("Edit")); });
    menuDeleteAcnt = lambdaItem(menuSetup, "menuDeleteAcnt", QStringLiteral("アカウントの削除(&D)"),
                                [this] { accountManager(QStringLiteral("Delete")); });

    menuHelp = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    menuHelp->setObjectName(QStringLiteral("menuHelp"));
    menuWebHelp = lambdaItem(menuHelp, "menuWebHelp", QStringLiteral("オンライン ヘルプ(&O)"),
                             [this] { openHelpPage(addresses::onlineHelp()); });
    menuQuillmarcHP =
        lambdaItem(menuHelp, "menuQuillmarcHP", QStringLiteral("quillmarcホームページ(&F)"),
                   [this] { openHelpPage(addresses::productHome()); });
    menuMail = item(menuHelp, "menuMail", QStringLiteral("お問合せメール(&M)"),
                    &FormQuillmarc::openSupportMail);
    menuHelp->addSeparator();
    menuOstrelHP = lambdaItem(menuHelp, "menuOstrelHP", QStringLiteral("Ostrelホームページ(&A)"),
                              [this] { openHelpPage(addresses::makerHome()); });
    menuHelp->addSeparator();
    menuVersion = item(menuHelp, "menuVersion", QStringLiteral("バージョン情報(&V)"),
                       &FormQuillmarc::showVersion);

    // Not on the menu bar: the tray icon's menu.
    menuTray = new QMenu(QStringLiteral("タスクトレイ(&T)"), this);
    menuTray->setObjectName(QStringLiteral("menuTray"));
    menuResize = item(menuTray, "menuResize", QStringLiteral("元のサイズに戻す(&R)"),
                      &FormQuillmarc::restoreFromTray);
    menuTray->addSeparator();
    menuEnd2 = lambdaItem(menuTray, "menuEnd2", QStringLiteral("quillmarcの終了(&X)"), [this] {
        restoreFromTray();
        ExitService();
    });

    menuSuspend->setEnabled(true);
    menuRestart->setEnabled(false);
}

void FormQuillmarc::buildTray()
{
    m_tray = new QSystemTrayIcon(programIcon(), this);
    m_tray->setObjectName(QStringLiteral("picTrayIcon"));
    m_tray->setToolTip(QStringLiteral("quillmarc"));
    m_tray->setContextMenu(menuTray);
    connect(m_tray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    restoreFromTray();
            });
}

void FormQuillmarc::restoreFromTray()
{
    m_tray->hide();
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    showNormal();
    raise();
    activateWindow();
}

void FormQuillmarc::layoutControls()
{
    const int innerW = pixelsToTwips(m_central->width(), this);
    const int innerH = pixelsToTwips(m_central->height(), this);
    const auto px = [this](int twips) { return twipsToPixels(twips, this); };

    int listW = pixelsToTwips(ListView->width(), this);
    int listH = pixelsToTwips(ListView->height(), this);
    if (innerW - kRightPanel > 0)
        listW = innerW - kRightPanel - kMargin;
    if (innerH - kBottomSpace > 0)
        listH = innerH - kBottomSpace;
    ListView->setGeometry(px(kMargin), px(kMargin), px(listW), px(listH));

    const int w = listW + kMargin;
    Frame1->setGeometry(px(w + kFrameOffset), px(kFrame1Top), px(kFrameWidth), px(kFrame1Height));
    cmdRun->setGeometry(px(w + kButtonOffset), px(kRunTop), px(kButtonWidth), px(kButtonHeight));
    cmdQuit->setGeometry(px(w + kButtonOffset), px(kQuitTop), px(kButtonWidth), px(kButtonHeight));
    Frame2->setGeometry(px(w + kFrameOffset), px(kFrame2Top), px(kFrameWidth), px(kFrame2Height));
    LabelTimer->setGeometry(px(kLabelLeft), px(kLabelTimerTop), px(kFrameWidth - 2 * kLabelLeft),
                            px(kLabelHeight));
    LabelRemote->setGeometry(px(kLabelLeft), px(kLabelRemoteTop), px(kFrameWidth - 2 * kLabelLeft),
                             px(kLabelHeight));
    fitColumns();
}

void FormQuillmarc::fitColumns()
{
    // Date and time keep their width; the three texts share the rest in their first
    // proportions, so a wider window shows more of each.
    const int dateTime = ListView->columnWidth(0) + ListView->columnWidth(1);
    const int rest = ListView->viewport()->width() - dateTime;
    // Below a readable least the view scrolls sideways instead.
    const int share = std::max(rest, twipsToPixels(3 * 900, this));
    const int total = kAccountColumn + kSenderColumn + kDestinationColumn;
    ListView->setColumnWidth(2, share * kAccountColumn / total);
    ListView->setColumnWidth(3, share * kSenderColumn / total);
}

void FormQuillmarc::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    layoutControls();
}

void FormQuillmarc::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !isMinimized())
        return;
    // Without a tray to come back from, a hidden window would be lost: stay minimized.
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    m_tray->show();
    QTimer::singleShot(0, this, [this] {
        if (isMinimized())
            hide();
    });
}

bool FormQuillmarc::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize && watched == m_central)
        layoutControls();
    if (event->type() == QEvent::MouseButtonRelease) {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() == Qt::RightButton) {
            const bool setupArea =
                watched == Frame2 || watched == LabelTimer || watched == LabelRemote;
            QMenu* menu = setupArea ? menuSetup : menuFile;
            menu->popup(me->globalPosition().toPoint());
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void FormQuillmarc::setCycleRunning(bool running)
{
    // Everything that could start a second cycle or end the service mid-cycle waits.
    // Everything that could start a second cycle waits; quitting stays possible and waits
    // only for the message in hand.
    menuRun->setEnabled(!running);
    cmdRun->setEnabled(!running);
    if (!running && m_stopRequested)
        QTimer::singleShot(0, this, &FormQuillmarc::stopBySystem);
}

void FormQuillmarc::showFault(const QString& account, const QString& text)
{
    const QString line = account + QStringLiteral(": ") + text;
    const bool news = !m_attention || line != m_lastFault;
    m_attention = true;
    m_lastFault = line;
    updateAttention();
    // Said once, without waiting for anybody, where the user looks while the window is away.
    if (news && m_tray->isVisible() && QSystemTrayIcon::supportsMessages())
        m_tray->showMessage(QStringLiteral("quillmarc 要確認"), line, QSystemTrayIcon::Warning,
                            15000);
}

void FormQuillmarc::showCycleEnded(int faults)
{
    if (faults > 0 || !m_attention)
        return;
    m_attention = false;
    m_lastFault.clear();
    updateAttention();
}

void FormQuillmarc::updateAttention()
{
    if (m_attention) {
        LabelAttention->setText(QStringLiteral("要確認 ") + m_lastFault);
        LabelAttention->setToolTip(m_lastFault);
        statusBar()->show();
        m_tray->setIcon(attentionIcon());
        // Tool tips of a tray are short on some desktops: the start says what it is.
        m_tray->setToolTip(QStringLiteral("quillmarc - 要確認\n") + m_lastFault.left(120));
    } else {
        LabelAttention->clear();
        LabelAttention->setToolTip(QString());
        statusBar()->hide();
        m_tray->setIcon(programIcon());
        m_tray->setToolTip(QStringLiteral("quillmarc"));
    }
}

void FormQuillmarc::showLogRow(const QTreeWidgetItem* item)
{
    if (!item)
        return;
    const QStringList heads = {QStringLiteral("日付"), QStringLiteral("時刻"),
                               QStringLiteral("アカウント名"), QStringLiteral("差出人"),
                               QStringLiteral("転送先")};
    QStringList lines;
    for (int c = 0; c < heads.size(); ++c) {
        if (!item->text(c).isEmpty())
            lines << heads.at(c) + QStringLiteral(": ") + item->text(c);
    }
    MessageBox::show(this, QMessageBox::Information, QStringLiteral("転送ログ"), lines.join(u'\n'),
                     QMessageBox::Ok);
}

void FormQuillmarc::reportError(const QString& description)
{
    MessageBox::critical(this, errorTitle(), description);
}

QString errorTitle()
{
    return QStringLiteral("quillmarc");
}

} // namespace qm::ui
