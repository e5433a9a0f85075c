#include "data/MailConnectionFile.h"

#include "data/DataLock.h"
#include "data/Encryption.h"
#include "data/Paths.h"
#include "data/SettingsLine.h"
#include "data/TextCodec.h"

#include <QFileInfo>

namespace qm {

namespace {

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

using Table = QMap<QString, MailConnectionValues>;

std::optional<Table> readTable(QString* error)
{
    Table table;
    const QString file = filePaths().mailConnFile;
    if (!QFileInfo::exists(file))
        return table;
    const auto stored = readStoredFile(file, error);
    if (!stored)
        return std::nullopt;
    if (stored->tampered) {
        setError(error, stored->decryptError);
        return std::nullopt;
    }
    // Strict: a rewrite must not turn bytes it could not read into something else.
    const auto text = decodeCp932(stored->plain, DecodeMode::Strict, error);
    if (!text)
        return std::nullopt;
    for (const QString& line : splitLines(*text)) {
        if (line.trimmed().isEmpty())
            continue;
        const QStringList fields = splitSettingsLine(line);
        MailConnectionValues& values = table[fields.first()];
        for (qsizetype i = 1; i < fields.size(); ++i) {
            const qsizetype eq = fields[i].indexOf(QLatin1Char('='));
            if (eq > 0)
                values.insert(fields[i].left(eq), fields[i].mid(eq + 1));
        }
    }
    return table;
}

bool writeTable(const Table& table, QString* error)
{
    QStringList lines;
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        if (it.value().isEmpty())
            continue;
        QStringList fields{it.key()};
        for (auto v = it.value().cbegin(); v != it.value().cend(); ++v)
            fields.append(v.key() + QLatin1Char('=') + v.value());
        lines.append(joinQuoted(fields));
    }
    const auto bytes = encodeLines(lines, error);
    if (!bytes)
        return false;
    return writeStoredFile(filePaths().mailConnFile, *bytes, error);
}

bool refuseUnstorable(const QString& accountNo, const MailConnectionValues& values, QString* error)
{
    if (!isStorableField(accountNo) || accountNo.isEmpty()) {
        setError(error, QStringLiteral("アカウント番号が正しくありません: %1").arg(accountNo));
        return true;
    }
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (it.key().isEmpty() || it.key().contains(QLatin1Char('=')) ||
            !isStorableField(it.key())) {
            setError(error, QStringLiteral("設定名が正しくありません: %1").arg(it.key()));
            return true;
        }
        if (!isStorableField(it.value())) {
            setError(error,
                     QStringLiteral("カンマ(,)や二重引用符(\")、改行を含む値は登録できません: %1")
                         .arg(it.key()));
            return true;
        }
    }
    return false;
}

template <typename Change>
bool rewrite(const QString& accountNo, const MailConnectionValues& values, QString* error,
             Change change)
{
    if (refuseUnstorable(accountNo, values, error))
        return false;
    if (!ensureDataDir(error))
        return false;
    DataLock lock;
    if (!lock.isLocked()) {
        setError(error, lock.error());
        return false;
    }
    auto table = readTable(error);
    if (!table)
        return false;
    const MailConnectionValues before = table->value(accountNo);
    change((*table)[accountNo]);
    if (table->value(accountNo) == before)
        return true;
    return writeTable(*table, error);
}

} // namespace

MailConnectionValues readMailConnectionValues(const QString& accountNo)
{
    const auto table = readTable(nullptr);
    return table ? table->value(accountNo) : MailConnectionValues();
}

std::optional<QMap<QString, MailConnectionValues>> readAllMailConnectionValues(QString* error)
{
    return readTable(error);
}

bool saveMailConnectionValues(const QString& accountNo, const MailConnectionValues& values,
                              QString* error)
{
    return rewrite(accountNo, values, error,
                   [&](MailConnectionValues& stored) { stored = values; });
}

bool updateMailConnectionValues(const QString& accountNo, const MailConnectionValues& changes,
                                QString* error)
{
    return rewrite(accountNo, changes, error, [&](MailConnectionValues& stored) {
        for (auto it = changes.cbegin(); it != changes.cend(); ++it) {
            if (it.value().isEmpty())
                stored.remove(it.key());
            else
                stored.insert(it.key(), it.value());
        }
    });
}

} // namespace qm
