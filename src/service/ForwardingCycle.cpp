#include "service/ForwardingCycle.h"

#include "data/AccountFileReader.h"
#include "data/ForwardLog.h"
#include "data/MailConnectionFile.h"
#include "data/MailSecurity.h"
#include "service/EngineContext.h"
#include "service/FaxJobs.h"
#include "service/LoadFontSettings.h"
#include "service/ReceiveAndForward.h"
#include "service/SignIn.h"

namespace qm::service {

namespace {

const QString kAccountError = QStringLiteral("アカウント設定エラー");

// Log line for a line that cannot be served, naming its account number when it has one.
void logBadLine(EngineContext& ctx, const AccountLine& line)
{
    const QString first = line.shownNumber.isEmpty()
                              ? QString()
                              : QStringLiteral("アカウント番号") + line.shownNumber;
    ctx.writeLog(first, kAccountError, line.problem);
    ctx.showLog();
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
        m_ctx.account = Account();
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

void RunForwardingCycle(EngineContext& ctx)
{
    // Log lines of the cycle go to the journal; the log is rewritten once, at its end.
    const LogBatch logBatch;
    const CycleScope scope(ctx);
    AccountFileRead read = readAccountFile(ctx.paths);
    if (read.damaged) {
        // Once a cycle, and short: the file's content (the envelope) goes nowhere.
        const QString text = QStringLiteral("アカウントファイルを復号できません");
        ctx.writeLog(QString(), kAccountError, text);
        ctx.showLog();
        ++ctx.faultsThisCycle;
        if (ctx.screen)
            ctx.screen->faultLogged(QStringLiteral("quillmarc"), text);
        return;
    }
    if (!read.error.isEmpty())
        ctx.reportError(read.error);
    if (read.lines.isEmpty())
        return;
    QString connError;
    const auto connections = readAllMailConnectionValues(&connError);
    if (!connections) {
        // Never a weaker connection than the one the user chose: without the file, TLS is
        // required of every server.
        ctx.writeLog(QString(), QStringLiteral("接続設定 (MailConn.txt) を読めません"),
                     connError + QStringLiteral(" 全アカウントを暗号化必須で接続します"));
        ctx.showLog();
    }
    for (AccountLine& line : read.lines) {
        if (ctx.shouldStop())
            return;
        if (!line.account) {
            logBadLine(ctx, line);
            continue;
        }
        const QString accountNo = line.account->accountNo;
        MailSecurity security;
        if (connections) {
            security = mailSecurityOf(connections->value(accountNo));
        } else {
            security.pop = ConnectionSecurity::Required;
            security.smtp = ConnectionSecurity::Required;
        }
        line.account->applySecurity(security);
        ctx.account = std::move(*line.account);
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
