#include "data/ForwardLog.h"

#include "data/AtomicFile.h"
#include "data/Clock.h"
#include "data/DataLock.h"
#include "data/Encryption.h"
#include "data/Paths.h"
#include "data/SettingsLine.h"
#include "data/TextCodec.h"
#include "data/TimerSettings.h"

#include <QFileInfo>
#include <future>

namespace qm {

namespace {

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

// Reads "1..4 digits" from s[pos..], advancing pos; -1 when there is no digit.
int readNumber(const QString& s, qsizetype& pos, int maxDigits)
{
    int v = 0;
    int digits = 0;
    while (pos < s.size() && digits < maxDigits && s.at(pos).unicode() >= '0' &&
           s.at(pos).unicode() <= '9') {
        v = v * 10 + (s.at(pos).unicode() - '0');
        ++pos;
        ++digits;
    }
    return digits ? v : -1;
}

bool expect(const QString& s, qsizetype& pos, char c)
{
    if (pos < s.size() && s.at(pos) == QLatin1Char(c)) {
        ++pos;
        return true;
    }
    return false;
}

// A log line's date ("yyyy/mm/dd") and time ("hh:nn", seconds allowed) as a Julian day and
// an hour; false when they do not form a valid date and time.
bool parseStamp(const QString& date, const QString& time, qint64& julianDay, int& hour)
{
    qsizetype p = 0;
    const int y = readNumber(date, p, 4);
    if (y < 0 || !expect(date, p, '/'))
        return false;
    const int m = readNumber(date, p, 2);
    if (m < 0 || !expect(date, p, '/'))
        return false;
    const int d = readNumber(date, p, 2);
    if (d < 0 || p != date.size())
        return false;
    const QDate qd(y, m, d);
    if (!qd.isValid())
        return false;
    p = 0;
    const int h = readNumber(time, p, 2);
    if (h < 0 || h > 23 || !expect(time, p, ':'))
        return false;
    const int mi = readNumber(time, p, 2);
    if (mi < 0 || mi > 59)
        return false;
    if (p != time.size()) {
        const int sec = expect(time, p, ':') ? readNumber(time, p, 2) : -1;
        if (sec < 0 || sec > 59 || p != time.size())
            return false;
    }
    julianDay = qd.toJulianDay();
    hour = h;
    return true;
}

QString cleanSecondText(QString text)
{
    text.remove(QLatin1Char(','));
    text.remove(QLatin1String("\r\n"));
    text.remove(QLatin1Char('\r'));
    text.remove(QLatin1Char('\n'));
    return text;
}

} // namespace

qint64 hourBoundariesBetween(const QDateTime& from, const QDateTime& to)
{
    // Clock hours as read on the wall, like a calendar difference: 10:59 to 11:00 is one.
    return (to.date().toJulianDay() - from.date().toJulianDay()) * 24 +
           (to.time().hour() - from.time().hour());
}

bool writeLogLine(const QString& first, const QString& second, const QString& third,
                  int retentionHours, const QDateTime& now, QString* error)
{
    const FilePaths& p = filePaths();
    if (!ensureDataDir(error))
        return false;
    // Texts from mail may hold characters Shift-JIS lacks; they must not cost the line.
    // Quotes would be lost on the next read anyway, and inside a field they would break it now.
    const auto field = [](QString t) { return toCp932Safe(t.remove(QLatin1Char('"'))); };
    QStringList out;
    out.append(joinQuoted({now.toString(QStringLiteral("yyyy/MM/dd")),
                           now.toString(QStringLiteral("HH:mm")), field(first),
                           field(cleanSecondText(second)),
                           // A server's reply ("451 ..., try later") may hold commas too.
                           field(cleanSecondText(third))}));

    DataLock lock;
    if (!lock.isLocked()) {
        setError(error, lock.error());
        return false;
    }
    removeIfExists(p.logReadCopy); // reads decrypt in memory; only an old run's copy is removed
    removeStaleTempFiles(p.logFile);
    removeStaleTempFiles(p.logWriteCopy);

    if (QFileInfo::exists(p.logFile)) {
        const auto stored = readStoredFile(p.logFile, error);
        if (!stored)
            return false;
        // Lines with bytes that are not Shift-JIS cannot be written back as they were: drop them
        // (the decoder marks them with U+FFFD, or U+001A for unassigned codes).
        const auto strict = decodeCp932(stored->plain, DecodeMode::Strict);
        const bool hadBadBytes = !strict;
        const QString text =
            strict ? *strict : decodeCp932(stored->plain, DecodeMode::Lenient).value_or(QString());
        const qint64 nowDay = now.date().toJulianDay();
        const int nowHour = now.time().hour();
        const QStringList lines = splitLines(text);
        out.reserve(lines.size() + 1);
        for (const QString& line : lines) {
            if (hadBadBytes &&
                (line.contains(QChar::ReplacementCharacter) || line.contains(QChar(0x1A))))
                continue;
            const QStringList f = splitSettingsLine(line);
            if (f.size() != 5)
                continue;
            qint64 day = 0;
            int hour = 0;
            if (!parseStamp(f[0], f[1], day, hour))
                continue;
            if ((nowDay - day) * 24 + (nowHour - hour) < retentionHours)
                out.append(QLatin1Char('"') + f.join(QLatin1Char(',')) + QLatin1Char('"'));
        }
    }

    const auto bytes = encodeLines(out, error);
    if (!bytes)
        return false;
    // Triple DES is slow: encrypt on a second thread while the plain copy goes to disk.
    std::future<std::optional<QByteArray>> envelope;
    if (encryptionOn())
        envelope = std::async(std::launch::async, [plain = *bytes] { return encryptBytes(plain); });
    const bool copyWritten = writeFileAtomic(p.logWriteCopy, *bytes, error);
    const std::optional<QByteArray> encrypted = envelope.valid() ? envelope.get() : std::nullopt;
    if (!copyWritten)
        return false;
    // Encryption failing leaves the log plain rather than unwritten.
    return writeStoredFile(p.logFile, *bytes, encrypted, error);
}

void WriteLog(const QString& first, const QString& second, const QString& third) noexcept
{
    try {
        const TimerSettings settings = LoadTimerSettings();
        writeLogLine(first, second, third, settings.logRetentionHours, Clock::now());
    } catch (...) {
        // Logging must never take its caller down.
    }
}

std::optional<QList<LogRow>> takeLogRows(QString* error)
{
    const FilePaths& p = filePaths();
    DataLock lock;
    if (!lock.isLocked()) {
        setError(error, lock.error());
        return std::nullopt;
    }
    if (!QFileInfo::exists(p.logWriteCopy))
        return std::nullopt;
    const auto lines = readTextLines(p.logWriteCopy, DecodeMode::Lenient, error);
    if (!lines)
        return std::nullopt;
    QList<LogRow> rows;
    rows.reserve(lines->size());
    for (const QString& line : *lines) {
        QStringList f = splitSettingsLine(line);
        while (f.size() < 5)
            f.append(QString());
        rows.append(LogRow{f[0], f[1], f[2], f[3], f[4]});
    }
    if (!removeIfExists(p.logWriteCopy, error))
        return std::nullopt;
    return rows;
}

bool deleteLog(QString* error)
{
    const FilePaths& p = filePaths();
    DataLock lock;
    if (!lock.isLocked()) {
        setError(error, lock.error());
        return false;
    }
    return removeIfExists(p.logFile, error) && removeIfExists(p.logWriteCopy, error) &&
           removeIfExists(p.logReadCopy, error);
}

} // namespace qm
