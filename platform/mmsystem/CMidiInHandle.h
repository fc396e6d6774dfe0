#pragma once

#include "CMidiParser.h"
#include "CMmBackend.h"
#include "CMmHandle.h"

#include <chrono>
#include <deque>

// An open MIDI input. What the device sends is split into messages: short ones reach the
// callback as MIM_DATA with their time in milliseconds since midiInStart, system-exclusive
// ones fill the queued buffers (MIM_LONGDATA). Nothing is delivered before the input starts.
struct CMidiInHandle : public CMmHandle {
public:
    CMidiInHandle(std::shared_ptr<CMmBackend::MidiInPort> port, UINT deviceId, DWORD_PTR callback,
                  DWORD_PTR instance, DWORD flags);
    ~CMidiInHandle() override;

    UINT DeviceId() const { return m_deviceId; }
    const CMmBackend::Port* PortAddress() const { return m_port.get(); }
    MMRESULT Prepare(MIDIHDR* header, UINT size);
    MMRESULT Unprepare(MIDIHDR* header, UINT size);
    MMRESULT AddBuffer(MIDIHDR* header, UINT size);
    MMRESULT Start();
    MMRESULT Stop();
    MMRESULT Reset();
    MMRESULT Close();

private:
    using Clock = std::chrono::steady_clock;

    void Arrived(const std::uint8_t* bytes, std::size_t length);
    void Deliver(const std::uint8_t* bytes, std::size_t length, DWORD time);
    void ReturnAllLocked();

    std::shared_ptr<CMmBackend::MidiInPort> m_port;
    UINT m_deviceId;
    std::mutex m_lock;
    bool m_started = false;
    Clock::time_point m_startTime;
    CMidiParser m_parser;
    std::deque<MIDIHDR*> m_buffers;
};
