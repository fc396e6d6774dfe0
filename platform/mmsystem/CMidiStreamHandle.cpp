#include "CMidiStreamHandle.h"

#include "CRtThread.h"

#include <cstring>

CMidiStreamHandle::CMidiStreamHandle(std::shared_ptr<CMmBackend::MidiOutPort> port, UINT deviceId,
                                     DWORD_PTR callback, DWORD_PTR instance, DWORD flags)
    : CMidiOutHandle(std::move(port), deviceId, callback, instance, flags),
      m_anchorTime(Clock::now()) {
    m_scheduler = std::thread([this] { Schedule(); });
}

CMidiStreamHandle::~CMidiStreamHandle() {
    {
        const std::lock_guard<std::mutex> guard(m_streamLock);
        m_closing = true;
        ++m_changes;
    }
    m_wake.notify_all();
    if (m_scheduler.joinable()) {
        m_scheduler.join();
    }
}

MMRESULT CMidiStreamHandle::LongMsg(MIDIHDR* header, UINT size) {
    if (header == nullptr || size < sizeof(MIDIHDR) || header->lpData == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    return MMSYSERR_NOTSUPPORTED;
}

MMRESULT CMidiStreamHandle::Close() {
    if (OnCallbackThread()) {
        return MMSYSERR_HANDLEBUSY;
    }
    {
        const std::lock_guard<std::mutex> guard(m_streamLock);
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
    return CMidiOutHandle::Close();
}

double CMidiStreamHandle::MicrosecondsPerTick() const {
    return static_cast<double>(m_tempo) / static_cast<double>(m_timeDiv);
}

double CMidiStreamHandle::TickAt(Clock::time_point now) const {
    if (!m_running || m_starved) {
        return m_anchorTick;
    }
    const double elapsed = std::chrono::duration<double, std::micro>(now - m_anchorTime).count();
    return m_anchorTick + elapsed / MicrosecondsPerTick();
}

double CMidiStreamHandle::MillisecondsAt(Clock::time_point now) const {
    if (!m_running || m_starved) {
        return m_anchorMs;
    }
    return m_anchorMs + std::chrono::duration<double, std::milli>(now - m_anchorTime).count();
}

void CMidiStreamHandle::Anchor(Clock::time_point now) {
    m_anchorTick = TickAt(now);
    m_anchorMs = MillisecondsAt(now);
    m_anchorTime = now;
}

MMRESULT CMidiStreamHandle::Out(MIDIHDR* header, UINT size) {
    if (const MMRESULT check = CheckHeader(header, size, true); check != MMSYSERR_NOERROR) {
        return check;
    }
    {
        const std::lock_guard<std::mutex> guard(m_streamLock);
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

MMRESULT CMidiStreamHandle::Pause() {
    {
        const std::lock_guard<std::mutex> guard(m_streamLock);
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

MMRESULT CMidiStreamHandle::Restart() {
    {
        const std::lock_guard<std::mutex> guard(m_streamLock);
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

void CMidiStreamHandle::StopAndSilence(std::unique_lock<std::mutex>& stream) {
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
    ++m_changes;
    std::unique_lock<std::mutex> state(m_lock);
    const std::vector<Message> offs = NotesOffLocked();
    m_runningStatus = 0;
    const auto port = TakePort(state);
    stream.unlock();
    m_wake.notify_all();
    SendAll(offs);
}

MMRESULT CMidiStreamHandle::Stop() {
    std::unique_lock<std::mutex> stream(m_streamLock);
    StopAndSilence(stream);
    return MMSYSERR_NOERROR;
}

MMRESULT CMidiStreamHandle::Reset() {
    return Stop();
}

MMRESULT CMidiStreamHandle::Position(MMTIME* time, UINT size) {
    if (time == nullptr || size < sizeof(MMTIME)) {
        return MMSYSERR_INVALPARAM;
    }
    const std::lock_guard<std::mutex> guard(m_streamLock);
    const Clock::time_point now = Clock::now();
    if (time->wType == TIME_TICKS) {
        time->u.ticks = static_cast<DWORD>(static_cast<std::uint64_t>(TickAt(now)));
    } else {
        time->wType = TIME_MS;
        time->u.ms = static_cast<DWORD>(static_cast<std::uint64_t>(MillisecondsAt(now)));
    }
    return MMSYSERR_NOERROR;
}

MMRESULT CMidiStreamHandle::Property(BYTE* data, DWORD property) {
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
        const std::lock_guard<std::mutex> guard(m_streamLock);
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

void CMidiStreamHandle::Schedule() {
    // Wake-ups as close to the due time as the kernel allows, ahead of ordinary threads where
    // the system grants real-time scheduling.
    CRtThread::Name("mm-stream");
    CRtThread::Promote();
    std::unique_lock<std::mutex> lock(m_streamLock);
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
        // The type without the callback flag, which stands in the type byte's bit 6.
        const BYTE type = MEVT_EVENTTYPE(event.dwEvent) & ~MEVT_EVENTTYPE(MEVT_F_CALLBACK);
        std::vector<Message> outgoing;
        if (type == MEVT_SHORTMSG) {
            const std::lock_guard<std::mutex> state(m_lock);
            Message message;
            if (ComposeShortLocked(MEVT_EVENTPARM(event.dwEvent), message)) {
                outgoing.push_back(std::move(message));
            }
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
            // Copied: once the stream's lock is let go, the buffer may be handed back.
            const std::uint8_t* bytes = data + offset + 12;
            outgoing.emplace_back(bytes, bytes + MEVT_EVENTPARM(event.dwEvent));
            const std::lock_guard<std::mutex> state(m_lock);
            TrackLongLocked(outgoing.back().data(), outgoing.back().size());
        }
        if ((event.dwEvent & MEVT_F_CALLBACK) != 0) {
            Post(MOM_POSITIONCB, reinterpret_cast<DWORD_PTR>(header), offset);
        }
        m_lastEventTick = tick;
        header->dwOffset = offset + static_cast<DWORD>(eventSize);
        if (!outgoing.empty()) {
            // The event counts as played; the port is called without the stream's lock, so
            // a port that blocks holds up neither the position nor new buffers.
            {
                std::unique_lock<std::mutex> state(m_lock);
                const auto port = TakePort(state);
                lock.unlock();
                SendAll(outgoing);
            }
            lock.lock();
        }
    }
}
