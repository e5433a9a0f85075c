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

// The account file's lines, or nullopt when there is none (or it cannot be read: reported).
std::optional<QStringList> readAccountLines(EngineContext& ctx)
{
    removeIfExists(ctx.paths.accountReadCopy);
    DataLock lock;
    if (!lock.isLocked()) {
        ctx.reportError(lock.error());
        return std::nullopt;
    }
    if (!QFile::exists(ctx.paths.accountFile))
        return std::nullopt;
    QString error;
    const auto stored = readStoredFile(ctx.paths.accountFile, &error);
    if (!stored) {
        ctx.reportError(error);
        return std::nullopt;
    }
    if (!stored->decryptError.isEmpty())
        ctx.reportError(stored->decryptError);
    // One undecodable byte must not stop every account: it only spoils its own field.
    const auto text = decodeCp932(stored->plain, DecodeMode::Lenient, &error);
    if (!text) {
        ctx.reportError(error);
        return std::nullopt;
    }
    return splitLines(*text);
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
    const auto lines = readAccountLines(ctx);
    if (!lines)
        return;
    for (const QString& line : *lines) {
        if (ctx.shouldStop())
            return;
        if (line.trimmed().isEmpty())
            continue;
        const QStringList fields = splitSettingsLine(line);
        const auto record = AccountRecord::fromFields(fields);
        if (!record) {
            logBadLine(ctx, fields, QStringLiteral("列の数が正しくありません"));
            continue;
        }
        if (record->PopServer.isEmpty())
            continue;
        try {
            ctx.account = LoadCurrentAccount(*record);
        } catch (const RuntimeError&) {
            logBadLine(ctx, fields, QStringLiteral("分割文字数または分割通数が数値ではありません"));
            continue;
        }
        LoadFontSettings(ctx, record->AccountNo);
        if (ctx.account.faxNumbers.isEmpty() && ctx.account.recipientList.isEmpty())
            continue;
        ReceiveAndForward(ctx, record->AccountNo);
    }
}

} // namespace qm::service
