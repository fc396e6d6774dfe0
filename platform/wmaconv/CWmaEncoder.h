#pragma once

#include "wmaconv.h"

#include <atomic>

// The WMA compression done with FFmpeg, in the codec module: WMA version 2 in ASF,
// 128 kbit/s, stereo at 44.1 kHz, without tags.
class CWmaEncoder {
public:
    // Writes destination from the WAV file source. 0 on success; on failure a negative value
    // (FFmpeg's code or a WMACONV_E_ value), and no destination file is left behind. The
    // fraction of the source read so far is kept in progress.
    static HRESULT Run(const char* source, const char* destination, std::atomic<double>& progress);
};
