#include "service/ReceiveFiles.h"

#include "data/AtomicFile.h"
#include "data/FolderListing.h"
#include "data/SettingsLine.h"
#include "data/TextCodec.h"
#include "service/AccountFiles.h"
#include "service/EngineContext.h"
#include "service/RuntimeError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace qm::service {

namespace {

QStringList readLines(const QString& path)
{
    return readTextLines(path, DecodeMode::Lenient).value_or(QStringList());
}

// Adds one line at the end. The bookkeeping lists only ever grow by a line per message, so
// an append (no rewrite, no sync) keeps a busy cycle fast; a line torn by a crash is closed
// off before the next one, so it spoils at most itself.
bool appendLine(const QString& path, const QString& line)
{
    const auto bytes = encodeCp932(line + QStringLiteral("\r\n"));
    if (!bytes)
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append))
        return false;
    QByteArray out = *bytes;
    if (file.size() > 0) {
        file.seek(file.size() - 1);
        if (file.read(1) != "\n")
            out.prepend("\r\n");
    }
    const bool ok = file.write(out) == out.size();
    file.close();
    return ok && file.error() == QFileDevice::NoError;
}

// The counter is rewritten for every message; a program crash never leaves it torn.
bool writeCounter(const QString& path, const QString& number)
{
    const auto bytes = encodeLines({joinQuoted({number, QString()})});
    return bytes && writeFileAtomic(path, *bytes, nullptr, AtomicSync::RenameOnly);
}

void removeFilesIn(const QString& folder)
{
    QDir dir(folder);
    if (!dir.exists())
        return;
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names)
        QFile::remove(dir.filePath(name));
}

} // namespace

void PrepareAccountDataFolder(const AccountFiles& files)
{
    // The account editor makes the attachment folder; an account written by other means
    // must not lose its attachments for want of it.
    QDir().mkpath(files.attachFolder);
    if (QFileInfo(files.dataFolder).isDir())
        return;
    if (!QDir().mkpath(files.dataFolder))
        throw RuntimeError(QStringLiteral("フォルダを作成できません: ") + files.dataFolder);
    const QStringList oldNames = {QStringLiteral("MailRcv.log"), QStringLiteral("RecvNo.txt"),
                                  QStringLiteral("AttachNo.txt")};
    for (const QString& name : oldNames) {
        const QString oldPath = files.workFolder + u'/' + name;
        if (!QFile::exists(oldPath))
            continue;
        const QString newPath = files.dataFolder + u'/' + name;
        if (QFile::copy(oldPath, newPath))
            QFile::remove(oldPath);
    }
}

void ClearAccountFiles(const AccountFiles& files)
{
    removeFilesIn(files.workFolder);
    removeFilesIn(files.attachFolder);
    removeFilesIn(files.dataFolder);
}

QString NextReceiveNumber(EngineContext& ctx, const AccountFiles& files)
{
    try {
        if (!QFile::exists(files.receiveCounter)) {
            const QString first = QStringLiteral("00001");
            if (!writeCounter(files.receiveCounter, first))
                return QStringLiteral("0");
            return first;
        }
        const QStringList lines = readLines(files.receiveCounter);
        const QStringList fields = splitSettingsLine(lines.value(0));
        bool ok = false;
        const int last = fields.value(0).trimmed().toInt(&ok);
        if (!ok || last < 0)
            return QStringLiteral("0");
        if (last >= 32767) {
            // Numbers are never reused while the mailbox keeps its mail: an old forwarded
            // text may still name a number, and a request for it must not reach a newer file.
            ctx.writeLog(ctx.account.accountName,
                         QStringLiteral("受信番号が上限の32767に達しています"), QString());
            ctx.showLog();
            return QStringLiteral("0");
        }
        const QString next = QStringLiteral("%1").arg(last + 1, 5, 10, QLatin1Char('0'));
        if (!writeCounter(files.receiveCounter, next))
            return QStringLiteral("0");
        return next;
    } catch (...) {
        return QStringLiteral("0");
    }
}

QString AttachmentKey(const QString& receiveNumber, int position)
{
    return receiveNumber + QString::number(position);
}

void AddAttachmentRecord(EngineContext&, const AccountFiles& files, const QString& receiveNumber,
                         int position, const QString& path, const QString& fileName)
{
    if (path.isEmpty() || receiveNumber == u"0")
        return;
    if (!isStorableField(path) || !isStorableField(fileName))
        return;
    appendLine(files.attachmentIndex,
               joinQuoted({AttachmentKey(receiveNumber, position), path, fileName}));
}

ReceivedList::ReceivedList(QString path) : m_path(std::move(path))
{
    const QStringList lines = readLines(m_path);
    for (const QString& line : lines) {
        QString name = line;
        name.remove(u'"');
        m_names.insert(name);
    }
}

bool ReceivedList::IsAlreadyReceived(const QString& messageFile)
{
    const qsizetype slash = messageFile.lastIndexOf(u'/');
    const QString name = messageFile.mid(slash + 1);
    if (name.isEmpty() || !m_names.contains(name))
        return false;
    const QString folder = slash < 0 ? QStringLiteral(".") : messageFile.left(slash);
    if (folder != m_listedFolder) {
        m_listedFolder = folder;
        m_listedFiles = fileNamesIn(folder);
    }
    return m_listedFiles.contains(name);
}

bool ReceivedList::MarkReceived(const QString& messageFile)
{
    const QFileInfo info(messageFile);
    if (!info.exists())
        return false;
    const QString name = info.fileName();
    if (!appendLine(m_path, joinQuoted({name})))
        return false;
    m_names.insert(name);
    return true;
}

} // namespace qm::service
