#include "data/FaxConfig.h"

#include "data/SettingsLine.h"
#include "data/TextCodec.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace qm {

FaxConfig parseFaxConfig(const QStringList& lines, const QString& dataDir, QStringList* warnings)
{
    FaxConfig config;
    config.spoolDir = QDir(dataDir).filePath(QStringLiteral("FaxSpool"));
    auto warn = [&](const QString& text) {
        if (warnings)
            warnings->append(text);
    };

    int lineNo = 0;
    for (const QString& line : lines) {
        ++lineNo;
        if (line.trimmed().isEmpty())
            continue;
        const QStringList fields = splitSettingsLine(line);
        const QString key = fields.value(0).trimmed().toLower();
        const QString value = fields.value(1).trimmed();
        if (fields.size() < 2) {
            warn(QStringLiteral("FaxPath.txt %1行目: 値がありません").arg(lineNo));
            continue;
        }
        if (key == u"backend") {
            const QString v = value.toLower();
            if (v == u"spool")
                config.backend = FaxConfig::Backend::Spool;
            else if (v == u"hylafax")
                config.backend = FaxConfig::Backend::Hylafax;
            else
                warn(
                    QStringLiteral("FaxPath.txt %1行目: 不明な送信方式 %2").arg(lineNo).arg(value));
        } else if (key == u"spool") {
            if (!value.isEmpty())
                config.spoolDir =
                    QFileInfo(value).isAbsolute() ? value : QDir(dataDir).filePath(value);
        } else if (key == u"host") {
            if (!value.isEmpty())
                config.host = value;
        } else if (key == u"sendfax") {
            if (!value.isEmpty())
                config.sendfaxPath = value;
        } else if (key == u"faxstat") {
            if (!value.isEmpty())
                config.faxstatPath = value;
        } else if (key == u"user") {
            config.faxUser = value;
        } else if (key == u"resolution") {
            const QString v = value.toLower();
            if (v == u"fine")
                config.fineResolution = true;
            else if (v == u"normal")
                config.fineResolution = false;
            else
                warn(QStringLiteral("FaxPath.txt %1行目: 不明な解像度 %2").arg(lineNo).arg(value));
        } else if (key == u"timeout") {
            bool ok = false;
            const int seconds = value.toInt(&ok);
            if (ok && seconds > 0 && seconds <= 3600)
                config.timeoutSeconds = seconds;
            else
                warn(QStringLiteral("FaxPath.txt %1行目: 時間切れの秒数が不正です %2")
                         .arg(lineNo)
                         .arg(value));
        } else if (key == u"allow" || key == u"deny" || key == u"mailfax-allow" ||
                   key == u"mailfax-deny") {
            QStringList& prefixes = key == u"allow"           ? config.allowPrefixes
                                    : key == u"deny"          ? config.denyPrefixes
                                    : key == u"mailfax-allow" ? config.mailAllowPrefixes
                                                              : config.mailDenyPrefixes;
            prefixes = value.split(u' ', Qt::SkipEmptyParts);
        } else if (key == u"mailfax-per-day") {
            bool ok = false;
            const int jobs = value.toInt(&ok);
            if (ok && jobs >= 0)
                config.mailJobsPerSenderPerDay = jobs;
            else
                warn(
                    QStringLiteral("FaxPath.txt %1行目: 件数が不正です %2").arg(lineNo).arg(value));
        } else {
            warn(QStringLiteral("FaxPath.txt %1行目: 不明な項目 %2")
                     .arg(lineNo)
                     .arg(fields.value(0)));
        }
    }
    return config;
}

FaxConfig loadFaxConfig(const QString& dataDir, QStringList* warnings)
{
    const QString path = QDir(dataDir).filePath(QStringLiteral("FaxPath.txt"));
    if (!QFileInfo::exists(path))
        return parseFaxConfig({}, dataDir, warnings);
    QString error;
    const auto lines = readTextLines(path, DecodeMode::Lenient, &error);
    if (!lines) {
        if (warnings)
            warnings->append(QStringLiteral("FaxPath.txt を読めません: %1").arg(error));
        return parseFaxConfig({}, dataDir, warnings);
    }
    return parseFaxConfig(*lines, dataDir, warnings);
}

