// The processor time the virtual ZQ31's voice takes on the audio clock's thread while ten notes
// sound: its audio output rendered in the wave input's 10 ms blocks, as fast as it goes, and
// the thread's processor time divided by the length of audio made (the share of one core it
// takes in real time).
//   voice_load [seconds of audio per case, default 10]

#include "CVirtualPiano.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace {

double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Ten keys of a two-handed chord, struck again every second so that all ten keep sounding.
double Load(CVirtualPiano& piano, double seconds) {
    constexpr unsigned kRate = 44100;
    constexpr std::size_t kBlock = kRate / 100;
    const int chord[] = {36, 43, 48, 52, 55, 60, 64, 67, 72, 76};
    std::vector<std::uint8_t> block(kBlock * 4);
    const auto blocks = static_cast<std::size_t>(seconds * 100);
    std::uint64_t frame = 0;
    const double start = ThreadSeconds();
    for (std::size_t i = 0; i < blocks; ++i) {
        if (i % 100 == 0) {
            for (const int note : chord) {
                piano.ReleaseKey(static_cast<std::uint8_t>(note));
                piano.PressKey(static_cast<std::uint8_t>(note), 100);
            }
        }
        piano.ProduceAudio(block.data(), block.size(), 2, kRate, 16, frame);
        frame += kBlock;
    }
    return (ThreadSeconds() - start) / (static_cast<double>(blocks) / 100.0) * 100.0;
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::max(0.1, std::atof(argv[1])) : 10.0;
    CVirtualPiano piano;
    piano.SetActiveSensing(false);
    if (const std::string error = piano.EnableVoice(); !error.empty()) {
        // Nothing to measure where there is no sound font; the run still counts as passed.
        std::printf("voice rendering: not measured, %s\n", error.c_str());
        return 0;
    }
    const double grand = Load(piano, seconds);
    piano.PressVoice(48);
    const double strings = Load(piano, seconds);
    piano.PressVoice(0);
    piano.PressDual(48);
    const double dual = Load(piano, seconds);
    piano.PressReverb(false);
    const double dry = Load(piano, seconds);
    std::printf("voice rendering with 10 notes (%s): grand piano %.2f%% of one core, strings "
                "%.2f%%, grand piano and strings layered %.2f%%, layered without reverb "
                "%.2f%%\n",
                piano.SoundFont().c_str(), grand, strings, dual, dry);
    return 0;
}
