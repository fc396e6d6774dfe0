#pragma once

#include "CMidiOutHandle.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <thread>

// An open MIDI stream: a MIDI output that plays queued buffers of stream events on a
// scheduler thread of its own, each event at its due time, waiting with absolute-time sleeps
// on the monotonic clock. Short messages may still be sent straight away; long ones only as
// stream events.
struct CMidiStreamHandle : public CMidiOutHandle {
public:
    CMidiStreamHandle(std::shared_ptr<CMmBackend::MidiOutPort> port, UINT deviceId,
                      DWORD_PTR callback, DWORD_PTR instance, DWORD flags);
    ~CMidiStreamHandle() override;

    bool IsStream() const override { return true; }
    MMRESULT LongMsg(MIDIHDR* header, UINT size) override;
    MMRESULT Reset() override;
    // Refused while buffers are queued.
    MMRESULT Close() override;

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

    // Stops the stream, hands back every queued buffer and silences what sounds; the notes-off
    // go out after the stream's lock is let go.
    void StopAndSilence(std::unique_lock<std::mutex>& stream);
    void Schedule();
    double MicrosecondsPerTick() const;
    double TickAt(Clock::time_point now) const;
    double MillisecondsAt(Clock::time_point now) const;
    void Anchor(Clock::time_point now);

    // Guards everything below; taken before the output state's lock, never after it.
    std::mutex m_streamLock;
    std::condition_variable m_wake;
    std::uint64_t m_changes = 0;
    bool m_closing = false;
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
