#pragma once

#include "CMmBackend.h"

class CVirtualPiano;

// The devices of a virtual ZQ31: each of its four functions is a device while it is plugged;
// plugging and unplugging are reported as device-list changes.
class CVirtualBackend : public CMmBackend {
public:
    explicit CVirtualBackend(std::shared_ptr<CVirtualPiano> piano);
    ~CVirtualBackend() override;

    std::string Name() const override { return "virtual"; }
    bool ReportsChanges() const override { return true; }
    std::vector<std::shared_ptr<MidiOutPort>> MidiOutPorts() override;
    std::vector<std::shared_ptr<MidiInPort>> MidiInPorts() override;
    std::vector<std::shared_ptr<WaveOutPort>> WaveOutPorts() override;
    std::vector<std::shared_ptr<WaveInPort>> WaveInPorts() override;

    const std::shared_ptr<CVirtualPiano>& Piano() const { return m_piano; }

private:
    std::shared_ptr<CVirtualPiano> m_piano;
    std::shared_ptr<MidiOutPort> m_midiOut;
    std::shared_ptr<MidiInPort> m_midiIn;
    std::shared_ptr<WaveOutPort> m_waveOut;
    std::shared_ptr<WaveInPort> m_waveIn;
    int m_plugListener = 0;
};
