#include "CWaveOutHandle.h"

#include "CRtThread.h"

#include <algorithm>

namespace {
constexpr double kSliceSeconds = 0.010;
}

CWaveOutHandle::CWaveOutHandle(std::shared_ptr<CMmBackend::WaveOutPort> port, UINT deviceId,
                               const WAVEFORMATEX& format, DWORD_PTR callback, DWORD_PTR instance,
                               DWORD flags, std::unique_ptr<CMmBackend::WaveStream> stream)
    : CMmHandle(MakeCallback<HWAVEOUT>(this, callback, instance, flags)), m_port(std::move(port)),
      m_deviceId(deviceId), m_format(format), m_anchorTime(Clock::now()),
      m_stream(std::move(stream)) {
    Post(WOM_OPEN);
    m_thread = std::thread([this] {
        CRtThread::Name("mm-wave-out");
        CRtThread::Promote();
        if (m_stream) {
            PlayStream();
        } else {
            Play();
        }
    });
}

CWaveOutHandle::~CWaveOutHandle() {
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_closing = true;
        ++m_changes;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    FinishCallbacks();
}

double CWaveOutHandle::BytesAt(Clock::time_point now) const {
    if (!m_flowing) {
        return m_anchorBytes;
    }
    const double seconds = std::chrono::duration<double>(now - m_anchorTime).count();
    // Never past what was written: a late device thread must not make the position run ahead.
    double queued = static_cast<double>(m_played);
    for (const WAVEHDR* header : m_queue) {
        queued += header->dwBufferLength;
    }
    queued -= m_offset;
    return std::min(m_anchorBytes + seconds * m_format.nAvgBytesPerSec, queued);
}

