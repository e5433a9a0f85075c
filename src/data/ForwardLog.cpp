#include "data/ForwardLog.h"

#include "data/AtomicFile.h"
#include "data/Clock.h"
#include "data/DataLock.h"
#include "data/Encryption.h"
#include "data/Paths.h"
#include "data/SettingsLine.h"
#include "data/TextCodec.h"
#include "data/TimerSettings.h"

#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm {

namespace {

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

QString sysError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// The fold's new log, complete and synced, waiting for the journal to go. Its presence with
// the journal gone means the fold was committed and only the rename is missing.
QString foldCopyPath(const FilePaths& p)
{
    return p.dataDir + QStringLiteral("/quillmarc.fold");
}

QString journalPathOf(const FilePaths& p)
{
    return p.dataDir + QStringLiteral("/quillmarc.jnl");
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

// A log line's date ("yyyy/mm/dd") and time ("hh:nn", seconds allowed) as clock hours since
// the start of the Julian calendar; false when they do not form a valid date and time.
bool parseStamp(const QString& date, const QString& time, qint64& hourKey)
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
    hourKey = qd.toJulianDay() * 24 + h;
    return true;
}

qint64 hourKeyOf(const QDateTime& t)
{
    return t.date().toJulianDay() * 24 + t.time().hour();
}

// A line is kept while fewer than `retention` hour boundaries lie between it and now. A
// retention below one hour (a hand-edited settings file) would lose the line just written.
bool kept(qint64 lineKey, qint64 nowKey, int retention)
{
    return nowKey - lineKey < std::max(retention, 1);
}

struct ParsedLine
{
    QStringList fields;
    qint64 key = 0;
};

std::optional<ParsedLine> parseLine(const QString& line)
{
    ParsedLine p{splitSettingsLine(line), 0};
    if (p.fields.size() != 5 || !parseStamp(p.fields[0], p.fields[1], p.key))
        return std::nullopt;
    return p;
}

LogRow rowOf(const QStringList& f)
{
    return LogRow{f[0], f[1], f[2], f[3], f[4]};
}

// ---- the stored log and the journal as lines ----

// The stored log's lines, newest first, as text. Lines with bytes that are not Shift-JIS
// cannot be written back as they were and are left out (the decoder marks them with U+FFFD,
// or U+001A for unassigned codes).
std::optional<QStringList> readStoredLines(const FilePaths& p, QString* error)
{
    if (!QFileInfo::exists(p.logFile))
        return QStringList();
    const auto stored = readStoredFile(p.logFile, error);
    if (!stored)
        return std::nullopt;
    const auto strict = decodeCp932(stored->plain, DecodeMode::Strict);
    if (strict)
        return splitLines(*strict);
    QStringList lines =
        splitLines(decodeCp932(stored->plain, DecodeMode::Lenient).value_or(QString()));
    lines.removeIf([](const QString& line) {
        return line.contains(QChar::ReplacementCharacter) || line.contains(QChar(0x1A));
    });
    return lines;
}

// The journal's lines, oldest first. A last record without its line end was cut off by a
// crash while it was written (WriteLog never returned for it) and is not a line; a record
// whose seal does not open is damaged and left out like any line that does not read.
QStringList readJournalLines(const QString& path)
{
    QStringList lines;
    const auto bytes = readFileBytes(path);
    if (!bytes)
        return lines;
    qsizetype start = 0;
    for (qsizetype nl; (nl = bytes->indexOf('\n', start)) >= 0; start = nl + 1) {
        QByteArray record = bytes->mid(start, nl - start);
        if (record.endsWith('\r'))
            record.chop(1);
        if (record.isEmpty())
            continue;
        if (looksEncrypted(record)) {
            auto plain = decryptBytes(record);
            if (!plain)
                continue;
            record = std::move(*plain);
        }
        const auto text = decodeCp932(record, DecodeMode::Strict);
        if (text && !text->contains(u'\n') && !text->contains(u'\r'))
            lines << *text;
    }
    return lines;
}

// One journal record: the line as the log stores it, sealed on its own when encryption is on
// (a plain record rather than none when sealing fails, as for every stored file).
std::optional<QByteArray> journalRecord(const QString& line, QString* error)
{
    const auto bytes = encodeCp932(line, error);
    if (!bytes)
        return std::nullopt;
    if (encryptionOn()) {
        if (auto sealed = encryptBytes(*bytes))
            return *sealed + "\r\n";
    }
    return *bytes + "\r\n";
}

// Lines of a batch appended since the last sync, and whether the journal was created since.
bool g_unsynced = false;
bool g_journalCreated = false;

// Appends one record in a single write; once write() returns, a crash of the program cannot
// lose it. A record torn by an earlier crash is cut off first, or this one would be glued to it.
bool appendRecord(const FilePaths& p, const QByteArray& record, QString* error)
{
    const QString path = journalPathOf(p);
    const QByteArray name = QFile::encodeName(path);
    bool created = false;
    int fd = ::open(name.constData(), O_RDWR | O_APPEND | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        fd = ::open(name.constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        created = true;
    }
    if (fd < 0) {
        setError(error, QStringLiteral("ログを書き込めません (%1): %2").arg(path, sysError()));
        return false;
    }
    const auto fail = [&] {
        setError(error, QStringLiteral("ログを書き込めません (%1): %2").arg(path, sysError()));
        ::close(fd);
        return false;
    };
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return fail();
    off_t whole = st.st_size;
    if (whole > 0) {
        char last = 0;
        if (::pread(fd, &last, 1, whole - 1) != 1)
            return fail();
        if (last != '\n') {
            const auto bytes = readFileBytes(path);
            whole = bytes ? off_t(bytes->lastIndexOf('\n') + 1) : 0;
            if (::ftruncate(fd, whole) != 0)
                return fail();
        }
    }
    if (!writeAll(fd, record)) {
        // A full disk: no part of the record, and no journal this write alone made, stays
        // (as far as it goes: a tail left over is cut off by the next append anyway).
        const int why = errno;
        const bool cleaned =
            created ? ::unlink(name.constData()) == 0 : ::ftruncate(fd, whole) == 0;
        Q_UNUSED(cleaned);
        errno = why;
        return fail();
    }
    if (::close(fd) != 0) {
        setError(error, QStringLiteral("ログを書き込めません (%1): %2").arg(path, sysError()));
        return false;
    }
    g_unsynced = true;
    g_journalCreated = g_journalCreated || created;
    return true;
}

// Under g_mutex.
bool syncJournal(const FilePaths& p, QString* error)
{
    if (!g_unsynced)
        return true;
    const QString path = journalPathOf(p);
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT) {
            setError(error, QStringLiteral("ログを保存できません (%1): %2").arg(path, sysError()));
            return false;
        }
    } else {
        const bool synced = ::fdatasync(fd) == 0;
        ::close(fd);
        if (!synced) {
            setError(error, QStringLiteral("ログを保存できません (%1): %2").arg(path, sysError()));
            return false;
        }
        // A new journal is only found again after a power cut once its folder entry is on disk.
        if (g_journalCreated)
            syncFolder(p.dataDir);
    }
    g_unsynced = false;
    g_journalCreated = false;
    return true;
}

