#include "CMidiOutHandle.h"

#include <cstring>
#include <sys/prctl.h>

namespace {

std::size_t ShortLength(std::uint8_t status) {
    if (status < 0x80) {
        return 0;
    }
    if (status < 0xF0) {
        const std::uint8_t kind = status & 0xF0;
        return (kind == 0xC0 || kind == 0xD0) ? 2 : 3;
    }
    switch (status) {
    case 0xF0:
    case 0xF7:
        return 0; // not a short message
    case 0xF1:
    case 0xF3:
        return 2;
    case 0xF2:
        return 3;
    default:
        return 1;
    }
}

} // namespace

CMidiOutHandle::CMidiOutHandle(std::shared_ptr<CMmBackend::MidiOutPort> port, UINT deviceId,
                               bool stream, DWORD_PTR callback, DWORD_PTR instance, DWORD flags)
    : CMmHandle(MakeCallback<HMIDIOUT>(this, callback, instance, flags)), m_port(std::move(port)),
      m_deviceId(deviceId), m_stream(stream), m_anchorTime(Clock::now()) {
    if (m_stream) {
        m_scheduler = std::thread([this] { Schedule(); });
    }
    Post(MOM_OPEN);
}

CMidiOutHandle::~CMidiOutHandle() {
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_closing = true;
        ++m_changes;
    }
    m_wake.notify_all();
    if (m_scheduler.joinable()) {
        m_scheduler.join();
    }
    FinishCallbacks();
}

bool CMidiOutHandle::SendLocked(const std::uint8_t* bytes, std::size_t length) {
    if (length >= 3 && (bytes[0] & 0xE0) == 0x80) {
        const int channel = bytes[0] & 0x0F;
        const bool on = (bytes[0] & 0xF0) == 0x90 && bytes[2] != 0;
        m_held[channel][bytes[1] & 0x7F] = on;
    } else if (length >= 3 && (bytes[0] & 0xF0) == 0xB0 && (bytes[1] == 0x7B || bytes[1] == 0x78)) {
        std::memset(m_held[bytes[0] & 0x0F], 0, sizeof m_held[0]);
    }
    return m_port->Send(bytes, length);
}

bool CMidiOutHandle::SendShortLocked(DWORD message) {
    std::uint8_t bytes[3] = {static_cast<std::uint8_t>(message & 0xFF),
                             static_cast<std::uint8_t>((message >> 8) & 0xFF),
                             static_cast<std::uint8_t>((message >> 16) & 0xFF)};
    std::size_t length = ShortLength(bytes[0]);
    if (length == 0 && bytes[0] < 0x80 && m_runningStatus != 0) {
        // Running status: the message carries only its data bytes.
        bytes[2] = bytes[1];
        bytes[1] = bytes[0];
        bytes[0] = m_runningStatus;
        length = ShortLength(bytes[0]);
    }
    if (length == 0) {
        return true; // nothing that can be sent as a short message
    }
    if (bytes[0] < 0xF0) {
        m_runningStatus = bytes[0];
    } else if (bytes[0] < 0xF8) {
        m_runningStatus = 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        bytes[i] &= 0x7F;
    }
    return SendLocked(bytes, length);
}

void CMidiOutHandle::NotesOffLocked() {
    for (int channel = 0; channel < 16; ++channel) {
        for (int note = 0; note < 128; ++note) {
            if (m_held[channel][note]) {
                const std::uint8_t off[3] = {static_cast<std::uint8_t>(0x80 | channel),
                                             static_cast<std::uint8_t>(note), 0};
                SendLocked(off, 3);
            }
        }
    }
}

MMRESULT CMidiOutHandle::ShortMsg(DWORD message) {
    const std::lock_guard<std::mutex> guard(m_lock);
    return SendShortLocked(message) ? MMSYSERR_NOERROR : MMSYSERR_NODRIVER;
}

MMRESULT CMidiOutHandle::LongMsg(MIDIHDR* header, UINT size) {
    if (header == nullptr || size < sizeof(MIDIHDR) || header->lpData == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    if (m_stream) {
        return MMSYSERR_NOTSUPPORTED;
    }
    const DWORD flags = mmxHeaderFlags(header->dwFlags);
    if ((flags & MHDR_PREPARED) == 0) {
        return MIDIERR_UNPREPARED;
    }
    if ((flags & MHDR_INQUEUE) != 0) {
        return MIDIERR_STILLPLAYING;
    }
    bool sent = false;
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        SetFlags(header->dwFlags, MHDR_INQUEUE, MHDR_DONE);
        sent = SendLocked(reinterpret_cast<const std::uint8_t*>(header->lpData),
                          header->dwBufferLength);
        m_runningStatus = 0;
        SetFlags(header->dwFlags, MHDR_DONE, MHDR_INQUEUE);
    }
    Post(MOM_DONE, reinterpret_cast<DWORD_PTR>(header));
    return sent ? MMSYSERR_NOERROR : MMSYSERR_NODRIVER;
}

