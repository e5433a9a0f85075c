#include "data/TimerSettings.h"

#include "data/Numbers.h"
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

} // namespace

bool TimerSettings::operator==(const TimerSettings& o) const
{
    return intervalMinutes == o.intervalMinutes && logRetentionHours == o.logRetentionHours &&
           remoteSettingsAllowed == o.remoteSettingsAllowed && passwordOn == o.passwordOn &&
           password == o.password && checkAtStart == o.checkAtStart &&
           checkAtExit == o.checkAtExit && checkAtAccountSetting == o.checkAtAccountSetting &&
           detailLog == o.detailLog;
}

TimerSettings readTimerSettings(const QString& path, QString* warning)
{
    TimerSettings s;
    if (!QFileInfo::exists(path))
        return s;
    QString error;
    const auto lines = readTextLines(path, DecodeMode::Lenient, &error);
    if (!lines) {
        setError(warning, error);
        return s;
    }
    s.fileExists = true;
    if (lines->isEmpty())
        return s;
    const QStringList f = splitSettingsLine(lines->first());
    s.fieldCount = int(f.size());

    // A field that is missing or not a 16-bit number keeps its default, so one bad value
    // never stops the service.
    QStringList bad;
    const auto number = [&](int i, qint16& target, const char* name) {
        if (i >= f.size())
            return;
        if (const auto v = readInt16Field(f[i]))
            target = *v;
        else
            bad.append(QString::fromLatin1(name));
    };
    number(0, s.intervalMinutes, "intervalMinutes");
    number(1, s.logRetentionHours, "logRetentionHours");
    number(2, s.remoteSettingsAllowed, "remoteSettingsAllowed");
    number(3, s.passwordOn, "passwordOn");
    if (f.size() > 4)
        s.password = f[4];
    number(5, s.checkAtStart, "checkAtStart");
    number(6, s.checkAtExit, "checkAtExit");
    number(7, s.checkAtAccountSetting, "checkAtAccountSetting");
    if (f.size() >= 9)
        number(8, s.detailLog, "detailLog");
    if (f.size() > 2)
        s.rawRemoteSettings = f[2];
    if (!bad.isEmpty())
        setError(warning, QStringLiteral("共通設定の値が正しくないため既定値を使います: %1")
                              .arg(bad.join(QStringLiteral(", "))));
    return s;
}

TimerSettings LoadTimerSettings(QString* warning)
{
    return readTimerSettings(filePaths().settingsFile, warning);
}

bool writeTimerSettings(const QString& path, const TimerSettings& s, QString* error)
{
    if (!isStorableField(s.password)) {
        setError(error, QStringLiteral("パスワードにカンマ(,)や二重引用符(\")は使えません"));
        return false;
    }
    // Stored with a look-alike, the password would never match what is typed again.
    if (!cp932Keeps(s.password)) {
        setError(error, QStringLiteral("パスワードに保存できない文字が含まれています"));
        return false;
    }
    const auto n = [](qint16 v) { return QString::number(v); };
    const QString line = joinSettingsLine({
        LineField::quotedText(n(s.intervalMinutes)),
        LineField::quotedText(n(s.logRetentionHours)),
        LineField::bare(n(s.remoteSettingsAllowed)),
        LineField::bare(n(s.passwordOn)),
        LineField::quotedText(s.password),
        LineField::bare(n(s.checkAtStart)),
        LineField::bare(n(s.checkAtExit)),
        LineField::bare(n(s.checkAtAccountSetting)),
        LineField::bare(n(s.detailLog)),
    });
    return writeTextLines(path, {line}, error);
}

bool SaveTimerSettings(const TimerSettings& settings, QString* error)
{
    return ensureDataDir(error) && writeTimerSettings(filePaths().settingsFile, settings, error);
}

} // namespace qm
