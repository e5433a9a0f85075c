// What a --run-once cycle costs besides its work. A cycle that drew nothing must not load
// the system's font configuration (the drawing libraries stay out of the program); one that
// rendered a fax uses fonts, through its drawing helper, and still ends cleanly.

#include "ProgramFolder.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

using namespace qm;
using namespace qm::test;

namespace {

struct TracedRun
{
    int exitCode = -1;
    bool loadedFontConfig = false;
    QString output;
};

// fontconfig reports every configuration file it loads when FC_DEBUG has 1024 set.
TracedRun runTracingFontConfig(const ProgramFolder& program)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("FC_DEBUG"), QStringLiteral("1024"));
    p.setProcessEnvironment(env);
    p.start(program.exe(), {QStringLiteral("--run-once")});
    TracedRun run;
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return run;
    }
    run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.output = QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError());
    run.loadedFontConfig = run.output.contains(QStringLiteral("Loading config file"));
    return run;
}

} // namespace

TEST(Startup, ACycleThatDrawsNothingLoadsNoFontConfiguration)
{
    ProgramFolder program;
    program.writeSettings(1);
    program.writeAccountLines({});
    const TracedRun run = runTracingFontConfig(program);
    ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();
    EXPECT_FALSE(run.loadedFontConfig) << run.output.toStdString();
}

TEST(Startup, ACycleThatRendersAFaxUsesFontsAndEndsCleanly)
{
    QM_REQUIRE_MAIL_SERVERS(servers);
    ProgramFolder program;
    program.writeSettings(1);
    program.writeAccounts({testAccount(servers, "01", 79, QStringLiteral("startup79@dest.test"))});
    deliver(79, QStringLiteral("山田 <yamada@sender.test>"), QStringLiteral("03-1234-5678"),
            QStringLiteral("図面を送ります。\n"));
    const TracedRun run = runTracingFontConfig(program);
    ASSERT_EQ(run.exitCode, 0) << run.output.toStdString() << program.logDump().toStdString();
    // The probe sees font loading when there is some, so the test above means something.
    EXPECT_TRUE(run.loadedFontConfig);
    const QDir spool(QDir(program.path()).filePath(QStringLiteral("Data/FaxSpool")));
    EXPECT_EQ(spool.entryList({QStringLiteral("*.tif")}, QDir::Files).size(), 1)
        << program.logDump().toStdString();
    emptyMailbox(userName(79));
}
