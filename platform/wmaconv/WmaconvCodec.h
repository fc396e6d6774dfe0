#pragma once

#include "wmaconv.h"

#include <atomic>

class CMediaDecoder;

// What the codec module (libwmaconv_codec.so, the part of the library that uses FFmpeg) gives
// the library: the entry point WmaconvCodecEntry returns this table.
struct WmaconvCodec {
    // Raised whenever the table changes, so that a module left over from another build is
    // refused rather than called the wrong way.
    static constexpr unsigned kRevision = 1;

    // The decoder of an audio file, or null with the failure in *result (see CMediaDecoder).
    using OpenDecoder = CMediaDecoder* (*)(const char* path, HRESULT* result);
    // Writes destination as WMA from the WAV file source (see CWmaCompress::Convert); 0 or a
    // negative failure, with the fraction done kept in *progress.
    using CompressWma = HRESULT (*)(const char* source, const char* destination,
                                    std::atomic<double>* progress);

    unsigned revision;
    OpenDecoder openDecoder;
    CompressWma compressWma;
};

extern "C" {
// The name the library looks the table up by.
#define WMACONV_CODEC_ENTRY "WmaconvCodecEntry"
using WmaconvCodecEntryFunction = const WmaconvCodec* (*)();
}
