// The cost of a change in the shared state: validation, the store, the posts to the windows
// and the calls to the workers. All thirteen windows and all four workers are registered.
//   build/ci/bin/model_bench
#include "CWinMsg.h"
#include "EngineDoubles.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>

namespace {

// Handles what the windows were sent now and then, as the window thread would.
void Drain(CTestModel& model, std::int64_t iteration) {
    if (iteration % 64 == 0) {
        model.Settle();
    }
}

} // namespace

static void SetDefTimbreNotifiesWindowsPianoAndRecorder(benchmark::State& state) {
    CTestModel model;
    std::int64_t i = 0;
    for (auto _ : state) {
        model.SetDefTimbre(i % 2 == 0 ? TIM_STRINGS : TIM_GRANDPIANO, nullptr);
        Drain(model, ++i);
    }
}
BENCHMARK(SetDefTimbreNotifiesWindowsPianoAndRecorder);

static void SetTempoWithDeferredCommand(benchmark::State& state) {
    CTestModel model;
    std::int64_t i = 0;
    for (auto _ : state) {
        model.SetTempo(i % 2 == 0 ? 100 : 140, nullptr);
        Drain(model, ++i);
    }
}
BENCHMARK(SetTempoWithDeferredCommand);

static void RefreshDlgTellsEveryWindow(benchmark::State& state) {
    CTestModel model;
    for (auto _ : state) {
        model.RefreshDlg();
    }
}
BENCHMARK(RefreshDlgTellsEveryWindow);

static void PostScoreNoteCoalesced(benchmark::State& state) {
    CTestModel model;
    std::int64_t i = 0;
    for (auto _ : state) {
        model.PostScoreNote(21 + static_cast<unsigned int>(i % 88), 100);
        Drain(model, ++i);
    }
}
BENCHMARK(PostScoreNoteCoalesced);

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
