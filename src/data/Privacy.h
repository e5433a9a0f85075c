#pragma once

#include <QString>

namespace qm {

// Everything the programs create is their user's alone: Data/ holds passwords and the work
// folders hold other people's mail. Sets the process's file-creation mask so files are made
// 0600 and folders 0700 whatever the caller's mask was; call first thing in main. Child
// processes (the office, Ghostscript) inherit it.
void makeCreatedFilesPrivate();

// The mask the process was started with, for files meant for another program's user (a
// spool folder outside the data folder).
unsigned originalFileMask();

// A warning when the data folder, the account file or a work folder (MlTmpNN with its Attach
// and Data below dataHome) can be read or written by other users ("" when not), e.g. after
// a copy made with a careless mask or an upgrade from a layout that did not care.
QString sharedDataWarning(const QString& dataDir, const QString& accountFile,
                          const QString& dataHome = QString());

} // namespace qm
