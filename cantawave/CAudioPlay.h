#pragma once

// Plays WAV, MP3 and WMA files through the piano. This is the part the shared state talks to;
// playback itself comes with the wave device, and until then nothing creates a player.
class CAudioPlay {
public:
    CAudioPlay() = default;
    CAudioPlay(const CAudioPlay&) = delete;
    CAudioPlay& operator=(const CAudioPlay&) = delete;
    virtual ~CAudioPlay();

    virtual void Refresh() = 0;
};
