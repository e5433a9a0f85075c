#include "service/ReceiveFiles.h"

#include "data/AccountFiles.h"
#include "data/AtomicFile.h"
#include "data/FolderListing.h"
#include "data/SettingsLine.h"
#include "data/TextCodec.h"
#include "service/EngineContext.h"
#include "service/RuntimeError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm::service {

namespace {

QStringList readLines(const QString& path)
{
    return readTextLines(path, DecodeMode::Lenient).value_or(QStringList());
}

bool appendLine(const QString& path, const QString& line, bool sync = false)
{
    return appendTextLine(path, line, sync ? AppendSync::Yes : AppendSync::No);
}

// The counter is rewritten for every message; a program crash never leaves it torn. Its
// line has the same length from one number to the next, so it is overwritten in place with
// one write inside one page, which a crash cannot split: a new file per message would make
// the file system hunt for free inodes among the ones just deleted, slower with every mail.
bool writeCounter(const QString& path, const QString& number)
{
    const auto bytes = encodeLines({joinQuoted({number, QString()})});
    if (!bytes)
        return false;
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CLOEXEC);
    if (fd >= 0) {
        struct stat st;
        const bool sameSize = ::fstat(fd, &st) == 0 && st.st_size == bytes->size();
        const bool written =
            sameSize && ::pwrite(fd, bytes->constData(), size_t(bytes->size()), 0) == bytes->size();
        ::close(fd);
        if (written)
            return true;
    }
    return writeFileAtomic(path, *bytes, nullptr, AtomicSync::RenameOnly);
}

