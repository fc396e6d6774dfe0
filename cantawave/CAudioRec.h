#pragma once

#include "CVeskError.h"

// Records the piano's sound. This is the part the shared state talks to; recording itself
// comes with the wave device, and until then nothing creates a recorder.
class CAudioRec {
public:
    CAudioRec() = default;
    CAudioRec(const CAudioRec&) = delete;
    CAudioRec& operator=(const CAudioRec&) = delete;
    virtual ~CAudioRec();

    virtual CVeskError Refresh() = 0;
    // Ends the recording, waits for the thread and closes the device.
    virtual CVeskError Stop() = 0;
};
