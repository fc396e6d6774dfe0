#pragma once

#include "wmaconv.h"

// Compresses a 16-bit PCM WAV file into a WMA (WMA v2 in ASF) file.
class CWmaCompress {
public:
    CWmaCompress();
    CWmaCompress(const CWmaCompress&) = delete;
    CWmaCompress& operator=(const CWmaCompress&) = delete;
    ~CWmaCompress();

    // Writes destination from the WAV file source. 0 on success; on failure a negative
    // value, and no destination file is left behind.
    HRESULT Convert(const char* source, const char* destination);
};
