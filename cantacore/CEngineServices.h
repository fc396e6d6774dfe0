#pragma once

#include "CDummy.h"

// What the engine offers the audio library through the registry: the piano's wave devices as
// the device watch finds them, and the audio threads' reports, passed on to the event receiver
// and the shared state. Registered while the engine library loads.
class CEngineServices : public CDummy {
public:
    CEngineServices();
    ~CEngineServices() override;

    unsigned int GetWaveOutDev() override;
    unsigned int GetWaveInDev() override;
    void PostAudLevelMeter(E_AUDLEVELOUT left, E_AUDLEVELOUT right) override;
    void StopAudPlayFromMiddle() override;
    void PostAudTimeDisp(unsigned int milliseconds) override;
    void StopAudRecFromMiddle() override;
    void ErrorMessageFromMiddle(CVeskError error) override;
};
