// The skin's costs: loading every accessor once, cold (the first load decodes every picture),
// and warm; the resident memory the loaded skin takes; cutting the region of the largest frame.
#include "CTrade.h"

#include <QGuiApplication>
#include <benchmark/benchmark.h>
#include <fstream>
#include <string>
#include <vector>

namespace {

long ResidentKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

std::vector<CBmpMask> LoadAll() {
    CTrade trade;
    std::vector<CBmpMask> masks;
    for (const CTrade::Named& accessor : CTrade::Accessors()) {
        masks.emplace_back();
        (trade.*accessor.get)(masks.back());
    }
    return masks;
}

// Registered first, so that it runs once before anything else touched the skin: the load
// that start-up pays, and the resident memory the loaded skin adds.
void BM_ColdLoad(benchmark::State& state) {
    CTrade::SetScale(int(state.range(0)));
    std::vector<CBmpMask> masks;
    const long before = ResidentKilobytes();
    for (auto _ : state) {
        masks = LoadAll();
    }
    state.counters["resident_KiB"] = double(ResidentKilobytes() - before);
    CTrade::SetScale(0);
}
BENCHMARK(BM_ColdLoad)->Arg(1)->Arg(2)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_LoadEveryAccessor(benchmark::State& state) {
    CTrade::SetScale(int(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(LoadAll());
    }
    CTrade::SetScale(0);
}
BENCHMARK(BM_LoadEveryAccessor)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_RegionOfTheLargestFrame(benchmark::State& state) {
    CTrade::SetScale(int(state.range(0)));
    const QImage frame = CTrade::LoadPicture(5017);
    CTrade::SetScale(0);
    for (auto _ : state) {
        CBmpMask mask;
        benchmark::DoNotOptimize(mask.CreateBmpRgn(frame));
    }
}
BENCHMARK(BM_RegionOfTheLargestFrame)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_RegionOfTheHall(benchmark::State& state) {
    // The hall is a full picture without a key colour: the worst case, a run per colour change.
    CTrade::SetScale(1);
    const QImage frame = CTrade::LoadPicture(5016);
    CTrade::SetScale(0);
    for (auto _ : state) {
        CBmpMask mask;
        benchmark::DoNotOptimize(mask.CreateBmpRgn(frame));
    }
}
BENCHMARK(BM_RegionOfTheHall)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
