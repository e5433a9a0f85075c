// Cost of the ISO-2022-JP text of an outgoing mail: a forwarded subject, folded into
// encoded words (many short conversions), and a forwarded body (one long one).
//   qm_bench_text
#include "platform/mail/JapaneseText.h"

#include <benchmark/benchmark.h>

namespace {

const QString kSubject = QStringLiteral("【転送】Re: 見積書の送付について（再送）2026年12月分 "
                                        "株式会社サンプル 営業部 山田様");

QString body()
{
    QString s;
    for (int i = 0; i < 40; ++i)
        s += QStringLiteral("お世話になっております。見積書 No.%1 を送ります。ご確認ください。\n")
                 .arg(i);
    return s;
}

void encodeSubject(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(qm::mail::encodeHeaderText(kSubject));
}
BENCHMARK(encodeSubject);

void encodeBody(benchmark::State& state)
{
    const QString text = body();
    QByteArray out;
    for (auto _ : state) {
        benchmark::DoNotOptimize(qm::mail::encodeIso2022Jp(text, &out));
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(encodeBody);

} // namespace

BENCHMARK_MAIN();
