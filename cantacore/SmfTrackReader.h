#pragma once

#include <cstdint>

// Reads the events of one track held in memory, in order, never outside its bytes. Running
// status continues across meta and system-exclusive events: the standard cancels it there, so
// no valid file has a data byte in that place, but some writers resume it, and their notes
// are kept. A track ends at its end of track (FF 2F), at the end of its bytes, or at an event
// that cannot be read (Broken): a status byte F1 to FE other than F7, a data byte where a
// status byte is needed and no status runs, a status byte where a data byte is needed, a
// length past the end of the bytes, or a variable-length number that does not end within
// four bytes or within the bytes.
class SmfTrackReader {
public:
    enum class Kind : std::uint8_t { Channel, SystemExclusive, Meta };

    SmfTrackReader() = default;
    // The events in data[begin, end).
    SmfTrackReader(const std::uint8_t* data, std::int64_t begin, std::int64_t end)
        : m_data(data), m_position(begin), m_end(end) {}

    // Reads the next event; false once the track has ended.
    bool Next() {
        if (m_ended) {
            return false;
        }
        if (m_position >= m_end) {
            return End(false); // no end of track: the track's bytes end here
        }
        std::uint32_t delta = 0;
        if (!VarLen(delta)) {
            return End(true);
        }
        m_time += delta;
        if (m_position >= m_end) {
            return End(false); // a last delta without an event
        }
        int status = m_data[m_position];
        if (status < 0xF0) {
            if (status < 0x80) {
                if (m_running == 0) {
                    return End(true);
                }
                status = m_running;
            } else {
                ++m_position;
            }
            const std::int64_t count = (status & 0xE0) == 0xC0 ? 1 : 2; // C and D take one
            if (m_position + count > m_end || (m_data[m_position] & 0x80) != 0 ||
                (count == 2 && (m_data[m_position + 1] & 0x80) != 0)) {
                return End(true);
            }
            m_running = status;
            kind = Kind::Channel;
            this->status = status;
            body = m_data + m_position;
            length = static_cast<std::uint32_t>(count);
            m_position += count;
            return true;
        }
        ++m_position;
        if (status == 0xFF) {
            if (m_position >= m_end) {
                return End(true);
            }
            type = m_data[m_position++];
            if (type == 0x2F) {
                return End(false);
            }
            kind = Kind::Meta;
        } else if (status == 0xF0 || status == 0xF7) {
            kind = Kind::SystemExclusive;
        } else {
            return End(true); // F1 to FE cannot stand in a track
        }
        this->status = status;
        if (!VarLen(length) || length > m_end - m_position) {
            return End(true);
        }
        body = m_data + m_position;
        m_position += length;
        return true;
    }

    // The absolute time of the event read last; once ended, the time of the track's end.
    std::int64_t Time() const { return m_time; }
    bool Ended() const { return m_ended; }
    // Whether the track ended at an event that could not be read.
    bool Broken() const { return m_broken; }

    // The event read last: a channel message's status and data bytes (running status already
    // resolved), or the status (F0, F7, FF), the meta type and the body of the others.
    Kind kind = Kind::Channel;
    int status = 0;
    int type = 0;
    const std::uint8_t* body = nullptr;
    std::uint32_t length = 0;

private:
    bool End(bool broken) {
        m_ended = true;
        m_broken = broken;
        return false;
    }
    bool VarLen(std::uint32_t& value) {
        value = 0;
        for (int i = 0; i < 4 && m_position < m_end; ++i) {
            const std::uint8_t byte = m_data[m_position++];
            value = (value << 7) | (byte & 0x7Fu);
            if ((byte & 0x80) == 0) {
                return true;
            }
        }
        return false;
    }

    const std::uint8_t* m_data = nullptr;
    std::int64_t m_position = 0;
    std::int64_t m_end = 0;
    std::int64_t m_time = 0;
    int m_running = 0;
    bool m_ended = false;
    bool m_broken = false;
};
