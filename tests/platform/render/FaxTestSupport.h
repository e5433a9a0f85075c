#pragma once

#include <QCoreApplication>
#include <QGuiApplication>
#include <QProcess>
#include <QString>
#include <cstdlib>
#include <gtest/gtest.h>

namespace qm::test {

// Fonts and printing need a GUI application; the offscreen platform needs no display.
class GuiEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        if (QCoreApplication::instance())
            return;
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "qm-test";
        static char* argv[] = {name, nullptr};
        new QGuiApplication(argc, argv);
    }
};

inline const bool kGuiEnvironmentAdded =
    (::testing::AddGlobalTestEnvironment(new GuiEnvironment), true);

inline bool runningInCi()
{
    return qEnvironmentVariable("CI").compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}

// Runs a tool and returns its standard output (empty on failure).
inline QByteArray toolOutput(const QString& program, const QStringList& args, int timeoutMs = 60000)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs))
        return {};
    return p.readAllStandardOutput();
}

} // namespace qm::test

// In a TEST body: the value of a test server variable; fails under CI when it is
// missing, skips otherwise.
#define QM_REQUIRE_SERVER_VAR(var, name)                                                           \
    const QString var = qEnvironmentVariable(name);                                                \
    if (var.isEmpty()) {                                                                           \
        if (::qm::test::runningInCi())                                                             \
            FAIL() << name << " is not set: run through tests/servers/run.sh";                     \
        GTEST_SKIP() << name << " is not set (run through tests/servers/run.sh)";                  \
    }
