// When the metronome's sounds begin at the virtual ZQ31, against the ideal schedule, and what
// the metronome costs: the metronome runs in 4/4 at 120 and then at 300 BPM for some seconds
// each; every sound the piano heard is found in its audio by content, and its onset is read
// from the time stamps of its blocks (the device hands each 10 ms slice over when it has been
// played, so a block's time less the time its bytes take is when the sound began; the
// earliest such reading among a sound's blocks is the least disturbed one).
//   build/ci/bin/metronome_timing [seconds per tempo, default 60] [--busy] [--wav FILE]
// --busy keeps one core busy meanwhile; --wav writes what the piano heard in the first two
// bars at 120 BPM, placed at its onsets, as a WAV file to listen to and look at.
#include "CLast.h"
#include "CMetronome.h"
#include "CMetronomeClock.h"
#include "CSysinfo.h"
#include "CVeskToy.h"
#include "CVirtualPiano.h"
#include "mmsystemx.h"

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kBytesPerMs = 176.4;

double Ms(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(t.time_since_epoch()).count();
}

// The metronome's own clock, remembering its first reading (the start of the schedule) and how
// late each wait ended.
class CStartClock : public CMetronomeClock {
public:
    double Now() override {
        const double now = CMetronomeClock::Now();
        double expected = 0;
        m_start.compare_exchange_strong(expected, now);
        return now;
    }
    bool WaitUntil(double target, const std::atomic<int>& running) override {
        const bool reached = CMetronomeClock::WaitUntil(target, running);
        if (reached) {
            m_late.push_back(CMetronomeClock::Now() - target);
        }
        return reached;
    }
    double Start() const { return m_start; }
    // Read after the metronome stopped.
    const std::vector<double>& Late() const { return m_late; }

private:
    std::atomic<double> m_start{0};
    std::vector<double> m_late;
};

struct Onset {
    bool ding;
    double time; // ms on the steady clock
    std::vector<std::size_t> blocks;
};

// Splits what the piano heard into sounds by content and dates each.
std::vector<Onset> Onsets(const std::vector<CVirtualPiano::ReceivedAudio>& blocks,
                          const QByteArray& click, const QByteArray& ding, int& strange) {
    std::vector<Onset> onsets;
    const QByteArray* current = nullptr;
    qsizetype at = 0;
    strange = 0;
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        const auto& block = blocks[b];
        const auto size = static_cast<qsizetype>(block.bytes.size());
        const auto matches = [&](const QByteArray& sound, qsizetype offset) {
            return offset + size <= sound.size() &&
                   std::memcmp(sound.constData() + offset, block.bytes.data(),
                               block.bytes.size()) == 0;
        };
        if (current == nullptr || !matches(*current, at)) {
            if (matches(ding, 0)) {
                current = &ding;
            } else if (matches(click, 0)) {
                current = &click;
            } else {
                ++strange;
                current = nullptr;
                continue;
            }
            at = 0;
            onsets.push_back({current == &ding, 1e300, {}});
        }
        at += size;
        Onset& onset = onsets.back();
        onset.time = std::min(onset.time, Ms(block.time) - static_cast<double>(at) / kBytesPerMs);
        onset.blocks.push_back(b);
    }
    return onsets;
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(std::ceil(p * static_cast<double>(values.size())));
    return values[std::min(values.size() - 1, index == 0 ? 0 : index - 1)];
}

// Processor time of the thread named name, in ms (from the scheduler's own accounting).
double ThreadCpuMs(const char* name) {
    DIR* tasks = opendir("/proc/self/task");
    if (tasks == nullptr) {
        return -1;
    }
    double found = -1;
    while (dirent* entry = readdir(tasks)) {
        const std::string task = std::string("/proc/self/task/") + entry->d_name;
        std::ifstream comm(task + "/comm");
        std::string threadName;
        std::getline(comm, threadName);
        if (threadName == name) {
            std::ifstream schedstat(task + "/schedstat");
            double ns = 0;
            schedstat >> ns;
            found = ns / 1e6;
        }
    }
    closedir(tasks);
    return found;
}

double ProcessCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

void WriteWav(const char* path, const std::vector<Onset>& onsets,
              const std::vector<CVirtualPiano::ReceivedAudio>& blocks, double start,
              double lengthMs) {
    std::vector<std::int16_t> samples(static_cast<std::size_t>(lengthMs * 44.1) * 2, 0);
    // Every sound from its onset on, as far as it was heard.
    for (const Onset& onset : onsets) {
        auto at = static_cast<std::size_t>(std::llround((onset.time - start) * 44.1)) * 2;
        for (const std::size_t b : onset.blocks) {
            const auto& bytes = blocks[b].bytes;
            for (std::size_t i = 0; i + 1 < bytes.size() && at < samples.size(); i += 2, ++at) {
                std::memcpy(&samples[at], &bytes[i], 2);
            }
        }
    }
    std::ofstream out(path, std::ios::binary);
    const auto put32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    const auto put16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    const auto data = static_cast<std::uint32_t>(samples.size() * 2);
    out.write("RIFF", 4);
    put32(36 + data);
    out.write("WAVEfmt ", 8);
    put32(16);
    put16(1);
    put16(2);
    put32(44100);
    put32(176400);
    put16(4);
    put16(16);
    out.write("data", 4);
    put32(data);
    out.write(reinterpret_cast<const char*>(samples.data()), data);
}

