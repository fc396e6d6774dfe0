#pragma once

#include "CMmBackend.h"
#include "CMmHandle.h"

#include <array>
#include <mutex>
#include <vector>

// An open MIDI output. It keeps what a device must know of the messages it sent (the running
// status it accepts, the notes left sounding) and hands each message to its port.
//
// The port is called with no lock of the handle held except the port's own, which keeps the
// messages in the order their state changed: a port that blocks holds up only other messages
// to the same port, never a caller that only looks at the handle's state.
struct CMidiOutHandle : public CMmHandle {
public:
    CMidiOutHandle(std::shared_ptr<CMmBackend::MidiOutPort> port, UINT deviceId, DWORD_PTR callback,
                   DWORD_PTR instance, DWORD flags);
    ~CMidiOutHandle() override;

    virtual bool IsStream() const { return false; }
    UINT DeviceId() const { return m_deviceId; }

    MMRESULT ShortMsg(DWORD message);
    virtual MMRESULT LongMsg(MIDIHDR* header, UINT size);
    MMRESULT Prepare(MIDIHDR* header, UINT size);
    MMRESULT Unprepare(MIDIHDR* header, UINT size);
    // Silences every note the handle left sounding.
    virtual MMRESULT Reset();
    // Ends the device.
    virtual MMRESULT Close();

protected:
    using Message = std::vector<std::uint8_t>;

    // A header that may be sent or queued: valid, prepared and not already queued; with
    // recordedCounts, its recorded length (a stream buffer's) within the buffer.
    static MMRESULT CheckHeader(const MIDIHDR* header, UINT size, bool recordedCounts);

    // The whole message a packed short message stands for (running status resolved), or
    // nothing; notes down and up are tracked. Called with m_lock held.
    bool ComposeShortLocked(DWORD message, Message& out);
    // Notes the message's effect on the sounding notes. Called with m_lock held.
    void TrackLocked(const std::uint8_t* bytes, std::size_t length);
    // Notes the effect of every message a long message carries; it ends running status.
    // Called with m_lock held.
    void TrackLongLocked(const std::uint8_t* bytes, std::size_t length);
    // A note-off for every sounding note, which then count as silent. Called with m_lock held.
    std::vector<Message> NotesOffLocked();
    // Takes the port's lock, then lets go of the handle's state: messages reach the port in
    // the order their state was changed.
    std::unique_lock<std::mutex> TakePort(std::unique_lock<std::mutex>& state);
    // Sends with the port's lock held (see TakePort); false when one could not go out.
    bool SendAll(const std::vector<Message>& messages);

    std::mutex m_lock; // the output state below
    std::uint8_t m_runningStatus = 0;

private:
    std::shared_ptr<CMmBackend::MidiOutPort> m_port;
    UINT m_deviceId;
    std::array<std::array<bool, 128>, 16> m_held{};
    std::mutex m_portLock; // one message at a time reaches the port
};
