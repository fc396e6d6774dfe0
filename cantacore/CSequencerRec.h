#pragma once

#include "CVeskError.h"

#include <QString>

// Records what is played on the piano. This is the part the shared state talks to; recording
// itself comes with the MIDI input, and until then nothing creates a recorder.
class CSequencerRec {
public:
    CSequencerRec() = default;
    CSequencerRec(const CSequencerRec&) = delete;
    CSequencerRec& operator=(const CSequencerRec&) = delete;
    virtual ~CSequencerRec();

    void* GetSafeHwnd() { return this; }

    virtual CVeskError Refresh() = 0;
    // Ends a recording and writes it.
    virtual CVeskError Stop() = 0;
    // Writes the memo into the recording or the saved file.
    virtual CVeskError SetMemo(const QString& memo) = 0;

    // Each takes the wire value (see CConverter); the beat as a time-signature word.
    virtual void SetBeat(unsigned int timeSig) = 0;
    virtual void SetTempo(unsigned int packedTempo) = 0;
    virtual void SetDefTimbre(unsigned int program) = 0;
    virtual void SetDualTimbre(unsigned int program) = 0;
    virtual void SetReverbOffOn(unsigned int value) = 0;
    virtual void SetBrilliance(unsigned int value) = 0;
    virtual void SetTouchSense(unsigned int value) = 0;
    virtual void SetTranspose(unsigned int value) = 0;
    virtual void SetTuning(unsigned int value) = 0;
    virtual void SetSeqVol(unsigned int volume) = 0;
};
