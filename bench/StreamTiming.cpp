// How closely the MIDI stream keeps its schedule: events 1 ms apart for some seconds, played
// to the virtual ZQ31, each arrival compared with its ideal time.
//   build/ci/bin/stream_timing [seconds]
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

namespace {

double Percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(share * static_cast<double>(values.size() - 1))];
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const int count = seconds * 1000;
    auto piano = mmxUseVirtualPiano(std::make_shared<CVirtualPiano>());
    piano->SetActiveSensing(false);

    HMIDISTRM stream = nullptr;
    UINT device = 0;
    if (midiStreamOpen(&stream, &device, 1, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
        std::fprintf(stderr, "stream_timing: the stream does not open\n");
        return 1;
    }
    // 500 ticks a quarter at 500,000 us: one tick is one millisecond.
    MIDIPROPTIMEDIV division{sizeof division, 500};
    midiStreamProperty(stream, reinterpret_cast<BYTE*>(&division), MIDIPROP_SET | MIDIPROP_TIMEDIV);

    // Buffers of 100 events, all queued up front, as a player keeps the device fed.
    constexpr int kPerBuffer = 100;
    const int buffers = count / kPerBuffer;
    std::vector<std::vector<DWORD>> data(buffers);
    std::vector<MIDIHDR> headers(buffers);
    for (int b = 0; b < buffers; ++b) {
        for (int i = 0; i < kPerBuffer; ++i) {
            const DWORD delta = (b == 0 && i == 0) ? 0 : 1;
            const DWORD value = static_cast<DWORD>(i % 128);
            data[b].insert(data[b].end(), {delta, 0, (value << 16) | (0x01u << 8) | 0xB0u});
        }
        headers[b] = MIDIHDR{};
        headers[b].lpData = reinterpret_cast<LPSTR>(data[b].data());
        headers[b].dwBufferLength = headers[b].dwBytesRecorded =
            static_cast<DWORD>(data[b].size() * sizeof(DWORD));
        midiOutPrepareHeader(stream, &headers[b], sizeof(MIDIHDR));
        midiStreamOut(stream, &headers[b], sizeof(MIDIHDR));
    }
    midiStreamRestart(stream);
    while ((mmxHeaderFlags(headers.back().dwFlags) & MHDR_DONE) == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    midiStreamClose(stream);

    const auto received = piano->Received();
    if (received.size() != static_cast<std::size_t>(count)) {
        std::fprintf(stderr, "stream_timing: %zu of %d events arrived\n", received.size(), count);
        return 1;
    }
    std::vector<double> errors;
    errors.reserve(received.size());
    const auto start = received.front().time;
    for (std::size_t i = 0; i < received.size(); ++i) {
        const double actual =
            std::chrono::duration<double, std::micro>(received[i].time - start).count();
        errors.push_back(std::fabs(actual - static_cast<double>(i) * 1000.0));
    }
    std::printf("stream timing over %d events 1 ms apart: error median %.1f us, p99 %.1f us, "
                "max %.1f us\n",
                count, Percentile(errors, 0.5), Percentile(errors, 0.99), Percentile(errors, 1.0));
    mmxUseSystemDevices();
    return 0;
}
