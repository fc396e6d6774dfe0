#pragma once

#include "CMmBackend.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>

class CVirtualPiano;

// The process's choice of devices and the bookkeeping the winmm calls share: which backend
// lists the devices, and which MIDI inputs are taken.
class CMmSystem {
public:
    static CMmSystem& Instance();

    std::shared_ptr<CMmBackend> Backend();
    void SetBackend(std::shared_ptr<CMmBackend> backend);
    std::shared_ptr<CVirtualPiano> Piano();

    // Device-list changes: a counter and the listeners told of each (see mmsystemx.h).
    void DevicesChanged();
    std::uint64_t Changes() const { return m_changes.load(); }
    int Listen(std::function<void()> listener);
    void Unlisten(int id);

    // A MIDI input can be open once at a time.
    bool TakeMidiIn(const CMmBackend::Port* port);
    void ReleaseMidiIn(const CMmBackend::Port* port);

    // The text of a result code.
    static const char* ErrorText(MMRESULT code);

private:
    CMmSystem() = default;

    std::mutex m_lock;
    std::shared_ptr<CMmBackend> m_backend;
    std::set<const CMmBackend::Port*> m_takenMidiIns;

    std::atomic<std::uint64_t> m_changes{0};
    std::mutex m_listenLock; // held while the listeners run
    std::map<int, std::function<void()>> m_listeners;
    int m_nextListener = 1;
};
