#pragma once

#include "SmfErrors.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

// Where the header and the tracks of a MIDI file image lie. Chunks of other types are skipped
// by their length. The chunks end only where the image ends exactly; a chunk cut short is an
// error, except for bytes after the last of the tracks the header counts (some writers pad
// their files). A track whose stated length stops short of its end of track (FF 2F 00), and
// that is not followed by the next track or the end of the image, is read on to its end of
// track, to the next "MTrk" or to the end of the image; the next chunk is looked for there.
// Every byte belongs to one chunk at most, so the walk takes time linear in the image.
class SmfLayout {
public:
    struct Track {
        std::int64_t begin; // the first byte of its events
        std::int64_t end;   // one past the last byte held, read-on included
    };
    static constexpr std::int64_t kUnlimited = std::numeric_limits<std::int64_t>::max();

    // Walks at most maxTracks tracks; a track longer than largestTrack bytes is too large.
    // Tracks() holds the tracks found before any error.
    E_SMF_ERROR Walk(const std::uint8_t* image, std::int64_t size,
                     std::size_t maxTracks = std::numeric_limits<std::size_t>::max(),
                     std::int64_t largestTrack = kUnlimited);

    std::int64_t HeaderAt() const { return m_header; }
    int Format() const { return m_format; }
    int DeclaredTracks() const { return m_declared; }
    const std::vector<Track>& Tracks() const { return m_tracks; }

private:
    std::int64_t m_header = 0;
    int m_format = 0;
    int m_declared = 0;
    std::vector<Track> m_tracks;
};
