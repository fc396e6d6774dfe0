#include "CAcmConverter.h"

#include "CMp3Decoder.h"

std::unique_ptr<CAcmConverter> CAcmConverter::Create(const WAVEFORMATEX& source,
                                                     const WAVEFORMATEX& destination,
                                                     MMRESULT* result) {
    if (source.wFormatTag == WAVE_FORMAT_MPEGLAYER3 && destination.wFormatTag == WAVE_FORMAT_PCM) {
        return CMp3Decoder::Create(source, destination, result);
    }
    // Encoding 16-bit PCM to MPEG Layer-3 is not built yet: it fails as an unsupported pair.
    *result = ACMERR_NOTPOSSIBLE;
    return nullptr;
}

MMRESULT CAcmConverter::Suggest(const WAVEFORMATEX& source, WAVEFORMATEX* destination, DWORD size,
                                DWORD flags) {
    if (source.wFormatTag == WAVE_FORMAT_MPEGLAYER3) {
        return CMp3Decoder::Suggest(source, destination, size, flags);
    }
    // Encoding 16-bit PCM to MPEG Layer-3 is not built yet.
    return ACMERR_NOTPOSSIBLE;
}
