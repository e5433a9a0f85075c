#include "widgets/HelpFiles.h"

#include "widgets/MessageBox.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace qm::widgets {

namespace {

void sayWhere(QWidget* parent, const QString& why)
{
    MessageBox::information(
        parent, QStringLiteral("ヘルプ"),
        why + QStringLiteral("\nヘルプは次の場所にあります。ブラウザで開いてください。\n%1\n"
                             "(コマンドの説明は man quillmarc、man quillmarcB でも読めます)")
                  .arg(QDir::toNativeSeparators(helpPage())));
}

} // namespace

QString helpFolder()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() +
                           QStringLiteral("/../share/quillmarc/help"));
}

QString helpPage(const QString& page)
{
    return helpFolder() + u'/' + (page.isEmpty() ? QStringLiteral("index.html") : page);
}

void openHelp(QWidget* parent, const QString& page)
{
    const QString path = helpPage(page);
    if (!QFileInfo::exists(path)) {
        sayWhere(parent, QStringLiteral("ヘルプのファイルが見つかりません。"));
        return;
    }
    const QUrl url = QUrl::fromLocalFile(path);
    // xdg-open reports a desktop without a browser only by its exit status, which
    // QDesktopServices does not wait for: wait a moment for it here.
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) {
        if (!QDesktopServices::openUrl(url))
            sayWhere(parent, QStringLiteral("ブラウザを起動できません。"));
        return;
    }
    auto* process = new QProcess(QCoreApplication::instance());
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    process->start(opener, {url.toString()});
    if (!process->waitForStarted(5000)) {
        process->deleteLater();
        sayWhere(parent, QStringLiteral("ブラウザを起動できません。"));
        return;
    }
    // A browser that stays in front keeps xdg-open running; that is success.
    if (process->waitForFinished(3000) &&
        (process->exitStatus() != QProcess::NormalExit || process->exitCode() != 0))
        sayWhere(parent, QStringLiteral("ブラウザを起動できません。"));
}

} // namespace qm::widgets
