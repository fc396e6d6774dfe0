#include "Mp3Fixture.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace mp3fixture {

bool Run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

bool HaveTools() {
    static const bool have =
        Run("command -v sox") && Run("command -v lame") && Run("command -v mpg123");
    return have;
}

std::filesystem::path Folder() {
    const char* home = std::getenv("CANTAVO_HOME");
    std::filesystem::path folder =
        std::filesystem::path(home != nullptr ? home : "/tmp") / "msacm-fixtures";
    std::filesystem::create_directories(folder);
    return folder;
}

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::uint8_t> WavData(const std::filesystem::path& path) {
    const std::vector<std::uint8_t> file = ReadFile(path);
    std::size_t at = 12;
    while (at + 8 <= file.size()) {
        std::uint32_t size = 0;
        std::memcpy(&size, &file[at + 4], 4);
        if (std::memcmp(&file[at], "data", 4) == 0) {
            const std::size_t end = std::min<std::size_t>(file.size(), at + 8 + size);
            return {file.begin() + static_cast<std::ptrdiff_t>(at + 8),
                    file.begin() + static_cast<std::ptrdiff_t>(end)};
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

Encoded Make(const std::string& name, double seconds, unsigned rate, unsigned channels,
             unsigned kbps) {
    const std::filesystem::path folder = Folder();
    const std::string wav = (folder / (name + ".wav")).string();
    const std::string mp3 = (folder / (name + ".mp3")).string();
    const std::string ref = (folder / (name + ".ref.wav")).string();
    Encoded encoded;
    if (!Run("sox -n -r " + std::to_string(rate) + " -c " + std::to_string(channels) + " -b 16 '" +
             wav + "' synth " + std::to_string(seconds) + " sine 440 sine 660 gain -6") ||
        !Run("lame --quiet -b " + std::to_string(kbps) + " '" + wav + "' '" + mp3 + "'") ||
        !Run("mpg123 -q -w '" + ref + "' '" + mp3 + "'")) {
        return encoded;
    }
    encoded.mp3 = ReadFile(mp3);
    encoded.reference = WavData(ref);
    WAVEFORMATEX& wfx = encoded.format.wfx;
    wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    wfx.nChannels = static_cast<WORD>(channels);
    wfx.nSamplesPerSec = rate;
    wfx.nAvgBytesPerSec = kbps * 1000 / 8;
    wfx.nBlockAlign = 1;
    wfx.wBitsPerSample = 0;
    wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
    encoded.format.wID = MPEGLAYER3_ID_MPEG;
    encoded.format.fdwFlags = MPEGLAYER3_FLAG_PADDING_ISO;
    encoded.format.nBlockSize = static_cast<WORD>(144 * kbps * 1000 / rate);
    encoded.format.nFramesPerBlock = 1;
    encoded.format.nCodecDelay = 1393;
    return encoded;
}

WAVEFORMATEX PcmFor(const MPEGLAYER3WAVEFORMAT& source) {
    WAVEFORMATEX pcm{};
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    pcm.nChannels = source.wfx.nChannels;
    pcm.nSamplesPerSec = source.wfx.nSamplesPerSec;
    pcm.wBitsPerSample = 16;
    pcm.nBlockAlign = static_cast<WORD>(pcm.nChannels * 2);
    pcm.nAvgBytesPerSec = pcm.nSamplesPerSec * pcm.nBlockAlign;
    return pcm;
}

} // namespace mp3fixture
