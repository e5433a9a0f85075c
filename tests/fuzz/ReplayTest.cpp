#include "FuzzEntries.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace {

std::string g_current; // the input being replayed, named when a check aborts

void nameInputOnAbort(int)
{
    const char prefix[] = "\nfuzz replay: aborted on input ";
    (void)!write(2, prefix, sizeof prefix - 1);
    (void)!write(2, g_current.data(), g_current.size());
    (void)!write(2, "\n", 1);
    std::signal(SIGABRT, SIG_DFL);
    std::raise(SIGABRT);
}

void ensureApp()
{
    static int argc = 1;
    static char name[] = "qm_fuzz_replay_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    std::signal(SIGABRT, nameInputOnAbort);
}

class FuzzReplay : public testing::TestWithParam<const char*>
{
};

TEST_P(FuzzReplay, EveryKeptInputIsReadWithoutFault)
{
    ensureApp();
    const QString target = QString::fromLatin1(GetParam());
    const qm::fuzz::Entry entry = qm::fuzz::entryFor(target);
    ASSERT_NE(entry, nullptr);
    const QDir corpus(QStringLiteral(QM_SOURCE_DIR "/tests/fuzz/corpus/") + target);
    const QStringList files = corpus.entryList(QDir::Files, QDir::Name);
    // A target without kept inputs would pass without testing anything.
    ASSERT_FALSE(files.isEmpty()) << corpus.path().toStdString();
    for (const QString& name : files) {
        QFile f(corpus.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << name.toStdString();
        const QByteArray bytes = f.readAll();
        g_current = (target + QLatin1Char('/') + name).toStdString();
        entry(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay,
                         testing::Values("mail", "account_file", "settings_line", "log",
                                         "remote_command", "decrypt"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param);
                         });

} // namespace
