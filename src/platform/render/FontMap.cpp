#include "platform/render/FontMap.h"

#include <QFont>
#include <QFontDatabase>
#include <QHash>
#include <QRawFont>

namespace qm {

namespace {

QString installed(const QStringList& families, const QString& wanted)
{
    for (const QString& f : families) {
        if (f.compare(wanted, Qt::CaseInsensitive) == 0)
            return f;
    }
    return {};
}

} // namespace

QString mapFontFamily(const QString& windowsName)
{
    // Both the full-width spelling the account editor stores and the ASCII one.
    static const QHash<QString, QString> kMap = {
        {QStringLiteral("ＭＳ ゴシック"), QStringLiteral("IPAGothic")},
        {QStringLiteral("MS Gothic"), QStringLiteral("IPAGothic")},
        {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic")},
        {QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic")},
        {QStringLiteral("ＭＳ 明朝"), QStringLiteral("IPAMincho")},
        {QStringLiteral("MS Mincho"), QStringLiteral("IPAMincho")},
        {QStringLiteral("ＭＳ Ｐ明朝"), QStringLiteral("IPAPMincho")},
        {QStringLiteral("MS PMincho"), QStringLiteral("IPAPMincho")},
        {QStringLiteral("MS UI Gothic"), QStringLiteral("IPAPGothic")},
        {QStringLiteral("メイリオ"), QStringLiteral("IPAPGothic")},
        {QStringLiteral("Meiryo"), QStringLiteral("IPAPGothic")},
    };
    const QStringList families = QFontDatabase::families();
    const QString name = windowsName.trimmed();
    if (const auto it = kMap.constFind(name); it != kMap.constEnd()) {
        if (const QString f = installed(families, *it); !f.isEmpty())
            return f;
    } else if (!name.isEmpty()) {
        if (const QString f = installed(families, name); !f.isEmpty())
            return f;
    }
    if (const QString f = installed(families, QStringLiteral("IPAGothic")); !f.isEmpty())
        return f;
    // Last resort: any family that can draw Japanese.
    const QStringList japanese = QFontDatabase::families(QFontDatabase::Japanese);
    if (!japanese.isEmpty())
        return japanese.first();
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
}

bool fontCoversText(const QString& family, const QString& text)
{
    QFont font(family);
    font.setPixelSize(32);
    const QRawFont raw = QRawFont::fromFont(font);
    if (!raw.isValid())
        return false;
    for (const char32_t c : text.toUcs4()) {
        if (c < 0x20 || c == 0x7F || c == 0x3000 || c == 0xFEFF)
            continue;
        if (!raw.supportsCharacter(c))
            return false;
    }
    return true;
}

} // namespace qm
