#pragma once

#include "CVeskError.h"

#include <QString>

// Plays WAV, MP3 and WMA files through the piano. This is the part the shared state talks to;
// playback itself comes with the wave device, and until then nothing creates a player.
class CAudioPlay {
public:
    CAudioPlay() = default;
    CAudioPlay(const CAudioPlay&) = delete;
    CAudioPlay& operator=(const CAudioPlay&) = delete;
    virtual ~CAudioPlay();

    virtual CVeskError Refresh() = 0;
    // Stops playback and waits for the thread; always succeeds.
    virtual CVeskError Stop() = 0;
    virtual CVeskError SetFileName(const QString& path) = 0;
};
