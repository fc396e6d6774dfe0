#pragma once

#include "mmsystem.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// Delivers a device's callback messages in order on a thread of its own, with no lock of the
// library held, so a callback may call the library again.
class CCallbackQueue {
public:
    // Calls the application's function with its handle and instance data.
    using Function = std::function<void(UINT message, DWORD_PTR first, DWORD_PTR second)>;

    // A queue that calls nothing (CALLBACK_NULL) when function is empty.
    explicit CCallbackQueue(Function function);
    CCallbackQueue(const CCallbackQueue&) = delete;
    CCallbackQueue& operator=(const CCallbackQueue&) = delete;
    ~CCallbackQueue();

    void Post(UINT message, DWORD_PTR first = 0, DWORD_PTR second = 0);
    // Delivers what is queued, then ends the thread. Not from the callback thread itself.
    void Finish();
    bool OnCallbackThread() const;

private:
    struct Item {
        UINT message;
        DWORD_PTR first;
        DWORD_PTR second;
    };
    void Run();

    Function m_function;
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<Item> m_items;
    bool m_finish = false;
    std::thread m_thread;
};
