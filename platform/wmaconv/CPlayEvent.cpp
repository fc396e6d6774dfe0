#include "CPlayEvent.h"

void CPlayEvent::Set() {
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_set = true;
    }
    m_changed.notify_all();
}

void CPlayEvent::Reset() {
    const std::lock_guard<std::mutex> guard(m_lock);
    m_set = false;
}

bool CPlayEvent::IsSet() const {
    const std::lock_guard<std::mutex> guard(m_lock);
    return m_set;
}

void CPlayEvent::Wait() const {
    std::unique_lock<std::mutex> lock(m_lock);
    m_changed.wait(lock, [this] { return m_set; });
}

bool CPlayEvent::WaitFor(std::chrono::milliseconds limit) const {
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, limit, [this] { return m_set; });
}
