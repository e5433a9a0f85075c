#include "platform/mail/AttachmentFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace qm::mail {

namespace {
constexpr qsizetype kMaxChars = 100;
constexpr qsizetype kMaxBytes = 200;
constexpr qsizetype kMaxExtension = 10;
constexpr int kMaxTries = 100;

bool unwanted(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x20 || u == 0x7F || (u >= 0x80 && u <= 0x9F))
        return true;
    // Direction overrides can make "exe.pdf" look like "fdp.exe".
    if ((u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069) || u == 0x200E || u == 0x200F)
        return true;
    return false;
}

void splitExtension(const QString& name, QString* stem, QString* ext)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot > 0 && name.size() - dot <= kMaxExtension + 1) {
        *stem = name.left(dot);
        *ext = name.mid(dot);
    } else {
        *stem = name;
        ext->clear();
    }
}
} // namespace

QString safeAttachmentName(const QString& fromMail, const QString& fallbackExtension)
{
    QString s = fromMail;
    // Mailers sometimes send the sender's full path: keep only its last part.
    const qsizetype cut =
        std::max(s.lastIndexOf(QLatin1Char('/')), s.lastIndexOf(QLatin1Char('\\')));
    if (cut >= 0)
        s = s.mid(cut + 1);
    QString cleaned;
    cleaned.reserve(s.size());
    for (const QChar c : s) {
        if (unwanted(c))
            continue;
        if (QStringLiteral("<>:\"|?*").contains(c))
            cleaned += QLatin1Char('_');
        else
            cleaned += c;
    }
    // Leading dots would hide the file; trailing dots and spaces are dropped by Windows.
    while (!cleaned.isEmpty() && (cleaned.front() == QLatin1Char('.') || cleaned.front().isSpace()))
        cleaned.remove(0, 1);
    while (!cleaned.isEmpty() && (cleaned.back() == QLatin1Char('.') || cleaned.back().isSpace()))
        cleaned.chop(1);
    if (cleaned.isEmpty())
        cleaned = QStringLiteral("attachment") + fallbackExtension;

    QString stem, ext;
    splitExtension(cleaned, &stem, &ext);
    while (!stem.isEmpty() &&
           (stem.size() + ext.size() > kMaxChars || (stem + ext).toUtf8().size() > kMaxBytes)) {
        stem.chop(stem.back().isLowSurrogate() && stem.size() > 1 ? 2 : 1);
    }
    if (stem.isEmpty())
        stem = QStringLiteral("attachment");
    return stem + ext;
}

QString extensionForMimeType(const QString& mimeType)
{
    const QString suffix =
        QMimeDatabase().mimeTypeForName(mimeType.trimmed().toLower()).preferredSuffix();
    return suffix.isEmpty() ? QStringLiteral(".bin") : QLatin1Char('.') + suffix;
}

int createUniqueFile(const QString& folder, const QString& name, QString* path)
{
    const QDir dir(folder);
    const QString home = QFileInfo(dir.absolutePath()).absoluteFilePath();
    QString stem, ext;
    splitExtension(name, &stem, &ext);
    auto candidate = [&](int n) {
        return dir.absoluteFilePath(n == 1 ? name
                                           : QStringLiteral("%1 (%2)%3").arg(stem).arg(n).arg(ext));
    };
    auto taken = [&](int n) { return QFileInfo::exists(candidate(n)); };
    for (int attempt = 0; attempt < kMaxTries; ++attempt) {
        // An office gets "report.pdf" every day: find the first free number by doubling
        // and halving instead of trying every number taken before.
        int free = 1;
        if (taken(1)) {
            int lo = 1;
            int hi = 2;
            while (taken(hi) && hi < (1 << 24)) {
                lo = hi;
                hi *= 2;
            }
            while (hi - lo > 1) {
                const int mid = lo + (hi - lo) / 2;
                (taken(mid) ? lo : hi) = mid;
            }
            free = hi;
        }
        const QString full = candidate(free);
        if (QFileInfo(full).absolutePath() != home)
            return -1; // never outside the folder, whatever the name holds
        const int fd = ::open(QFile::encodeName(full).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            *path = full;
            return fd;
        }
        if (errno != EEXIST)
            return -1;
        // Someone took it meanwhile: look again.
    }
    return -1;
}

} // namespace qm::mail
