#include "CWaveInHandle.h"

#include "CRtThread.h"

#include <algorithm>
#include <vector>

namespace {
constexpr double kSliceSeconds = 0.010;
}

CWaveInHandle::CWaveInHandle(std::shared_ptr<CMmBackend::WaveInPort> port, UINT deviceId,
                             const WAVEFORMATEX& format, DWORD_PTR callback, DWORD_PTR instance,
                             DWORD flags, std::unique_ptr<CMmBackend::WaveStream> stream)
    : CMmHandle(MakeCallback<HWAVEIN>(this, callback, instance, flags)), m_port(std::move(port)),
      m_deviceId(deviceId), m_format(format), m_anchorTime(Clock::now()),
      m_stream(std::move(stream)) {
    Post(WIM_OPEN);
    m_thread = std::thread([this] {
        CRtThread::Name("mm-wave-in");
        CRtThread::Promote();
        if (m_stream) {
            RecordStream();
        } else {
            Record();
        }
    });
}

CWaveInHandle::~CWaveInHandle() {
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

std::uint64_t CWaveInHandle::BytesAt(Clock::time_point now) const {
    if (!m_started) {
        return m_anchorBytes;
    }
    const double seconds = std::chrono::duration<double>(now - m_anchorTime).count();
    const auto bytes =
        static_cast<std::uint64_t>(std::max(0.0, seconds) * m_format.nAvgBytesPerSec);
    return m_anchorBytes + bytes / m_format.nBlockAlign * m_format.nBlockAlign;
}

MMRESULT CWaveInHandle::Prepare(WAVEHDR* header, UINT size) {
    return PrepareHeader(header, size, WHDR_INQUEUE);
}

MMRESULT CWaveInHandle::Unprepare(WAVEHDR* header, UINT size) {
    return UnprepareHeader(header, size, WHDR_INQUEUE, WAVERR_STILLPLAYING);
}

MMRESULT CWaveInHandle::AddBuffer(WAVEHDR* header, UINT size) {
    if (header == nullptr || size < sizeof(WAVEHDR) || header->lpData == nullptr ||
        header->dwBufferLength < m_format.nBlockAlign) {
        return MMSYSERR_INVALPARAM;
    }
    const DWORD flags = mmxHeaderFlags(header->dwFlags);
    if ((flags & WHDR_PREPARED) == 0) {
        return WAVERR_UNPREPARED;
    }
    if ((flags & WHDR_INQUEUE) != 0) {
        return WAVERR_STILLPLAYING;
    }
    // A device that was pulled out takes nothing more, as a removed USB device does; a buffer
    // queued anyway would come back holding nothing real.
    if (m_lost.load() || !m_port->Present()) {
        return MMSYSERR_NODRIVER;
    }
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        if (m_lost.load()) {
            return MMSYSERR_NODRIVER;
        }
        header->dwBytesRecorded = 0;
        SetFlags(header->dwFlags, WHDR_INQUEUE, WHDR_DONE);
        m_queue.push_back(header);
        ++m_changes;
    }
    m_wake.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT CWaveInHandle::Start() {
    if (m_lost.load() || !m_port->Present()) {
        return MMSYSERR_NODRIVER;
    }
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        if (m_started) {
            return MMSYSERR_NOERROR;
        }
        m_anchorTime = Clock::now();
        m_anchorBytes = m_captured;
        m_started = true;
        if (m_stream) {
            m_stream->Start();
        }
        ++m_changes;
    }
    m_wake.notify_all();
    return MMSYSERR_NOERROR;
}

void CWaveInHandle::ReturnHeadLocked() {
    WAVEHDR* header = m_queue.front();
    m_queue.pop_front();
    SetFlags(header->dwFlags, WHDR_DONE, WHDR_INQUEUE);
    Post(WIM_DATA, reinterpret_cast<DWORD_PTR>(header));
}

void CWaveInHandle::LoseDeviceLocked() {
    m_lost.store(true);
    while (!m_queue.empty()) {
        ReturnHeadLocked();
    }
    ++m_changes;
}

MMRESULT CWaveInHandle::Stop() {
    // A device pulled out a moment ago may not have been missed by the device thread yet: its
    // user learns of it here all the same, with the buffers back as they are.
    const bool present = m_port->Present();
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        if (!present || m_lost.load()) {
            if (m_stream && m_started) {
                m_stream->Stop();
            }
            m_started = false;
            LoseDeviceLocked();
        } else if (m_started) {
            if (m_stream) {
                m_stream->Stop();
                m_captured = m_stream->Frames() * m_format.nBlockAlign;
            }
            m_anchorBytes = m_captured;
            m_started = false;
            // The buffer being filled comes back with what it holds; empty ones stay queued.
            if (!m_queue.empty() && m_queue.front()->dwBytesRecorded > 0) {
                ReturnHeadLocked();
            }
        }
        ++m_changes;
    }
    m_wake.notify_all();
    return m_lost.load() ? MMSYSERR_NODRIVER : MMSYSERR_NOERROR;
}

