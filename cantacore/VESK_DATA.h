#pragma once

#include <QByteArray>
#include <cstdint>

// A favourite: the sound and metronome settings in the wire forms of CConverter, and at the
// same time the 64-byte image of a ".mdf" file, every integer little-endian.
struct VESK_DATA {
    static constexpr int kSize = 64;
    static constexpr double kVersion = 0.001;

    double version = kVersion;
    std::uint32_t mainVoice = 0;
    std::uint32_t dualVoice = 255;
    std::uint32_t timeSig = 0x0204;
    // A plain 500000, not in the packed tempo order: it converts to a tempo outside the
    // allowed range, which the model takes as 120.
    std::uint32_t tempo = 500000;
    std::uint32_t reverb = 1;
    std::uint32_t brilliance = 0x40;
    std::uint32_t touchSense = 0x40;
    std::uint32_t transpose = 0x40;
    std::uint32_t seqKey = 0x40;
    std::uint32_t tuning = 0x40;
    std::uint32_t metroCharType = 0;
    std::uint32_t compressType = 0;
    std::uint32_t frostedStyle = 0;
    std::uint32_t reserved = 0;

    // The file image; the reserved word is always written as 0.
    QByteArray ToBytes() const;
    // The defaults with the first bytes replaced by those of image (at most 64 are read), so
    // a short file leaves the rest at the defaults.
    static VESK_DATA FromBytes(const QByteArray& image);
};
