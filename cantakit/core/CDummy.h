#pragma once

#include "CVeskError.h"

// Level-meter step of one audio channel: 0 is silence, 20 full scale.
enum E_AUDLEVELOUT : unsigned int {
    AUDLEVELOUT_MIN = 0,
    AUDLEVELOUT_MAX = 20,
};

// What the audio library needs from the engine. The engine registers its implementation in
// CLast when it loads; the audio library cannot link upwards, so it calls through this.
class CDummy {
public:
    CDummy() = default;
    virtual ~CDummy();

    // The piano's wave devices as found by the device watch; an id that names no device
    // when the piano's audio was not found.
    virtual unsigned int GetWaveOutDev() = 0;
    virtual unsigned int GetWaveInDev() = 0;
    virtual void PostAudLevelMeter(E_AUDLEVELOUT left, E_AUDLEVELOUT right) = 0;
    virtual void StopAudPlayFromMiddle() = 0;
    virtual void PostAudTimeDisp(unsigned int milliseconds) = 0;
    virtual void StopAudRecFromMiddle() = 0;
    virtual void ErrorMessageFromMiddle(CVeskError error) = 0;
};
