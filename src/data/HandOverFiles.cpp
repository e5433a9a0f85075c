#include "data/HandOverFiles.h"

#include "data/AtomicFile.h"
#include "data/Paths.h"
#include "data/SettingsLine.h"
#include "data/TextCodec.h"

#include <QFileInfo>

namespace qm {

bool WriteModeFile(const QString& command, QString* error)
{
    return ensureDataDir(error) &&
           writeTextLines(filePaths().modeFile, {joinQuoted({command})}, error);
}

std::optional<QString> readModeFile()
{
    const auto lines = readTextLines(filePaths().modeFile, DecodeMode::Lenient);
    if (!lines)
        return std::nullopt;
    if (lines->isEmpty())
        return QString();
    return splitSettingsLine(lines->first()).first();
}

bool modeFileExists()
{
    return QFileInfo::exists(filePaths().modeFile);
}

bool deleteModeFile(QString* error)
{
    return removeIfExists(filePaths().modeFile, error);
}

} // namespace qm
