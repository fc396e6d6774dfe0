#pragma once

#include "CCallbackQueue.h"

#include <memory>
#include <mutex>

// What every open device handle has: its callback queue and its place among the live handles.
// A handle value is the address of its object; calls look it up among the live handles, so a
// closed or made-up handle is refused instead of being used.
class CMmHandle {
public:
    explicit CMmHandle(CCallbackQueue::Function function);
    CMmHandle(const CMmHandle&) = delete;
    CMmHandle& operator=(const CMmHandle&) = delete;
    virtual ~CMmHandle();

    // Registers the handle as live.
    static void Add(const std::shared_ptr<CMmHandle>& handle);
    // The live handle of that type at that address, or null.
    template <typename T>
    static std::shared_ptr<T> Find(const void* address) {
        return std::dynamic_pointer_cast<T>(Lookup(address));
    }
    // Takes the handle out of the live ones; false when it was not live.
    static bool Remove(const void* address);

    // Posts a callback message; the handle passed to the callback is this object.
    void Post(UINT message, DWORD_PTR first = 0, DWORD_PTR second = 0);
    bool OnCallbackThread() const;
    // Delivers the queued messages and ends the callback thread.
    void FinishCallbacks();

private:
    static std::shared_ptr<CMmHandle> Lookup(const void* address);

    std::unique_ptr<CCallbackQueue> m_callbacks;
};

// Checks the callback part of an open's flags: no callback, or a callback function.
MMRESULT CheckCallback(DWORD_PTR callback, DWORD flags);

// The callback of a device of handle type H: the application's function called with the
// handle, its instance data and the message; empty for no callback.
template <typename H>
CCallbackQueue::Function MakeCallback(H handle, DWORD_PTR callback, DWORD_PTR instance,
                                      DWORD flags) {
    using Proc = void (*)(H, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);
    if ((flags & CALLBACK_TYPEMASK) != CALLBACK_FUNCTION || callback == 0) {
        return {};
    }
    const auto proc = reinterpret_cast<Proc>(callback);
    return [proc, handle, instance](UINT message, DWORD_PTR first, DWORD_PTR second) {
        proc(handle, message, instance, first, second);
    };
}

// Sets and clears header flags that another thread may be reading.
inline void SetFlags(DWORD& flags, DWORD set, DWORD clear = 0) {
    DWORD old = __atomic_load_n(&flags, __ATOMIC_RELAXED);
    while (!__atomic_compare_exchange_n(&flags, &old, (old & ~clear) | set, false, __ATOMIC_ACQ_REL,
                                        __ATOMIC_RELAXED)) {
    }
}

// The header flags that MIDI and wave headers share, with the same bits in both.
constexpr DWORD kHeaderDone = 0x1;     // MHDR_DONE, WHDR_DONE
constexpr DWORD kHeaderPrepared = 0x2; // MHDR_PREPARED, WHDR_PREPARED

// Preparing and unpreparing a MIDI or wave header: the same rules for every device, with the
// device kind's queued flag and its "still playing" result.
template <typename Header>
MMRESULT PrepareHeader(Header* header, UINT size, DWORD inQueue) {
    if (header == nullptr || size < sizeof(Header) || header->lpData == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    SetFlags(header->dwFlags, kHeaderPrepared, kHeaderDone | inQueue);
    return MMSYSERR_NOERROR;
}

template <typename Header>
MMRESULT UnprepareHeader(Header* header, UINT size, DWORD inQueue, MMRESULT stillPlaying) {
    if (header == nullptr || size < sizeof(Header)) {
        return MMSYSERR_INVALPARAM;
    }
    if ((mmxHeaderFlags(header->dwFlags) & inQueue) != 0) {
        return stillPlaying;
    }
    SetFlags(header->dwFlags, 0, kHeaderPrepared);
    return MMSYSERR_NOERROR;
}
