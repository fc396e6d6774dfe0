#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// Splits a MIDI byte stream into whole messages: channel messages (with running status),
// system common messages, system-exclusive messages from F0 to F7, and real-time bytes, which
// may stand anywhere, even inside a system-exclusive message. Stray data bytes and
// system-exclusive messages cut short by another status byte are dropped. A system-exclusive
// message longer than the limit is dropped whole.
class CMidiParser {
public:
    using Sink = std::function<void(const std::uint8_t* bytes, std::size_t length)>;

    explicit CMidiParser(std::size_t longestSysex = 4096) : m_longest(longestSysex) {}

    void Feed(const std::uint8_t* bytes, std::size_t length, const Sink& sink);
    void Reset();

    // The length of a channel or system common message with this status byte, 0 for
    // system-exclusive and for bytes that are not status bytes.
    static std::size_t MessageLength(std::uint8_t status);

private:
    std::size_t m_longest;
    std::uint8_t m_running = 0;
    std::vector<std::uint8_t> m_message;
    std::size_t m_expected = 0;
    bool m_inSysex = false;
    bool m_sysexTooLong = false;
};
