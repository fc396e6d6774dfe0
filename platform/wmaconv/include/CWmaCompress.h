#pragma once

#include "wmaconv.h"

#include <atomic>

// Compresses a WAV file into a WMA file: WMA version 2 in ASF, 128 kbit/s, stereo at
// 44.1 kHz, without tags.
class CWmaCompress {
public:
    CWmaCompress();
    CWmaCompress(const CWmaCompress&) = delete;
    CWmaCompress& operator=(const CWmaCompress&) = delete;
    ~CWmaCompress();

    // Writes destination from the WAV file source. 0 on success; on failure a negative
    // value, and no destination file is left behind.
    // The file is whole only when 0 comes back: every write, the trailer and the closing of
    // the file succeeded.
    HRESULT Convert(const char* source, const char* destination);
    // The fraction of the source read so far by a running Convert, from 0 to 1; any thread
    // may ask.
    double GetProgress() const { return m_progress; }

private:
    std::atomic<double> m_progress{0.0};
};