void removeFilesIn(const QString& folder, const QString& home)
{
    QDir dir(folder);
    // Never anything outside the program's own folders, whatever a path was made of.
    const QString root = QDir(home).canonicalPath() + u'/';
    if (!dir.exists() || !(dir.canonicalPath() + u'/').startsWith(root) ||
        dir.canonicalPath() + u'/' == root)
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
    // The older layout made its folders and files readable by every local user; other
    // people's mail and addresses are kept for this user alone from now on.
    constexpr auto privateFolder =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    for (const QString& folder : {files.workFolder, files.attachFolder, files.dataFolder})
        QFile::setPermissions(folder, privateFolder);
    const QStringList oldNames = {QStringLiteral("MailRcv.log"), QStringLiteral("RecvNo.txt"),
                                  QStringLiteral("AttachNo.txt")};
    for (const QString& name : oldNames) {
        const QString oldPath = files.workFolder + u'/' + name;
        if (!QFile::exists(oldPath))
            continue;
        const QString newPath = files.dataFolder + u'/' + name;
        // A copy keeps the old mode.
        if (!QFile::copy(oldPath, newPath))
            continue;
        QFile::setPermissions(newPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QFile::remove(oldPath);
    }
}

void ClearAccountFiles(const AccountFiles& files)
{
    removeFilesIn(files.workFolder, files.dataHome);
    removeFilesIn(files.attachFolder, files.dataHome);
    removeFilesIn(files.dataFolder, files.dataHome);
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

namespace {

bool fitsIndex(const QString& text)
{
    return isStorableField(text) && cp932Keeps(text);
}

// Stored paths are absolute, so one that starts with "%" can only be an encoded one.
QString pathField(const QString& path)
{
    if (fitsIndex(path) && !path.startsWith(u'%'))
        return path;
    return QString::fromLatin1(QUrl::toPercentEncoding(path));
}

QString pathFromField(const QString& field)
{
    if (!field.startsWith(u'%'))
        return field;
    return QUrl::fromPercentEncoding(field.toLatin1());
}

QString nameField(const QString& name)
{
    if (fitsIndex(name))
        return name;
    QString shown = toCp932Safe(name);
    shown.replace(u',', u'，');
    shown.replace(u'"', u'”');
    return shown;
}

} // namespace

void AddAttachmentRecord(EngineContext&, const AccountFiles& files, const QString& receiveNumber,
                         int position, const QString& path, const QString& fileName)
{
    if (path.isEmpty() || receiveNumber == u"0")
        return;
    appendLine(files.attachmentIndex, joinQuoted({AttachmentKey(receiveNumber, position),
                                                  pathField(path), nameField(fileName)}));
}

std::optional<StoredAttachment> FindStoredAttachment(const AccountFiles& files, const QString& key)
{
    if (!QFileInfo::exists(files.attachmentIndex))
        return std::nullopt;
    QString error;
    const auto lines = readTextLines(files.attachmentIndex, DecodeMode::Lenient, &error);
    if (!lines)
        throw RuntimeError(error);
    for (const QString& line : *lines) {
        const QStringList f = splitSettingsLine(line);
        if (f.value(0) == key)
            return StoredAttachment{pathFromField(f.value(1)), f.value(2)};
    }
    return std::nullopt;
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

namespace {

QString fileNameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

} // namespace

ProgressLog::ProgressLog(QString path) : m_path(std::move(path))
{
    // Later lines add to earlier ones: a message may be tried several times.
    for (const QString& line : readLines(m_path)) {
        const QStringList f = splitSettingsLine(line);
        if (f.size() < 5 || f.at(0).isEmpty())
            continue;
        MessageProgress& p = m_entries[f.at(0)];
        if (!f.at(1).isEmpty())
            p.receiveNumber = f.at(1);
        for (const QString& part : f.at(2).split(u' ', Qt::SkipEmptyParts))
            p.partsSent.insert(part.toInt());
        p.faxed = p.faxed || f.at(3) == u"1";
        p.printed = p.printed || f.at(4) == u"1";
    }
}

std::optional<MessageProgress> ProgressLog::find(const QString& messageFile) const
{
    const auto it = m_entries.constFind(fileNameOf(messageFile));
    if (it == m_entries.constEnd())
        return std::nullopt;
    return *it;
}

bool ProgressLog::record(const QString& messageFile, const MessageProgress& progress)
{
    QList<int> parts = progress.partsSent.values();
    std::sort(parts.begin(), parts.end());
    QStringList partTexts;
    for (const int k : parts)
        partTexts << QString::number(k);
    const QString name = fileNameOf(messageFile);
    // A send that keeps failing would add the same line every cycle.
    if (m_entries.value(name) == progress && m_entries.contains(name))
        return true;
    const QString line = joinQuoted({name, progress.receiveNumber, partTexts.join(u' '),
                                     progress.faxed ? QStringLiteral("1") : QStringLiteral("0"),
                                     progress.printed ? QStringLiteral("1") : QStringLiteral("0")});
    if (!appendLine(m_path, line, true))
        return false;
    m_entries.insert(name, progress);
    return true;
}

PendingDeletions::PendingDeletions(QString path) : m_path(std::move(path))
{
    for (const QString& line : readLines(m_path)) {
        const QString name = splitSettingsLine(line).value(0);
        if (!name.isEmpty() && !m_names.contains(name))
            m_names << name;
    }
}

bool PendingDeletions::contains(const QString& messageFile) const
{
    return m_names.contains(fileNameOf(messageFile));
}

bool PendingDeletions::add(const QString& messageFile)
{
    const QString name = fileNameOf(messageFile);
    if (m_names.contains(name))
        return true;
    if (!appendLine(m_path, joinQuoted({name}), true))
        return false;
    m_names << name;
    return true;
}

QStringList PendingDeletions::stillListed(const QStringList& messageFiles)
{
    if (m_names.isEmpty())
        return {};
    QSet<QString> listed;
    for (const QString& f : messageFiles)
        listed.insert(fileNameOf(f));
    QStringList kept;
    for (const QString& name : std::as_const(m_names)) {
        if (listed.contains(name))
            kept << name;
    }
    if (kept != m_names) {
        QStringList lines;
        for (const QString& name : std::as_const(kept))
            lines << joinQuoted({name});
        const auto bytes = encodeLines(lines);
        if (bytes && writeFileAtomic(m_path, *bytes, nullptr, AtomicSync::RenameOnly))
            m_names = kept;
    }
    return kept;
}

} // namespace qm::service
