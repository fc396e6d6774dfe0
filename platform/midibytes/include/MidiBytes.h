#pragma once

#include <cstddef>
#include <cstdint>

// The byte rules of the MIDI wire protocol that the platform's MIDI code shares: status kinds,
// message lengths and the few controllers the devices themselves act on. The engine keeps its
// own protocol code on purpose, so that the virtual ZQ31 stays an independent check on it.
namespace MidiBytes {

// Channel messages: the kind in the high nibble, the channel in the low one.
constexpr std::uint8_t kNoteOff = 0x80;
constexpr std::uint8_t kNoteOn = 0x90;
constexpr std::uint8_t kPolyPressure = 0xA0;
constexpr std::uint8_t kControlChange = 0xB0;
constexpr std::uint8_t kProgramChange = 0xC0;
constexpr std::uint8_t kChannelPressure = 0xD0;
constexpr std::uint8_t kPitchBend = 0xE0;

// System messages.
constexpr std::uint8_t kSysexStart = 0xF0;
constexpr std::uint8_t kTimeCode = 0xF1;
constexpr std::uint8_t kSongPosition = 0xF2;
constexpr std::uint8_t kSongSelect = 0xF3;
constexpr std::uint8_t kTuneRequest = 0xF6;
constexpr std::uint8_t kSysexEnd = 0xF7;
constexpr std::uint8_t kTimingClock = 0xF8; // the first real-time byte
constexpr std::uint8_t kActiveSensing = 0xFE;
constexpr std::uint8_t kSystemReset = 0xFF;

// Controllers.
constexpr std::uint8_t kAllSoundOff = 0x78;
constexpr std::uint8_t kAllNotesOff = 0x7B;

constexpr bool IsStatus(std::uint8_t byte) {
    return byte >= 0x80;
}
constexpr bool IsData(std::uint8_t byte) {
    return byte < 0x80;
}
constexpr bool IsRealTime(std::uint8_t byte) {
    return byte >= kTimingClock;
}
constexpr bool IsChannelStatus(std::uint8_t byte) {
    return byte >= 0x80 && byte < kSysexStart;
}
// The kind of a channel message's status (its high nibble) and its channel (0..15).
constexpr std::uint8_t KindOf(std::uint8_t status) {
    return static_cast<std::uint8_t>(status & 0xF0);
}
constexpr std::uint8_t ChannelOf(std::uint8_t status) {
    return static_cast<std::uint8_t>(status & 0x0F);
}

// The length of a channel or system common message with this status byte, the status
// included; 1 for a status that stands alone (real-time bytes, tune request, the undefined
// F4 and F5); 0 for system-exclusive (F0, F7) and for bytes that are not status bytes.
constexpr std::size_t MessageLength(std::uint8_t status) {
    if (!IsStatus(status)) {
        return 0;
    }
    if (status < kSysexStart) {
        const std::uint8_t kind = KindOf(status);
        return (kind == kProgramChange || kind == kChannelPressure) ? 2 : 3;
    }
    switch (status) {
    case kTimeCode:
    case kSongSelect:
        return 2;
    case kSongPosition:
        return 3;
    case kSysexStart:
    case kSysexEnd:
        return 0;
    default:
        return 1;
    }
}

} // namespace MidiBytes
