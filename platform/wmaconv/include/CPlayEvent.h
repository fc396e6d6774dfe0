#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

// A manual-reset event: set once, it stays set for every waiter until reset. The player sets
// the one it is given when it has finished playing; shared ownership means whichever side
// finishes last frees it, so neither can wait on an event the other has already destroyed.
class CPlayEvent {
public:
    CPlayEvent() = default;
    CPlayEvent(const CPlayEvent&) = delete;
    CPlayEvent& operator=(const CPlayEvent&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;
    // Waits until the event is set.
    void Wait() const;
    // Waits until the event is set or the time has passed; true when it is set.
    bool WaitFor(std::chrono::milliseconds limit) const;

private:
    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    bool m_set = false;
};
