// How closely the MIDI stream keeps its schedule: events 1 ms apart for some seconds, played
// to the virtual ZQ31 (or, with "alsa", through the ALSA backend to a sequencer port of this
// program's own), each arrival compared with its ideal time on the schedule. CANTAVO_REALTIME=0
// gives the figures without real-time scheduling.
//   build/ci/bin/stream_timing [seconds] [alsa]
#include "CVirtualPiano.h"
#include "mmsystem.h"
#include "mmsystemx.h"

#include <algorithm>
#include <alsa/asoundlib.h>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(share * static_cast<double>(values.size() - 1))];
}

// A sequencer client that takes what is sent to it and notes when each event arrived.
class CSink {
public:
    CSink() {
        if (snd_seq_open(&m_seq, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK) < 0) {
            m_seq = nullptr;
            return;
        }
        snd_seq_set_client_name(m_seq, "stream_timing");
        snd_seq_create_simple_port(m_seq, "sink",
                                   SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                   SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
        m_thread = std::thread([this] { Run(); });
    }
    ~CSink() {
        m_stop = true;
        if (m_thread.joinable()) {
            m_thread.join();
        }
        if (m_seq != nullptr) {
            snd_seq_close(m_seq);
        }
    }
    bool Ok() const { return m_seq != nullptr; }
    std::vector<Clock::time_point> Times() {
        const std::lock_guard<std::mutex> guard(m_lock);
        return m_times;
    }

private:
    void Run() {
        std::vector<pollfd> fds(
            static_cast<std::size_t>(snd_seq_poll_descriptors_count(m_seq, POLLIN)));
        snd_seq_poll_descriptors(m_seq, fds.data(), static_cast<unsigned>(fds.size()), POLLIN);
        while (!m_stop) {
            poll(fds.data(), fds.size(), 50);
            snd_seq_event_t* event = nullptr;
            while (snd_seq_event_input(m_seq, &event) >= 0 && event != nullptr) {
                if (event->type == SND_SEQ_EVENT_CONTROLLER) {
                    const std::lock_guard<std::mutex> guard(m_lock);
                    m_times.push_back(Clock::now());
                }
            }
        }
    }
    snd_seq_t* m_seq = nullptr;
    std::atomic<bool> m_stop{false};
    std::mutex m_lock;
    std::vector<Clock::time_point> m_times;
    std::thread m_thread;
};

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const bool alsa = argc > 2 && std::strcmp(argv[2], "alsa") == 0;
    const int count = seconds * 1000;
    std::shared_ptr<CVirtualPiano> piano;
    std::unique_ptr<CSink> sink;
    UINT device = 0;
    if (alsa) {
        if (access("/dev/snd/seq", R_OK | W_OK) != 0) {
            std::printf("stream timing through ALSA: skipped, this machine has no sequencer\n");
            return 0;
        }
        sink = std::make_unique<CSink>();
        mmxUseSystemDevices();
        bool found = false;
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (sink->Ok() && !found && Clock::now() < deadline) {
            for (UINT id = 0; id < midiOutGetNumDevs() && !found; ++id) {
                MIDIOUTCAPS caps{};
                if (midiOutGetDevCaps(id, &caps, sizeof caps) == MMSYSERR_NOERROR &&
                    std::strcmp(caps.szPname, "stream_timing sink") == 0) {
                    device = id;
                    found = true;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!found) {
            std::fprintf(stderr, "stream_timing: the sequencer port does not show\n");
            return 1;
        }
    } else {
        piano = mmxUseVirtualPiano(std::make_shared<CVirtualPiano>());
        piano->SetActiveSensing(false);
    }

    HMIDISTRM stream = nullptr;
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

    std::vector<Clock::time_point> times;
    if (alsa) {
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (sink->Times().size() < static_cast<std::size_t>(count) && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        times = sink->Times();
    } else {
        for (const auto& received : piano->Received()) {
            times.push_back(received.time);
        }
    }
    if (times.size() != static_cast<std::size_t>(count)) {
        std::fprintf(stderr, "stream_timing: %zu of %d events arrived\n", times.size(), count);
        return 1;
    }
    // Each arrival against the schedule: the ideal times, placed where most events arrived
    // (the first event goes out as the stream starts and may be late by a wake-up).
    std::vector<double> offsets;
    offsets.reserve(times.size());
    for (std::size_t i = 0; i < times.size(); ++i) {
        const double actual =
            std::chrono::duration<double, std::micro>(times[i] - times[0]).count();
        offsets.push_back(actual - static_cast<double>(i) * 1000.0);
    }
    const double anchor = Percentile(offsets, 0.5);
    std::vector<double> errors;
    errors.reserve(offsets.size());
    for (const double offset : offsets) {
        errors.push_back(std::fabs(offset - anchor));
    }
    std::printf("stream timing (%s) over %d events 1 ms apart: error median %.1f us, p99 %.1f us, "
                "max %.1f us\n",
                alsa ? "ALSA sequencer" : "virtual ZQ31", count, Percentile(errors, 0.5),
                Percentile(errors, 0.99), Percentile(errors, 1.0));
    mmxUseSystemDevices();
    return 0;
}
