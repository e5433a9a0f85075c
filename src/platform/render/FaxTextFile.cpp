#include "data/TextCodec.h"
#include "platform/render/TextFaxRenderer.h"

#include <QStringConverter>

namespace qm {

bool readFaxText(const QString& path, QString* text, QString* error)
{
    QString readError;
    const auto bytes = readFileBytes(path, &readError);
    std::optional<QString> decoded;
    if (bytes) {
        QByteArray data = *bytes;
        if (data.startsWith("\xEF\xBB\xBF"))
            data.remove(0, 3);
        QStringDecoder utf8(QStringDecoder::Utf8);
        decoded = utf8.decode(data);
        // Not UTF-8: the text files of this system are Shift-JIS; show what can be shown.
        if (utf8.hasError())
            decoded = decodeCp932(data, DecodeMode::Lenient, &readError);
    }
    if (!decoded) {
        if (error)
            *error = readError;
        return false;
    }
    *text = *decoded;
    return true;
}

} // namespace qm
