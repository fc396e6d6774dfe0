#pragma once

#include "mmsystemx.h"

// The sample rates a source may have to be played or compressed: those the wave devices take.
// Everything is resampled to the device's or the file's rate, and a rate far outside would
// multiply a few bytes into hours of samples (1 Hz becomes 44100 samples a byte) or a
// resampling filter of millions of taps.
constexpr bool IsSourceRate(int rate) {
    return rate >= static_cast<int>(kMmxLowestWaveRate) &&
           rate <= static_cast<int>(kMmxHighestWaveRate);
}
