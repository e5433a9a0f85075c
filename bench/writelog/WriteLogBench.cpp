// Cost of one log write as the log grows (100 to 30,000 lines), plain and encrypted.
//   qm_bench_writelog            (target: encrypted 10,000 lines under 3x plain)
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

void writeLog(benchmark::State& state, bool encrypted)
{
    QTemporaryDir dir;
    qm::setProgramDir(dir.path());
    QDir().mkpath(dir.path() + QStringLiteral("/Data"));
    const qm::FilePaths& p = qm::filePaths();
    if (encrypted)
        qm::writeFileAtomic(p.encryptionMarker, "on");
    const QDateTime now = QDateTime::currentDateTime();
    const QByteArray plain = makeLog(int(state.range(0)), now);
    const QByteArray stored = encrypted ? *qm::encryptBytes(plain) : plain;

    // The service writes line after line: each write finds the file the previous one left.
    // The log grows by one line per iteration, which is small against its size.
    qm::writeFileAtomic(p.logFile, stored);
    for (auto _ : state) {
        QString error;
        if (!qm::writeLogLine(QStringLiteral("本社"), QStringLiteral("sender@example.jp"),
                              QStringLiteral("送信完了"), 24, now, &error))
            state.SkipWithError(error.toUtf8().constData());
    }
    state.counters["stored_bytes"] = double(stored.size());
    qm::setProgramDir({});
}

void BM_WriteLogPlain(benchmark::State& state)
{
    writeLog(state, false);
}
void BM_WriteLogEncrypted(benchmark::State& state)
{
    writeLog(state, true);
}

} // namespace

// 30,000 lines: what a day of 99 busy accounts leaves.
BENCHMARK(BM_WriteLogPlain)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(30000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteLogEncrypted)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(30000)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
