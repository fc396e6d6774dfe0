#include "CMidiOutHandle.h"

#include "CMidiParser.h"
#include "MidiBytes.h"

using namespace MidiBytes;

CMidiOutHandle::CMidiOutHandle(std::shared_ptr<CMmBackend::MidiOutPort> port, UINT deviceId,
                               DWORD_PTR callback, DWORD_PTR instance, DWORD flags)
    : CMmHandle(MakeCallback<HMIDIOUT>(this, callback, instance, flags)), m_port(std::move(port)),
      m_deviceId(deviceId) {
    Post(MOM_OPEN);
}

CMidiOutHandle::~CMidiOutHandle() {
    FinishCallbacks();
}

void CMidiOutHandle::TrackLocked(const std::uint8_t* bytes, std::size_t length) {
    if (length < 3) {
        return;
    }
    const std::uint8_t kind = KindOf(bytes[0]);
    if (kind == kNoteOff || kind == kNoteOn) {
        m_held[ChannelOf(bytes[0])][bytes[1] & 0x7F] = kind == kNoteOn && bytes[2] != 0;
    } else if (kind == kControlChange && (bytes[1] == kAllNotesOff || bytes[1] == kAllSoundOff)) {
        m_held[ChannelOf(bytes[0])].fill(false);
    }
}

bool CMidiOutHandle::ComposeShortLocked(DWORD message, Message& out) {
    std::uint8_t bytes[3] = {static_cast<std::uint8_t>(message & 0xFF),
                             static_cast<std::uint8_t>((message >> 8) & 0xFF),
                             static_cast<std::uint8_t>((message >> 16) & 0xFF)};
    std::size_t length = MessageLength(bytes[0]);
    if (length == 0 && IsData(bytes[0]) && m_runningStatus != 0) {
        // Running status: the message carries only its data bytes.
        bytes[2] = bytes[1];
        bytes[1] = bytes[0];
        bytes[0] = m_runningStatus;
        length = MessageLength(bytes[0]);
    }
    if (length == 0) {
        return false; // nothing that can be sent as a short message
    }
    if (IsChannelStatus(bytes[0])) {
        m_runningStatus = bytes[0];
    } else if (!IsRealTime(bytes[0])) {
        m_runningStatus = 0; // system common messages cancel running status
    }
    for (std::size_t i = 1; i < length; ++i) {
        bytes[i] &= 0x7F;
    }
    TrackLocked(bytes, length);
    out.assign(bytes, bytes + length);
    return true;
}

void CMidiOutHandle::TrackLongLocked(const std::uint8_t* bytes, std::size_t length) {
    // A long message may carry any MIDI bytes, notes among them: they sound like any other.
    CMidiParser parser;
    parser.Feed(bytes, length, [this](const std::uint8_t* message, std::size_t size) {
        TrackLocked(message, size);
    });
    m_runningStatus = 0;
}

std::vector<CMidiOutHandle::Message> CMidiOutHandle::NotesOffLocked() {
    std::vector<Message> offs;
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        for (std::uint8_t note = 0; note < 128; ++note) {
            if (m_held[channel][note]) {
                offs.push_back({static_cast<std::uint8_t>(kNoteOff | channel), note, 0});
                m_held[channel][note] = false;
            }
        }
    }
    return offs;
}

std::unique_lock<std::mutex> CMidiOutHandle::TakePort(std::unique_lock<std::mutex>& state) {
    std::unique_lock<std::mutex> port(m_portLock);
    state.unlock();
    return port;
}

bool CMidiOutHandle::SendAll(const std::vector<Message>& messages) {
    bool sent = true;
    for (const Message& message : messages) {
        sent = m_port->Send(message.data(), message.size()) && sent;
    }
    return sent;
}

MMRESULT CMidiOutHandle::ShortMsg(DWORD message) {
    std::unique_lock<std::mutex> state(m_lock);
    Message bytes;
    if (!ComposeShortLocked(message, bytes)) {
        return MMSYSERR_NOERROR;
    }
    const auto port = TakePort(state);
    return SendAll({bytes}) ? MMSYSERR_NOERROR : MMSYSERR_NODRIVER;
}

MMRESULT CMidiOutHandle::CheckHeader(const MIDIHDR* header, UINT size, bool recordedCounts) {
    if (header == nullptr || size < sizeof(MIDIHDR) || header->lpData == nullptr ||
        (recordedCounts && header->dwBytesRecorded > header->dwBufferLength)) {
        return MMSYSERR_INVALPARAM;
    }
    const DWORD flags = mmxHeaderFlags(header->dwFlags);
    if ((flags & MHDR_PREPARED) == 0) {
        return MIDIERR_UNPREPARED;
    }
    if ((flags & MHDR_INQUEUE) != 0) {
        return MIDIERR_STILLPLAYING;
    }
    return MMSYSERR_NOERROR;
}

MMRESULT CMidiOutHandle::LongMsg(MIDIHDR* header, UINT size) {
    if (const MMRESULT check = CheckHeader(header, size, false); check != MMSYSERR_NOERROR) {
        return check;
    }
    SetFlags(header->dwFlags, MHDR_INQUEUE, MHDR_DONE);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(header->lpData);
    const Message message(bytes, bytes + header->dwBufferLength);
    bool sent = false;
    {
        std::unique_lock<std::mutex> state(m_lock);
        TrackLongLocked(message.data(), message.size());
        const auto port = TakePort(state);
        sent = SendAll({message});
    }
    SetFlags(header->dwFlags, MHDR_DONE, MHDR_INQUEUE);
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
    std::unique_lock<std::mutex> state(m_lock);
    const std::vector<Message> offs = NotesOffLocked();
    m_runningStatus = 0;
    const auto port = TakePort(state);
    SendAll(offs);
    return MMSYSERR_NOERROR;
}

MMRESULT CMidiOutHandle::Close() {
    if (OnCallbackThread()) {
        return MMSYSERR_HANDLEBUSY;
    }
    Post(MOM_CLOSE);
    FinishCallbacks();
    return MMSYSERR_NOERROR;
}
