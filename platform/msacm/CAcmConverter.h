#pragma once

#include "msacm.h"

#include <memory>

// One direction of conversion behind an open stream. Each codec direction is a class of its
// own; Create and Suggest are the one place that knows them all.
class CAcmConverter {
public:
    virtual ~CAcmConverter() = default;

    // acmStreamSize for this conversion (flags: ACM_STREAMSIZEF_SOURCE or _DESTINATION).
    virtual MMRESULT Size(DWORD input, DWORD* output, DWORD flags) const = 0;
    // Converts what it can of source into destination and tells how much of each was used
    // (flags: ACM_STREAMCONVERTF_*). What did not fit stays for the next call.
    virtual MMRESULT Convert(const BYTE* source, DWORD sourceLength, DWORD* sourceUsed,
                             BYTE* destination, DWORD destinationLength, DWORD* destinationUsed,
                             DWORD flags) = 0;
    // Forgets everything held between conversions.
    virtual void Reset() = 0;

    // The converter between the two formats (each followed by its cbSize extra bytes), or
    // null with the reason in *result (ACMERR_NOTPOSSIBLE for an unsupported pair).
    static std::unique_ptr<CAcmConverter> Create(const WAVEFORMATEX& source,
                                                 const WAVEFORMATEX& destination, MMRESULT* result);
    // acmFormatSuggest: fills destination (size bytes) for source.
    static MMRESULT Suggest(const WAVEFORMATEX& source, WAVEFORMATEX* destination, DWORD size,
                            DWORD flags);
};
