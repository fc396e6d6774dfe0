#include "CMidiInHandle.h"

#include "MidiBytes.h"

#include <algorithm>
#include <cstring>

CMidiInHandle::CMidiInHandle(std::shared_ptr<CMmBackend::MidiInPort> port, UINT deviceId,
                             DWORD_PTR callback, DWORD_PTR instance, DWORD flags)
    : CMmHandle(MakeCallback<HMIDIIN>(this, callback, instance, flags)), m_port(std::move(port)),
      m_deviceId(deviceId), m_parser(1 << 20) {
    Post(MIM_OPEN);
    m_port->Listen(
        [this](const std::uint8_t* bytes, std::size_t length) { Arrived(bytes, length); });
}

CMidiInHandle::~CMidiInHandle() {
    m_port->Listen(nullptr);
    FinishCallbacks();
}

MMRESULT CMidiInHandle::Prepare(MIDIHDR* header, UINT size) {
    return PrepareHeader(header, size, MHDR_INQUEUE);
}

MMRESULT CMidiInHandle::Unprepare(MIDIHDR* header, UINT size) {
    return UnprepareHeader(header, size, MHDR_INQUEUE, MIDIERR_STILLPLAYING);
}

MMRESULT CMidiInHandle::AddBuffer(MIDIHDR* header, UINT size) {
    if (header == nullptr || size < sizeof(MIDIHDR) || header->lpData == nullptr ||
        header->dwBufferLength == 0) {
        return MMSYSERR_INVALPARAM;
    }
    const DWORD flags = mmxHeaderFlags(header->dwFlags);
    if ((flags & MHDR_PREPARED) == 0) {
        return MIDIERR_UNPREPARED;
    }
    if ((flags & MHDR_INQUEUE) != 0) {
        return MIDIERR_STILLPLAYING;
    }
    const std::lock_guard<std::mutex> guard(m_lock);
    header->dwBytesRecorded = 0;
    SetFlags(header->dwFlags, MHDR_INQUEUE, MHDR_DONE);
    m_buffers.push_back(header);
    return MMSYSERR_NOERROR;
}

MMRESULT CMidiInHandle::Start() {
    const std::lock_guard<std::mutex> guard(m_lock);
    if (!m_started) {
        m_started = true;
        m_startTime = Clock::now();
        m_parser.Reset();
    }
    return MMSYSERR_NOERROR;
}

MMRESULT CMidiInHandle::Stop() {
    const std::lock_guard<std::mutex> guard(m_lock);
    m_started = false;
    return MMSYSERR_NOERROR;
}

void CMidiInHandle::ReturnAllLocked() {
    const DWORD time = static_cast<DWORD>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_startTime).count());
    while (!m_buffers.empty()) {
        MIDIHDR* header = m_buffers.front();
        m_buffers.pop_front();
        SetFlags(header->dwFlags, MHDR_DONE, MHDR_INQUEUE);
        Post(MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(header), time);
    }
}

MMRESULT CMidiInHandle::Reset() {
    const std::lock_guard<std::mutex> guard(m_lock);
    m_started = false;
    ReturnAllLocked();
    return MMSYSERR_NOERROR;
}

MMRESULT CMidiInHandle::Close() {
    if (OnCallbackThread()) {
        return MMSYSERR_HANDLEBUSY;
    }
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        if (!m_buffers.empty()) {
            return MIDIERR_STILLPLAYING;
        }
        m_started = false;
    }
    // Waits until no delivery from the device is still running.
    m_port->Listen(nullptr);
    Post(MIM_CLOSE);
    FinishCallbacks();
    return MMSYSERR_NOERROR;
}

void CMidiInHandle::Arrived(const std::uint8_t* bytes, std::size_t length) {
    const std::lock_guard<std::mutex> guard(m_lock);
    if (!m_started) {
        return;
    }
    const DWORD time = static_cast<DWORD>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_startTime).count());
    m_parser.Feed(bytes, length, [this, time](const std::uint8_t* message, std::size_t size) {
        Deliver(message, size, time);
    });
}

void CMidiInHandle::Deliver(const std::uint8_t* bytes, std::size_t length, DWORD time) {
    if (bytes[0] != MidiBytes::kSysexStart) {
        DWORD packed = 0;
        for (std::size_t i = 0; i < length && i < 3; ++i) {
            packed |= static_cast<DWORD>(bytes[i]) << (8 * i);
        }
        Post(MIM_DATA, packed, time);
        return;
    }
    // A system-exclusive message fills as many queued buffers as it needs; what finds no
    // buffer is lost, as on any MIDI input.
    std::size_t done = 0;
    while (done < length && !m_buffers.empty()) {
        MIDIHDR* header = m_buffers.front();
        const std::size_t room = header->dwBufferLength - header->dwBytesRecorded;
        const std::size_t part = std::min(room, length - done);
        std::memcpy(header->lpData + header->dwBytesRecorded, bytes + done, part);
        header->dwBytesRecorded += static_cast<DWORD>(part);
        done += part;
        if (done == length || header->dwBytesRecorded == header->dwBufferLength) {
            m_buffers.pop_front();
            SetFlags(header->dwFlags, MHDR_DONE, MHDR_INQUEUE);
            Post(MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(header), time);
        }
    }
}
