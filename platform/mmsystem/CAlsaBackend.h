#pragma once

#include "CMmBackend.h"

// The machine's own devices through ALSA. The sequencer and PCM ports are not wired up yet:
// until they are, the machine shows no devices, exactly as a machine without sound hardware
// does, and every open fails with "bad device id".
class CAlsaBackend : public CMmBackend {
public:
    std::string Name() const override { return "alsa"; }
    std::vector<std::shared_ptr<MidiOutPort>> MidiOutPorts() override { return {}; }
    std::vector<std::shared_ptr<MidiInPort>> MidiInPorts() override { return {}; }
    std::vector<std::shared_ptr<WaveOutPort>> WaveOutPorts() override { return {}; }
    std::vector<std::shared_ptr<WaveInPort>> WaveInPorts() override { return {}; }
};
