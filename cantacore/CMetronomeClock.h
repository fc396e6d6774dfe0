#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

// The metronome thread's time line: milliseconds on the monotonic clock, and waits until a
// moment on it that end on time rather than at the next poll. Tests put in a clock of their
// own that they move by hand, so that no test waits for real time to pass.
class CMetronomeClock {
public:
    CMetronomeClock() = default;
    CMetronomeClock(const CMetronomeClock&) = delete;
    CMetronomeClock& operator=(const CMetronomeClock&) = delete;
    virtual ~CMetronomeClock();

    // Milliseconds on the monotonic clock (the system's steady clock).
    virtual double Now();
    // Returns true once Now() has reached target, or false as soon as running is no longer 1
    // and Wake has been called.
    virtual bool WaitUntil(double target, const std::atomic<int>& running);
    // Ends a WaitUntil whose running flag has just been cleared.
    virtual void Wake();

protected:
    std::mutex m_lock;
    std::condition_variable m_wake;
};
