#include "CCallbackQueue.h"

#include "CRtThread.h"

CCallbackQueue::CCallbackQueue(Function function) : m_function(std::move(function)) {
    if (m_function) {
        m_thread = std::thread([this] { Run(); });
    }
}

CCallbackQueue::~CCallbackQueue() {
    Finish();
    if (m_thread.joinable()) {
        // Only reached when the last owner goes away on the callback thread itself.
        m_thread.detach();
    }
}

void CCallbackQueue::Post(UINT message, DWORD_PTR first, DWORD_PTR second) {
    if (!m_function) {
        return;
    }
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        if (m_finish) {
            return;
        }
        m_items.push_back({message, first, second});
    }
    m_wake.notify_one();
}

void CCallbackQueue::Finish() {
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_finish = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable() && !OnCallbackThread()) {
        m_thread.join();
    }
}

bool CCallbackQueue::OnCallbackThread() const {
    return m_thread.joinable() && m_thread.get_id() == std::this_thread::get_id();
}

void CCallbackQueue::Run() {
    // Callbacks refill devices (the next stream buffer, the next wave block): they are as
    // pressing as the devices themselves.
    CRtThread::Name("mm-callback");
    CRtThread::Promote();
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        m_wake.wait(lock, [this] { return m_finish || !m_items.empty(); });
        if (m_items.empty()) {
            return;
        }
        const Item item = m_items.front();
        m_items.pop_front();
        lock.unlock();
        m_function(item.message, item.first, item.second);
        lock.lock();
    }
}
