#pragma once

#include <QString>

namespace qm {

struct FilePaths;

// The per-account work folder and the small files reception keeps for it.
struct AccountFiles
{
    QString dataHome;        // the folder holding Data/ and the work folders
    QString workFolder;      // <data home>/MlTmp<NN>: message files of the mail library
    QString attachFolder;    // workFolder/Attach
    QString dataFolder;      // workFolder/Data
    QString receivedList;    // dataFolder/MailRcv.log
    QString receiveCounter;  // dataFolder/RecvNo.txt
    QString attachmentIndex; // dataFolder/AttachNo.txt
    QString progressLog;     // dataFolder/MailProg.log: how far unfinished messages got
    QString pendingDeletes;  // dataFolder/MailDele.log: deletions not yet seen done

    static AccountFiles forAccount(const FilePaths& paths, const QString& accountNo);
};

} // namespace qm
