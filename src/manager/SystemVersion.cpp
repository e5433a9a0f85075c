#include "manager/SystemVersion.h"

#include "data/Paths.h"
#include "data/SettingsLine.h"
#include "data/TextCodec.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QSysInfo>

namespace qm::manager {

namespace {

// Nearest existing folder at or above path: a spool folder that does not exist yet is
// usable when it can be created there.
QFileInfo nearestExisting(const QString& path)
{
    QFileInfo info(path);
    while (!info.exists()) {
        const QString parent = info.absolutePath();
        if (parent == info.absoluteFilePath())
            break;
        info = QFileInfo(parent);
    }
    return info;
}

} // namespace

bool faxBackendUsable(QString* why)
{
    const FilePaths& paths = filePaths();
    QString backend = QStringLiteral("spool");
    QString spoolDir = QDir(paths.dataDir).filePath(QStringLiteral("FaxSpool"));
    QString sendfax = QStringLiteral("/usr/bin/sendfax");
    QString faxstat = QStringLiteral("/usr/bin/faxstat");

    if (QFileInfo::exists(paths.faxPathFile)) {
        const std::optional<QStringList> lines =
            readTextLines(paths.faxPathFile, DecodeMode::Lenient);
        for (const QString& line : lines.value_or(QStringList())) {
            const QStringList fields = splitSettingsLine(line);
            if (fields.size() < 2)
                continue;
            const QString key = fields[0].trimmed().toLower();
            const QString value = fields[1].trimmed();
            if (value.isEmpty())
                continue;
            if (key == u"backend")
                backend = value.toLower();
            else if (key == u"spool")
                spoolDir =
                    QFileInfo(value).isAbsolute() ? value : QDir(paths.dataDir).filePath(value);
            else if (key == u"sendfax")
                sendfax = value;
            else if (key == u"faxstat")
                faxstat = value;
        }
    }

    auto fail = [why](const QString& text) {
        if (why)
            *why = text;
        return false;
    };
    // The service also asks the fax server whether it runs; the editor does not wait on the
    // network, since numbers may be entered while the server is briefly down.
    if (backend == u"hylafax") {
        for (const QString& client : {sendfax, faxstat}) {
            const QFileInfo info(client);
            if (!info.isFile() || !info.isExecutable())
                return fail(QStringLiteral("FAX送信プログラムがありません: %1").arg(client));
        }
        return true;
    }
    if (backend != u"spool")
        return fail(QStringLiteral("不明なFAX送信方式です: %1").arg(backend));
    if (QStandardPaths::findExecutable(QStringLiteral("gs")).isEmpty())
        return fail(QStringLiteral("Ghostscript (gs) がありません"));
    const QFileInfo folder = nearestExisting(spoolDir);
    if (!folder.isDir() || !folder.isWritable())
        return fail(QStringLiteral("FAXの送信フォルダに書き込めません: %1").arg(spoolDir));
    return true;
}

SystemVersion currentSystemVersion()
{
    SystemVersion version;
    version.text =
        QStringLiteral("%1 / %2 %3")
            .arg(QSysInfo::prettyProductName(), QSysInfo::kernelType(), QSysInfo::kernelVersion());
    version.faxEntry = faxBackendUsable();
    return version;
}

} // namespace qm::manager