CWaveOutHandle::Clock::time_point CWaveOutHandle::TimeOfByte(double byte) const {
    const double seconds = (byte - m_anchorBytes) / m_format.nAvgBytesPerSec;
    return m_anchorTime +
           std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

MMRESULT CWaveOutHandle::Prepare(WAVEHDR* header, UINT size) {
    return PrepareHeader(header, size, WHDR_INQUEUE);
}

MMRESULT CWaveOutHandle::Unprepare(WAVEHDR* header, UINT size) {
    return UnprepareHeader(header, size, WHDR_INQUEUE, WAVERR_STILLPLAYING);
}

MMRESULT CWaveOutHandle::Write(WAVEHDR* header, UINT size) {
    if (header == nullptr || size < sizeof(WAVEHDR) || header->lpData == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    const DWORD flags = mmxHeaderFlags(header->dwFlags);
    if ((flags & WHDR_PREPARED) == 0) {
        return WAVERR_UNPREPARED;
    }
    if ((flags & WHDR_INQUEUE) != 0) {
        return WAVERR_STILLPLAYING;
    }
    // A device that was pulled out takes nothing more, as a removed USB device does.
    if (!m_port->Present()) {
        return MMSYSERR_NODRIVER;
    }
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        SetFlags(header->dwFlags, WHDR_INQUEUE, WHDR_DONE);
        m_queue.push_back(header);
        ++m_changes;
    }
    m_wake.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT CWaveOutHandle::Pause() {
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        if (m_paused) {
            return MMSYSERR_NOERROR;
        }
        if (m_stream) {
            m_stream->Pause(true);
        }
        m_anchorBytes = BytesAt(Clock::now());
        m_flowing = false;
        m_paused = true;
        ++m_changes;
    }
    m_wake.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT CWaveOutHandle::Restart() {
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        if (!m_paused) {
            return MMSYSERR_NOERROR;
        }
        if (m_stream) {
            m_stream->Pause(false);
        }
        m_paused = false;
        ++m_changes;
    }
    m_wake.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT CWaveOutHandle::Reset() {
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        if (m_stream) {
            m_stream->Drop();
            m_stream->Pause(false);
            // What the device held goes back first: it was written before what is queued.
            for (const Sent& sent : m_inDevice) {
                SetFlags(sent.header->dwFlags, WHDR_DONE, WHDR_INQUEUE);
                Post(WOM_DONE, reinterpret_cast<DWORD_PTR>(sent.header));
            }
            m_inDevice.clear();
            m_lostBytes = 0;
        }
        while (!m_queue.empty()) {
            WAVEHDR* header = m_queue.front();
            m_queue.pop_front();
            SetFlags(header->dwFlags, WHDR_DONE, WHDR_INQUEUE);
            Post(WOM_DONE, reinterpret_cast<DWORD_PTR>(header));
        }
        m_offset = 0;
        m_played = 0;
        m_anchorBytes = 0;
        m_flowing = false;
        m_paused = false;
        ++m_changes;
    }
    m_wake.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT CWaveOutHandle::Position(MMTIME* time, UINT size) {
    if (time == nullptr || size < sizeof(MMTIME)) {
        return MMSYSERR_INVALPARAM;
    }
    const std::lock_guard<std::mutex> guard(m_lock);
    // Never ahead of what was really handed over plus the slice being played.
    const double bytes =
        m_stream ? static_cast<double>(StreamBytesLocked()) : std::max(0.0, BytesAt(Clock::now()));
    const auto whole = static_cast<std::uint64_t>(bytes);
    const std::uint64_t frames = whole / m_format.nBlockAlign;
    switch (time->wType) {
    case TIME_SAMPLES:
        time->u.sample = static_cast<DWORD>(frames);
        break;
    case TIME_MS:
        time->u.ms = static_cast<DWORD>(frames * 1000 / m_format.nSamplesPerSec);
        break;
    default:
        time->wType = TIME_BYTES;
        time->u.cb = static_cast<DWORD>(frames * m_format.nBlockAlign);
        break;
    }
    return MMSYSERR_NOERROR;
}

MMRESULT CWaveOutHandle::Close() {
    if (OnCallbackThread()) {
        return MMSYSERR_HANDLEBUSY;
    }
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        if (!m_queue.empty() || !m_inDevice.empty()) {
            return WAVERR_STILLPLAYING;
        }
        m_closing = true;
        ++m_changes;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    Post(WOM_CLOSE);
    FinishCallbacks();
    return MMSYSERR_NOERROR;
}

void CWaveOutHandle::Play() {
    const std::size_t slice = std::max<std::size_t>(
        m_format.nBlockAlign, static_cast<std::size_t>(m_format.nAvgBytesPerSec * kSliceSeconds) /
                                  m_format.nBlockAlign * m_format.nBlockAlign);
    std::unique_lock<std::mutex> lock(m_lock);
    while (!m_closing) {
        if (m_paused || m_queue.empty()) {
            if (m_flowing) {
                // The device runs dry: the clock stops at what was played.
                m_anchorBytes = static_cast<double>(m_played);
                m_flowing = false;
            }
            const std::uint64_t seen = m_changes;
            m_wake.wait(lock, [&] { return m_changes != seen; });
            continue;
        }
        if (!m_flowing) {
            m_anchorBytes = static_cast<double>(m_played);
            m_anchorTime = Clock::now();
            m_flowing = true;
        }
        WAVEHDR* header = m_queue.front();
        const std::size_t left =
            header->dwBufferLength - std::min(header->dwBufferLength, m_offset);
        const std::size_t part = std::min(left, slice);
        // Each slice goes to the device when the clock has played it.
        const auto due = TimeOfByte(static_cast<double>(m_played + part));
        const std::uint64_t seen = m_changes;
        if (part > 0 && Clock::now() < due) {
            m_wake.wait_until(lock, due, [&] { return m_changes != seen; });
            if (m_changes != seen) {
                continue;
            }
        }
        if (part > 0) {
            m_port->Play(reinterpret_cast<const std::uint8_t*>(header->lpData) + m_offset, part,
                         m_format);
        }
        m_offset += static_cast<DWORD>(part);
        m_played += part;
        if (m_offset >= header->dwBufferLength) {
            m_queue.pop_front();
            m_offset = 0;
            SetFlags(header->dwFlags, WHDR_DONE, WHDR_INQUEUE);
            Post(WOM_DONE, reinterpret_cast<DWORD_PTR>(header));
        }
    }
}

std::uint64_t CWaveOutHandle::StreamBytesLocked() {
    const std::uint64_t played = m_stream->Frames() * m_format.nBlockAlign + m_lostBytes;
    return std::min(played, m_played);
}

void CWaveOutHandle::ReturnPlayedLocked() {
    if (m_inDevice.empty()) {
        return;
    }
    const std::uint64_t played = StreamBytesLocked();
    while (!m_inDevice.empty() && m_inDevice.front().end <= played) {
        WAVEHDR* header = m_inDevice.front().header;
        m_inDevice.pop_front();
        SetFlags(header->dwFlags, WHDR_DONE, WHDR_INQUEUE);
        Post(WOM_DONE, reinterpret_cast<DWORD_PTR>(header));
    }
}

void CWaveOutHandle::PlayStream() {
    constexpr auto kSlice = std::chrono::milliseconds(10);
    const std::size_t align = m_format.nBlockAlign;
    std::unique_lock<std::mutex> lock(m_lock);
    while (!m_closing) {
        ReturnPlayedLocked();
        const std::uint64_t seen = m_changes;
        if (m_paused || m_queue.empty()) {
            if (m_inDevice.empty() || m_paused) {
                m_wake.wait(lock, [&] { return m_changes != seen; });
            } else {
                // The device is playing out what it has: look again a slice later.
                m_wake.wait_for(lock, kSlice, [&] { return m_changes != seen; });
            }
            continue;
        }
        // Room in the device, waited for without the lock.
        lock.unlock();
        m_stream->Wait(kSlice);
        lock.lock();
        // Whatever changed meanwhile (a reset, a pause, more buffers), the head is read again.
        if (m_closing || m_paused || m_queue.empty()) {
            continue;
        }
        WAVEHDR* header = m_queue.front();
        const std::size_t left =
            (header->dwBufferLength - std::min(header->dwBufferLength, m_offset)) / align;
        long frames = 0;
        if (left > 0) {
            frames = m_stream->Transfer(reinterpret_cast<std::uint8_t*>(header->lpData) + m_offset,
                                        left);
            if (frames < 0) {
                // The device went away: what it cannot take is gone, at the pace it would have
                // been played, until the watch notices and the player stops.
                m_wake.wait_for(lock, kSlice, [&] { return m_changes != seen; });
                if (m_changes != seen) {
                    continue;
                }
                frames = static_cast<long>(std::min<std::size_t>(
                    left, std::max<std::size_t>(1, m_format.nSamplesPerSec / 100)));
                m_lostBytes += static_cast<std::uint64_t>(frames) * align;
            }
        }
        const std::size_t bytes = static_cast<std::size_t>(frames) * align;
        m_offset += static_cast<DWORD>(bytes);
        m_played += bytes;
        if (left == 0 || m_offset + align > header->dwBufferLength) {
            // Written whole (a trailing partial frame cannot be played): handed back once the
            // device has played it.
            m_queue.pop_front();
            m_offset = 0;
            m_inDevice.push_back({header, m_played});
        }
    }
}
