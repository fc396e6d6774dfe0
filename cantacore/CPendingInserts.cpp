#include "CPendingInserts.h"

#include <cstring>

CPendingInserts& CPendingInserts::Instance() {
    static auto* inserts = new CPendingInserts; // outlives every thread that may still add
    return *inserts;
}

void CPendingInserts::Open() {
    const std::lock_guard<std::mutex> guard(m_lock);
    m_fill = 0;
    m_open = true;
}

std::vector<std::uint8_t> CPendingInserts::Close() {
    const std::lock_guard<std::mutex> guard(m_lock);
    std::vector<std::uint8_t> left(m_bytes, m_bytes + m_fill);
    m_fill = 0;
    m_open = false;
    return left;
}

bool CPendingInserts::IsOpen() const {
    const std::lock_guard<std::mutex> guard(m_lock);
    return m_open;
}

std::size_t CPendingInserts::Fill() const {
    const std::lock_guard<std::mutex> guard(m_lock);
    return m_fill;
}

bool CPendingInserts::AddShort(DWORD message) {
    return Add(static_cast<DWORD>(MEVT_SHORTMSG) << 24 | (message & 0xFFFFFF), nullptr, 0);
}

bool CPendingInserts::AddTempo(DWORD microseconds) {
    return Add(static_cast<DWORD>(MEVT_TEMPO) << 24 | (microseconds & 0xFFFFFF), nullptr, 0);
}

bool CPendingInserts::AddLong(const std::uint8_t* bytes, std::size_t length) {
    if (bytes == nullptr || length == 0 || length > kSize) {
        return false;
    }
    return Add(MEVT_F_LONG | static_cast<DWORD>(length), bytes, length);
}

namespace {

std::size_t EventSize(DWORD event) {
    return (event & MEVT_F_LONG) != 0 ? 12 + ((MEVT_EVENTPARM(event) + 3) & ~std::size_t{3}) : 12;
}

// Whether a waiting event is made stale by the new one: an older tempo, the same short
// message, or an older value of the same setting (same length, same bytes up to the value,
// which stands two bytes before the closing F7).
bool Replaces(DWORD event, const std::uint8_t* bytes, std::size_t length, DWORD waiting,
              const std::uint8_t* waitingBytes) {
    if ((event & MEVT_F_LONG) == 0) {
        return MEVT_EVENTTYPE(event) == MEVT_TEMPO ? MEVT_EVENTTYPE(waiting) == MEVT_TEMPO
                                                   : waiting == event;
    }
    return waiting == event && length >= 4 && bytes[0] == 0xF0 &&
           std::memcmp(bytes, waitingBytes, length - 3) == 0;
}

} // namespace

bool CPendingInserts::Add(DWORD event, const std::uint8_t* bytes, std::size_t length) {
    const std::size_t size = 12 + ((length + 3) & ~std::size_t{3});
    const std::lock_guard<std::mutex> guard(m_lock);
    if (!m_open) {
        return false;
    }
    // Only the latest of a kind matters once it sounds, so a burst of changes (a spin button
    // held, a key changed twice) takes the room of one.
    for (std::size_t at = 0; m_fill - at >= 12;) {
        DWORD waiting = 0;
        std::memcpy(&waiting, m_bytes + at + 8, 4);
        const std::size_t waitingSize = EventSize(waiting);
        if (Replaces(event, bytes, length, waiting, m_bytes + at + 12)) {
            if ((event & MEVT_F_LONG) == 0 && MEVT_EVENTTYPE(event) == MEVT_SHORTMSG) {
                return true; // the same message waits already
            }
            std::memmove(m_bytes + at, m_bytes + at + waitingSize, m_fill - at - waitingSize);
            m_fill -= waitingSize;
            continue;
        }
        at += waitingSize;
    }
    if (kSize - m_fill < size) {
        return false;
    }
    std::uint8_t* out = m_bytes + m_fill;
    std::memset(out, 0, size);
    std::memcpy(out + 8, &event, 4);
    if (length > 0) {
        std::memcpy(out + 12, bytes, length);
    }
    m_fill += size;
    return true;
}

std::size_t CPendingInserts::MoveInto(std::uint8_t* out, std::size_t room) {
    const std::lock_guard<std::mutex> guard(m_lock);
    std::size_t moved = 0;
    while (m_fill - moved >= 12) {
        DWORD event = 0;
        std::memcpy(&event, m_bytes + moved + 8, 4);
        std::size_t size = 12;
        if ((event & MEVT_F_LONG) != 0) {
            size += (MEVT_EVENTPARM(event) + 3) & ~std::size_t{3};
        }
        if (room - moved < size) {
            break;
        }
        moved += size;
    }
    std::memcpy(out, m_bytes, moved);
    std::memmove(m_bytes, m_bytes + moved, m_fill - moved);
    m_fill -= moved;
    return moved;
}
