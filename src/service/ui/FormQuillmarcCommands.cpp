// The main window's commands: menus, buttons and the log view.
#include "FormCommon.h"
#include "FormLogin.h"
#include "FormQuillmarc.h"
#include "FormVersion.h"
#include "ServiceAddresses.h"
#include "data/AtomicFile.h"
#include "data/ForwardLog.h"
#include "data/HandOverFiles.h"
#include "data/Paths.h"
#include "service/ForwardingTimer.h"
#include "widgets/HelpFiles.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QProcess>
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
        items.append(
            new QTreeWidgetItem(QStringList{r.date, r.time, r.account, r.sender, r.destination}));
    ListView->insertTopLevelItems(0, items);
    ListView->setUpdatesEnabled(true);
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
    WriteLog(QStringLiteral("quillmarc Suspended"), QString(), QString());
    ShowLog();
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
    WriteLog(QStringLiteral("quillmarc Restart"), QString(), QString());
    ShowLog();
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
    // Ending the window under a running cycle would cut it off midway.
    if (m_timer->isCycleRunning())
        return;
    if (m_settings.passwordOn == 1 && m_settings.checkAtExit == 1 && !m_passwordGate->ask())
        return;
    WriteLog(QStringLiteral("quillmarc Stopped"), QString(), QString());
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
        return;
    }
    WriteLog(QStringLiteral("quillmarc Stopped"), QString(), QString());
    unload();
}

} // namespace qm::ui
