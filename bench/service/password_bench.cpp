// One password check at the default number of rounds: what a login costs.
// A user should not notice it (well under 100 ms); an attacker pays it for
// every guess.
#include <benchmark/benchmark.h>

#include "service/store/PasswordHash.h"

namespace {

void BM_PasswordCheckAtDefaultRounds(benchmark::State &state)
{
    const PasswordHash hash;
    const QString stored = hash.make(QStringLiteral("secret1"));
    for (auto _ : state)
        benchmark::DoNotOptimize(PasswordHash::matches(stored, QStringLiteral("secret1")));
    state.counters["rounds"] = hash.iterations();
}

} // namespace

BENCHMARK(BM_PasswordCheckAtDefaultRounds)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK_MAIN();