MMRESULT CWaveInHandle::Reset() {
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_started = false;
        if (m_stream) {
            m_stream->Stop();
            m_stream->Drop();
        }
        while (!m_queue.empty()) {
            ReturnHeadLocked();
        }
        m_captured = 0;
        m_anchorBytes = 0;
        ++m_changes;
    }
    m_wake.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT CWaveInHandle::Position(MMTIME* time, UINT size) {
    if (time == nullptr || size < sizeof(MMTIME)) {
        return MMSYSERR_INVALPARAM;
    }
    const std::lock_guard<std::mutex> guard(m_lock);
    // A device that keeps time itself counts what it took in, also what no buffer was there for.
    const std::uint64_t frames =
        m_stream && m_started ? m_stream->Frames() : m_captured / m_format.nBlockAlign;
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

MMRESULT CWaveInHandle::Close() {
    if (OnCallbackThread()) {
        return MMSYSERR_HANDLEBUSY;
    }
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        if (!m_queue.empty()) {
            return WAVERR_STILLPLAYING;
        }
        m_closing = true;
        m_started = false;
        ++m_changes;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    Post(WIM_CLOSE);
    FinishCallbacks();
    return MMSYSERR_NOERROR;
}

void CWaveInHandle::Record() {
    const std::size_t slice = std::max<std::size_t>(
        m_format.nBlockAlign, static_cast<std::size_t>(m_format.nAvgBytesPerSec * kSliceSeconds) /
                                  m_format.nBlockAlign * m_format.nBlockAlign);
    std::unique_lock<std::mutex> lock(m_lock);
    while (!m_closing) {
        if (!m_started || m_queue.empty() || m_lost.load()) {
            const std::uint64_t seen = m_changes;
            if (m_started && !m_lost.load()) {
                // No buffer: time still passes, and what it brings is lost.
                m_wake.wait_for(lock, std::chrono::milliseconds(10),
                                [&] { return m_changes != seen; });
                m_captured = std::max(m_captured, BytesAt(Clock::now()));
            } else {
                m_wake.wait(lock, [&] { return m_changes != seen; });
            }
            continue;
        }
        WAVEHDR* header = m_queue.front();
        const std::size_t room = (header->dwBufferLength - header->dwBytesRecorded) /
                                 m_format.nBlockAlign * m_format.nBlockAlign;
        if (room == 0) {
            ReturnHeadLocked();
            continue;
        }
        const std::size_t part = std::min(room, slice);
        const double seconds =
            static_cast<double>(m_captured + part - m_anchorBytes) / m_format.nAvgBytesPerSec;
        const auto due = m_anchorTime + std::chrono::duration_cast<Clock::duration>(
                                            std::chrono::duration<double>(seconds));
        const std::uint64_t seen = m_changes;
        if (Clock::now() < due) {
            m_wake.wait_until(lock, due, [&] { return m_changes != seen; });
            if (m_changes != seen) {
                continue;
            }
        }
        auto* out = reinterpret_cast<std::uint8_t*>(header->lpData) + header->dwBytesRecorded;
        if (!m_port->Capture(out, part, m_format, m_captured / m_format.nBlockAlign)) {
            // Made-up silence would pass for a recording; the user of the handle learns of the
            // loss from the buffers coming back short and from the refused next one.
            LoseDeviceLocked();
            continue;
        }
        header->dwBytesRecorded += static_cast<DWORD>(part);
        m_captured += part;
        if (header->dwBytesRecorded + m_format.nBlockAlign > header->dwBufferLength) {
            ReturnHeadLocked();
        }
    }
}

void CWaveInHandle::RecordStream() {
    constexpr auto kSlice = std::chrono::milliseconds(10);
    const std::size_t align = m_format.nBlockAlign;
    const std::size_t sliceFrames = std::max<std::size_t>(1, m_format.nSamplesPerSec / 100);
    std::vector<std::uint8_t> discard(sliceFrames * align);
    std::unique_lock<std::mutex> lock(m_lock);
    while (!m_closing) {
        const std::uint64_t seen = m_changes;
        if (!m_started || m_lost.load()) {
            m_wake.wait(lock, [&] { return m_changes != seen; });
            continue;
        }
        // Data from the device, waited for without the lock.
        lock.unlock();
        m_stream->Wait(kSlice);
        lock.lock();
        if (m_changes != seen && (!m_started || m_closing)) {
            continue;
        }
        if (m_queue.empty()) {
            // No buffer: what arrives is lost, as the device's count says; at most a slice at
            // a time, so a device that never runs dry does not keep the thread busy.
            if (m_stream->Transfer(discard.data(), sliceFrames) < 0) {
                LoseDeviceLocked();
                continue;
            }
            m_wake.wait_for(lock, kSlice, [&] { return m_changes != seen; });
            m_captured = m_stream->Frames() * align;
            continue;
        }
        WAVEHDR* header = m_queue.front();
        const std::size_t room = (header->dwBufferLength - header->dwBytesRecorded) / align;
        if (room == 0) {
            ReturnHeadLocked();
            continue;
        }
        auto* out = reinterpret_cast<std::uint8_t*>(header->lpData) + header->dwBytesRecorded;
        const long frames = m_stream->Transfer(out, room);
        if (frames < 0) {
            // The device went away: what it gave is handed back, and nothing is made up.
            LoseDeviceLocked();
            continue;
        }
        header->dwBytesRecorded += static_cast<DWORD>(static_cast<std::size_t>(frames) * align);
        m_captured = std::max(m_captured, m_stream->Frames() * align);
        if (header->dwBytesRecorded + align > header->dwBufferLength) {
            ReturnHeadLocked();
        }
    }
}
