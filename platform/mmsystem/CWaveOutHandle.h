#pragma once

#include "CMmBackend.h"
#include "CMmHandle.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <thread>

// An open wave output. A device thread plays the queued buffers in real time, in slices of
// 10 ms, and hands each back (WOM_DONE) when its last byte has been played. The position
// follows the clock while data is there and stands still while the device waits for data or
// is paused. A device that keeps time itself (a stream) is fed as fast as it takes the data,
// and the position and the hand-backs follow the device's own count of frames played.
struct CWaveOutHandle : public CMmHandle {
public:
    CWaveOutHandle(std::shared_ptr<CMmBackend::WaveOutPort> port, UINT deviceId,
                   const WAVEFORMATEX& format, DWORD_PTR callback, DWORD_PTR instance, DWORD flags,
                   std::unique_ptr<CMmBackend::WaveStream> stream = nullptr);
    ~CWaveOutHandle() override;

    UINT DeviceId() const { return m_deviceId; }
    MMRESULT Prepare(WAVEHDR* header, UINT size);
    MMRESULT Unprepare(WAVEHDR* header, UINT size);
    MMRESULT Write(WAVEHDR* header, UINT size);
    MMRESULT Pause();
    MMRESULT Restart();
    MMRESULT Reset();
    MMRESULT Position(MMTIME* time, UINT size);
    MMRESULT Close();

private:
    using Clock = std::chrono::steady_clock;

    void Play();
    void PlayStream();
    // Stream: the bytes the device has played, and the hand-back of the buffers it finished.
    std::uint64_t StreamBytesLocked();
    void ReturnPlayedLocked();
    double BytesAt(Clock::time_point now) const;
    Clock::time_point TimeOfByte(double byte) const;

    std::shared_ptr<CMmBackend::WaveOutPort> m_port;
    UINT m_deviceId;
    WAVEFORMATEX m_format;

    std::mutex m_lock;
    std::condition_variable m_wake;
    std::uint64_t m_changes = 0;
    bool m_closing = false;
    bool m_paused = false;
    std::deque<WAVEHDR*> m_queue;
    DWORD m_offset = 0;         // bytes of the head buffer already played
    std::uint64_t m_played = 0; // bytes handed to the device since open or reset
    bool m_flowing = false;     // the clock runs: data is there and the device is not paused
    Clock::time_point m_anchorTime;
    double m_anchorBytes = 0;
    std::unique_ptr<CMmBackend::WaveStream> m_stream;
    struct Sent {
        WAVEHDR* header;
        std::uint64_t end; // bytes played once the device has played it
    };
    std::deque<Sent> m_inDevice;   // stream: written to the device, not yet played
    std::uint64_t m_lostBytes = 0; // stream: bytes a vanished device could not take
    std::thread m_thread;
};
