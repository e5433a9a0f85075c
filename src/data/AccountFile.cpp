#include "data/AccountFile.h"

#include "data/AccountFileReader.h"
#include "data/AtomicFile.h"
#include "data/DataLock.h"
#include "data/Encryption.h"
#include "data/Paths.h"
#include "data/SettingsLine.h"
#include "data/TextCodec.h"

#include <QFileInfo>

namespace qm {

namespace {

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

RewriteResult failed(const QString& text)
{
    RewriteResult r;
    r.error = text;
    return r;
}

} // namespace

std::optional<AccountTable> readAccountTable(QString* error)
{
    const auto stored = readStoredAccountLines(filePaths(), error);
    if (!stored)
        return std::nullopt;
    AccountTable table;
    table.fileExists = stored->fileExists;
    table.decryptError = stored->decryptError;
    for (const QString& line : stored->lines) {
        if (auto rec = AccountRecord::fromLine(line))
            table.records.append(*rec);
        else
            ++table.nonRecordLines;
    }
    return table;
}

RewriteResult rewriteAccountFile(const QString& accountNo,
                                 const std::function<void(AccountRecord&)>& replace,
                                 const std::optional<QString>& appendLine)
{
    const FilePaths& p = filePaths();
    QString error;
    if (!ensureDataDir(&error))
        return failed(error);
    DataLock lock;
    if (!lock.isLocked())
        return failed(lock.error());

    QStringList out;
    RewriteResult result;
    if (QFileInfo::exists(p.accountFile)) {
        const auto stored = readStoredFile(p.accountFile, &error);
        if (!stored)
            return failed(error);
        if (stored->tampered)
            return failed(
                QStringLiteral("アカウントファイルを復号できないため、書き換えを中止しました。(%1)")
                    .arg(stored->decryptError));
        // Strict: rewriting undecodable bytes would corrupt them, so refuse instead.
        const auto text = decodeCp932(stored->plain, DecodeMode::Strict, &error);
        if (!text)
            return failed(QStringLiteral("アカウントファイルを書き換えられません: %1").arg(error));
        const QStringList lines = splitLines(*text);
        out.reserve(lines.size() + 1);
        for (const QString& line : lines) {
            auto rec = AccountRecord::fromLine(line);
            if (!rec) {
                // Not a record: kept as it was, so nothing the user typed is lost.
                out.append(line);
                continue;
            }
            if (rec->AccountNo == accountNo) {
                if (replace)
                    replace(*rec);
                result.replaced = true;
            }
            out.append(buildReplacedLine(*rec));
        }
    }
    if (!result.replaced && appendLine) {
        out.append(*appendLine);
        result.appended = true;
    }

    const auto bytes = encodeLines(out, &error);
    if (!bytes)
        return failed(QStringLiteral("アカウントファイルを書き換えられません: %1").arg(error));
    if (!writeStoredFile(p.accountFile, *bytes, &error))
        return failed(error);
    // Work copies of an older run, and temp files of a crashed one, are no longer used.
    removeStaleTempFiles(p.accountFile);
    removeIfExists(p.accountWorkCopy);
    removeIfExists(p.accountWriteCopy);
    result.ok = true;
    return result;
}

RewriteResult saveAccount(const AccountRecord& record)
{
    if (!AccountRecord::isAccountNumber(record.AccountNo))
        return failed(QStringLiteral("アカウント番号が正しくありません: %1").arg(record.AccountNo));
    const QStringList bad = unstorableColumns(record);
    if (!bad.isEmpty())
        return failed(QStringLiteral("カンマ(,)や二重引用符(\")を含む項目は登録できません: %1")
                          .arg(bad.join(QStringLiteral(", "))));
    AccountRecord appended = record;
    if (appended.SmtpAuthMethod.isEmpty())
        appended.SmtpAuthMethod = QStringLiteral("0");
    RewriteResult r = rewriteAccountFile(
        record.AccountNo,
        [&record](AccountRecord& old) {
            const QString previousMethod = old.SmtpAuthMethod;
            old = record;
            if (old.SmtpAuthMethod.isEmpty())
                old.SmtpAuthMethod = previousMethod;
        },
        buildAppendedLine(appended));
    if (r.ok && r.appended) {
        QString error;
        if (!ensureWorkFolders(record.AccountNo, &error))
            r.error = error; // saved; the folders are made again by the service when it needs them
    }
    return r;
}

RewriteResult deleteAccount(const QString& accountNo)
{
    if (!AccountRecord::isAccountNumber(accountNo))
        return failed(QStringLiteral("アカウント番号が正しくありません: %1").arg(accountNo));
    return rewriteAccountFile(
        accountNo, [&accountNo](AccountRecord& old) { old = deletedAccountTemplate(accountNo); },
        std::nullopt);
}

bool writeHandOverRecord(const QString& accountNo, QString* error)
{
    const auto table = readAccountTable(error);
    if (!table)
        return false;
    for (const AccountRecord& r : table->records) {
        if (r.AccountNo == accountNo)
            return writeHandOverRecord(r, error);
    }
    if (!ensureDataDir(error))
        return false;
    return writeTextLines(filePaths().handOverRecord, {newAccountTemplateLine(accountNo)}, error);
}

bool writeHandOverRecord(const AccountRecord& record, QString* error)
{
    if (!ensureDataDir(error))
        return false;
    return writeTextLines(filePaths().handOverRecord, {buildReplacedLine(record)}, error);
}

std::optional<AccountRecord> readHandOverRecord(QString* error)
{
    const auto lines = readTextLines(filePaths().handOverRecord, DecodeMode::Strict, error);
    if (!lines)
        return std::nullopt;
    if (lines->isEmpty()) {
        setError(error,
                 QStringLiteral("受け渡しファイルが空です: %1").arg(filePaths().handOverRecord));
        return std::nullopt;
    }
    auto rec = AccountRecord::fromLine(lines->first());
    if (!rec)
        setError(error, QStringLiteral("受け渡しファイルの形式が正しくありません: %1")
                            .arg(filePaths().handOverRecord));
    return rec;
}

bool deleteHandOverRecord(QString* error)
{
    return removeIfExists(filePaths().handOverRecord, error);
}

} // namespace qm
