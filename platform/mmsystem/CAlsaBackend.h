#pragma once

#include "CMmBackend.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

class CAlsaDeviceWatch;
class CAlsaMidiIn;
class CAlsaMidiOut;
class CAlsaPcmIn;
class CAlsaPcmOut;
class CAlsaSequencer;

// The machine's own devices through ALSA: MIDI through the sequencer, audio through PCM. The
// lists are read again only after a change (the device watch's announcements), and a device
// present in two readings is the same port object, so an open handle keeps its device. A
// machine without sound hardware simply has no devices.
//
// Wave devices: each card's PCM devices (listed by their hints as "hw:CARD=...,DEV=n", named
// by their description, "card name, device name") are opened through the plug layer
// ("plughw:..."), which converts the format where the card needs it; PCMs that belong to no
// card ("default", "null", sound servers, the user's own) are listed by their hint too, the
// default one first, so that the mapper plays through it.
class CAlsaBackend : public CMmBackend {
public:
    CAlsaBackend();
    ~CAlsaBackend() override;

    std::string Name() const override { return "alsa"; }
    bool ReportsChanges() const override;
    std::vector<std::shared_ptr<MidiOutPort>> MidiOutPorts() override;
    std::vector<std::shared_ptr<MidiInPort>> MidiInPorts() override;
    std::vector<std::shared_ptr<WaveOutPort>> WaveOutPorts() override;
    std::vector<std::shared_ptr<WaveInPort>> WaveInPorts() override;

    // Whether the machine has a sequencer to list MIDI devices from.
    bool HasSequencer();

private:
    struct PcmHint {
        std::string pcm;  // what to open
        std::string name; // what the device is called
        bool output;
        bool input;
    };
    static std::vector<PcmHint> ReadPcmHints();
    void ReadMidiLocked();
    void ReadPcmLocked();
    void Changed(bool midi, bool pcm);
    void Deliver(int client, int port, const std::uint8_t* bytes, std::size_t length);
    // Connects to the sequencer and starts the device watch, once, when first asked for
    // devices: choosing the machine's devices costs nothing until they are used.
    CAlsaDeviceWatch& Watch();

    std::shared_ptr<CAlsaSequencer> m_sequencer;

    std::mutex m_lock; // the lists below
    std::atomic<bool> m_midiStale{true};
    std::atomic<bool> m_pcmStale{true};
    std::map<std::pair<int, int>, std::shared_ptr<CAlsaMidiOut>> m_midiOuts;
    std::map<std::pair<int, int>, std::shared_ptr<CAlsaMidiIn>> m_midiIns;
    std::vector<std::shared_ptr<CAlsaPcmOut>> m_waveOuts;
    std::vector<std::shared_ptr<CAlsaPcmIn>> m_waveIns;

    std::once_flag m_started;
    std::unique_ptr<CAlsaDeviceWatch> m_watch; // last: it calls into the above
};
