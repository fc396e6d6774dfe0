// The cost that every public operation pays for its trace scope and its lock.
//   build/ci/bin/foundation_bench
#include "CLast.h"
#include "CPrivateAction.h"
#include "CPublicAction.h"
#include "CScorp.h"
#include "CTrace.h"
#include "CVeskError.h"

#include <benchmark/benchmark.h>

static void ScorpWithTracingOff(benchmark::State& state) {
    CTrace& trace = CLast::Trace();
    if (trace.IsEnabled()) {
        state.SkipWithError("run without \"trace\" on the command line");
        return;
    }
    for (auto _ : state) {
        CScorp scope("CSequencerPlay", "Start", CLast::Trace());
        benchmark::DoNotOptimize(&scope);
    }
}
BENCHMARK(ScorpWithTracingOff);

static void PrivateActionUncontended(benchmark::State& state) {
    for (auto _ : state) {
        CPrivateAction lock(99, "kiromidi", "OutShortMsg");
        benchmark::DoNotOptimize(&lock);
    }
}
BENCHMARK(PrivateActionUncontended);

static void PublicActionUncontended(benchmark::State& state) {
    for (auto _ : state) {
        CPublicAction lock("CMetronome", "Start");
        benchmark::DoNotOptimize(&lock);
    }
}
BENCHMARK(PublicActionUncontended);

// An error value made and dropped: two activity stamps.
static void VeskErrorLifetime(benchmark::State& state) {
    for (auto _ : state) {
        CVeskError error;
        benchmark::DoNotOptimize(&error);
    }
}
BENCHMARK(VeskErrorLifetime);

BENCHMARK_MAIN();
