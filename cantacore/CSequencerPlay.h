#pragma once

#include "CVeskError.h"

#include <QString>

// Plays a Standard MIDI File through the piano. This is the part the shared state talks to;
// playback itself comes with the stream device, and until then nothing creates a player.
class CSequencerPlay {
public:
    CSequencerPlay() = default;
    CSequencerPlay(const CSequencerPlay&) = delete;
    CSequencerPlay& operator=(const CSequencerPlay&) = delete;
    virtual ~CSequencerPlay();

    void* GetSafeHwnd() { return this; }

    virtual CVeskError Refresh() = 0;
    // Stops playback and waits for the player thread.
    virtual CVeskError Stop() = 0;
    virtual CVeskError First() = 0;
    // Opens the file for playback.
    virtual void SetFileName(const QString& path) = 0;
    // The user's tempo in the packed form of CConverter::TempoToWire.
    virtual void SetTempo(unsigned int packedTempo) = 0;
    // The key as 64 + semitones (59..70).
    virtual void SetKey(int key) = 0;
};
