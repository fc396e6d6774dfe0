#pragma once

// The sample rates a source may have to be played or compressed: the range the wave devices
// take. Everything is resampled to the device's or the file's rate, and a rate far outside
// would multiply a few bytes into hours of samples (1 Hz becomes 44100 samples a byte) or
// a resampling filter of millions of taps.
constexpr int kLowestSourceRate = 1000;
constexpr int kHighestSourceRate = 192000;

constexpr bool IsSourceRate(int rate) {
    return rate >= kLowestSourceRate && rate <= kHighestSourceRate;
}
