#include "msacm.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// MPEG Layer-3 data in a WAV file is untrusted: whatever the bytes and however they are cut
// into conversions, the decoding stream stays inside its buffers and ends. The first four
// bytes choose the declared format and the cutting; the rest is the stream.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) {
        return 0;
    }
    static constexpr DWORD kRates[] = {8000,  11025, 12000, 16000, 22050,
                                       24000, 32000, 44100, 48000};
    MPEGLAYER3WAVEFORMAT format{};
    format.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    format.wfx.nChannels = static_cast<WORD>(1 + (data[0] & 1));
    format.wfx.nSamplesPerSec = kRates[(data[0] >> 1) % 9];
    format.wfx.nAvgBytesPerSec = 1000u + data[1] * 250u;
    format.wfx.nBlockAlign = 1;
    format.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
    format.wID = MPEGLAYER3_ID_MPEG;
    const std::size_t chunk = 1 + static_cast<std::size_t>(data[2]) * 37;
    const std::size_t room = static_cast<std::size_t>(data[3]) * 613;
    data += 4;
    size -= 4;

    WAVEFORMATEX pcm{};
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    if (acmFormatSuggest(nullptr, &format.wfx, &pcm, sizeof(pcm), ACM_FORMATSUGGESTF_WFORMATTAG) !=
        MMSYSERR_NOERROR) {
        return 0;
    }
    HACMSTREAM stream = nullptr;
    if (acmStreamOpen(&stream, nullptr, &format.wfx, &pcm, nullptr, 0, 0,
                      ACM_STREAMOPENF_NONREALTIME) != MMSYSERR_NOERROR) {
        return 0;
    }
    // Exactly sized buffers, so that any overrun is seen by the address sanitizer.
    std::vector<BYTE> source(chunk);
    std::vector<BYTE> destination(room);
    ACMSTREAMHEADER header{};
    header.cbStruct = sizeof(header);
    header.pbSrc = source.data();
    header.cbSrcLength = static_cast<DWORD>(source.size());
    header.pbDst = room > 0 ? destination.data() : nullptr;
    header.cbDstLength = static_cast<DWORD>(room);
    if (acmStreamPrepareHeader(stream, &header, 0) == MMSYSERR_NOERROR) {
        std::size_t at = 0;
        DWORD flags = ACM_STREAMCONVERTF_START;
        // Bounded: every round takes input or gives output, or it stops.
        for (int round = 0; round < 100000; ++round) {
            const std::size_t take = std::min(chunk, size - at);
            std::copy_n(data + at, take, source.begin());
            header.cbSrcLength = static_cast<DWORD>(take);
            if (at + take == size) {
                flags |= ACM_STREAMCONVERTF_END;
            }
            if (acmStreamConvert(stream, &header, flags) != MMSYSERR_NOERROR) {
                break;
            }
            flags = 0;
            if (header.cbSrcLengthUsed > header.cbSrcLength ||
                header.cbDstLengthUsed > header.cbDstLength) {
                __builtin_trap();
            }
            at += header.cbSrcLengthUsed;
            if (header.cbSrcLengthUsed == 0 && header.cbDstLengthUsed == 0) {
                break;
            }
        }
        header.cbSrcLength = static_cast<DWORD>(source.size());
        acmStreamUnprepareHeader(stream, &header, 0);
    }
    acmStreamClose(stream, 0);
    return 0;
}
