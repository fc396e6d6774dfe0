#pragma once

#include "msacm.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// MPEG Layer-3 fixtures made on the spot with Debian's own tools: sox synthesizes a signal,
// lame encodes it, mpg123 decodes it for reference. Nothing is downloaded or copied in.
namespace mp3fixture {

// True when the command runs successfully (its output is discarded).
bool Run(const std::string& command);
bool HaveTools();
std::filesystem::path Folder();
std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path);
// The samples of a 16-bit PCM WAV file's "data" chunk.
std::vector<std::uint8_t> WavData(const std::filesystem::path& path);

struct Encoded {
    std::vector<std::uint8_t> mp3;       // the MPEG Layer-3 stream
    std::vector<std::uint8_t> reference; // what mpg123 -w decodes it to
    MPEGLAYER3WAVEFORMAT format{};       // its wave format record
};
// A stereo (or mono) mix of two tones of the given seconds, at rate, encoded at kbps.
Encoded Make(const std::string& name, double seconds, unsigned rate, unsigned channels,
             unsigned kbps);

WAVEFORMATEX PcmFor(const MPEGLAYER3WAVEFORMAT& source);

} // namespace mp3fixture
