#include "data/AccountTransaction.h"

#include "data/AccountFile.h"
#include "data/AtomicFile.h"
#include "data/DataLock.h"
#include "data/Paths.h"
#include "data/TextCodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <optional>

namespace qm {

namespace {

// Raw bytes of the files a save touches, so a failing step can put them all back.
class FileSnapshot
{
public:
    explicit FileSnapshot(const QStringList& paths)
    {
        for (const QString& path : paths)
            m_files.append({path, QFileInfo::exists(path), readFileBytes(path)});
    }

    // The files that could not be put back.
    QStringList restore() const
    {
        QStringList stuck;
        for (const Entry& e : m_files) {
            // A file that existed but could not be read was not changed by the save either.
            const bool back = e.bytes     ? writeFileAtomic(e.path, *e.bytes)
                              : e.existed ? true
                                          : removeIfExists(e.path);
            if (!back)
                stuck.append(QDir::toNativeSeparators(e.path));
        }
        return stuck;
    }

private:
    struct Entry
    {
        QString path;
        bool existed;
        std::optional<QByteArray> bytes;
    };
    QList<Entry> m_files;
};

} // namespace

bool saveAccountEntry(const AccountEntry& entry, QString* error)
{
    QString ignored;
    QString& err = error ? *error : ignored;
    DataLock lock;
    if (!lock.isLocked()) {
        err = lock.error();
        return false;
    }
    const FilePaths& paths = filePaths();
    const AccountRecord record = normalizeEditedRecord(entry.record);
    const QString& n = record.AccountNo;
    FontDataRow font = entry.font;
    font.AccountNo = n;

    // Taken under the lock that the whole save holds, so putting it back cannot undo a
    // rewrite the service made in between.
    const FileSnapshot before({paths.accountFile, paths.delStringFile, paths.fontTable,
                               paths.faxOptFile, paths.mailConnFile});
    const RewriteResult result = saveAccount(record);
    if (!result.ok) {
        // The account file is replaced whole or not at all: nothing has changed yet.
        err = result.error;
        return false;
    }
    // Without an error here the new account's work folders exist.
    err = result.error;
    if (err.isEmpty() && saveDeleteStrings(n, entry.deleteStrings, &err) &&
        saveFontDataRow(font, &err) && saveFaxOption(n, entry.faxOption, &err) &&
        saveMailConnectionValues(n, entry.connection, &err))
        return true;

    const QStringList stuck = before.restore();
    if (!stuck.isEmpty()) {
        err += QStringLiteral("\n次のファイルを元に戻せませんでした。\n%1")
                   .arg(stuck.join(QLatin1Char('\n')));
    }
    return false;
}

AccountDeletion deleteAccountAndWorkFiles(const QString& accountNo)
{
    AccountDeletion deletion;
    DataLock lock;
    if (!lock.isLocked()) {
        deletion.error = lock.error();
        return deletion;
    }
    if (!QFileInfo::exists(filePaths().accountFile)) {
        deletion.ok = true;
        return deletion;
    }
    const RewriteResult result = deleteAccount(accountNo);
    if (!result.ok) {
        deletion.error = result.error;
        return deletion;
    }
    deletion.ok = true;
    if (!result.replaced)
        return deletion;
    // Its sign-in tokens must not outlive it, nor pass to a later account of that number.
    QString connError;
    if (!saveMailConnectionValues(accountNo, {}, &connError))
        deletion.filesLeft.append(QDir::toNativeSeparators(filePaths().mailConnFile));

    for (const QString& folder : {workFolder(accountNo), workAttachFolder(accountNo)}) {
        const QDir dir(folder);
        const QStringList files = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
        for (const QString& name : files) {
            if (!QFile::remove(dir.filePath(name)))
                deletion.filesLeft.append(QDir::toNativeSeparators(dir.filePath(name)));
        }
    }
    return deletion;
}

} // namespace qm
