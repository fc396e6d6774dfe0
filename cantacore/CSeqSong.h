#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <vector>

// A MIDI file made ready for playback: a copy of it flattened into one track, checked, walked
// once for its tempo, beat, memo and length, and merged with a filler of escaped timing clocks
// (F7 01 F8) every division / 32 ticks, which keeps every stream buffer short in time. The
// user's file is only read.
//
// Positions are counted in engine ticks, 96 a quarter note; a file tick is factor engine ticks.
class CSeqSong {
public:
    // Why a file cannot be played.
    enum Result : int {
        kOk = 0,
        kCannotRead = 1,  // missing, unreadable, not a regular file, too large to copy
        kCannotCopy = 2,  // the working copy could not be written
        kTooLarge = 4,    // a track, or all tracks merged, do not fit the workspace
        kNotMidi = 5,     // not a MIDI file, cut short, or a division of 0
        kUnsupported = 6, // SMPTE division, or a format other than 0 and 1
        kBadTempo = 7,    // a tempo event whose length is not 3
    };

    struct TempoMark {
        unsigned int bpm;
        std::int64_t tick; // engine ticks
        double ms;
    };
    static constexpr std::size_t kTempoMarks = 64;

    // Reads, flattens and walks the file; the working copy goes to workCopy and is removed.
    int Load(const QString& path, const QString& workCopy);
    static QString ResultText(int result);

    // The whole file as it is streamed (header, "MTrk", the merged track).
    const std::vector<std::uint8_t>& Image() const { return m_image; }
    std::int64_t TrackBegin() const { return m_trackBegin; }
    std::int64_t TrackEnd() const { return m_trackEnd; }
    int Division() const { return m_division; }
    double Factor() const { return 96.0 / m_division; }
    std::int64_t LengthFileTicks() const { return m_lengthFileTicks; }
    std::int64_t LengthTicks() const;
    // Beats per minute of the first tempo event, 120 without one.
    unsigned int FileTempo() const { return m_fileTempo; }
    // Microseconds a quarter of the first tempo event, 500,000 without one.
    unsigned int FileTempoMicroseconds() const { return m_fileTempoUs; }
    const std::vector<TempoMark>& TempoMap() const { return m_tempoMap; }
    // Time signature in the engine's form (numerator, power of two of the denominator).
    unsigned int BeatWord() const { return m_beatWord; }
    bool HasMemo() const { return m_hasMemo; }
    const QByteArray& Memo() const { return m_memo; }
    // Whether the filler could be merged in (it is left out of a file that would not fit).
    bool HasFiller() const { return m_hasFiller; }
    // The flattening read a track only up to an event that could not be read.
    bool PartlyRead() const { return m_partlyRead; }

private:
    int Parse();
    void ScanBeat();
    void MergeFiller();

    std::vector<std::uint8_t> m_image;
    std::int64_t m_trackBegin = 0;
    std::int64_t m_trackEnd = 0;
    int m_division = 96;
    std::int64_t m_lengthFileTicks = 0;
    unsigned int m_fileTempo = 120;
    unsigned int m_fileTempoUs = 500000;
    std::vector<TempoMark> m_tempoMap;
    unsigned int m_beatWord = 0x0204;
    bool m_hasMemo = false;
    QByteArray m_memo;
    bool m_hasFiller = false;
    bool m_partlyRead = false;
};
