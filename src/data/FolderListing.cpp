#include "data/FolderListing.h"

#include <QFile>
#include <dirent.h>
#include <sys/stat.h>

namespace qm {

QSet<QString> fileNamesIn(const QString& folder)
{
    QSet<QString> names;
    const QByteArray path = QFile::encodeName(folder);
    DIR* dir = ::opendir(path.constData());
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        bool isFolder = entry->d_type == DT_DIR;
        // Some file systems do not say; only then is the entry looked at.
        if (entry->d_type == DT_UNKNOWN) {
            struct stat st
            {
            };
            isFolder = ::fstatat(::dirfd(dir), entry->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        if (!isFolder)
            names.insert(QFile::decodeName(entry->d_name));
    }
    ::closedir(dir);
    return names;
}

} // namespace qm
