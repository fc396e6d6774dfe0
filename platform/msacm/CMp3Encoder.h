#pragma once

#include "CAcmConverter.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct lame_global_struct;

// 16-bit PCM to constant-bit-rate MPEG Layer-3 over LAME.
//
// Every whole sample frame a conversion is given is taken; encoded bytes that do not fit into
// the caller's output block wait inside and come out first on the next conversion, so nothing
// is dropped or repeated at a block edge. ACM_STREAMCONVERTF_END flushes the frames LAME still
// holds (call again with END until nothing comes). The stream then holds every source sample,
// after LAME's delay of 576 samples (decoders add 529 of their own) and before the padding
// that completes the last frame.
//
// No Xing/LAME information frame is written: the frames go into a RIFF file, whose readers
// would decode such a frame as a frame of silence.
class CMp3Encoder final : public CAcmConverter {
public:
    ~CMp3Encoder() override;

    static std::unique_ptr<CAcmConverter> Create(const WAVEFORMATEX& source,
                                                 const WAVEFORMATEX& destination, MMRESULT* result);
    // 16-bit PCM, mono or stereo, at a rate MPEG Layer-3 has (8000 to 48000 Hz): the record
    // for the same rate and channels at 128 kbit/s for stereo, 64 kbit/s for mono.
    static MMRESULT Suggest(const WAVEFORMATEX& source, WAVEFORMATEX* destination, DWORD size,
                            DWORD flags);

    MMRESULT Size(DWORD input, DWORD* output, DWORD flags) const override;
    MMRESULT Convert(const BYTE* source, DWORD sourceLength, DWORD* sourceUsed, BYTE* destination,
                     DWORD destinationLength, DWORD* destinationUsed, DWORD flags) override;
    void Reset() override;

private:
    CMp3Encoder(const WAVEFORMATEX& source, const WAVEFORMATEX& destination);
    bool Open();
    void Close();
    bool Encode(const BYTE* source, std::size_t frames);
    bool Flush();
    void Drain(BYTE* out, DWORD capacity, DWORD* written);

    WAVEFORMATEX m_source;
    WAVEFORMATEX m_destination;
    lame_global_struct* m_lame = nullptr;
    bool m_started = false;
    bool m_finished = false;
    std::vector<std::int16_t> m_samples;
    std::vector<std::uint8_t> m_scratch;
    std::vector<std::uint8_t> m_pending;
    std::size_t m_pendingRead = 0;
};
