#pragma once

#include "CSeqSong.h"
#include "SmfTrackReader.h"
#include "mmsystem.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// Turns the events of a prepared song into the stream's events, buffer by buffer, applying
// what the player decides at that moment: the key shift, the panel's overrides, the tempo
// scaling. It also skips to a position, remembering the settings the skipped events leave in
// force, and writes them at the start of playback.
class CSeqTranslator {
public:
    // The panel-override flags as they stand: -1 lets the file's setting through.
    struct Overrides {
        int defTimbre = -1;
        int reverb = -1;
        int brilliance = -1;
        int transpose = -1;
        int touch = -1;
        int tuning = -1;
        static Overrides FromPanel();
    };

    // A stream buffer being filled: 12-byte events, a long message's bytes padded to 4.
    class Buffer {
    public:
        Buffer(std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
        std::size_t Used() const { return m_used; }
        std::size_t Room() const { return m_size - m_used; }
        bool Short(DWORD delta, DWORD message);
        bool Nop(DWORD delta);
        bool Tempo(DWORD delta, DWORD microseconds);
        bool Long(DWORD delta, const std::uint8_t* bytes, std::size_t length);
        // Takes size bytes already written at the current end (moved in from elsewhere).
        void Claim(std::size_t size) { m_used += size; }
        std::uint8_t* End() { return m_data + m_used; }

    private:
        bool Event(DWORD delta, DWORD event, const std::uint8_t* bytes, std::size_t length);
        std::uint8_t* m_data;
        std::size_t m_size;
        std::size_t m_used = 0;
    };

    // Microseconds a quarter note in, as the stream is to play them out.
    using TempoConvert = std::function<DWORD(DWORD)>;

    explicit CSeqTranslator(const CSeqSong& song);

    // Skips the events before fileTick, remembering the settings they leave in force.
    void Seek(std::int64_t fileTick, const Overrides& overrides);
    // The remembered settings at delta 0, a pause of half a quarter note and the tempo; false
    // when they do not fit the buffer.
    bool WriteChase(Buffer& out, const TempoConvert& convert) const;
    // Translates events until the buffer is nearly full or spans the buffer's time.
    void Fill(Buffer& out, const Overrides& overrides, int keyShift, const TempoConvert& convert);
    bool Ended() const { return m_ended; }

private:
    enum class Out { Short, Long, Tempo, Drop };
    Out Translate(const Overrides& overrides, int keyShift, DWORD& message,
                  std::vector<std::uint8_t>& bytes) const;
    bool NextEvent();
    void Remember(const Overrides& overrides);

    const CSeqSong& m_song;
    SmfTrackReader m_reader;
    bool m_hasEvent = false; // the reader's current event is still to be written
    bool m_ended = false;
    std::int64_t m_lastTime = 0;
    // A long message too big for one buffer, going out over several.
    std::vector<std::uint8_t> m_split;
    std::size_t m_splitDone = 0;
    DWORD m_splitDelta = 0;

    // Settings met while skipping.
    struct Channel {
        int program = -1, bankMsb = -1, bankLsb = -1, brilliance = -1;
        int bendLsb = -1, bendMsb = -1;
        int rpnMsb = 127, rpnLsb = 127;
        std::array<int, 3> rpnData{-1, -1, -1};
        std::array<int, 3> rpnFine{-1, -1, -1};
        std::array<int, 120> controller{};
    };
    std::array<Channel, 16> m_channels{};
    std::vector<std::uint8_t> m_transpose, m_touch, m_reverb, m_tuning, m_dual;
    DWORD m_chaseTempo = 0;
};
