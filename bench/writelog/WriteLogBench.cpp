// Cost of one log line as the log grows (100 to 30,000 lines), plain and encrypted: a line
// written in a cycle, synced as the message ends and shown in the log view, as the window
// service does it; and the fold that rewrites the log once at the end of a cycle (here
// with 100 new lines).
//   qm_bench_writelog     (target: a line at 30,000 lines at most 1.5 x a line at 100)
#include "data/AtomicFile.h"
#include "data/Encryption.h"
#include "data/ForwardLog.h"
#include "data/Paths.h"
#include "data/TextCodec.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

QByteArray makeLog(int lines, const QDateTime& now)
{
    QStringList out;
    out.reserve(lines);
    for (int i = 0; i < lines; ++i) {
        const QDateTime t = now.addSecs(-(i % 600) * 60);
        out.append(
            QStringLiteral("\"%1,%2,営業部アカウント%3,差出人 sender%4@example.co.jp,転送先 fax "
                           "03-1234-5678 送信完了\"")
                .arg(t.toString(QStringLiteral("yyyy/MM/dd")), t.toString(QStringLiteral("HH:mm")))
                .arg(i % 99)
                .arg(i));
    }
    return *qm::encodeLines(out);
}

// A program folder whose log holds `lines` lines, stored as the service would store it.
struct LogFolder
{
    LogFolder(int lines, bool encrypted)
    {
        qm::setProgramDir(dir.path());
        QDir().mkpath(dir.path() + QStringLiteral("/Data"));
        const qm::FilePaths& p = qm::filePaths();
        if (encrypted)
            qm::writeFileAtomic(p.encryptionMarker, "on");
        const QByteArray plain = makeLog(lines, now);
        stored = encrypted ? *qm::encryptBytes(plain) : plain;
        qm::writeFileAtomic(p.logFile, stored);
    }
    ~LogFolder() { qm::setProgramDir({}); }

    QTemporaryDir dir;
    const QDateTime now = QDateTime::currentDateTime();
    QByteArray stored;
};

bool writeOne(benchmark::State& state, const QDateTime& now)
{
    QString error;
    if (qm::writeLogLine(QStringLiteral("本社"), QStringLiteral("sender@example.jp"),
                         QStringLiteral("送信完了"), 24, now, &error))
        return true;
    state.SkipWithError(error.toUtf8().constData());
    return false;
}

void writeLine(benchmark::State& state, bool encrypted)
{
    LogFolder folder(int(state.range(0)), encrypted);
    const qm::LogBatch batch;
    qm::takeLogViewChange(); // the window has shown the log once
    for (auto _ : state) {
        if (!writeOne(state, folder.now))
            break;
        qm::syncLog(); // the message is done
        benchmark::DoNotOptimize(qm::takeLogViewChange());
    }
    state.counters["stored_bytes"] = double(folder.stored.size());
}

void fold(benchmark::State& state, bool encrypted)
{
    LogFolder folder(int(state.range(0)), encrypted);
    for (auto _ : state) {
        state.PauseTiming();
        {
            const qm::LogBatch batch;
            for (int i = 0; i < 100; ++i)
                writeOne(state, folder.now);
            state.ResumeTiming();
        } // the batch ends: the fold
    }
}

void BM_WriteLogPlain(benchmark::State& state)
{
    writeLine(state, false);
}
void BM_WriteLogEncrypted(benchmark::State& state)
{
    writeLine(state, true);
}
void BM_FoldPlain(benchmark::State& state)
{
    fold(state, false);
}
void BM_FoldEncrypted(benchmark::State& state)
{
    fold(state, true);
}

} // namespace

// 30,000 lines: what a day of 99 busy accounts leaves.
#define QM_LOG_SIZES ->Arg(100)->Arg(1000)->Arg(10000)->Arg(30000)->Unit(benchmark::kMillisecond)
BENCHMARK(BM_WriteLogPlain) QM_LOG_SIZES;
BENCHMARK(BM_WriteLogEncrypted) QM_LOG_SIZES;
BENCHMARK(BM_FoldPlain) QM_LOG_SIZES;
BENCHMARK(BM_FoldEncrypted) QM_LOG_SIZES;

BENCHMARK_MAIN();