MMRESULT CMidiOutHandle::Prepare(MIDIHDR* header, UINT size) {
    return PrepareHeader(header, size, MHDR_INQUEUE);
}

MMRESULT CMidiOutHandle::Unprepare(MIDIHDR* header, UINT size) {
    return UnprepareHeader(header, size, MHDR_INQUEUE, MIDIERR_STILLPLAYING);
}

MMRESULT CMidiOutHandle::Reset() {
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        if (m_stream) {
            StopLocked();
        }
        NotesOffLocked();
        m_runningStatus = 0;
        ++m_changes;
    }
    m_wake.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT CMidiOutHandle::Close() {
    if (OnCallbackThread()) {
        return MMSYSERR_HANDLEBUSY;
    }
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        if (!m_queue.empty()) {
            return MIDIERR_STILLPLAYING;
        }
        m_closing = true;
        ++m_changes;
    }
    m_wake.notify_all();
    if (m_scheduler.joinable()) {
        m_scheduler.join();
    }
    Post(MOM_CLOSE);
    FinishCallbacks();
    return MMSYSERR_NOERROR;
}

// ------------------------------------------------------------------------------------------
// Stream

double CMidiOutHandle::MicrosecondsPerTick() const {
    return static_cast<double>(m_tempo) / static_cast<double>(m_timeDiv);
}

double CMidiOutHandle::TickAt(Clock::time_point now) const {
    if (!m_running || m_starved) {
        return m_anchorTick;
    }
    const double elapsed = std::chrono::duration<double, std::micro>(now - m_anchorTime).count();
    return m_anchorTick + elapsed / MicrosecondsPerTick();
}

double CMidiOutHandle::MillisecondsAt(Clock::time_point now) const {
    if (!m_running || m_starved) {
        return m_anchorMs;
    }
    return m_anchorMs + std::chrono::duration<double, std::milli>(now - m_anchorTime).count();
}

void CMidiOutHandle::Anchor(Clock::time_point now) {
    m_anchorTick = TickAt(now);
    m_anchorMs = MillisecondsAt(now);
    m_anchorTime = now;
}

MMRESULT CMidiOutHandle::Out(MIDIHDR* header, UINT size) {
    if (header == nullptr || size < sizeof(MIDIHDR) || header->lpData == nullptr ||
        header->dwBytesRecorded > header->dwBufferLength) {
        return MMSYSERR_INVALPARAM;
    }
    const DWORD flags = mmxHeaderFlags(header->dwFlags);
    if ((flags & MHDR_PREPARED) == 0) {
        return MIDIERR_UNPREPARED;
    }
    if ((flags & MHDR_INQUEUE) != 0) {
        return MIDIERR_STILLPLAYING;
    }
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        header->dwOffset = 0;
        SetFlags(header->dwFlags, MHDR_INQUEUE | MHDR_ISSTRM, MHDR_DONE);
        if (m_queue.empty()) {
            if (m_running && m_starved) {
                // A stream that ran dry goes on from now, not from when it ran dry.
                m_anchorTime = Clock::now();
            }
            m_starved = false;
        }
        m_queue.push_back(header);
        ++m_changes;
    }
    m_wake.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT CMidiOutHandle::Pause() {
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        if (!m_running) {
            return MMSYSERR_NOERROR;
        }
        Anchor(Clock::now());
        m_running = false;
        ++m_changes;
    }
    m_wake.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT CMidiOutHandle::Restart() {
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        if (m_running) {
            return MMSYSERR_NOERROR;
        }
        m_anchorTime = Clock::now();
        m_running = true;
        ++m_changes;
    }
    m_wake.notify_all();
    return MMSYSERR_NOERROR;
}

void CMidiOutHandle::StopLocked() {
    m_running = false;
    m_starved = true;
    m_anchorTick = 0;
    m_anchorMs = 0;
    m_lastEventTick = 0;
    while (!m_queue.empty()) {
        MIDIHDR* header = m_queue.front();
        m_queue.pop_front();
        SetFlags(header->dwFlags, MHDR_DONE, MHDR_INQUEUE);
        Post(MOM_DONE, reinterpret_cast<DWORD_PTR>(header));
    }
    NotesOffLocked();
}

MMRESULT CMidiOutHandle::Stop() {
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        StopLocked();
        ++m_changes;
    }
    m_wake.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT CMidiOutHandle::Position(MMTIME* time, UINT size) {
    if (time == nullptr || size < sizeof(MMTIME)) {
        return MMSYSERR_INVALPARAM;
    }
    const std::lock_guard<std::mutex> guard(m_lock);
    const Clock::time_point now = Clock::now();
    if (time->wType == TIME_TICKS) {
        time->u.ticks = static_cast<DWORD>(static_cast<std::uint64_t>(TickAt(now)));
    } else {
        time->wType = TIME_MS;
        time->u.ms = static_cast<DWORD>(static_cast<std::uint64_t>(MillisecondsAt(now)));
    }
    return MMSYSERR_NOERROR;
}

