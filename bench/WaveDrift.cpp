// How far the wave-output position strays from the clock: the virtual ZQ31's output kept fed
// with 100 ms buffers for some seconds, the position in samples compared with the time.
//   build/ci/bin/wave_drift [seconds]
#include "CVirtualPiano.h"
#include "mmsystem.h"
#include "mmsystemx.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    auto piano = mmxUseVirtualPiano(std::make_shared<CVirtualPiano>());
    piano->SetActiveSensing(false);
    const WAVEFORMATEX format{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    HWAVEOUT out = nullptr;
    if (waveOutOpen(&out, 0, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
        std::fprintf(stderr, "wave_drift: the output does not open\n");
        return 1;
    }
    constexpr int kBuffers = 8;
    std::vector<std::vector<char>> data(kBuffers, std::vector<char>(17640));
    std::vector<WAVEHDR> headers(kBuffers);
    for (int i = 0; i < kBuffers; ++i) {
        headers[i] = WAVEHDR{};
        headers[i].lpData = data[i].data();
        headers[i].dwBufferLength = 17640;
        waveOutPrepareHeader(out, &headers[i], sizeof(WAVEHDR));
        waveOutWrite(out, &headers[i], sizeof(WAVEHDR));
    }
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::seconds(seconds);
    double worst = 0;
    double last = 0;
    while (std::chrono::steady_clock::now() < end) {
        for (WAVEHDR& header : headers) {
            if ((mmxHeaderFlags(header.dwFlags) & WHDR_DONE) != 0) {
                waveOutWrite(out, &header, sizeof(WAVEHDR));
            }
        }
        MMTIME position{};
        position.wType = TIME_SAMPLES;
        waveOutGetPosition(out, &position, sizeof position);
        const double played = position.u.sample / 44.1;
        const double elapsed =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        last = played - elapsed;
        worst = std::max(worst, std::fabs(last));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    waveOutReset(out);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    for (WAVEHDR& header : headers) {
        waveOutUnprepareHeader(out, &header, sizeof(WAVEHDR));
    }
    waveOutClose(out);
    std::printf("wave-output position against the clock over %d s: %.2f ms at the end, "
                "%.2f ms at worst\n",
                seconds, last, worst);
    mmxUseSystemDevices();
    return 0;
}
