#include "data/AccountFiles.h"

#include "data/Paths.h"

namespace qm {

AccountFiles AccountFiles::forAccount(const FilePaths& paths, const QString& accountNo)
{
    AccountFiles f;
    f.dataHome = paths.dataHome;
    f.workFolder = paths.dataHome + QStringLiteral("/MlTmp") + accountNo;
    f.attachFolder = f.workFolder + QStringLiteral("/Attach");
    f.dataFolder = f.workFolder + QStringLiteral("/Data");
    f.receivedList = f.dataFolder + QStringLiteral("/MailRcv.log");
    f.receiveCounter = f.dataFolder + QStringLiteral("/RecvNo.txt");
    f.attachmentIndex = f.dataFolder + QStringLiteral("/AttachNo.txt");
    f.progressLog = f.dataFolder + QStringLiteral("/MailProg.log");
    f.pendingDeletes = f.dataFolder + QStringLiteral("/MailDele.log");
    return f;
}

} // namespace qm