MMRESULT CMidiOutHandle::Property(BYTE* data, DWORD property) {
    if (data == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    const bool set = (property & MIDIPROP_SET) != 0;
    const bool get = (property & MIDIPROP_GET) != 0;
    if (set == get) {
        return MMSYSERR_INVALPARAM;
    }
    const DWORD which = property & ~(MIDIPROP_SET | MIDIPROP_GET);
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        if (which == MIDIPROP_TIMEDIV) {
            auto* value = reinterpret_cast<MIDIPROPTIMEDIV*>(data);
            if (value->cbStruct < sizeof(MIDIPROPTIMEDIV)) {
                return MMSYSERR_INVALPARAM;
            }
            if (get) {
                value->dwTimeDiv = m_timeDiv;
                return MMSYSERR_NOERROR;
            }
            // Ticks per quarter note only; SMPTE divisions are not offered.
            if (value->dwTimeDiv == 0 || value->dwTimeDiv > 0x7FFF) {
                return MMSYSERR_INVALPARAM;
            }
            Anchor(Clock::now());
            m_timeDiv = value->dwTimeDiv;
        } else if (which == MIDIPROP_TEMPO) {
            auto* value = reinterpret_cast<MIDIPROPTEMPO*>(data);
            if (value->cbStruct < sizeof(MIDIPROPTEMPO)) {
                return MMSYSERR_INVALPARAM;
            }
            if (get) {
                value->dwTempo = m_tempo;
                return MMSYSERR_NOERROR;
            }
            if (value->dwTempo == 0) {
                return MMSYSERR_INVALPARAM;
            }
            Anchor(Clock::now());
            m_tempo = value->dwTempo;
        } else {
            return MMSYSERR_INVALPARAM;
        }
        ++m_changes;
    }
    m_wake.notify_all();
    return MMSYSERR_NOERROR;
}

void CMidiOutHandle::Schedule() {
    // Wake-ups as close to the due time as the kernel allows.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    std::unique_lock<std::mutex> lock(m_lock);
    while (!m_closing) {
        if (!m_running || m_queue.empty()) {
            const std::uint64_t seen = m_changes;
            m_wake.wait(lock, [&] { return m_changes != seen; });
            continue;
        }
        MIDIHDR* header = m_queue.front();
        const auto* data = reinterpret_cast<const std::uint8_t*>(header->lpData);
        const DWORD end = header->dwBytesRecorded;
        DWORD offset = header->dwOffset;
        MIDIEVENT event{};
        std::size_t eventSize = 12;
        bool valid = offset <= end && end - offset >= 12;
        if (valid) {
            std::memcpy(&event, data + offset, 12);
            if ((event.dwEvent & MEVT_F_LONG) != 0) {
                const std::size_t length = MEVT_EVENTPARM(event.dwEvent);
                eventSize = 12 + ((length + 3) & ~std::size_t{3});
                valid = end - offset >= eventSize;
            }
        }
        if (!valid) {
            // The buffer is used up (or its last event runs past its end): hand it back.
            m_queue.pop_front();
            SetFlags(header->dwFlags, MHDR_DONE, MHDR_INQUEUE);
            Post(MOM_DONE, reinterpret_cast<DWORD_PTR>(header));
            if (m_queue.empty()) {
                m_anchorMs = m_anchorMs + (static_cast<double>(m_lastEventTick) - m_anchorTick) *
                                              MicrosecondsPerTick() / 1000.0;
                m_anchorTick = static_cast<double>(m_lastEventTick);
                m_starved = true;
            }
            continue;
        }
        const std::uint64_t tick = m_lastEventTick + event.dwDeltaTime;
        const auto due =
            m_anchorTime +
            std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::micro>(
                (static_cast<double>(tick) - m_anchorTick) * MicrosecondsPerTick()));
        const std::uint64_t seen = m_changes;
        if (Clock::now() < due) {
            m_wake.wait_until(lock, due, [&] { return m_changes != seen; });
            if (m_changes != seen) {
                continue; // something changed: look again
            }
        }
        // Due: play it.
        const BYTE type = MEVT_EVENTTYPE(event.dwEvent) & ~static_cast<BYTE>(0x40);
        if (type == MEVT_SHORTMSG) {
            SendShortLocked(MEVT_EVENTPARM(event.dwEvent));
        } else if (type == MEVT_TEMPO) {
            const DWORD tempo = MEVT_EVENTPARM(event.dwEvent);
            m_anchorMs +=
                (static_cast<double>(tick) - m_anchorTick) * MicrosecondsPerTick() / 1000.0;
            m_anchorTick = static_cast<double>(tick);
            m_anchorTime = due;
            if (tempo != 0) {
                m_tempo = tempo;
            }
        } else if (type == MEVT_LONGMSG) {
            SendLocked(data + offset + 12, MEVT_EVENTPARM(event.dwEvent));
            m_runningStatus = 0;
        }
        if ((event.dwEvent & MEVT_F_CALLBACK) != 0) {
            Post(MOM_POSITIONCB, reinterpret_cast<DWORD_PTR>(header), offset);
        }
        m_lastEventTick = tick;
        header->dwOffset = offset + static_cast<DWORD>(eventSize);
    }
}
