#pragma once

#include "mmsystem.h"

#include <array>
#include <cstdint>
#include <cstdio>

// Where the sound of a RIFF/WAVE file lies, as the player reads it: "RIFF", its size, "WAVE",
// a "fmt " chunk and, right after it, the "data" chunk. That is the layout this system and the
// common tools write; a file laid out otherwise (another chunk before "fmt " or between "fmt "
// and "data") is not one the player takes.
//
// The file comes from outside and is trusted in nothing: every size is checked against what
// the file really holds, and a data chunk that claims more than the file holds (a recording
// that was cut off) counts only the bytes that are there.
class CWaveLayout {
public:
    enum EKind {
        kNotRiff,    // not a RIFF file: for the general player
        kPcm,        // 16-bit stereo PCM at a rate above 0, with sound in it
        kMpegLayer3, // MPEG Layer-3 (tag 0x55), with sound in it
        kUnplayable, // RIFF, but none of the above
    };

    static constexpr std::size_t kMpegFormatSize = 30;

    // Reads the layout from the start of file and leaves the file at the first byte of the
    // sound (for kPcm and kMpegLayer3; elsewhere anywhere).
    static CWaveLayout Read(std::FILE* file);

    EKind Kind() const { return m_kind; }
    // The format as the file gives it (its first 18 bytes; cbSize 0 when the chunk has 16).
    // For PCM the block size and byte rate are those of 16-bit stereo at the file's rate,
    // whatever the file says, since the device takes nothing else.
    const WAVEFORMATEX& Format() const { return m_format; }
    // The whole MPEG Layer-3 format record, zero-filled past a shorter chunk.
    const std::array<std::uint8_t, kMpegFormatSize>& MpegFormat() const { return m_mpeg; }
    // Bytes of sound the file really holds.
    std::uint32_t DataSize() const { return m_dataSize; }
    // Length in milliseconds: frames over the rate for PCM, bytes over the byte rate for
    // MPEG Layer-3; 0 otherwise.
    unsigned int DurationMs() const;

private:
    EKind m_kind = kUnplayable;
    WAVEFORMATEX m_format{};
    std::array<std::uint8_t, kMpegFormatSize> m_mpeg{};
    std::uint32_t m_dataSize = 0;
};
