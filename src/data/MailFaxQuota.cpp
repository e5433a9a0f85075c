#include "data/MailFaxQuota.h"

#include "data/DataLock.h"
#include "data/SettingsLine.h"
#include "data/TextCodec.h"

#include <QDir>
#include <QFileInfo>

namespace qm {

bool countMailFaxJob(const QString& dataDir, const QString& sender, const QDate& day, int cap,
                     QString* error)
{
    if (cap <= 0)
        return false;
    const QString path = QDir(dataDir).filePath(QStringLiteral("FaxCount.txt"));
    const QString today = day.toString(Qt::ISODate);
    // An address the file cannot hold as it is is counted in the form it can hold.
    const QString who =
        isStorableField(sender) ? toCp932Safe(sender.toLower()) : QStringLiteral("?");
    DataLock lock;
    if (!lock.isLocked()) {
        if (error)
            *error = lock.error();
        return false;
    }
    QStringList kept;
    int count = 0;
    if (QFileInfo::exists(path)) {
        for (const QString& line :
             readTextLines(path, DecodeMode::Lenient, error).value_or(QStringList())) {
            const QStringList f = splitSettingsLine(line);
            if (f.value(0) != today || f.size() < 3)
                continue;
            if (f.value(1) == who)
                count = f.value(2).toInt();
            else
                kept << line;
        }
    }
    if (count >= cap)
        return false;
    kept << joinQuoted({today, who, QString::number(count + 1)});
    return writeTextLines(path, kept, error);
}

} // namespace qm
