#pragma once

#include <QString>

namespace qm::service {

struct EngineContext;

// The per-account work folder and the three small files reception keeps for it.
struct AccountFiles
{
    QString workFolder;      // <program dir>/MlTmp<NN>: message files of the mail library
    QString attachFolder;    // workFolder/Attach
    QString dataFolder;      // workFolder/Data
    QString receivedList;    // dataFolder/MailRcv.log
    QString receiveCounter;  // dataFolder/RecvNo.txt
    QString attachmentIndex; // dataFolder/AttachNo.txt

    static AccountFiles forAccount(const EngineContext& ctx, const QString& accountNo);
};

} // namespace qm::service
