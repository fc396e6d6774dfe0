#pragma once

#include "CAcmConverter.h"

#include <cstddef>

struct mpg123_handle_struct;

// MPEG Layer-3 to 16-bit PCM over libmpg123 in feed mode: any chunking of the input decodes
// to the same samples, and decoded samples that do not fit wait for the next conversion.
class CMp3Decoder final : public CAcmConverter {
public:
    ~CMp3Decoder() override;

    static std::unique_ptr<CAcmConverter> Create(const WAVEFORMATEX& source,
                                                 const WAVEFORMATEX& destination, MMRESULT* result);
    static MMRESULT Suggest(const WAVEFORMATEX& source, WAVEFORMATEX* destination, DWORD size,
                            DWORD flags);

    MMRESULT Size(DWORD input, DWORD* output, DWORD flags) const override;
    MMRESULT Convert(const BYTE* source, DWORD sourceLength, DWORD* sourceUsed, BYTE* destination,
                     DWORD destinationLength, DWORD* destinationUsed, DWORD flags) override;
    void Reset() override;

private:
    CMp3Decoder(const WAVEFORMATEX& source, const WAVEFORMATEX& destination);
    bool Open();
    void Close();

    WAVEFORMATEX m_source;
    WAVEFORMATEX m_destination;
    mpg123_handle_struct* m_handle = nullptr;
    bool m_failed = false;
};
