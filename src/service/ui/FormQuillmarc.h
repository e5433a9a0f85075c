#pragma once

#include "data/ForwardLog.h"
#include "data/TimerSettings.h"

#include <QMainWindow>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>

class QAction;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QSystemTrayIcon;
class QTreeWidget;
class QTreeWidgetItem;

namespace qm::service {
class ForwardingTimer;
class InstanceLock;
} // namespace qm::service

namespace qm::ui {

class PasswordGate;
using service::InstanceLock;

// What the window needs from the engine around it. Each hook may be left empty in tests.
struct WindowHooks
{
    std::function<void()> runCycle; // one forwarding cycle
    // Instead of runCycle: one cycle off the window thread, done called back on it.
    std::function<void(std::function<void(const QString& error)> done)> startCycle;
    std::function<void(const TimerSettings&)> settingsLoaded; // the engine takes the new values
    std::function<bool(QString*)> createFontDataFile;         // first-time font table
    std::function<bool()> faxPlatform;                        // whether faxes can be sent here
};

// Timings the tests shorten.
struct WindowTimings
{
    int tickMs = 60000;       // the minute tick
    int accountPollMs = 1000; // waiting for the first account
};

// The service's main window: log view, forward-now and quit buttons, interval and remote
// labels, menus and the tray icon. Its start-up and shut-down are the service's life.
class FormQuillmarc : public QMainWindow
{
    Q_OBJECT
public:
    explicit FormQuillmarc(WindowHooks hooks = {}, WindowTimings timings = {},
                           QWidget* parent = nullptr);
    ~FormQuillmarc() override;

    // Runs start-up. False when the service is to end at once (a second instance, a refused
    // start-up password, or the user gave up adding the first account).
    bool startUp();
    bool isSecondInstance() const { return m_isSecondInstance; }
    bool hasEnded() const { return m_ended; }
    // Shows the window in the state the ini file kept (normal, minimized to the tray, maximized).
    void showAsPlaced();

    // Commands, as the menus and buttons run them.
    void LoadTimerSettings();
    void ShowLog();
    void forwardNow();
    void suspend();
    void restart();
    void deleteLog();
    void openCommonSettings();
    void accountManager(const QString& command);
    void openHelpPage(const QString& url);
    void openSupportMail();
    void showVersion();
    void ExitService();
    void restoreFromTray();
    // The system asks the service to end (SIGTERM at shut-down or log-out): no password,
    // the stop is logged, and a running cycle is let finish first.
    void stopBySystem();

    // A cycle logged a fault: the window and the tray show it until a cycle ends without one.
    void showFault(const QString& account, const QString& text);
    void showCycleEnded(int faults);
    bool needsAttention() const { return m_attention; }
    // Set once the user or the system asked the service to end during a cycle: the engine
    // stops before the next message. Read from the cycle's thread.
    bool cycleStopRequested() const { return m_cycleStop.load(); }
    // The whole of a log row in a box (the log view's double click).
    void showLogRow(const QTreeWidgetItem* item);

    // Starts the account manager with a mode word; false (after telling the user) when the
    // mode file cannot be written or the program does not start. pid receives its process id.
    bool StartAccountManager(const QString& command, qint64* pid = nullptr);

    const TimerSettings& settings() const { return m_settings; }
    service::ForwardingTimer* timer() const { return m_timer; }
    PasswordGate* passwordGate() const { return m_passwordGate.get(); }
    QSystemTrayIcon* trayIcon() const { return m_tray; }

    // Controls and menu items.
    QTreeWidget* ListView = nullptr;
    QGroupBox* Frame1 = nullptr;
    QPushButton* cmdRun = nullptr;
    QPushButton* cmdQuit = nullptr;
    QGroupBox* Frame2 = nullptr;
    QLabel* LabelTimer = nullptr;
    QLabel* LabelRemote = nullptr;
    // The last fault of a cycle, until a cycle ends without one (in the status bar).
    QLabel* LabelAttention = nullptr;

    QMenu* menuFile = nullptr;
    QMenu* menuSetup = nullptr;
    QMenu* menuHelp = nullptr;
    QMenu* menuTray = nullptr;
    QAction* menuRun = nullptr;
    QAction* menuSuspend = nullptr;
    QAction* menuRestart = nullptr;
    QAction* menuDeleteLog = nullptr;
    QAction* menuEnd1 = nullptr;
    QAction* menuCommon = nullptr;
    QAction* menuAppendAcnt = nullptr;
    QAction* menuEditAcnt = nullptr;
    QAction* menuDeleteAcnt = nullptr;
    QAction* menuWebHelp = nullptr;
    QAction* menuQuillmarcHP = nullptr;
    QAction* menuMail = nullptr;
    QAction* menuOstrelHP = nullptr;
    QAction* menuVersion = nullptr;
    QAction* menuResize = nullptr;
    QAction* menuEnd2 = nullptr;

    // Applies the resizing rule for a given inner size (in pixels).
    void layoutControls();

signals:
    // The window has been unloaded: the service ends.
    void ended();

protected:
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void buildTray();
    void setCycleRunning(bool running);
    void reportError(const QString& description);
    // A line of the window's own doings, written and shown at once.
    void log(const LogLine& line);
    bool waitForFirstAccount();
    void restoreWindowPosition();
    void saveWindowPosition();
    void unload();
    void updateAttention();
    void fitColumns();

    WindowHooks m_hooks;
    WindowTimings m_timings;
    TimerSettings m_settings;
    service::ForwardingTimer* m_timer = nullptr;
    std::unique_ptr<PasswordGate> m_passwordGate;
    std::unique_ptr<InstanceLock> m_instanceLock;
    QSystemTrayIcon* m_tray = nullptr;
    QWidget* m_central = nullptr;
    bool m_isSecondInstance = false;
    bool m_exiting = false;
    bool m_ended = false;
    bool m_started = false;
    bool m_stopRequested = false;
    std::atomic<bool> m_cycleStop{false};
    bool m_attention = false;
    QString m_lastFault;
    int m_showCmd = 1;
};

// Title of the boxes that report a run-time error of the service window.
QString errorTitle();

} // namespace qm::ui
