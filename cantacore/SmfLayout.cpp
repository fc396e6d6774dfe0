#include "SmfLayout.h"

#include <algorithm>
#include <cstring>

namespace {

std::int64_t BigEndian32(const std::uint8_t* bytes) {
    return (static_cast<std::int64_t>(bytes[0]) << 24) |
           (static_cast<std::int64_t>(bytes[1]) << 16) |
           (static_cast<std::int64_t>(bytes[2]) << 8) | bytes[3];
}

bool Is(const std::uint8_t* bytes, const char* tag) {
    return std::memcmp(bytes, tag, 4) == 0;
}

// The first position at or after from where the pattern starts, or end.
std::int64_t Find(const std::uint8_t* image, std::int64_t from, std::int64_t end,
                  const char* pattern, std::size_t length) {
    if (from >= end) {
        return end;
    }
    const void* found =
        ::memmem(image + from, static_cast<std::size_t>(end - from), pattern, length);
    return found == nullptr ? end : static_cast<const std::uint8_t*>(found) - image;
}

constexpr char kEndOfTrack[] = "\xFF\x2F\x00";

// Whether FF 2F 00 stands within [begin, end); most tracks end with it.
bool HasEndOfTrack(const std::uint8_t* image, std::int64_t begin, std::int64_t end) {
    if (end - begin >= 3 && std::memcmp(image + end - 3, kEndOfTrack, 3) == 0) {
        return true;
    }
    return Find(image, begin, end, kEndOfTrack, 3) < end;
}

} // namespace

E_SMF_ERROR SmfLayout::Walk(const std::uint8_t* image, std::int64_t size, std::size_t maxTracks,
                            std::int64_t largestTrack) {
    m_tracks.clear();
    m_header = 0;
    m_format = 0;
    m_declared = 0;
    if (image == nullptr || size < 14) {
        return SMF_SHORT_READ;
    }
    if (!Is(image, "MThd")) {
        // Some files carry a 128-byte preamble before the header.
        if (size < 128 + 14 || !Is(image + 128, "MThd")) {
            return SMF_NOT_MIDI;
        }
        m_header = 128;
    }
    const std::int64_t headerLength = BigEndian32(image + m_header + 4);
    if (headerLength < 6) {
        return SMF_NOT_MIDI;
    }
    if (m_header + 8 + headerLength > size) {
        return SMF_SHORT_READ;
    }
    m_format = (image[m_header + 8] << 8) | image[m_header + 9];
    m_declared = (image[m_header + 10] << 8) | image[m_header + 11];
    const auto counted = static_cast<std::size_t>(std::max(m_declared, 1));

    std::int64_t position = m_header + 8 + headerLength;
    while (m_tracks.size() < maxTracks) {
        if (position == size) {
            return m_tracks.empty() ? SMF_NOT_MIDI : SMF_OK;
        }
        // What follows all the tracks the header counts may be padding rather than a chunk.
        const bool allCounted = m_tracks.size() >= counted;
        if (position + 8 > size) {
            return allCounted ? SMF_OK : SMF_SHORT_READ;
        }
        const std::int64_t begin = position + 8;
        const std::int64_t stated = begin + BigEndian32(image + position + 4);
        if (!Is(image + position, "MTrk")) {
            if (stated > size) {
                return allCounted ? SMF_OK : SMF_TRACK_PAST_END;
            }
            position = stated;
            continue;
        }
        if (stated > size) {
            return SMF_TRACK_PAST_END;
        }
        std::int64_t end = stated;
        if (end < size && !(end + 4 <= size && Is(image + end, "MTrk")) &&
            !HasEndOfTrack(image, begin, stated)) {
            // The stated length stops short: read on to the end of track (which may straddle
            // the stated end) or to the next track, whichever comes first. Neither search
            // goes past the next track, so no byte is searched twice.
            const std::int64_t nextTrack = Find(image, stated, size, "MTrk", 4);
            const std::int64_t endOfTrack =
                Find(image, std::max(begin, stated - 2), nextTrack, kEndOfTrack, 3);
            end = endOfTrack < nextTrack ? endOfTrack + 3 : nextTrack;
        }
        if (end - begin > largestTrack) {
            return SMF_TOO_LARGE;
        }
        m_tracks.push_back(Track{begin, end});
        position = end;
    }
    return SMF_OK;
}
