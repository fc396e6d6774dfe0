#pragma once

#include "mmsystem.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

// Stream events waiting to join the player's stream: the panel's long messages, tempo changes
// and the all-notes-off of a key change. Any thread may add; the stream callback moves them
// into the next buffer it refills, so they sound right after what is already queued. The
// hand-over is under a lock of its own, held only while bytes are copied.
//
// Events are the stream's 12-byte events at delta 0; a long message's bytes follow its event,
// padded to a multiple of 4. While no stream accepts them, nothing is added. A new event
// replaces a waiting one it makes stale (an older tempo, an older value of the same setting,
// the same notes-off), so the buffer cannot be filled by a burst of changes.
class CPendingInserts {
public:
    static constexpr std::size_t kSize = 2048;

    static CPendingInserts& Instance();

    // The stream is open: events are taken from now on.
    void Open();
    // The stream is closing: no more events are taken; what was still waiting is returned.
    std::vector<std::uint8_t> Close();
    bool IsOpen() const;

    // False when no stream accepts events or the event does not fit.
    bool AddShort(DWORD message);
    bool AddTempo(DWORD microseconds);
    bool AddLong(const std::uint8_t* bytes, std::size_t length);

    // Moves the waiting events that fit into out (whole events, in order); the bytes moved.
    std::size_t MoveInto(std::uint8_t* out, std::size_t room);
    std::size_t Fill() const;

    // Calls short(message) and long(bytes, length) for each event in a run of stream events.
    template <typename Short, typename Long>
    static void ForEach(const std::uint8_t* events, std::size_t size, Short onShort, Long onLong);

private:
    bool Add(DWORD event, const std::uint8_t* bytes, std::size_t length);

    mutable std::mutex m_lock;
    std::uint8_t m_bytes[kSize] = {};
    std::size_t m_fill = 0;
    bool m_open = false;
};

template <typename Short, typename Long>
void CPendingInserts::ForEach(const std::uint8_t* events, std::size_t size, Short onShort,
                              Long onLong) {
    std::size_t offset = 0;
    while (size - offset >= 12) {
        DWORD event = 0;
        static_assert(sizeof event == 4);
        __builtin_memcpy(&event, events + offset + 8, 4);
        std::size_t eventSize = 12;
        if ((event & MEVT_F_LONG) != 0) {
            const std::size_t length = MEVT_EVENTPARM(event);
            eventSize = 12 + ((length + 3) & ~std::size_t{3});
            if (size - offset < eventSize) {
                return;
            }
            onLong(events + offset + 12, length);
        } else if (MEVT_EVENTTYPE(event) == MEVT_SHORTMSG) {
            onShort(event);
        }
        offset += eventSize;
    }
}
