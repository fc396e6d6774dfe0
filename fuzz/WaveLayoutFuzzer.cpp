#include "CMpegDecoder.h"
#include "CWaveLayout.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

// A file of any bytes is walked as RIFF/WAVE and timed. Whatever it holds, nothing reads
// outside it; the sound the layout finds lies within the file and, for PCM, is whole frames;
// the duration follows from the sound and never overflows; and the sound of an MPEG Layer-3
// file decodes through the player's decoder to an end, without ever giving more than its
// destination block holds.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> copy(data, data + size);
    std::FILE* file = fmemopen(copy.empty() ? nullptr : copy.data(), copy.size(), "rb");
    if (file == nullptr) {
        return 0;
    }
    const CWaveLayout layout = CWaveLayout::Read(file);
    const long start = std::ftell(file);
    const bool sound =
        layout.Kind() == CWaveLayout::kPcm || layout.Kind() == CWaveLayout::kMpegLayer3;
    if (sound) {
        if (start < 0 || static_cast<std::size_t>(start) + layout.DataSize() > size ||
            layout.DataSize() == 0) {
            std::abort();
        }
        if (layout.Kind() == CWaveLayout::kPcm &&
            (layout.DataSize() % 4 != 0 || layout.Format().nBlockAlign != 4 ||
             layout.Format().nAvgBytesPerSec != layout.Format().nSamplesPerSec * 4)) {
            std::abort();
        }
    } else if (layout.DurationMs() != 0) {
        std::abort();
    }
    if (layout.Kind() == CWaveLayout::kMpegLayer3) {
        MPEGLAYER3WAVEFORMAT format{};
        std::memcpy(&format, layout.MpegFormat().data(), sizeof format);
        CMpegDecoder decoder;
        constexpr std::size_t kOut = 35280;
        if (decoder.Open(format) && decoder.Prepare(kOut)) {
            const std::uint8_t* next = data + start;
            std::size_t left = layout.DataSize();
            std::size_t pending = 0;
            // Bounded: each round either takes in bytes or ends.
            for (int round = 0; round < 10000; ++round) {
                const std::size_t take = std::min(decoder.SourceSize() - pending, left);
                std::memcpy(decoder.Source() + pending, next, take);
                next += take;
                left -= take;
                pending += take;
                const long decoded = decoder.Convert(pending);
                if (decoded < 0) {
                    break;
                }
                if (static_cast<std::size_t>(decoded) > kOut || decoder.Used() > pending) {
                    std::abort();
                }
                std::memmove(decoder.Source(), decoder.Source() + decoder.Used(),
                             pending - decoder.Used());
                pending -= decoder.Used();
                if (decoded == 0 && left == 0 && (decoder.Used() == 0 || pending == 0)) {
                    break;
                }
            }
        }
    }
    std::fclose(file);
    return 0;
}