// ---- memory for the log view ----

// What a file looked like when this process last wrote or read it: another writer (a test,
// a hand edit) shows up as a difference, and the view then starts afresh.
struct FileStamp
{
    bool exists = false;
    quint64 dev = 0;
    quint64 ino = 0;
    qint64 size = 0;
    qint64 mtimeNs = 0;
    bool operator==(const FileStamp&) const = default;
};

FileStamp stampOf(const QString& path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return FileStamp{true, quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
                     qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

struct MemRow
{
    LogRow row;
    qint64 key = 0;
};

struct LogMemory
{
    QString logPath; // which log the rows are of
    bool loaded = false;
    QList<MemRow> rows; // oldest first, so a new line is an append
    FileStamp log;
    FileStamp journal;
    // The rows past the retention only change when the clock hour or the retention does.
    qint64 filteredHour = LLONG_MIN;
    int filteredRetention = -1;
    // Since the last take: the view is to be rebuilt, or gets `added` rows on top and loses
    // `removed` at the bottom.
    bool reset = true;
    qsizetype added = 0;
    qsizetype removed = 0;
};

QMutex g_mutex; // the memory, and this process's journal writes
LogMemory g_memory;
std::atomic<int> g_batchDepth{0};

LogMemory& memoryFor(const FilePaths& p)
{
    if (g_memory.logPath != p.logFile) {
        g_memory = LogMemory();
        g_memory.logPath = p.logFile;
    }
    return g_memory;
}

void dropExpired(LogMemory& m, qint64 nowKey, int retention)
{
    if (m.filteredHour == nowKey && m.filteredRetention == retention)
        return;
    m.filteredHour = nowKey;
    m.filteredRetention = retention;
    qsizetype prefix = 0;
    while (prefix < m.rows.size() && !kept(m.rows[prefix].key, nowKey, retention))
        ++prefix;
    const bool elsewhere =
        std::any_of(m.rows.cbegin() + prefix, m.rows.cend(),
                    [&](const MemRow& r) { return !kept(r.key, nowKey, retention); });
    if (elsewhere) {
        // The clock went back at some point: lines are out of order, rebuild the view.
        m.rows.removeIf([&](const MemRow& r) { return !kept(r.key, nowKey, retention); });
        m.reset = true;
        return;
    }
    if (prefix == 0)
        return;
    m.rows.remove(0, prefix);
    if (m.reset)
        return;
    const qsizetype shown = m.rows.size() + prefix - m.added;
    const qsizetype goneShown = std::min(prefix, shown);
    m.removed += goneShown;
    m.added -= prefix - goneShown;
}

// Rows of the log as it stands, oldest first. Under the data lock.
std::optional<QList<MemRow>> loadRows(const FilePaths& p, QString* error)
{
    const auto stored = readStoredLines(p, error);
    if (!stored)
        return std::nullopt;
    QList<MemRow> rows;
    const QStringList journal = readJournalLines(journalPathOf(p));
    rows.reserve(stored->size() + journal.size());
    for (auto it = stored->crbegin(); it != stored->crend(); ++it) {
        if (auto parsed = parseLine(*it))
            rows.append(MemRow{rowOf(parsed->fields), parsed->key});
    }
    for (const QString& line : journal) {
        if (auto parsed = parseLine(line))
            rows.append(MemRow{rowOf(parsed->fields), parsed->key});
    }
    return rows;
}

// ---- folding ----

// Finishes or undoes a fold that a crash interrupted. Under the data lock.
bool recoverFold(const FilePaths& p, QString* error)
{
    const QString fold = foldCopyPath(p);
    const QByteArray foldName = QFile::encodeName(fold);
    struct stat st;
    if (::stat(foldName.constData(), &st) != 0)
        return true;
    if (QFileInfo::exists(journalPathOf(p)))
        return removeIfExists(fold, error); // not committed: the journal still holds the lines
    if (::rename(foldName.constData(), QFile::encodeName(p.logFile).constData()) != 0) {
        setError(error,
                 QStringLiteral("ログを置き換えられません (%1): %2").arg(p.logFile, sysError()));
        return false;
    }
    syncFolder(p.dataDir);
    return true;
}

// Under the data lock and g_mutex.
bool foldLocked(const FilePaths& p, int retention, const QDateTime& now, QString* error)
{
    if (!recoverFold(p, error))
        return false;
    const QString journal = journalPathOf(p);
    if (!QFileInfo::exists(journal))
        return true;
    LogMemory& m = memoryFor(p);
    // Someone else changed the log or the journal: what memory holds is not the log any more.
    if (m.loaded && (stampOf(p.logFile) != m.log || stampOf(journal) != m.journal))
        m.loaded = false;

    const auto stored = readStoredLines(p, error);
    if (!stored)
        return false;
    const QStringList fresh = readJournalLines(journal);
    const qint64 nowKey = hourKeyOf(now);
    QStringList out;
    out.reserve(stored->size() + fresh.size());
    // Journal lines stay as they were written; carried lines become one quoted string each.
    for (auto it = fresh.crbegin(); it != fresh.crend(); ++it) {
        const auto parsed = parseLine(*it);
        if (parsed && kept(parsed->key, nowKey, retention))
            out.append(*it);
    }
    for (const QString& line : *stored) {
        const auto parsed = parseLine(line);
        if (parsed && kept(parsed->key, nowKey, retention))
            out.append(QLatin1Char('"') + parsed->fields.join(QLatin1Char(',')) + QLatin1Char('"'));
    }
    const auto bytes = encodeLines(out, error);
    if (!bytes)
        return false;
    std::optional<QByteArray> envelope;
    if (encryptionOn())
        envelope = encryptBytes(*bytes); // a plain log rather than none when this fails

    const QString fold = foldCopyPath(p);
    removeStaleTempFiles(fold);
    removeStaleTempFiles(p.logFile);
    if (!writeFileAtomic(fold, envelope ? *envelope : *bytes, error))
        return false;
    // The commit: with the journal gone the fold copy is the log, whatever happens next.
    if (!removeIfExists(journal, error)) {
        removeIfExists(fold);
        return false;
    }
    if (::rename(QFile::encodeName(fold).constData(), QFile::encodeName(p.logFile).constData()) !=
        0) {
        // Committed all the same; the next fold or read finishes the rename.
        setError(error,
                 QStringLiteral("ログを置き換えられません (%1): %2").arg(p.logFile, sysError()));
        return false;
    }
    syncFolder(p.dataDir);
    // The next fold reads the log back: the whole of it need not be decrypted again.
    if (envelope)
        rememberStoredPlain(p.logFile, *envelope, *bytes);
    g_unsynced = false;
    g_journalCreated = false;

    if (m.loaded) {
        dropExpired(m, nowKey, retention);
        m.log = stampOf(p.logFile);
        m.journal = FileStamp{};
    }
    return true;
}

// The retention TimerSet.txt holds, read again only when the file changed: a cycle writes a
// line per message.
int storedRetention()
{
    static QMutex mutex;
    static QString path;
    static FileStamp stamp;
    static int retention = 0;
    QMutexLocker lock(&mutex);
    const QString now = filePaths().settingsFile;
    const FileStamp current = stampOf(now);
    if (now != path || current != stamp || !current.exists) {
        retention = LoadTimerSettings().logRetentionHours;
        path = now;
        stamp = current;
    }
    return retention;
}

} // namespace

QString withoutLogSeparators(QString text)
{
    text.remove(QLatin1Char(','));
    text.remove(QLatin1Char('\r'));
    text.remove(QLatin1Char('\n'));
    return text;
}

QString logJournalPath()
{
    return journalPathOf(filePaths());
}

qint64 hourBoundariesBetween(const QDateTime& from, const QDateTime& to)
{
    // Clock hours as read on the wall, like a calendar difference: 10:59 to 11:00 is one.
    return hourKeyOf(to) - hourKeyOf(from);
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
    const QStringList fields = {now.toString(QStringLiteral("yyyy/MM/dd")),
                                now.toString(QStringLiteral("HH:mm")), field(first),
                                field(withoutLogSeparators(second)),
                                // A server's reply ("451 ..., try later") may hold commas too.
                                field(withoutLogSeparators(third))};
    const auto record = journalRecord(joinQuoted(fields), error);
    if (!record)
        return false;
    const bool inBatch = g_batchDepth.load() > 0;

    DataLock lock;
    if (!lock.isLocked()) {
        setError(error, lock.error());
        return false;
    }
    QMutexLocker guard(&g_mutex);
    if (!recoverFold(p, error))
        return false;
    LogMemory& m = memoryFor(p);
    const QString journal = journalPathOf(p);
    if (m.loaded && (stampOf(p.logFile) != m.log || stampOf(journal) != m.journal))
        m.loaded = false;
    // In a batch the line waits for syncLog() or the fold; otherwise the fold follows now.
    if (!appendRecord(p, *record, error))
        return false;
    if (m.loaded) {
        m.rows.append(MemRow{rowOf(fields), hourKeyOf(now)});
        ++m.added;
        dropExpired(m, hourKeyOf(now), retentionHours);
        m.journal = stampOf(journal);
    }
    if (inBatch)
        return true;
    return foldLocked(p, retentionHours, now, error);
}

void WriteLog(const LogLine& line) noexcept
{
    try {
        writeLogLine(line.account, line.sender, line.destination, storedRetention(), Clock::now());
    } catch (...) {
        // Logging must never take its caller down.
    }
}

LogBatch::LogBatch()
{
    ++g_batchDepth;
}

LogBatch::~LogBatch()
{
    if (--g_batchDepth > 0)
        return;
    try {
        // A log that cannot be rewritten now keeps the journal, synced, for the next fold.
        if (!foldLog(storedRetention(), Clock::now()))
            syncLog();
    } catch (...) {
    }
}

bool syncLog(QString* error)
{
    QMutexLocker guard(&g_mutex);
    return syncJournal(filePaths(), error);
}

bool foldLog(int retentionHours, const QDateTime& now, QString* error)
{
    const FilePaths& p = filePaths();
    DataLock lock;
    if (!lock.isLocked()) {
        setError(error, lock.error());
        return false;
    }
    QMutexLocker guard(&g_mutex);
    return foldLocked(p, retentionHours, now, error);
}

std::optional<QList<LogRow>> readLog(QString* error)
{
    const FilePaths& p = filePaths();
    DataLock lock;
    if (!lock.isLocked()) {
        setError(error, lock.error());
        return std::nullopt;
    }
    QMutexLocker guard(&g_mutex);
    if (!recoverFold(p, error))
        return std::nullopt;
    const auto rows = loadRows(p, error);
    if (!rows)
        return std::nullopt;
    QList<LogRow> out;
    out.reserve(rows->size());
    for (auto it = rows->crbegin(); it != rows->crend(); ++it)
        out.append(it->row);
    return out;
}

std::optional<LogViewChange> takeLogViewChange(QString* error)
{
    const FilePaths& p = filePaths();
    QMutexLocker guard(&g_mutex);
    LogMemory& m = memoryFor(p);
    const QString journal = journalPathOf(p);
    if (m.loaded && (stampOf(p.logFile) != m.log || stampOf(journal) != m.journal))
        m.loaded = false;
    if (!m.loaded) {
        guard.unlock(); // the data lock comes first, as everywhere
        DataLock lock;
        if (!lock.isLocked()) {
            setError(error, lock.error());
            return std::nullopt;
        }
        guard.relock();
        if (!recoverFold(p, error))
            return std::nullopt;
        auto rows = loadRows(p, error);
        if (!rows)
            return std::nullopt;
        LogMemory& fresh = memoryFor(p);
        fresh.rows = std::move(*rows);
        fresh.loaded = true;
        fresh.reset = true;
        fresh.added = fresh.removed = 0;
        fresh.filteredHour = LLONG_MIN;
        fresh.log = stampOf(p.logFile);
        fresh.journal = stampOf(journal);
    }
    LogMemory& now = memoryFor(p);
    LogViewChange change;
    if (now.reset) {
        change.reset = true;
        change.rows.reserve(now.rows.size());
        for (auto it = now.rows.crbegin(); it != now.rows.crend(); ++it)
            change.rows.append(it->row);
    } else if (now.added == 0 && now.removed == 0) {
        return std::nullopt;
    } else {
        change.rows.reserve(now.added);
        for (qsizetype i = now.rows.size() - 1; i >= now.rows.size() - now.added; --i)
            change.rows.append(now.rows.at(i).row);
        change.removeFromBottom = now.removed;
    }
    now.reset = false;
    now.added = now.removed = 0;
    return change;
}

std::optional<QList<LogRow>> takeLogRows(QString* error)
{
    if (!takeLogViewChange(error))
        return std::nullopt;
    QMutexLocker guard(&g_mutex);
    const LogMemory& m = memoryFor(filePaths());
    QList<LogRow> rows;
    rows.reserve(m.rows.size());
    for (auto it = m.rows.crbegin(); it != m.rows.crend(); ++it)
        rows.append(it->row);
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
    QMutexLocker guard(&g_mutex);
    LogMemory& m = memoryFor(p);
    m.rows.clear();
    m.reset = true;
    m.added = m.removed = 0;
    const bool removed =
        removeIfExists(foldCopyPath(p), error) && removeIfExists(journalPathOf(p), error) &&
        removeIfExists(p.logFile, error) && removeIfExists(p.logWriteCopy, error) &&
        removeIfExists(p.logReadCopy, error);
    m.loaded = removed;
    m.log = stampOf(p.logFile);
    m.journal = stampOf(journalPathOf(p));
    return removed;
}

} // namespace qm
