#include "data/AccountFileReader.h"

#include "data/AccountRecord.h"
#include "data/AtomicFile.h"
#include "data/DataLock.h"
#include "data/Encryption.h"
#include "data/Numbers.h"
#include "data/Paths.h"
#include "data/SettingsLine.h"
#include "data/TextCodec.h"

#include <QFileInfo>

namespace qm {

namespace {

// The line as the cycle takes it; nullopt for a line skipped by rule.
std::optional<AccountLine> accountLineOf(const QString& line)
{
    if (line.trimmed().isEmpty())
        return std::nullopt;
    const QStringList fields = splitSettingsLine(line);
    AccountLine out;
    const QString number = fields.value(0).trimmed();
    if (number.size() <= 2 && isAsciiDigits(number))
        out.shownNumber = number;
    const auto record = AccountRecord::fromFields(fields);
    if (!record) {
        out.problem = fields.size() == AccountRecord::kColumnCount
                          ? QStringLiteral("アカウント番号が正しくありません")
                          : QStringLiteral("列の数が正しくありません");
        return out;
    }
    if (record->isVacant())
        return std::nullopt;
    out.account = Account::fromRecord(*record);
    if (!out.account) {
        out.problem = QStringLiteral("分割文字数または分割通数が数値ではありません");
        return out;
    }
    if (out.account->faxNumbers.isEmpty() && !out.account->hasRecipients())
        return std::nullopt;
    return out;
}

} // namespace

std::optional<StoredAccountLines> readStoredAccountLines(const FilePaths& paths, QString* error)
{
    DataLock lock;
    if (!lock.isLocked()) {
        if (error)
            *error = lock.error();
        return std::nullopt;
    }
    // Reads decrypt in memory; a read copy left by an older run is only removed.
    removeIfExists(paths.accountReadCopy);
    StoredAccountLines read;
    if (!QFileInfo::exists(paths.accountFile))
        return read;
    read.fileExists = true;
    const auto stored = readStoredFile(paths.accountFile, error);
    if (!stored)
        return std::nullopt;
    if (stored->tampered) {
        read.damaged = true;
        read.decryptError = stored->decryptError;
        return read;
    }
    const auto text = decodeCp932(stored->plain, DecodeMode::Lenient, error);
    if (!text)
        return std::nullopt;
    read.lines = splitLines(*text);
    return read;
}

AccountFileRead readAccountFile(const FilePaths& paths)
{
    AccountFileRead read;
    const auto stored = readStoredAccountLines(paths, &read.error);
    if (!stored)
        return read;
    read.damaged = stored->damaged;
    for (const QString& line : stored->lines) {
        if (auto served = accountLineOf(line))
            read.lines.append(std::move(*served));
    }
    return read;
}

} // namespace qm
