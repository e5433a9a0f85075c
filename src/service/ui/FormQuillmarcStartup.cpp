// Start-up and shut-down of the service window.
#include "FormCommon.h"
#include "FormLogin.h"
#include "FormQuillmarc.h"
#include "data/AtomicFile.h"
#include "data/ForwardLog.h"
#include "data/HandOverFiles.h"
#include "data/IniFile.h"
#include "data/Paths.h"
#include "service/ForwardingTimer.h"
#include "service/InstanceLock.h"
#include "widgets/MessageBox.h"
#include "widgets/WindowGeometry.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <cerrno>
#include <signal.h>

namespace qm::ui {

using widgets::MessageBox;

namespace {
bool processAlive(qint64 pid)
{
    if (pid <= 0)
        return false;
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

void waitMs(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

} // namespace

bool FormQuillmarc::startUp()
{
    QString error;
    // 1. One service per program folder. A second copy ends quietly and touches nothing.
    if (!ensureDataDir(&error)) {
        reportError(error);
        m_isSecondInstance = true; // nothing of ours to save or clean up
        unload();
        return false;
    }
    m_instanceLock =
        std::make_unique<InstanceLock>(filePaths().dataDir + QStringLiteral("/quillmarc.instance"));
    if (!m_instanceLock->tryLock()) {
        if (!m_instanceLock->heldElsewhere())
            reportError(m_instanceLock->error());
        m_isSecondInstance = true;
        unload();
        return false;
    }

    // 2.-3. Placement from the ini file; the path table is built by the data layer.
    restoreWindowPosition();

    // 4. First run: the common settings must exist before anything else.
    if (!QFile::exists(filePaths().settingsFile)) {
        FormCommon dialog(this);
        dialog.exec();
    }
    QCoreApplication::processEvents();
    if (m_ended)
        return false;

    // 5. First account, through the account manager.
    if (!waitForFirstAccount() || m_ended) {
        unload();
        return false;
    }

    // 6. Encryption is decided afresh by every read and write of the data layer.
    // 7.
    LoadTimerSettings();

    // 9. before 8: the minute timer keeps running under a modal dialog, and no mail may be
    // touched before the start-up password has been given.
    if (m_settings.passwordOn == 1 && m_settings.checkAtStart == 1 &&
        (!m_passwordGate->ask() || m_ended)) {
        unload();
        return false;
    }
    // 8.
    m_timer->start(m_timings.tickMs);

    // 10.
    log({.account = QStringLiteral("quillmarc Started ▲")});
    menuRestart->setEnabled(false);

    // 11.
    if (!QFile::exists(filePaths().fontTable) && m_hooks.createFontDataFile &&
        !m_hooks.createFontDataFile(&error))
        reportError(error);

    // 12. A mode file left by an earlier run would hold the timer for ever.
    if (!deleteModeFile(&error))
        reportError(error);

    // 13. faxPlatform is decided by the engine's hook; nothing is shown for it.
    if (m_hooks.faxPlatform)
        m_hooks.faxPlatform();

    m_started = true;
    return true;
}

bool FormQuillmarc::waitForFirstAccount()
{
    const QString accountFile = filePaths().accountFile;
    if (QFile::exists(accountFile))
        return true;
    qint64 pid = 0;
    bool running = StartAccountManager(QStringLiteral("Append"), &pid);
    while (!QFile::exists(accountFile)) {
        if (m_ended)
            return false;
        if (!running || !processAlive(pid)) {
            if (QFile::exists(accountFile))
                break;
            // The manager is gone without an account: polling on would wait for ever.
            const auto answer = MessageBox::show(
                this, QMessageBox::Question, QStringLiteral("quillmarc"),
                QStringLiteral("アカウントが登録されていません。") + QStringLiteral("\r\n\r\n") +
                    QStringLiteral("アカウントを追加しますか？") + QStringLiteral("\r\n") +
                    QStringLiteral("「いいえ」を選ぶと quillmarc を終了します。"),
                QMessageBox::Yes | QMessageBox::No);
            if (answer != QMessageBox::Yes || m_ended)
                return false;
            running = StartAccountManager(QStringLiteral("Append"), &pid);
            continue;
        }
        waitMs(m_timings.accountPollMs);
    }
    return true;
}

void FormQuillmarc::restoreWindowPosition()
{
    const QRect g = geometry();
    WindowPlacement current;
    current.left = g.left();
    current.top = g.top();
    current.right = g.left() + g.width();
    current.bottom = g.top() + g.height();
    current.showCmd = 1;
    const WindowPlacement p = restoreWindowPlacement(current);
    const QRect wanted(p.left, p.top, p.right - p.left, p.bottom - p.top);
    // Nothing saved yet: the middle of the screen. A rectangle from another screen setup is
    // brought wholly onto this one, title bar and all.
    widgets::placeOnScreen(this, p == current ? QRect() : wanted);
    m_showCmd = p.showCmd;
}

void FormQuillmarc::showAsPlaced()
{
    if (m_showCmd == 3)
        showMaximized();
    else if (m_showCmd == 2 && QSystemTrayIcon::isSystemTrayAvailable())
        showMinimized();
    else
        show();
}

void FormQuillmarc::saveWindowPosition()
{
    QRect g = normalGeometry();
    if (!g.isValid())
        g = geometry();
    WindowPlacement p;
    p.left = g.left();
    p.top = g.top();
    p.right = g.left() + g.width();
    p.bottom = g.top() + g.height();
    p.showCmd = isMaximized() ? 3 : (isMinimized() ? 2 : 1);
    QString error;
    if (!saveWindowPlacement(p, &error))
        qWarning("quillmarc: window position not saved: %s", qPrintable(error));
}

void FormQuillmarc::unload()
{
    if (m_ended)
        return;
    m_ended = true;
    m_timer->stop();
    if (!m_isSecondInstance) {
        saveWindowPosition();
        removeIfExists(filePaths().accountReadCopy);
        removeIfExists(filePaths().logWriteCopy);
    }
    m_tray->hide();
    hide();
    m_instanceLock.reset();
    emit ended();
}

void FormQuillmarc::closeEvent(QCloseEvent* event)
{
    // The close box quits like the quit button, password and all.
    if (!m_ended) {
        event->ignore();
        ExitService();
        return;
    }
    QMainWindow::closeEvent(event);
}

} // namespace qm::ui
