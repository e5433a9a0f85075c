// The main window's commands: menus, buttons and the log view.
#include "FormCommon.h"
#include "FormLogin.h"
#include "FormQuillmarc.h"
#include "FormVersion.h"
#include "ServiceAddresses.h"
#include "data/AtomicFile.h"
#include "data/ForwardLog.h"
#include "data/HandOverFiles.h"
#include "data/LogRowKind.h"
#include "data/Paths.h"
#include "service/ForwardingTimer.h"
#include "widgets/HelpFiles.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QStatusBar>
#include <QStyle>
#include <QTreeWidget>
#include <QUrl>

namespace qm::ui {

QString addresses::mailtoUrl(const QString& address)
{
    if (address.left(7).toLower() == QStringLiteral("mailto:"))
        return address;
    return QStringLiteral("mailto:") + address;
}

void FormQuillmarc::LoadTimerSettings()
{
    QString warning;
    m_settings = qm::LoadTimerSettings(&warning);
    LabelTimer->setText(QString::number(m_settings.intervalMinutes) + QStringLiteral("分間隔"));
    LabelRemote->setText(m_settings.remoteSettingsAllowed == 1
                             ? QStringLiteral("リモート設定オン")
                             : QStringLiteral("リモート設定オフ"));
    if (m_hooks.settingsLoaded)
        m_hooks.settingsLoaded(m_settings);
}

namespace {

// A log row as the view shows it: its kind by an icon and a colour, its whole text on hover.
QTreeWidgetItem* logItem(const LogRow& r)
{
    auto* item =
        new QTreeWidgetItem(QStringList{r.date, r.time, r.account, r.sender, r.destination});
    const LogRowKind kind = logRowKind(r);
    if (kind == LogRowKind::Normal)
        return item;
    const bool error = kind == LogRowKind::Error;
    const QIcon icon = QApplication::style()->standardIcon(error ? QStyle::SP_MessageBoxCritical
                                                                 : QStyle::SP_MessageBoxWarning);
    item->setIcon(2, icon);
    const QBrush text(error ? QColor(160, 0, 0) : QColor(130, 80, 0));
    const QBrush back(error ? QColor(255, 236, 236) : QColor(255, 248, 225));
    QString whole;
    for (const QString& part : {r.account, r.sender, r.destination}) {
        if (!part.isEmpty())
            whole += (whole.isEmpty() ? QString() : QStringLiteral("\n")) + part;
    }
    for (int c = 0; c < 5; ++c) {
        item->setForeground(c, text);
        item->setBackground(c, back);
        item->setToolTip(c, whole);
    }
    return item;
}

} // namespace

void FormQuillmarc::ShowLog()
{
    ListView->setEnabled(true);
    QString error;
    const std::optional<LogViewChange> change = takeLogViewChange(&error);
    if (!change) {
        if (!error.isEmpty())
            reportError(error);
        return; // nothing new: the view keeps what it shows
    }
    // Only what changed is touched: a busy day's log holds tens of thousands of rows.
    ListView->setUpdatesEnabled(false);
    if (change->reset)
        ListView->clear();
    for (qsizetype i = 0; i < change->removeFromBottom && ListView->topLevelItemCount() > 0; ++i)
        delete ListView->takeTopLevelItem(ListView->topLevelItemCount() - 1);
    QList<QTreeWidgetItem*> items;
    items.reserve(change->rows.size());
    for (const LogRow& r : change->rows)
        items.append(logItem(r));
    ListView->insertTopLevelItems(0, items);
    ListView->setUpdatesEnabled(true);
}

void FormQuillmarc::log(const LogLine& line)
{
    WriteLog(line);
    ShowLog();
}

void FormQuillmarc::forwardNow()
{
    // Dropped, not queued, while a cycle runs (the timer's guard answers false).
    m_timer->forwardNow();
}

void FormQuillmarc::suspend()
{
    QString error;
    if (!WriteModeFile(QStringLiteral("Suspended"), &error)) {
        // Without the file the timer would keep forwarding: do not claim a suspension.
        reportError(error);
        return;
    }
    setWindowTitle(QStringLiteral("quillmarc 一時停止中"));
    menuSuspend->setEnabled(false);
    menuRestart->setEnabled(true);
    log({.account = QStringLiteral("quillmarc Suspended")});
}

void FormQuillmarc::restart()
{
    QString error;
    if (!deleteModeFile(&error)) {
        reportError(error);
        return;
    }
    setWindowTitle(QStringLiteral("quillmarc"));
    menuSuspend->setEnabled(true);
    menuRestart->setEnabled(false);
    log({.account = QStringLiteral("quillmarc Restart")});
}

void FormQuillmarc::deleteLog()
{
    if (!QFile::exists(filePaths().logFile) && !QFile::exists(logJournalPath()))
        return;
    ListView->hide();
    ListView->clear();
    QString error;
    const bool deleted = qm::deleteLog(&error);
    ListView->show();
    if (!deleted)
        reportError(error);
}

void FormQuillmarc::openCommonSettings()
{
    if (m_settings.passwordOn != 0 && !m_passwordGate->ask()) {
        LoadTimerSettings();
        return;
    }
    {
        FormCommon dialog(this);
        dialog.exec();
    }
    LoadTimerSettings();
}

void FormQuillmarc::accountManager(const QString& command)
{
    if (m_settings.passwordOn == 1 && m_settings.checkAtAccountSetting == 1 &&
        !m_passwordGate->ask())
        return;
    StartAccountManager(command);
}

bool FormQuillmarc::StartAccountManager(const QString& command, qint64* pid)
{
    QString error;
    if (!ensureDataDir(&error) || !WriteModeFile(command, &error)) {
        reportError(error);
        return false;
    }
    const QString program = filePaths().accountManager;
    qint64 started = 0;
    if (!QProcess::startDetached(program, {}, filePaths().programDir, &started)) {
        // Nobody would remove the mode file, and it holds the timer: take it back.
        deleteModeFile();
        reportError(QStringLiteral("アカウント管理プログラムを起動できません。") +
                    QStringLiteral("\r\n") + program);
        return false;
    }
    if (pid)
        *pid = started;
    return true;
}

void FormQuillmarc::openHelpPage(const QString& url)
{
    if (url.startsWith(QLatin1String("help:")))
        return widgets::openHelp(this, url.mid(5));
    if (!QDesktopServices::openUrl(QUrl(url)))
        reportError(QStringLiteral("ブラウザを起動できません。") + QStringLiteral("\r\n") + url);
}

void FormQuillmarc::openSupportMail()
{
    const QString url = addresses::mailtoUrl(addresses::supportMail());
    if (!QDesktopServices::openUrl(QUrl(url)))
        reportError(QStringLiteral("メールソフトを起動できません。") + QStringLiteral("\r\n") +
                    url);
}

void FormQuillmarc::showVersion()
{
    FormVersion box(this);
    box.exec();
}

void FormQuillmarc::ExitService()
{
    if (m_ended || m_stopRequested)
        return;
    if (m_settings.passwordOn == 1 && m_settings.checkAtExit == 1 && !m_passwordGate->ask())
        return;
    // A running cycle ends after the message in hand; the rest waits for the next start.
    if (m_timer->isCycleRunning()) {
        m_stopRequested = true;
        m_cycleStop = true;
        LabelAttention->setText(QStringLiteral("処理中のメールが終わりしだい終了します…"));
        statusBar()->show();
        return;
    }
    WriteLog({.account = QStringLiteral("quillmarc Stopped")});
    unload();
}

void FormQuillmarc::stopBySystem()
{
    if (m_ended)
        return;
    if (!m_started) {
        // Still starting: nothing was logged yet. Unload, and let the dialog or wait that
        // start-up is in return so start-up can see it has ended.
        unload();
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            dialog->done(QDialog::Rejected);
        return;
    }
    if (m_timer->isCycleRunning()) {
        m_stopRequested = true; // taken up when the cycle has finished
        m_cycleStop = true;
        return;
    }
    WriteLog({.account = QStringLiteral("quillmarc Stopped")});
    unload();
}

} // namespace qm::ui
