// Sequencer playback through the virtual ZQ31:
//  - note-on timing against the ideal times of a dense file, measured from the stream's start,
//    on an idle machine and with one core kept busy; the start latency on its own;
//  - the delay from SetTempo, SetKey and a panel change to their effect at 40, 120, 300 BPM;
//  - the processor time playback takes.
//   build/ci/bin/seq_play_timing [seconds of the dense file]
#include "CCtrlPanel.h"
#include "CLast.h"
#include "CSequencerPlay.h"
#include "CSysinfo.h"
#include "CVirtualPiano.h"
#include "kiromidi.h"
#include "mmsystemx.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

double Percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(share * static_cast<double>(values.size() - 1))];
}

void Vlq(Bytes& out, std::uint32_t value) {
    Bytes bytes{static_cast<std::uint8_t>(value & 0x7F)};
    while ((value >>= 7) != 0) {
        bytes.insert(bytes.begin(), static_cast<std::uint8_t>(0x80 | (value & 0x7F)));
    }
    out.insert(out.end(), bytes.begin(), bytes.end());
}

// A one-track file at a fixed tempo: a chord of three notes every 24 ticks (a sixteenth).
QString DenseFile(const QString& name, double seconds, unsigned int bpm) {
    const std::uint32_t us = 60000000 / bpm;
    Bytes track{0x00,
                0xFF,
                0x51,
                0x03,
                static_cast<std::uint8_t>(us >> 16),
                static_cast<std::uint8_t>(us >> 8),
                static_cast<std::uint8_t>(us)};
    const int steps = static_cast<int>(seconds * bpm / 60.0 * 4);
    for (int i = 0; i < steps; ++i) {
        for (int k = 0; k < 3; ++k) {
            Vlq(track, k == 0 && i > 0 ? 12 : 0);
            track.insert(track.end(), {0x90, static_cast<std::uint8_t>(48 + (i + 4 * k) % 36), 80});
        }
        for (int k = 0; k < 3; ++k) {
            Vlq(track, k == 0 ? 12 : 0);
            track.insert(track.end(), {0x80, static_cast<std::uint8_t>(48 + (i + 4 * k) % 36), 0});
        }
    }
    track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});
    Bytes file{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96, 'M', 'T', 'r', 'k'};
    const auto length = static_cast<std::uint32_t>(track.size());
    file.insert(file.end(),
                {static_cast<std::uint8_t>(length >> 24), static_cast<std::uint8_t>(length >> 16),
                 static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)});
    file.insert(file.end(), track.begin(), track.end());
    const QString path = QDir::tempPath() + QStringLiteral("/cantavo-") + name;
    QFile out(path);
    if (out.open(QIODevice::WriteOnly)) {
        out.write(reinterpret_cast<const char*>(file.data()), static_cast<qint64>(file.size()));
    }
    return path;
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void WaitEnd(CSequencerPlay& player) {
    while (player.IsPlaying()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    player.Stop();
}

void Timing(CSequencerPlay& player, CVirtualPiano& piano, double seconds, bool busy) {
    std::atomic<bool> spin{busy};
    std::thread burner([&] {
        volatile std::uint64_t x = 0;
        while (spin) {
            x = x + 1;
        }
    });
    const unsigned int bpm = 120;
    player.SetFileName(DenseFile(QStringLiteral("dense.mid"), seconds, bpm));
    piano.ClearReceived();
    const double cpuBefore = CpuSeconds();
    const auto called = Clock::now();
    player.Start();
    const auto start = Clock::time_point(std::chrono::nanoseconds(player.GetRestartTime()));
    WaitEnd(player);
    const double cpu = CpuSeconds() - cpuBefore;
    spin = false;
    burner.join();

    std::vector<double> errors;
    const double usPerTick = 60000000.0 / bpm / 96.0;
    int step = 0;
    int inChord = 0;
    for (const auto& received : piano.Received()) {
        if (received.bytes.size() != 3 || received.bytes[0] != 0x90) {
            continue;
        }
        const double ideal = step * 24 * usPerTick;
        const double at = std::chrono::duration<double, std::micro>(received.time - start).count();
        errors.push_back(std::abs(at - ideal) / 1000.0);
        if (++inChord == 3) {
            inChord = 0;
            ++step;
        }
    }
    if (errors.empty()) {
        std::printf("no notes received\n");
        return;
    }
    std::printf("note-on error %s (%zu notes, %.0f s): median %.3f ms, p99 %.3f ms, max %.3f ms\n",
                busy ? "one core busy" : "idle", errors.size(), seconds, Percentile(errors, 0.5),
                Percentile(errors, 0.99), *std::max_element(errors.begin(), errors.end()));
    std::printf("start latency (Start called to stream restart) %s: %.3f ms\n",
                busy ? "one core busy" : "idle",
                std::chrono::duration<double, std::milli>(start - called).count());
    if (!busy) {
        std::printf("processor time of playback: %.2f %% of one core (%.2f s over %.1f s)\n",
                    100.0 * cpu / seconds, cpu, seconds);
    }
}

// The time from a change to the first message of its effect at the piano; for the tempo, to
// the stream taking the new tempo.
void ControlLatency(CSequencerPlay& player, CCtrlPanel& panel, CVirtualPiano& piano,
                    unsigned int bpm, int rounds) {
    player.SetFileName(DenseFile(QStringLiteral("control.mid"), 60.0 * 16 * rounds / bpm + 4, bpm));
    QCoreApplication::processEvents();
    player.Start();
    std::vector<double> key, tempo, reverb;
    const auto since = [](Clock::time_point t) {
        return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
    };
    const auto heard = [&](const Bytes& message, Clock::time_point t) {
        while (player.IsPlaying()) {
            for (const auto& r : piano.Received()) {
                if (r.time >= t && r.bytes == message) {
                    return std::chrono::duration<double, std::milli>(r.time - t).count();
                }
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        return -1.0;
    };
    for (int i = 0; i < rounds && player.IsPlaying(); ++i) {
        piano.ClearReceived();
        auto t = Clock::now();
        player.SetKey(i % 2 == 0 ? 66 : 64);
        key.push_back(heard({0xB0, 0x7B, 0x00}, t));

        t = Clock::now();
        panel.SetReverbOffOn(static_cast<unsigned int>(i % 2));
        reverb.push_back(heard({0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x00, 0x01, 0x00,
                                static_cast<std::uint8_t>(i % 2), 0xF7},
                               t));

        const unsigned int wanted = i % 2 == 0 ? (bpm <= 150 ? bpm * 2 : bpm / 2) : bpm;
        const unsigned int us = 60000000 / wanted;
        t = Clock::now();
        player.SetTempo((us >> 16) | (((us >> 8) & 0xFF) << 8) | ((us & 0xFF) << 16));
        const double expect = (60000000 / bpm) * static_cast<double>(bpm) / wanted;
        while (player.IsPlaying()) {
            MIDIPROPTEMPO now{sizeof(MIDIPROPTEMPO), 0};
            HMIDISTRM stream = kiromidi::StreamIsOpen();
            if (stream != nullptr &&
                kiromidi::StreamProperty(stream, reinterpret_cast<BYTE*>(&now),
                                         MIDIPROP_GET | MIDIPROP_TEMPO) == 0 &&
                std::abs(static_cast<double>(now.dwTempo) - expect) < 2.0) {
                tempo.push_back(since(t));
                break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
    player.Stop();
    const auto show = [bpm](const char* what, std::vector<double> values) {
        values.erase(std::remove(values.begin(), values.end(), -1.0), values.end());
        if (values.empty()) {
            std::printf("%-12s at %3u BPM: no measurement\n", what, bpm);
            return;
        }
        std::printf("%-12s at %3u BPM: median %.1f ms, max %.1f ms (%zu changes)\n", what, bpm,
                    Percentile(values, 0.5), *std::max_element(values.begin(), values.end()),
                    values.size());
    };
    show("SetKey", key);
    show("SetTempo", tempo);
    show("panel reverb", reverb);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const double seconds = argc > 1 ? std::max(0.5, std::atof(argv[1])) : 60.0;
    auto piano = mmxUseVirtualPiano(std::make_shared<CVirtualPiano>());
    piano->SetActiveSensing(false);
    CSysinfo sysinfo;
    CLast::InitSysinfo(&sysinfo);
    CCtrlPanel panel;
    sysinfo.SetCtrlPanel(&panel);
    CSequencerPlay player;
    sysinfo.SetSequencerPlay(&player);
    player.Initialize();

    Timing(player, *piano, seconds, false);
    Timing(player, *piano, seconds, true);
    // A short run (the smoke test) measures the delays at the fastest tempo only.
    const int rounds = seconds >= 10 ? 10 : 1;
    for (const unsigned int bpm : {40u, 120u, 300u}) {
        if (seconds >= 10 || bpm == 300) {
            ControlLatency(player, panel, *piano, bpm, rounds);
        }
    }

    player.Terminate();
    sysinfo.SetSequencerPlay(nullptr);
    sysinfo.SetCtrlPanel(nullptr);
    CLast::InitSysinfo(nullptr);
    return 0;
}
