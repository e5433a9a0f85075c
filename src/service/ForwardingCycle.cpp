#include "service/ForwardingCycle.h"

#include "data/AccountRecord.h"
#include "data/AccountSettings.h"
#include "data/AtomicFile.h"
#include "data/DataLock.h"
#include "data/Encryption.h"
#include "data/SettingsLine.h"
#include "data/TextCodec.h"
#include "service/AccountLoader.h"
#include "service/EngineContext.h"
#include "service/ReceiveAndForward.h"
#include "service/RuntimeError.h"

#include <QFile>
#include <optional>

namespace qm::service {

namespace {

const QString kAccountError = QStringLiteral("アカウント設定エラー");

// The account file's lines, or nullopt when there is none (or it cannot be read: reported
// when ctx is given). Touches no file.
std::optional<QStringList> readAccountLines(const FilePaths& paths, EngineContext* ctx)
{
    const auto report = [ctx](const QString& error) {
        if (ctx)
            ctx->reportError(error);
    };
    DataLock lock;
    if (!lock.isLocked()) {
        report(lock.error());
        return std::nullopt;
    }
    if (!QFile::exists(paths.accountFile))
        return std::nullopt;
    QString error;
    const auto stored = readStoredFile(paths.accountFile, &error);
    if (!stored) {
        report(error);
        return std::nullopt;
    }
    if (!stored->decryptError.isEmpty())
        report(stored->decryptError);
    // One undecodable byte must not stop every account: it only spoils its own field.
    const auto text = decodeCp932(stored->plain, DecodeMode::Lenient, &error);
    if (!text) {
        report(error);
        return std::nullopt;
    }
    return splitLines(*text);
}

// The account a line of the account file stands for, when a cycle serves it; why not in
// *bad when the line is not a valid account (nothing is said of lines skipped by rule).
std::optional<CurrentAccount> servedAccount(const QStringList& fields, QString* bad)
{
    const auto record = AccountRecord::fromFields(fields);
    if (!record) {
        *bad = QStringLiteral("列の数が正しくありません");
        return std::nullopt;
    }
    if (record->PopServer.isEmpty())
        return std::nullopt;
    CurrentAccount account;
    try {
        account = LoadCurrentAccount(*record);
    } catch (const RuntimeError&) {
        *bad = QStringLiteral("分割文字数または分割通数が数値ではありません");
        return std::nullopt;
    }
    if (account.faxNumbers.isEmpty() && !account.hasRecipients())
        return std::nullopt;
    return account;
}

// Log line for a line that cannot be served, naming its account number when it has one.
void logBadLine(EngineContext& ctx, const QStringList& fields, const QString& reason)
{
    const QString number = fields.value(0).trimmed();
    const QString first = number.isEmpty() ? QString() : QStringLiteral("アカウント番号") + number;
    ctx.writeLog(first, kAccountError, reason);
    ctx.showLog();
}

} // namespace

void LoadFontSettings(EngineContext& ctx, const QString& accountNo)
{
    ctx.font = loadFontSettings(accountNo);
}

void RunForwardingCycle(EngineContext& ctx)
{
    removeIfExists(ctx.paths.accountReadCopy);
    const auto lines = readAccountLines(ctx.paths, &ctx);
    if (!lines)
        return;
    for (const QString& line : *lines) {
        if (ctx.shouldStop())
            return;
        if (line.trimmed().isEmpty())
            continue;
        const QStringList fields = splitSettingsLine(line);
        QString bad;
        auto account = servedAccount(fields, &bad);
        if (!account) {
            if (!bad.isEmpty())
                logBadLine(ctx, fields, bad);
            continue;
        }
        const QString accountNo = account->accountNo;
        ctx.account = std::move(*account);
        LoadFontSettings(ctx, accountNo);
        ReceiveAndForward(ctx, accountNo);
    }
}

} // namespace qm::service
