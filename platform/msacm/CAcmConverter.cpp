#include "CAcmConverter.h"

#include "CMp3Decoder.h"
#include "CMp3Encoder.h"

std::unique_ptr<CAcmConverter> CAcmConverter::Create(const WAVEFORMATEX& source,
                                                     const WAVEFORMATEX& destination,
                                                     MMRESULT* result) {
    if (source.wFormatTag == WAVE_FORMAT_MPEGLAYER3 && destination.wFormatTag == WAVE_FORMAT_PCM) {
        return CMp3Decoder::Create(source, destination, result);
    }
    if (source.wFormatTag == WAVE_FORMAT_PCM && destination.wFormatTag == WAVE_FORMAT_MPEGLAYER3) {
        return CMp3Encoder::Create(source, destination, result);
    }
    *result = ACMERR_NOTPOSSIBLE;
    return nullptr;
}

MMRESULT CAcmConverter::Suggest(const WAVEFORMATEX& source, WAVEFORMATEX* destination, DWORD size,
                                DWORD flags) {
    if (source.wFormatTag == WAVE_FORMAT_MPEGLAYER3) {
        return CMp3Decoder::Suggest(source, destination, size, flags);
    }
    if (source.wFormatTag == WAVE_FORMAT_PCM) {
        return CMp3Encoder::Suggest(source, destination, size, flags);
    }
    return ACMERR_NOTPOSSIBLE;
}
