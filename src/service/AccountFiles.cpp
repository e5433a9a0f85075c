#include "service/AccountFiles.h"

#include "service/EngineContext.h"

namespace qm::service {

AccountFiles AccountFiles::forAccount(const EngineContext& ctx, const QString& accountNo)
{
    AccountFiles f;
    f.dataHome = ctx.paths.dataHome;
    f.workFolder = ctx.paths.dataHome + QStringLiteral("/MlTmp") + accountNo;
    f.attachFolder = f.workFolder + QStringLiteral("/Attach");
    f.dataFolder = f.workFolder + QStringLiteral("/Data");
    f.receivedList = f.dataFolder + QStringLiteral("/MailRcv.log");
    f.receiveCounter = f.dataFolder + QStringLiteral("/RecvNo.txt");
    f.attachmentIndex = f.dataFolder + QStringLiteral("/AttachNo.txt");
    f.progressLog = f.dataFolder + QStringLiteral("/MailProg.log");
    f.pendingDeletes = f.dataFolder + QStringLiteral("/MailDele.log");
    return f;
}

} // namespace qm::service
