#include "CMidiParser.h"

std::size_t CMidiParser::MessageLength(std::uint8_t status) {
    if (status < 0x80) {
        return 0;
    }
    if (status < 0xF0) {
        const std::uint8_t kind = status & 0xF0;
        return (kind == 0xC0 || kind == 0xD0) ? 2 : 3;
    }
    switch (status) {
    case 0xF1:
    case 0xF3:
        return 2;
    case 0xF2:
        return 3;
    case 0xF0:
    case 0xF7:
        return 0;
    default:
        return 1; // F4, F5, F6 and the real-time bytes stand alone
    }
}

void CMidiParser::Reset() {
    m_running = 0;
    m_message.clear();
    m_expected = 0;
    m_inSysex = false;
    m_sysexTooLong = false;
}

void CMidiParser::Feed(const std::uint8_t* bytes, std::size_t length, const Sink& sink) {
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t byte = bytes[i];
        if (byte >= 0xF8) {
            sink(&byte, 1);
            continue;
        }
        if (m_inSysex) {
            if (byte == 0xF7) {
                if (!m_sysexTooLong) {
                    m_message.push_back(byte);
                    sink(m_message.data(), m_message.size());
                }
                m_message.clear();
                m_inSysex = false;
                continue;
            }
            if (byte < 0x80) {
                if (m_message.size() < m_longest) {
                    m_message.push_back(byte);
                } else {
                    m_sysexTooLong = true;
                }
                continue;
            }
            // Another status byte cuts the message short: it is dropped.
            m_message.clear();
            m_inSysex = false;
        }
        if (byte == 0xF0) {
            m_inSysex = true;
            m_sysexTooLong = false;
            m_running = 0;
            m_message.assign(1, byte);
            continue;
        }
        if (byte >= 0x80) {
            m_expected = MessageLength(byte);
            m_running = byte < 0xF0 ? byte : 0;
            m_message.assign(1, byte);
            if (m_expected <= 1) {
                if (m_expected == 1) {
                    sink(m_message.data(), 1);
                }
                m_message.clear();
                m_expected = 0;
            }
            continue;
        }
        // A data byte.
        if (m_message.empty()) {
            if (m_running == 0) {
                continue;
            }
            m_message.assign(1, m_running);
            m_expected = MessageLength(m_running);
        }
        m_message.push_back(byte);
        if (m_message.size() == m_expected) {
            sink(m_message.data(), m_message.size());
            m_message.clear();
        }
    }
}
