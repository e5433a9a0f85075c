#include "service/FaxTextSettings.h"

#include "data/AccountSettings.h"
#include "data/SettingsLine.h"
#include "data/TextCodec.h"
#include "platform/system/RegistryStore.h"
#include "service/EngineContext.h"
#include "service/Numeric.h"
#include "service/RuntimeError.h"

#include <QFileInfo>
#include <cmath>

namespace qm::service {

namespace {

// The renderer's own font as it was before the text fax (held like the window's fields).
struct SavedFont
{
    QString face;
    qint32 size = 0;
};
SavedFont g_saved;

QString root()
{
    return QString::fromUtf16(kTextFaxRoot);
}
QString key()
{
    return QString::fromUtf16(kTextFaxKey);
}

} // namespace

bool SetNotepadPrinting(EngineContext& ctx, const QString& accountNo)
{
    try {
        g_saved.face = ReadRegistryValue(root(), key(), QString::fromUtf16(kTextFaxFace),
                                         RegistryType::String, QString())
                           .toString();
        g_saved.size = ReadRegistryValue(root(), key(), QString::fromUtf16(kTextFaxSize),
                                         RegistryType::Dword, 0)
                           .toInt();

        QString font;
        qint64 wanted = 0;
        const QString table = ctx.paths.fontTable;
        if (QFileInfo::exists(table)) {
            QString error;
            const auto lines = readTextLines(table, DecodeMode::Lenient, &error);
            if (!lines)
                throw RuntimeError(error);
            // The whole file is read: the last line of the account counts.
            for (const QString& line : *lines) {
                const QStringList f = splitSettingsLine(line);
                if (f.value(0) != accountNo)
                    continue;
                font = f.value(5);
                const QString sizeText = f.value(6);
                const double size = IsNumeric(sizeText)
                                        ? QString(sizeText).remove(u',').trimmed().toDouble()
                                        : 11.0;
                wanted = std::llround(size * 10);
            }
        }
        if (wanted < 1)
            return false;
        if (wanted > 10000)
            wanted = 10000; // a size no page can hold is not a font to switch to
        WriteRegistryValue(root(), key(), QString::fromUtf16(kTextFaxFace), RegistryType::String,
                           font);
        WriteRegistryValue(root(), key(), QString::fromUtf16(kTextFaxSize), RegistryType::Dword,
                           qint32(wanted));
        return true;
    } catch (const RuntimeError& e) {
        ctx.reportError(e.description());
        return false;
    }
}

void RestoreNotepadPrinting(EngineContext&)
{
    // Registry writes that fail are not tested, as everywhere else.
    WriteRegistryValue(root(), key(), QString::fromUtf16(kTextFaxFace), RegistryType::String,
                       g_saved.face);
    WriteRegistryValue(root(), key(), QString::fromUtf16(kTextFaxSize), RegistryType::Dword,
                       g_saved.size);
}

void MarkFaxFontUnavailable(EngineContext& ctx)
{
    QString error;
    if (!resetFaxFonts(&error))
        ctx.reportError(error);
}

TextFaxStyle CurrentTextFaxStyle()
{
    TextFaxStyle style;
    const QString face = ReadRegistryValue(root(), key(), QString::fromUtf16(kTextFaxFace),
                                           RegistryType::String, QString())
                             .toString();
    const int tenths =
        ReadRegistryValue(root(), key(), QString::fromUtf16(kTextFaxSize), RegistryType::Dword, 0)
            .toInt();
    if (!face.isEmpty())
        style.fontName = face;
    if (tenths > 0)
        style.pointSize = std::max(1, (tenths + 5) / 10);
    return style;
}

} // namespace qm::service
