#pragma once

#include <QSet>
#include <QString>

namespace qm {

// The names of the files (anything but folders) in a folder, read in one pass without a
// file-system call per entry: mail work folders hold thousands of messages and are listed
// every cycle. Empty when the folder cannot be read.
QSet<QString> fileNamesIn(const QString& folder);

} // namespace qm
