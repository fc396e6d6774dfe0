#include "CMidiParser.h"

#include "MidiBytes.h"

using namespace MidiBytes;

std::size_t CMidiParser::MessageLength(std::uint8_t status) {
    return MidiBytes::MessageLength(status);
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
        if (IsRealTime(byte)) {
            sink(&byte, 1);
            continue;
        }
        if (m_inSysex) {
            if (byte == kSysexEnd) {
                if (!m_sysexTooLong) {
                    m_message.push_back(byte);
                    sink(m_message.data(), m_message.size());
                }
                m_message.clear();
                m_inSysex = false;
                continue;
            }
            if (IsData(byte)) {
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
        if (byte == kSysexStart) {
            m_inSysex = true;
            m_sysexTooLong = false;
            m_running = 0;
            m_message.assign(1, byte);
            continue;
        }
        if (IsStatus(byte)) {
            m_expected = MessageLength(byte);
            m_running = IsChannelStatus(byte) ? byte : 0;
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
