#include "data/AccountSettings.h"

#include "data/AccountFile.h"
#include "data/AtomicFile.h"
#include "data/DataLock.h"
#include "data/Paths.h"
#include "data/SettingsLine.h"
#include "data/TextCodec.h"

#include <QFileInfo>

namespace qm {

namespace {

const QString kMsGothic = QStringLiteral("ＭＳ ゴシック");

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

QStringList fitFields(QStringList fields, int count)
{
    while (fields.size() < count)
        fields.append(QString());
    return fields.mid(0, count);
}

// Fields of the first line whose field 0 is accountNo, padded to `count`.
std::optional<QStringList> findAccountLine(const QString& file, const QString& accountNo, int count)
{
    const auto lines = readTextLines(file, DecodeMode::Lenient);
    if (!lines)
        return std::nullopt;
    for (const QString& line : *lines) {
        const QStringList f = splitSettingsLine(line);
        if (f.first() == accountNo)
            return fitFields(f, count);
    }
    return std::nullopt;
}

QString workCopyOf(const QString& file)
{
    const QFileInfo fi(file);
    return fi.absolutePath() + QLatin1Char('/') + fi.completeBaseName() + QStringLiteral(".tmp");
}

bool refuseUnstorable(const QStringList& values, QString* error)
{
    for (const QString& v : values) {
        if (!isStorableField(v)) {
            setError(
                error,
                QStringLiteral("カンマ(,)や二重引用符(\")を含む値は登録できません: %1").arg(v));
            return true;
        }
    }
    return false;
}

} // namespace

bool ApplyAccountLine(const QString& file, const QString& accountNo, const QStringList& values,
                      int fieldCount, QString* error)
{
    if (refuseUnstorable(QStringList{accountNo} + values, error))
        return false;
    if (!ensureDataDir(error))
        return false;
    DataLock lock;
    if (!lock.isLocked()) {
        setError(error, lock.error());
        return false;
    }
    QStringList out;
    bool matched = false;
    if (QFileInfo::exists(file)) {
        // Strict: a rewrite must not turn undecodable bytes into something else.
        const auto lines = readTextLines(file, DecodeMode::Strict, error);
        if (!lines)
            return false;
        for (const QString& line : *lines) {
            if (line.trimmed().isEmpty())
                continue;
            QStringList f = fitFields(splitSettingsLine(line), fieldCount);
            if (f.first() == accountNo) {
                f = fitFields(QStringList{accountNo} + values, fieldCount);
                matched = true;
            }
            out.append(joinQuoted(f));
        }
    }
    if (!matched)
        out.append(joinQuoted(fitFields(QStringList{accountNo} + values, fieldCount)));
    removeIfExists(workCopyOf(file)); // left over from an older run
    return writeTextLines(file, out, error);
}

QStringList FontDataRow::toFields() const
{
    return {AccountNo, printOn, printAll, printFontName, printFontSize, faxFontName, faxFontSize};
}

std::optional<FontDataRow> readFontDataRow(const QString& accountNo)
{
    const auto f = findAccountLine(filePaths().fontTable, accountNo, 7);
    if (!f)
        return std::nullopt;
    return FontDataRow{(*f)[0], (*f)[1], (*f)[2], (*f)[3], (*f)[4], (*f)[5], (*f)[6]};
}

FontSettings fontSettingsFor(const QString& accountNo)
{
    FontSettings s;
    const auto row = readFontDataRow(accountNo);
    if (!row)
        return s;
    if (row->printOn == QLatin1String("1")) {
        s.printMode = row->printAll == QLatin1String("1") ? 2 : 1;
        s.printFontName = row->printFontName;
        s.printFontSize = row->printFontSize;
    }
    s.faxFontName = row->faxFontName;
    s.faxFontSize = row->faxFontSize;
    return s;
}

bool saveFontDataRow(const FontDataRow& row, QString* error)
{
    return ApplyAccountLine(filePaths().fontTable, row.AccountNo, row.toFields().mid(1), 7, error);
}

bool resetFaxFonts(QString* error)
{
    const QString file = filePaths().fontTable;
    DataLock lock;
    if (!lock.isLocked()) {
        setError(error, lock.error());
        return false;
    }
    if (!QFileInfo::exists(file))
        return true;
    const auto lines = readTextLines(file, DecodeMode::Strict, error);
    if (!lines)
        return false;
    QStringList out;
    for (const QString& line : *lines) {
        if (line.trimmed().isEmpty())
            continue;
        QStringList f = fitFields(splitSettingsLine(line), 7);
        f[5] = QStringLiteral("設定不可");
        f[6] = QStringLiteral("0");
        out.append(joinQuoted(f));
    }
    removeIfExists(filePaths().fontWorkCopy);
    return writeTextLines(file, out, error);
}

bool CreateFontDataFile(QString* error)
{
    const FilePaths& p = filePaths();
    if (QFileInfo::exists(p.fontTable))
        return true;
    QString size = QStringLiteral("11");
    const bool hadOldFile = QFileInfo::exists(p.oldFontFile);
    if (hadOldFile) {
        const auto lines = readTextLines(p.oldFontFile, DecodeMode::Lenient);
        if (lines && !lines->isEmpty()) {
            const QStringList f = splitSettingsLine(lines->first());
            if (f.size() > 1 && !f[1].isEmpty())
                size = f[1];
        }
    }
    const auto table = readAccountTable(error);
    if (!table)
        return false;
    QStringList out;
    for (const AccountRecord& r : table->records)
        out.append(joinQuoted({r.AccountNo, QStringLiteral("0"), QStringLiteral("0"), kMsGothic,
                               QStringLiteral("11"), kMsGothic, size}));
    if (!writeTextLines(p.fontTable, out, error))
        return false;
    // Only now: the old size is not lost if the new table could not be written.
    if (hadOldFile)
        removeIfExists(p.oldFontFile);
    return true;
}

QStringList readDeleteStrings(const QString& accountNo)
{
    const auto f = findAccountLine(filePaths().delStringFile, accountNo, 2);
    if (!f)
        return {};
    QStringList items;
    for (const QString& s : (*f)[1].split(QLatin1Char('\t'))) {
        if (!s.isEmpty())
            items.append(s);
    }
    return items;
}

bool saveDeleteStrings(const QString& accountNo, const QStringList& strings, QString* error)
{
    return ApplyAccountLine(filePaths().delStringFile, accountNo, {strings.join(QLatin1Char('\t'))},
                            2, error);
}

QString readFaxOption(const QString& accountNo)
{
    const auto f = findAccountLine(filePaths().faxOptFile, accountNo, 2);
    if (f && (*f)[1] == QLatin1String("attach"))
        return QStringLiteral("attach");
    return QStringLiteral("mail");
}

bool saveFaxOption(const QString& accountNo, const QString& option, QString* error)
{
    if (option != QLatin1String("mail") && option != QLatin1String("attach")) {
        setError(error, QStringLiteral("FAX オプションの値が正しくありません: %1").arg(option));
        return false;
    }
    return ApplyAccountLine(filePaths().faxOptFile, accountNo, {option}, 2, error);
}

} // namespace qm
