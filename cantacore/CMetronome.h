#pragma once

#include "CVeskError.h"
#include "EngineTypes.h"

// The metronome. This is the part the shared state talks to; the click itself comes with the
// wave device, and until then nothing creates a metronome.
class CMetronome {
public:
    CMetronome() = default;
    CMetronome(const CMetronome&) = delete;
    CMetronome& operator=(const CMetronome&) = delete;
    virtual ~CMetronome();

    void* GetSafeHwnd() { return this; }

    virtual CVeskError Start() = 0;
    virtual CVeskError Stop() = 0;
    virtual CVeskError Reset() = 0;
    virtual void Refresh() = 0;
    virtual void SetTempo(unsigned int tempo) = 0;
    virtual void SetBeat(E_BEAT beat) = 0;
    // The position in the two-bar cycle, one count per eighth note.
    virtual unsigned int GetMetroBeatCount() = 0;
    // 1 when the metronome stands still.
    virtual int IsStop() = 0;
};
