#pragma once

#include "CMmBackend.h"
#include "CMmHandle.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <thread>

// An open MIDI output, plain or as a stream. A stream plays its queued buffers of stream
// events on a scheduler thread of its own, each event at its due time, waiting with
// absolute-time sleeps on the monotonic clock.
struct CMidiOutHandle : public CMmHandle {
public:
    CMidiOutHandle(std::shared_ptr<CMmBackend::MidiOutPort> port, UINT deviceId, bool stream,
                   DWORD_PTR callback, DWORD_PTR instance, DWORD flags);
    ~CMidiOutHandle() override;

    bool IsStream() const { return m_stream; }
    UINT DeviceId() const { return m_deviceId; }

    MMRESULT ShortMsg(DWORD message);
    MMRESULT LongMsg(MIDIHDR* header, UINT size);
    MMRESULT Prepare(MIDIHDR* header, UINT size);
    MMRESULT Unprepare(MIDIHDR* header, UINT size);
    MMRESULT Reset();
    // Ends the device; refused while stream buffers are queued.
    MMRESULT Close();

    MMRESULT Out(MIDIHDR* header, UINT size);
    MMRESULT Pause();
    MMRESULT Restart();
    MMRESULT Stop();
    MMRESULT Position(MMTIME* time, UINT size);
    MMRESULT Property(BYTE* data, DWORD property);

    static constexpr DWORD kDefaultTempo = 500000; // microseconds per quarter note
    static constexpr DWORD kDefaultTimeDiv = 96;   // ticks per quarter note

private:
    using Clock = std::chrono::steady_clock;

    // Sends one message to the port and keeps track of the notes it leaves sounding.
    bool SendLocked(const std::uint8_t* bytes, std::size_t length);
    bool SendShortLocked(DWORD message);
    void NotesOffLocked();
    // Stops the stream and hands back every queued buffer.
    void StopLocked();
    void Schedule();
    double MicrosecondsPerTick() const;
    double TickAt(Clock::time_point now) const;
    double MillisecondsAt(Clock::time_point now) const;
    void Anchor(Clock::time_point now);

    std::shared_ptr<CMmBackend::MidiOutPort> m_port;
    UINT m_deviceId;
    bool m_stream;

    std::mutex m_lock;
    std::condition_variable m_wake;
    std::uint64_t m_changes = 0;
    bool m_closing = false;
    std::uint8_t m_runningStatus = 0;
    bool m_held[16][128] = {};

    // Stream state.
    std::deque<MIDIHDR*> m_queue;
    bool m_running = false;
    bool m_starved = true;
    DWORD m_tempo = kDefaultTempo;
    DWORD m_timeDiv = kDefaultTimeDiv;
    Clock::time_point m_anchorTime;
    double m_anchorTick = 0;
    double m_anchorMs = 0;
    std::uint64_t m_lastEventTick = 0;
    std::thread m_scheduler;
};
