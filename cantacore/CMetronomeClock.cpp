#include "CMetronomeClock.h"

#include <chrono>

namespace {
using Clock = std::chrono::steady_clock;
}

CMetronomeClock::~CMetronomeClock() = default;

double CMetronomeClock::Now() {
    return std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count();
}

bool CMetronomeClock::WaitUntil(double target, const std::atomic<int>& running) {
    const Clock::time_point deadline(std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double, std::milli>(target)));
    std::unique_lock<std::mutex> lock(m_lock);
    // The flag is read under the lock that Wake takes, so a stop cannot slip in between the
    // test and the wait.
    while (running == 1) {
        if (Clock::now() >= deadline) {
            return true;
        }
        m_wake.wait_until(lock, deadline);
    }
    return false;
}

void CMetronomeClock::Wake() {
    { const std::lock_guard<std::mutex> guard(m_lock); }
    m_wake.notify_all();
}
