#include "service/ConsoleLog.h"

#include <QByteArray>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>

namespace qm::service {

namespace {

bool journalStreamMatches()
{
    const char* stream = std::getenv("JOURNAL_STREAM");
    if (!stream)
        return false;
    // "<device>:<inode>" of the stream systemd connected; a child of the service inherits the
    // variable but may have its standard error somewhere else.
    unsigned long long device = 0, inode = 0;
    if (std::sscanf(stream, "%llu:%llu", &device, &inode) != 2)
        return false;
    struct stat st = {};
    if (::fstat(2, &st) != 0)
        return false;
    return static_cast<unsigned long long>(st.st_dev) == device &&
           static_cast<unsigned long long>(st.st_ino) == inode;
}

void writeBytes(const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

LogPriority priorityOf(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return LogPriority::Debug;
    case QtInfoMsg:
        return LogPriority::Info;
    case QtWarningMsg:
        return LogPriority::Warning;
    case QtCriticalMsg:
        return LogPriority::Error;
    case QtFatalMsg:
        return LogPriority::Critical;
    }
    return LogPriority::Warning;
}

} // namespace

bool stderrIsJournal()
{
    static const bool journal = journalStreamMatches();
    return journal;
}

void writeConsoleMessage(LogPriority priority, const QString& text)
{
    if (!stderrIsJournal()) {
        writeBytes((text + u'\n').toLocal8Bit());
        return;
    }
    // journald makes one entry of each line; a line without the prefix would be logged at the
    // unit's default level, so a multi-line error keeps its priority on every line.
    const QByteArray prefix = '<' + QByteArray::number(int(priority)) + '>';
    QString normalised = text;
    normalised.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    normalised.replace(u'\r', u'\n');
    while (normalised.endsWith(u'\n'))
        normalised.chop(1);
    QByteArray out;
    for (const QString& line : normalised.split(u'\n'))
        out += prefix + line.toUtf8() + '\n';
    writeBytes(out);
}

void routeQtMessagesToJournal()
{
    if (!stderrIsJournal())
        return;
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        writeConsoleMessage(priorityOf(type), message);
    });
}

} // namespace qm::service