namespace {

QString firstPrefixOf(const QStringList& prefixes, const QString& number)
{
    for (const QString& p : prefixes) {
        if (number.startsWith(p))
            return p;
    }
    return {};
}

QString refusalBy(const QStringList& allow, const QStringList& deny, const QString& number,
                  const QString& allowKey, const QString& denyKey)
{
    const QString denied = firstPrefixOf(deny, number);
    if (!denied.isEmpty())
        return QStringLiteral("%1 \"%2\"").arg(denyKey, denied);
    if (!allow.isEmpty() && firstPrefixOf(allow, number).isEmpty())
        return QStringLiteral("%1 \"%2\"").arg(allowKey, allow.join(u' '));
    return {};
}

} // namespace

QString diallingRuleAgainst(const FaxConfig& config, const QString& dialString,
                            FaxNumberSource source)
{
    if (dialString.isEmpty())
        return QStringLiteral("番号が正しくありません");
    const QString rule = refusalBy(config.allowPrefixes, config.denyPrefixes, dialString,
                                   QStringLiteral("allow"), QStringLiteral("deny"));
    if (!rule.isEmpty() || source == FaxNumberSource::Account)
        return rule;
    return refusalBy(config.mailAllowPrefixes, config.mailDenyPrefixes, dialString,
                     QStringLiteral("mailfax-allow"), QStringLiteral("mailfax-deny"));
}

bool faxBackendInstalled(const FaxConfig& config, QString* why)
{
    auto fail = [why](const QString& text) {
        if (why)
            *why = text;
        return false;
    };
    if (config.backend == FaxConfig::Backend::Hylafax) {
        for (const QString& client : {config.sendfaxPath, config.faxstatPath}) {
            const QFileInfo info(client);
            if (!info.isFile() || !info.isExecutable())
                return fail(QStringLiteral("%1 がありません").arg(client));
        }
        return true;
    }
    if (QStandardPaths::findExecutable(QStringLiteral("gs")).isEmpty())
        return fail(QStringLiteral("Ghostscript (gs) がありません"));
    QFileInfo folder(config.spoolDir);
    while (!folder.exists()) {
        const QString parent = folder.absolutePath();
        if (parent == folder.absoluteFilePath())
            break;
        folder = QFileInfo(parent);
    }
    if (!folder.isDir() || !folder.isWritable())
        return fail(QStringLiteral("FAX送信フォルダ %1 に書けません").arg(config.spoolDir));
    return true;
}

QStringList faxConfigLines(const FaxConfig& config)
{
    return {
        joinQuoted({QStringLiteral("backend"), config.backend == FaxConfig::Backend::Hylafax
                                                   ? QStringLiteral("hylafax")
                                                   : QStringLiteral("spool")}),
        joinQuoted({QStringLiteral("spool"), config.spoolDir}),
        joinQuoted({QStringLiteral("host"), config.host}),
        joinQuoted({QStringLiteral("sendfax"), config.sendfaxPath}),
        joinQuoted({QStringLiteral("faxstat"), config.faxstatPath}),
        joinQuoted({QStringLiteral("user"), config.faxUser}),
        joinQuoted({QStringLiteral("resolution"),
                    config.fineResolution ? QStringLiteral("fine") : QStringLiteral("normal")}),
        joinQuoted({QStringLiteral("timeout"), QString::number(config.timeoutSeconds)}),
        joinQuoted({QStringLiteral("allow"), config.allowPrefixes.join(u' ')}),
        joinQuoted({QStringLiteral("deny"), config.denyPrefixes.join(u' ')}),
        joinQuoted({QStringLiteral("mailfax-allow"), config.mailAllowPrefixes.join(u' ')}),
        joinQuoted({QStringLiteral("mailfax-deny"), config.mailDenyPrefixes.join(u' ')}),
        joinQuoted(
            {QStringLiteral("mailfax-per-day"), QString::number(config.mailJobsPerSenderPerDay)}),
    };
}

} // namespace qm
