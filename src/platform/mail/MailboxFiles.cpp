#include "platform/mail/MailboxFiles.h"

#include "data/AtomicFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <cstring>

namespace qm::mail {

namespace {
const QString kExtension = QStringLiteral(".eml");
const QString kListName = QStringLiteral(".uidl-list");
constexpr int kMaxStem = 180;

bool keepAsIs(char c, bool first)
{
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
        return true;
    return c == '-' || c == '_' || (c == '.' && !first);
}
} // namespace

QString messageFileName(const QString& uidl)
{
    // Most servers send plain letters and digits: those names are the UIDL itself.
    if (!uidl.isEmpty() && uidl.size() <= kMaxStem) {
        bool plain = true;
        for (qsizetype i = 0; plain && i < uidl.size(); ++i) {
            const ushort u = uidl.at(i).unicode();
            plain = u < 0x80 && keepAsIs(char(u), i == 0);
        }
        if (plain)
            return uidl + kExtension;
    }
    const QByteArray bytes = uidl.toUtf8();
    QByteArray stem;
    stem.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes.at(i);
        if (keepAsIs(c, i == 0)) {
            stem.append(c);
        } else {
            // '%' itself is escaped too, so two different UIDLs never share a name.
            stem.append('%');
            stem.append(QByteArray::number(uchar(c), 16).toUpper().rightJustified(2, '0'));
        }
    }
    if (stem.size() > kMaxStem) {
        // Longer than servers are allowed to send; keep it stable and still distinct.
        const QByteArray hash = QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex();
        stem = stem.left(kMaxStem - 41) + '~' + hash;
    }
    return QString::fromLatin1(stem) + kExtension;
}

bool isMessageFileName(const QString& name)
{
    if (!name.endsWith(kExtension) || name.size() <= kExtension.size() ||
        name.startsWith(QLatin1Char('.')))
        return false;
    for (const QChar c : name) {
        const ushort u = c.unicode();
        if (u >= 0x80)
            return false;
        if (!keepAsIs(char(u), false) && u != '%' && u != '~')
            return false;
    }
    return true;
}

QString uidlListPath(const QString& folder)
{
    return QDir(folder).filePath(kListName);
}

QStringList readUidlList(const QString& folder, bool* ok)
{
    QFile f(uidlListPath(folder));
    if (!f.open(QIODevice::ReadOnly)) {
        if (ok)
            *ok = false;
        return {};
    }
    QStringList result;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QByteArray t = line.trimmed();
        if (!t.isEmpty())
            result << QString::fromUtf8(t);
    }
    if (ok)
        *ok = true;
    return result;
}

bool writeUidlList(const QString& folder, const QStringList& uidls, QString* error)
{
    QByteArray bytes;
    for (const QString& u : uidls)
        bytes += u.toUtf8() + "\r\n";
    // A cycle with nothing new finds the list as it was: no rewrite, no disk sync.
    QFile stored(uidlListPath(folder));
    if (stored.open(QIODevice::ReadOnly) && stored.readAll() == bytes)
        return true;
    return writeFileAtomic(uidlListPath(folder), bytes, error);
}

bool parseUidlListing(const QByteArray& listing, QList<UidlEntry>* out)
{
    QList<UidlEntry> entries;
    entries.reserve(listing.count('\n'));
    const char* p = listing.constData();
    const char* end = p + listing.size();
    while (p < end) {
        const char* eol = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
        if (!eol)
            eol = end;
        const QByteArray line = QByteArray::fromRawData(p, eol - p).trimmed();
        p = eol + 1;
        if (line.isEmpty() || line == ".")
            continue;
        const qsizetype space = line.indexOf(' ');
        if (space <= 0)
            return false;
        bool ok = false;
        const int pos = line.left(space).toInt(&ok);
        const QByteArray uidl = line.mid(space + 1).trimmed();
        if (!ok || pos < 1 || uidl.isEmpty())
            return false;
        entries.append({pos, QString::fromUtf8(uidl)});
    }
    *out = entries;
    return true;
}

} // namespace qm::mail
