#include "service/ForwardingCycle.h"

#include "data/AccountRecord.h"
#include "data/AccountSettings.h"
#include "data/AtomicFile.h"
#include "data/DataLock.h"
#include "data/Encryption.h"
#include "data/ForwardLog.h"
#include "data/MailConnectionFile.h"
#include "data/SettingsLine.h"
#include "data/TextCodec.h"
#include "service/AccountLoader.h"
#include "service/EngineContext.h"
#include "service/FaxJobs.h"
#include "service/ReceiveAndForward.h"
#include "service/RuntimeError.h"
#include "service/SignIn.h"

#include <QFile>
#include <algorithm>
#include <optional>

namespace qm::service {

namespace {

const QString kAccountError = QStringLiteral("アカウント設定エラー");

// What a read of the account file gives. Errors are only collected here: the data lock is
// held while reading, and must not be while a message box waits for the user (the account
// manager's saves would time out meanwhile).
struct AccountFileRead
{
    std::optional<QStringList> lines; // nullopt: no file, or nothing usable in it
    QString error;                    // for a message box, once the lock is released
    bool damaged = false;             // an envelope that does not decrypt
};

// Touches no file.
AccountFileRead readAccountLines(const FilePaths& paths)
{
    AccountFileRead read;
    DataLock lock;
    if (!lock.isLocked()) {
        read.error = lock.error();
        return read;
    }
    if (!QFile::exists(paths.accountFile))
        return read;
    const auto stored = readStoredFile(paths.accountFile, &read.error);
    if (!stored)
        return read;
    if (stored->tampered) {
        read.damaged = true;
        return read;
    }
    // One undecodable byte must not stop every account: it only spoils its own field.
    const auto text = decodeCp932(stored->plain, DecodeMode::Lenient, &read.error);
    if (text)
        read.lines = splitLines(*text);
    return read;
}

// The account a line of the account file stands for, when a cycle serves it; why not in
// *bad when the line is not a valid account (nothing is said of lines skipped by rule).
std::optional<CurrentAccount> servedAccount(const QStringList& fields, QString* bad)
{
    const auto record = AccountRecord::fromFields(fields);
    if (!record) {
        *bad = fields.size() == AccountRecord::kColumnCount
                   ? QStringLiteral("アカウント番号が正しくありません")
                   : QStringLiteral("列の数が正しくありません");
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
// Anything else in the first field (a line of a damaged file, say) stays out of the log.
void logBadLine(EngineContext& ctx, const QStringList& fields, const QString& reason)
{
    const QString number = fields.value(0).trimmed();
    const bool isNumber =
        (number.size() == 1 || number.size() == 2) &&
        std::all_of(number.begin(), number.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    const QString first = isNumber ? QStringLiteral("アカウント番号") + number : QString();
    ctx.log({.account = first, .sender = kAccountError, .destination = reason});
}

// Marks the context as in a cycle for its length, and tells the screen how it went however
// the cycle ends.
class CycleScope
{
public:
    explicit CycleScope(EngineContext& ctx) : m_ctx(ctx)
    {
        m_ctx.inCycle = true;
        m_ctx.faultsThisCycle = 0;
        m_ctx.noticesThisCycle.clear();
        // Nothing is said under the last cycle's last account before this one reaches it.
        m_ctx.account = CurrentAccount();
    }
    ~CycleScope()
    {
        m_ctx.inCycle = false;
        if (m_ctx.screen)
            m_ctx.screen->cycleEnded(m_ctx.faultsThisCycle);
    }
    CycleScope(const CycleScope&) = delete;
    CycleScope& operator=(const CycleScope&) = delete;

private:
    EngineContext& m_ctx;
};

} // namespace

void LoadFontSettings(EngineContext& ctx, const QString& accountNo)
{
    ctx.font = fontSettingsFor(accountNo);
}

void RunForwardingCycle(EngineContext& ctx)
{
    // Log lines of the cycle go to the journal; the log is rewritten once, at its end.
    const LogBatch logBatch;
    const CycleScope scope(ctx);
    removeIfExists(ctx.paths.accountReadCopy);
    const AccountFileRead read = readAccountLines(ctx.paths);
    if (read.damaged) {
        // Once a cycle, and short: the file's content (the envelope) goes nowhere.
        const QString text = QStringLiteral("アカウントファイルを復号できません");
        ctx.log({.sender = kAccountError, .destination = text});
        ++ctx.faultsThisCycle;
        if (ctx.screen)
            ctx.screen->faultLogged(QStringLiteral("quillmarc"), text);
        return;
    }
    if (!read.error.isEmpty())
        ctx.reportError(read.error);
    if (!read.lines)
        return;
    QString connError;
    const auto connections = readAllMailConnectionValues(&connError);
    if (!connections) {
        // Never a weaker connection than the one the user chose: without the file, TLS is
        // required of every server.
        ctx.log(
            {.sender = QStringLiteral("接続設定 (MailConn.txt) を読めません"),
             .destination = connError + QStringLiteral(" 全アカウントを暗号化必須で接続します")});
    }
    for (const QString& line : *read.lines) {
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
        MailSecurity security;
        if (connections) {
            security = mailSecurityOf(connections->value(accountNo));
        } else {
            security.pop = ConnectionSecurity::Required;
            security.smtp = ConnectionSecurity::Required;
        }
        ApplyMailSecurity(*account, security);
        ctx.account = std::move(*account);
        if (!ApplySignIn(ctx))
            continue;
        LoadFontSettings(ctx, accountNo);
        ReceiveAndForward(ctx, accountNo);
        // After the mail: a gateway's notice collected just now is taken before the backends
        // are asked.
        if (ctx.faxPlatform && !ctx.shouldStop())
            CheckFaxJobs(ctx);
    }
}

} // namespace qm::service
