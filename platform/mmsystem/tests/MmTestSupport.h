#pragma once

#include "CVirtualPiano.h"
#include "mmsystem.h"
#include "mmsystemx.h"

#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <vector>

// Polls until done() holds; false after ten seconds, long enough for a loaded machine.
template <typename Condition>
bool Eventually(Condition done, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Records the callback messages of a device: message, the two parameters, and when.
struct CallbackLog {
    struct Entry {
        UINT message;
        DWORD_PTR first;
        DWORD_PTR second;
        std::chrono::steady_clock::time_point time;
    };
    std::mutex lock;
    std::vector<Entry> entries;

    template <typename H>
    static void Proc(H, UINT message, DWORD_PTR instance, DWORD_PTR first, DWORD_PTR second) {
        auto* log = reinterpret_cast<CallbackLog*>(instance);
        const std::lock_guard<std::mutex> guard(log->lock);
        log->entries.push_back({message, first, second, std::chrono::steady_clock::now()});
    }
    int Count(UINT message) {
        const std::lock_guard<std::mutex> guard(lock);
        int count = 0;
        for (const Entry& entry : entries) {
            count += entry.message == message ? 1 : 0;
        }
        return count;
    }
    std::vector<Entry> Of(UINT message) {
        const std::lock_guard<std::mutex> guard(lock);
        std::vector<Entry> found;
        for (const Entry& entry : entries) {
            if (entry.message == message) {
                found.push_back(entry);
            }
        }
        return found;
    }
    template <typename H>
    DWORD_PTR Callback() const {
        return reinterpret_cast<DWORD_PTR>(&CallbackLog::Proc<H>);
    }
    DWORD_PTR Instance() { return reinterpret_cast<DWORD_PTR>(this); }
};

// Every test gets a fresh virtual ZQ31, plugged in.
class WithPiano : public testing::Test {
protected:
    void SetUp() override {
        piano = mmxUseVirtualPiano(std::make_shared<CVirtualPiano>());
        piano->SetActiveSensing(false);
    }
    void TearDown() override { mmxUseSystemDevices(); }

    std::shared_ptr<CVirtualPiano> piano;
};
