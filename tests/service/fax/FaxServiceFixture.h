#pragma once

#include "data/ForwardLog.h"
#include "data/Paths.h"
#include "data/SettingsLine.h"
#include "data/TextCodec.h"
#include "platform/render/FaxTestSupport.h"
#include "service/EngineContext.h"
#include "service/Screen.h"
#include "service/SystemParts.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <optional>

namespace qm::test {

// Shows nothing: keeps the log as the window would, and counts message boxes.
class RecordingScreen : public service::Screen
{
public:
    service::BoxAnswer messageBox(const QString& text, const QString&, service::BoxIcon,
                                  service::BoxButtons) override
    {
        boxes << text;
        return service::BoxAnswer::Ok;
    }
    void showLog() override
    {
        if (auto rows = takeLogRows())
            log = *rows;
    }
    void processEvents() override {}

    QStringList boxes;
    QList<LogRow> log;
};

struct SpoolJob
{
    QString number, name, source, tif;
};

// A program folder of its own with an engine context on it.
class FaxServiceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        setProgramDir(m_dir.path());
        ensureDataDir();
        ctx.paths = filePaths();
        parts.emplace(ctx.paths.dataDir);
        parts->attach(ctx);
        ctx.screen = &screen;
        // The engine's pauses give real servers time; these tests do not wait them out.
        ctx.wait = [](int) {};
        ctx.account.accountNo = QStringLiteral("01");
        ctx.account.accountName = QStringLiteral("試験FAX");
    }
    void TearDown() override { setProgramDir(QString()); }

    QString path(const QString& relative) const { return QDir(m_dir.path()).filePath(relative); }

    QString writeFile(const QString& relative, const QByteArray& bytes) const
    {
        const QString p = path(relative);
        QDir().mkpath(QFileInfo(p).path());
        QFile f(p);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return p;
    }

    void writeLines(const QString& file, const QStringList& lines) const
    {
        QDir().mkpath(QFileInfo(file).path());
        QString error;
        ASSERT_TRUE(writeTextLines(file, lines, &error)) << error.toStdString();
    }

    // Jobs in the spool folder, oldest first.
    QList<SpoolJob> spoolJobs() const
    {
        QList<SpoolJob> jobs;
        const QDir spool(path(QStringLiteral("Data/FaxSpool")));
        for (const QString& name :
             spool.entryList({QStringLiteral("*.job")}, QDir::Files, QDir::Name)) {
            SpoolJob job;
            for (const QString& line :
                 readTextLines(spool.filePath(name)).value_or(QStringList())) {
                const QStringList f = splitSettingsLine(line);
                if (f.value(0) == u"number")
                    job.number = f.value(1);
                if (f.value(0) == u"name")
                    job.name = f.value(1);
                if (f.value(0) == u"source")
                    job.source = f.value(1);
                if (f.value(0) == u"document")
                    job.tif = spool.filePath(f.value(1));
            }
            jobs << job;
        }
        return jobs;
    }

    // The third column of every log line of the account, oldest first.
    QStringList logDestinations(const QString& second) const
    {
        QStringList out;
        for (const LogRow& r : screen.log)
            if (r.account == ctx.account.accountName && r.sender == second)
                out.prepend(r.destination);
        return out;
    }

    // Every job fails: a HylaFAX server that is not there.
    void useUnreachableFaxServer() const
    {
        ASSERT_TRUE(
            writeTextLines(filePaths().faxPathFile, {QStringLiteral("\"backend\",\"hylafax\""),
                                                     QStringLiteral("\"host\",\"127.0.0.1:1\""),
                                                     QStringLiteral("\"timeout\",\"20\"")}));
    }

    QTemporaryDir m_dir;
    RecordingScreen screen;
    std::optional<service::SystemParts> parts;
    service::EngineContext ctx;
};

} // namespace qm::test
