#include "CMmHandle.h"

#include <unordered_map>

namespace {

std::mutex& RegistryLock() {
    static auto* lock = new std::mutex;
    return *lock;
}

std::unordered_map<const void*, std::shared_ptr<CMmHandle>>& Registry() {
    static auto* registry = new std::unordered_map<const void*, std::shared_ptr<CMmHandle>>;
    return *registry;
}

} // namespace

CMmHandle::CMmHandle(CCallbackQueue::Function function)
    : m_callbacks(std::make_unique<CCallbackQueue>(std::move(function))) {}

CMmHandle::~CMmHandle() = default;

void CMmHandle::Add(const std::shared_ptr<CMmHandle>& handle) {
    const std::lock_guard<std::mutex> guard(RegistryLock());
    Registry()[handle.get()] = handle;
}

std::shared_ptr<CMmHandle> CMmHandle::Lookup(const void* address) {
    const std::lock_guard<std::mutex> guard(RegistryLock());
    const auto found = Registry().find(address);
    return found != Registry().end() ? found->second : nullptr;
}

bool CMmHandle::Remove(const void* address) {
    std::shared_ptr<CMmHandle> removed;
    {
        const std::lock_guard<std::mutex> guard(RegistryLock());
        const auto found = Registry().find(address);
        if (found == Registry().end()) {
            return false;
        }
        removed = std::move(found->second);
        Registry().erase(found);
    }
    return true;
}

void CMmHandle::Post(UINT message, DWORD_PTR first, DWORD_PTR second) {
    m_callbacks->Post(message, first, second);
}

bool CMmHandle::OnCallbackThread() const {
    return m_callbacks->OnCallbackThread();
}

void CMmHandle::FinishCallbacks() {
    m_callbacks->Finish();
}

MMRESULT CheckCallback(DWORD_PTR callback, DWORD flags) {
    switch (flags & CALLBACK_TYPEMASK) {
    case CALLBACK_NULL:
        return MMSYSERR_NOERROR;
    case CALLBACK_FUNCTION:
        return callback != 0 ? MMSYSERR_NOERROR : MMSYSERR_INVALPARAM;
    default:
        // Windows, threads and events are not callback targets on this platform.
        return MMSYSERR_NOTSUPPORTED;
    }
}
