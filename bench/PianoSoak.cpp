// A long run of the virtual ZQ31 with its voice, squeezed into a short time: its audio output
// rendered in the wave input's 10 ms blocks while the PC plays audio to it, sends it notes and
// panel changes, and keys are played on it, as in an evening of trying the program without
// the instrument. Prints the memory it holds (resident set) after a warm-up, half-way and at
// the end, and the growth per hour of such use over the second half (its logs are full by
// then: that is what more hours would add).
//   piano_soak [minutes of use, default 60]

#include "CVirtualPiano.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

double ResidentMegabytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::atof(line.c_str() + 6) / 1024.0;
        }
    }
    return 0.0;
}

} // namespace

int main(int argc, char** argv) {
    const double minutes = argc > 1 ? std::max(0.05, std::atof(argv[1])) : 60.0;
    constexpr unsigned kRate = 44100;
    constexpr std::size_t kBlock = kRate / 100;
    CVirtualPiano piano;
    piano.SetActiveSensing(false);
    piano.SetMidiSink([](const std::uint8_t*, std::size_t) {});
    const std::string error = piano.EnableVoice();
    std::vector<std::uint8_t> out(kBlock * 4);
    std::vector<std::uint8_t> played(kBlock * 4, 0x10);
    const auto blocks = static_cast<std::uint64_t>(minutes * 60 * 100);
    const std::uint64_t warmUp = std::min<std::uint64_t>(blocks / 10, 6000);
    double before = 0.0;
    double half = 0.0;
    for (std::uint64_t i = 0; i < blocks; ++i) {
        if (i == warmUp) {
            before = ResidentMegabytes();
        }
        if (i == blocks / 2) {
            half = ResidentMegabytes();
        }
        const auto note = static_cast<std::uint8_t>(48 + i / 10 % 24);
        if (i % 10 == 0) {
            // Ten notes a second from the PC and ten played on the piano.
            const std::uint8_t on[] = {0x90, note, 90};
            piano.Receive(on, sizeof on);
            piano.PressKey(static_cast<std::uint8_t>(note + 24), 80);
        }
        if (i % 10 == 5) {
            const std::uint8_t off[] = {0x80, note, 64};
            piano.Receive(off, sizeof off);
            piano.ReleaseKey(static_cast<std::uint8_t>(note + 24));
        }
        if (i % 1000 == 0) {
            piano.PressVoice(static_cast<std::uint8_t>(i / 1000 % 2 == 0 ? 0 : 48));
        }
        piano.ConsumeAudio(played.data(), played.size(), 2, kRate, 16);
        piano.ProduceAudio(out.data(), out.size(), 2, kRate, 16, i * kBlock);
    }
    const double after = ResidentMegabytes();
    const double hours = static_cast<double>(blocks - blocks / 2) / 100.0 / 3600.0;
    std::printf("virtual ZQ31 memory over %.1f minutes of use (%s): %.1f MB after warm-up, %.1f "
                "MB half-way, %.1f MB at the end, %.1f MB more per hour in the second half\n",
                minutes, error.empty() ? piano.SoundFont().c_str() : "no voice", before, half,
                after, (after - half) / hours);
    return 0;
}
