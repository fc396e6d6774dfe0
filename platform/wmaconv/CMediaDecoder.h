#pragma once

#include "wmaconv.h"

#include <cstddef>
#include <cstdint>
#include <memory>

// One audio file, demuxed, decoded and converted to interleaved 16-bit stereo at a chosen
// rate. The decoding itself lives in the codec module, which is loaded the first time a file
// is opened, so that a program using the library does not load FFmpeg before it needs it.
class CMediaDecoder {
public:
    CMediaDecoder() = default;
    CMediaDecoder(const CMediaDecoder&) = delete;
    CMediaDecoder& operator=(const CMediaDecoder&) = delete;
    virtual ~CMediaDecoder() = default;

    // The decoder for the file's best audio stream, or null with WMACONV_E_FILEOPEN,
    // WMACONV_E_FORMAT or WMACONV_E_NOCODEC in *result.
    static std::unique_ptr<CMediaDecoder> Open(const char* path, HRESULT* result);

    // The length in milliseconds as the container or stream tells it; 0 when unknown.
    virtual std::uint32_t DurationMs() const = 0;
    // The rate the audio is coded at.
    virtual unsigned SourceRate() const = 0;

    // Output from now on: 16-bit stereo at rate.
    virtual HRESULT SetOutputRate(unsigned rate) = 0;
    // Goes to ms from the start; the next Read begins there (to the sample).
    virtual HRESULT Seek(std::uint32_t ms) = 0;
    // Fills up to length bytes (whole stereo frames) of output. S_OK with *produced < length
    // only at the end of the audio; *produced 0 at the end. A failure is returned once the
    // decoder cannot go on; what was produced before it stands.
    virtual HRESULT Read(std::uint8_t* out, std::size_t length, std::size_t* produced) = 0;
};
