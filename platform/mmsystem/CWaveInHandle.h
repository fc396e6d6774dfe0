#pragma once

#include "CMmBackend.h"
#include "CMmHandle.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <thread>

// An open wave input. Once started, a device thread fills the queued buffers at the format's
// rate, in slices of 10 ms, and hands each back (WIM_DATA) when it is full. Time goes on while
// no buffer is queued; what falls into that time is lost, as on a real device. A device that
// keeps time itself (a stream) fills the buffers as its data arrives, and the position is its
// own count of frames taken in. A device that goes away (unplugged) fills nothing more: the
// buffer being filled comes back with what was really captured, the other queued ones come
// back empty, and the handle takes no further buffers (MMSYSERR_NODRIVER), as a removed USB
// device does, even once the device is back; it is to be closed and opened again.
struct CWaveInHandle : public CMmHandle {
public:
    CWaveInHandle(std::shared_ptr<CMmBackend::WaveInPort> port, UINT deviceId,
                  const WAVEFORMATEX& format, DWORD_PTR callback, DWORD_PTR instance, DWORD flags,
                  std::unique_ptr<CMmBackend::WaveStream> stream = nullptr);
    ~CWaveInHandle() override;

    UINT DeviceId() const { return m_deviceId; }
    MMRESULT Prepare(WAVEHDR* header, UINT size);
    MMRESULT Unprepare(WAVEHDR* header, UINT size);
    MMRESULT AddBuffer(WAVEHDR* header, UINT size);
    MMRESULT Start();
    MMRESULT Stop();
    MMRESULT Reset();
    MMRESULT Position(MMTIME* time, UINT size);
    MMRESULT Close();

private:
    using Clock = std::chrono::steady_clock;

    void Record();
    void RecordStream();
    std::uint64_t BytesAt(Clock::time_point now) const;
    void ReturnHeadLocked();
    // The device went away: every queued buffer goes back with what it holds.
    void LoseDeviceLocked();

    std::shared_ptr<CMmBackend::WaveInPort> m_port;
    UINT m_deviceId;
    WAVEFORMATEX m_format;

    std::mutex m_lock;
    std::condition_variable m_wake;
    std::uint64_t m_changes = 0;
    bool m_closing = false;
    bool m_started = false;
    std::atomic<bool> m_lost{false}; // the device went away while open
    std::deque<WAVEHDR*> m_queue;
    std::uint64_t m_captured = 0; // bytes recorded since open or reset (lost ones included)
    Clock::time_point m_anchorTime;
    std::uint64_t m_anchorBytes = 0;
    std::unique_ptr<CMmBackend::WaveStream> m_stream;
    std::thread m_thread;
};
