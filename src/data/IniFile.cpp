#include "data/IniFile.h"

#include "data/Paths.h"
#include "data/TextCodec.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <utility>

namespace qm {

namespace {

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

bool isSectionLine(const QString& trimmed)
{
    return trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']'));
}

// Section and key names compare without regard to case, as profile files always have.
bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QString runningProgramName()
{
    if (QCoreApplication::instance())
        return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    return QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget())
        .completeBaseName();
}

bool setValues(const QString& file, const QString& section,
               const QList<std::pair<QString, QString>>& values, QString* error)
{
    for (const auto& [key, value] : values) {
        if (key.contains(QLatin1Char('=')) || key.contains(QLatin1Char('\n')) ||
            value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r')) ||
            key.trimmed().isEmpty()) {
            setError(error, QStringLiteral("ini ファイルに書けない値です: %1").arg(key));
            return false;
        }
    }
    QStringList lines;
    if (QFileInfo::exists(file)) {
        const auto read = readTextLines(file, DecodeMode::Strict, error);
        if (!read)
            return false;
        lines = *read;
    }
    // Find the section's range.
    qsizetype start = -1;
    qsizetype end = lines.size();
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString t = lines[i].trimmed();
        if (!isSectionLine(t))
            continue;
        if (start >= 0) {
            end = i;
            break;
        }
        if (sameName(t.mid(1, t.size() - 2).trimmed(), section))
            start = i;
    }
    if (start < 0) {
        if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
            lines.append(QString());
        lines.append(QLatin1Char('[') + section + QLatin1Char(']'));
        start = lines.size() - 1;
        end = lines.size();
    }
    for (const auto& [key, value] : values) {
        bool found = false;
        for (qsizetype i = start + 1; i < end; ++i) {
            const qsizetype eq = lines[i].indexOf(QLatin1Char('='));
            if (eq > 0 && sameName(lines[i].left(eq).trimmed(), key)) {
                lines[i] = key + QLatin1Char('=') + value;
                found = true;
                break;
            }
        }
        if (!found) {
            // After the section's last non-blank line.
            qsizetype at = end;
            while (at > start + 1 && lines[at - 1].trimmed().isEmpty())
                --at;
            lines.insert(at, key + QLatin1Char('=') + value);
            ++end;
        }
    }
    return writeTextLines(file, lines, error);
}

} // namespace

QString iniPathFor(const QString& programName)
{
    return filePaths().dataDir + QLatin1Char('/') + programName + QStringLiteral(".ini");
}

QString GetIniPath()
{
    return iniPathFor(runningProgramName());
}

QString ReadIniValue(const QString& file, const QString& section, const QString& key,
                     const QString& fallback)
{
    const auto lines = readTextLines(file, DecodeMode::Lenient);
    if (!lines)
        return fallback;
    bool inSection = false;
    for (const QString& line : *lines) {
        const QString t = line.trimmed();
        if (isSectionLine(t)) {
            inSection = sameName(t.mid(1, t.size() - 2).trimmed(), section);
            continue;
        }
        if (!inSection)
            continue;
        const qsizetype eq = t.indexOf(QLatin1Char('='));
        if (eq > 0 && sameName(t.left(eq).trimmed(), key))
            return t.mid(eq + 1).trimmed();
    }
    return fallback;
}

bool WriteIniValue(const QString& file, const QString& section, const QString& key,
                   const QString& value, QString* error)
{
    if (!ensureDataDir(error))
        return false;
    return setValues(file, section, {{key, value}}, error);
}

bool saveWindowPlacement(const WindowPlacement& w, QString* error)
{
    if (!ensureDataDir(error))
        return false;
    const auto n = [](int v) { return QString::number(v); };
    return setValues(GetIniPath(), QStringLiteral("WinPos"),
                     {{QStringLiteral("Left"), n(w.left)},
                      {QStringLiteral("Right"), n(w.right)},
                      {QStringLiteral("Top"), n(w.top)},
                      {QStringLiteral("Bottom"), n(w.bottom)},
                      {QStringLiteral("showCmd"), n(w.showCmd)}},
                     error);
}

WindowPlacement restoreWindowPlacement(const WindowPlacement& current)
{
    const QString file = GetIniPath();
    if (!QFileInfo::exists(file))
        return current;
    WindowPlacement w = current;
    const auto read = [&](const char* key, int& target) {
        bool ok = false;
        const int v = ReadIniValue(file, QStringLiteral("WinPos"), QString::fromLatin1(key),
                                   QString::number(target))
                          .toInt(&ok);
        if (ok)
            target = v;
    };
    read("Left", w.left);
    read("Right", w.right);
    read("Top", w.top);
    read("Bottom", w.bottom);
    read("showCmd", w.showCmd);
    return w;
}

} // namespace qm
