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
        auto number = [&](int low, int high, int* out) {
            bool ok = false;
            const int n = value.toInt(&ok);
            if (value.isEmpty())
                *out = 0;
            else if (ok && n >= low && n <= high)
                *out = n;
            else
                warn(
                    QStringLiteral("FaxPath.txt %1行目: 数値が不正です %2").arg(lineNo).arg(value));
        };
        auto onOff = [&](bool* out) {
            if (value == u"1" || value == u"0")
                *out = value == u"1";
            else
                warn(QStringLiteral("FaxPath.txt %1行目: 1 か 0 で指定してください %2")
                         .arg(lineNo)
                         .arg(value));
        };
        if (key == u"backend") {
            if (const auto backend = faxBackendNamed(value.toLower()))
                config.backend = *backend;
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
        } else if (key == u"dials") {
            number(1, 99, &config.dials);
        } else if (key == u"killtime") {
            // sendfax refuses a kill time of a minute or less.
            number(2, 7 * 24 * 60, &config.killMinutes);
        } else if (key == u"reply-requests") {
            onOff(&config.replyToRequests);
        } else if (key == u"reply-account") {
            onOff(&config.replyToAccount);
        } else if (key == u"mail-to") {
            config.mailAddressTemplate = value;
        } else if (key == u"mail-smtp") {
            config.mailSmtp = value;
        } else if (key == u"mail-from") {
            config.mailFrom = value;
        } else if (key == u"mail-notice-from") {
            config.mailNoticeFrom = value.split(u' ', Qt::SkipEmptyParts);
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

QString faxBackendName(FaxConfig::Backend backend)
{
    switch (backend) {
    case FaxConfig::Backend::Hylafax:
        return QStringLiteral("hylafax");
    case FaxConfig::Backend::Mail:
        return QStringLiteral("mail");
    case FaxConfig::Backend::Spool:
        break;
    }
    return QStringLiteral("spool");
}

std::optional<FaxConfig::Backend> faxBackendNamed(const QString& name)
{
    for (const auto b :
         {FaxConfig::Backend::Spool, FaxConfig::Backend::Hylafax, FaxConfig::Backend::Mail}) {
        if (faxBackendName(b) == name)
            return b;
    }
    return std::nullopt;
}

QString mailFaxAddress(const FaxConfig& config, const QString& dialString)
{
    // The number becomes part of an address: digits and a leading "+" only.
    for (qsizetype i = 0; i < dialString.size(); ++i) {
        const QChar c = dialString.at(i);
        if (!(c >= u'0' && c <= u'9') && !(c == u'+' && i == 0))
            return {};
    }
    if (dialString.isEmpty() || !config.mailAddressTemplate.contains(u'@') ||
        !config.mailAddressTemplate.contains(QStringLiteral("{number}")))
        return {};
    QString address = config.mailAddressTemplate;
    return address.replace(QStringLiteral("{number}"), dialString);
}

QStringList mailFaxNoticeSenders(const FaxConfig& config)
{
    if (!config.mailNoticeFrom.isEmpty())
        return config.mailNoticeFrom;
    const qsizetype at = config.mailAddressTemplate.lastIndexOf(u'@');
    if (at < 0 || at + 1 >= config.mailAddressTemplate.size())
        return {};
    return {config.mailAddressTemplate.mid(at)};
}

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
    if (config.backend == FaxConfig::Backend::Mail) {
        if (!config.mailAddressTemplate.contains(QStringLiteral("{number}")) ||
            !config.mailAddressTemplate.contains(u'@'))
            return fail(
                QStringLiteral("FaxPath.txt の mail-to に {number} を含む宛先がありません"));
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
        joinQuoted({QStringLiteral("backend"), faxBackendName(config.backend)}),
        joinQuoted({QStringLiteral("spool"), config.spoolDir}),
        joinQuoted({QStringLiteral("host"), config.host}),
        joinQuoted({QStringLiteral("sendfax"), config.sendfaxPath}),
        joinQuoted({QStringLiteral("faxstat"), config.faxstatPath}),
        joinQuoted({QStringLiteral("user"), config.faxUser}),
        joinQuoted({QStringLiteral("resolution"),
                    config.fineResolution ? QStringLiteral("fine") : QStringLiteral("normal")}),
        joinQuoted({QStringLiteral("timeout"), QString::number(config.timeoutSeconds)}),
        joinQuoted({QStringLiteral("dials"),
                    config.dials > 0 ? QString::number(config.dials) : QString()}),
        joinQuoted({QStringLiteral("killtime"),
                    config.killMinutes > 0 ? QString::number(config.killMinutes) : QString()}),
        joinQuoted({QStringLiteral("reply-requests"),
                    config.replyToRequests ? QStringLiteral("1") : QStringLiteral("0")}),
        joinQuoted({QStringLiteral("reply-account"),
                    config.replyToAccount ? QStringLiteral("1") : QStringLiteral("0")}),
        joinQuoted({QStringLiteral("mail-to"), config.mailAddressTemplate}),
        joinQuoted({QStringLiteral("mail-smtp"), config.mailSmtp}),
        joinQuoted({QStringLiteral("mail-from"), config.mailFrom}),
        joinQuoted({QStringLiteral("mail-notice-from"), config.mailNoticeFrom.join(u' ')}),
        joinQuoted({QStringLiteral("allow"), config.allowPrefixes.join(u' ')}),
        joinQuoted({QStringLiteral("deny"), config.denyPrefixes.join(u' ')}),
        joinQuoted({QStringLiteral("mailfax-allow"), config.mailAllowPrefixes.join(u' ')}),
        joinQuoted({QStringLiteral("mailfax-deny"), config.mailDenyPrefixes.join(u' ')}),
        joinQuoted(
            {QStringLiteral("mailfax-per-day"), QString::number(config.mailJobsPerSenderPerDay)}),
    };
}

} // namespace qm
