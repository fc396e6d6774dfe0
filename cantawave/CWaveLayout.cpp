#include "CWaveLayout.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr WORD kMpegLayer3Tag = 0x55;

std::uint32_t Le32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

bool ReadExactly(std::FILE* file, void* out, std::size_t length) {
    return std::fread(out, 1, length, file) == length;
}

// Bytes from the current position to the end of the file, or -1 when it cannot be told.
long long BytesLeft(std::FILE* file) {
    const long here = std::ftell(file);
    if (here < 0 || std::fseek(file, 0, SEEK_END) != 0) {
        return -1;
    }
    const long end = std::ftell(file);
    if (end < here || std::fseek(file, here, SEEK_SET) != 0) {
        return -1;
    }
    return end - here;
}

} // namespace

CWaveLayout CWaveLayout::Read(std::FILE* file) {
    CWaveLayout layout;
    std::uint8_t head[20];
    if (file == nullptr || std::fseek(file, 0, SEEK_SET) != 0) {
        return layout;
    }
    const std::size_t got = std::fread(head, 1, sizeof head, file);
    if (got < 4 || std::memcmp(head, "RIFF", 4) != 0) {
        layout.m_kind = kNotRiff;
        return layout;
    }
    if (got < sizeof head || std::memcmp(head + 8, "WAVE", 4) != 0 ||
        std::memcmp(head + 12, "fmt ", 4) != 0) {
        return layout;
    }
    const std::uint32_t fmtSize = Le32(head + 16);
    const long long left = BytesLeft(file);
    // The chunk sizes are the file's word: each is held against what follows it.
    if (fmtSize < 16 || left < 0 || fmtSize > static_cast<unsigned long long>(left)) {
        return layout;
    }
    std::uint8_t fmt[kMpegFormatSize]{};
    const std::size_t fmtRead = std::min<std::size_t>(fmtSize, sizeof fmt);
    if (!ReadExactly(file, fmt, fmtRead)) {
        return layout;
    }
    // Chunks start on even offsets.
    const long long skip = static_cast<long long>(fmtSize - fmtRead) + (fmtSize & 1);
    if (skip > 0 && std::fseek(file, static_cast<long>(skip), SEEK_CUR) != 0) {
        return layout;
    }
    std::memcpy(&layout.m_format, fmt, std::min<std::size_t>(fmtRead, sizeof(WAVEFORMATEX)));
    if (fmtRead < sizeof(WAVEFORMATEX)) {
        layout.m_format.cbSize = 0;
    }
    std::uint8_t data[8];
    if (!ReadExactly(file, data, sizeof data) || std::memcmp(data, "data", 4) != 0) {
        return layout;
    }
    const long long sound = BytesLeft(file);
    if (sound <= 0) {
        return layout;
    }
    layout.m_dataSize = static_cast<std::uint32_t>(std::min<long long>(Le32(data + 4), sound));

    const WAVEFORMATEX& f = layout.m_format;
    if (f.wFormatTag == WAVE_FORMAT_PCM && f.wBitsPerSample == 16 && f.nChannels == 2) {
        // A partial frame at the end is no sound.
        layout.m_dataSize -= layout.m_dataSize % 4;
        if (f.nSamplesPerSec > 0 && layout.m_dataSize > 0) {
            layout.m_format.nBlockAlign = 4;
            layout.m_format.nAvgBytesPerSec = f.nSamplesPerSec * 4;
            layout.m_format.cbSize = 0;
            layout.m_kind = kPcm;
        }
    } else if (f.wFormatTag == kMpegLayer3Tag) {
        if (f.nAvgBytesPerSec > 0 && f.nSamplesPerSec > 0 && f.nChannels > 0 &&
            layout.m_dataSize > 0) {
            std::memcpy(layout.m_mpeg.data(), fmt, sizeof fmt);
            layout.m_kind = kMpegLayer3;
        }
    }
    return layout;
}

unsigned int CWaveLayout::DurationMs() const {
    double milliseconds = 0;
    switch (m_kind) {
    case kPcm:
        milliseconds = (m_dataSize / 4) / (m_format.nSamplesPerSec * 0.001);
        break;
    case kMpegLayer3:
        milliseconds = m_dataSize / (m_format.nAvgBytesPerSec * 0.001);
        break;
    default:
        return 0;
    }
    // A tiny rate in a made-up header must not overflow the count.
    return static_cast<unsigned int>(std::min(milliseconds, 4294967295.0));
}
