#include "service/FaxTextSettings.h"

#include "data/AccountSettings.h"
#include "data/Numbers.h"
#include "data/SettingsLine.h"
#include "data/TextCodec.h"
#include "service/EngineContext.h"
#include "service/RuntimeError.h"

#include <QFileInfo>
#include <cmath>

namespace qm::service {

std::optional<TextFaxStyle> LoadFaxTextStyle(EngineContext& ctx, const QString& accountNo)
{
    try {
        QString font;
        qint64 tenths = 0;
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
                const double size = readNumber(sizeText, NumberForm::Grouped).value_or(11.0);
                tenths = std::llround(size * 10);
            }
        }
        if (tenths < 1)
            return std::nullopt;
        // A size no page can hold is not a font to draw in.
        tenths = std::min<qint64>(tenths, 10000);
        TextFaxStyle style;
        if (!font.isEmpty())
            style.fontName = font;
        style.pointSize = std::max<int>(1, int((tenths + 5) / 10));
        return style;
    } catch (const RuntimeError& e) {
        ctx.reportError(e.description());
        return std::nullopt;
    }
}

void MarkFaxFontUnavailable(EngineContext& ctx)
{
    QString error;
    if (!resetFaxFonts(&error))
        ctx.reportError(error);
}

} // namespace qm::service