// One run at tempo; prints one line of figures.
void Run(unsigned int tempo, double seconds, bool busy, const char* wav) {
    auto piano = mmxUseVirtualPiano(std::make_shared<CVirtualPiano>());
    piano->SetActiveSensing(false);
    CStartClock clock;
    double threadMs = 0;
    double processMs = 0;
    double wallMs = 0;
    {
        CMetronome metronome(clock);
        metronome.Initialize();
        metronome.SetTempo(tempo);
        const double processBefore = ProcessCpuMs();
        const auto begin = Clock::now();
        if (metronome.Start() != ERR_VESK_OK) {
            std::fprintf(stderr, "metronome_timing: the metronome does not start\n");
            std::exit(1);
        }
        std::this_thread::sleep_until(begin + std::chrono::duration_cast<Clock::duration>(
                                                  std::chrono::duration<double>(seconds)));
        threadMs = ThreadCpuMs("metronome");
        processMs = ProcessCpuMs() - processBefore;
        wallMs = Ms(Clock::now()) - Ms(begin);
        metronome.Stop();
    }
    const CVeskToy toy;
    const QByteArray click =
        toy.GetWaveResource(QStringLiteral("CLICK"), QStringLiteral("cantacore")).mid(44);
    const QByteArray ding =
        toy.GetWaveResource(QStringLiteral("DING"), QStringLiteral("cantacore")).mid(44);
    const auto blocks = piano->ReceivedAudioBlocks();
    int strange = 0;
    const std::vector<Onset> onsets = Onsets(blocks, click, ding, strange);

    const double interval = 30000.0 / tempo;
    const double start = clock.Start();
    std::vector<double> errors;
    std::vector<double> magnitudes;
    int misplaced = 0;
    for (std::size_t i = 0; i < onsets.size(); ++i) {
        // In 4/4 every sound is on an even count, the accent on every eighth.
        const double ideal = start + 2.0 * static_cast<double>(i) * interval;
        const double error = onsets[i].time - ideal;
        misplaced += onsets[i].ding != (i % 4 == 0) ? 1 : 0;
        errors.push_back(error);
        magnitudes.push_back(std::fabs(error));
    }
    // Counts that came within the run, less the last 20 ms in which a sound may not have
    // reached the piano yet.
    const auto expected =
        static_cast<std::size_t>(std::floor((wallMs - 20.0) / (2 * interval))) + 1;
    // The drift: where the sounds stand at the end against where they stood at the start,
    // each as the median over a tenth of the run.
    const std::size_t tenth = std::max<std::size_t>(1, errors.size() / 10);
    const std::vector<double> head(errors.begin(), errors.begin() + static_cast<long>(tenth));
    const std::vector<double> tail(errors.end() - static_cast<long>(tenth), errors.end());
    const double drift = Percentile(tail, 0.5) - Percentile(head, 0.5);

    std::printf(
        "%u BPM over %.0f s%s: %zu sounds of %zu expected, onset error median %.3f ms, "
        "p99 %.3f ms, max %.3f ms, drift %.4f ms, wake-up of the metronome thread p99 %.3f ms, "
        "max %.3f ms, metronome thread CPU %.3f %%, process CPU %.3f %%",
        tempo, seconds, busy ? " with one core busy" : "", onsets.size(), expected,
        Percentile(magnitudes, 0.5), Percentile(magnitudes, 0.99), Percentile(magnitudes, 1.0),
        drift, Percentile(clock.Late(), 0.99), Percentile(clock.Late(), 1.0),
        100.0 * threadMs / wallMs, 100.0 * processMs / wallMs);
    if (strange > 0 || misplaced > 0) {
        std::printf(", %d foreign blocks, %d sounds of the wrong kind", strange, misplaced);
    }
    std::printf("\n");
    if (wav != nullptr && tempo == 120) {
        WriteWav(wav, onsets, blocks, start, 16 * interval);
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    double seconds = 60;
    bool busy = false;
    const char* wav = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--busy") {
            busy = true;
        } else if (arg == "--wav" && i + 1 < argc) {
            wav = argv[++i];
        } else {
            seconds = std::max(0.2, std::atof(argv[i]));
        }
    }
    CSysinfo sysinfo;
    CLast::InitSysinfo(&sysinfo);
    std::atomic<bool> spinning{busy};
    std::thread spinner;
    if (busy) {
        spinner = std::thread([&] {
            volatile std::uint64_t n = 0;
            while (spinning) {
                n = n + 1;
            }
        });
    }
    for (const unsigned int tempo : {120u, 300u}) {
        Run(tempo, seconds, busy, wav);
    }
    spinning = false;
    if (spinner.joinable()) {
        spinner.join();
    }
    CLast::InitSysinfo(nullptr);
    mmxUseSystemDevices();
    return 0;
}
