#pragma once

// Records the piano's sound. This is the part the shared state talks to; recording itself
// comes with the wave device, and until then nothing creates a recorder.
class CAudioRec {
public:
    CAudioRec() = default;
    CAudioRec(const CAudioRec&) = delete;
    CAudioRec& operator=(const CAudioRec&) = delete;
    virtual ~CAudioRec();

    virtual void Refresh() = 0;
};
