#pragma once

#include "CMmBackend.h"

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
};
