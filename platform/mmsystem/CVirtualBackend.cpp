#include "CVirtualBackend.h"

#include "CVirtualPiano.h"
#include "mmsystemx.h"

namespace {

class CPianoMidiOut final : public CMmBackend::MidiOutPort {
public:
    explicit CPianoMidiOut(std::shared_ptr<CVirtualPiano> piano) : m_piano(std::move(piano)) {}
    std::string Name() const override { return CVirtualPiano::kMidiOutName; }
    bool Present() const override { return m_piano->IsPlugged(CVirtualPiano::kMidiOut); }
    bool Send(const std::uint8_t* bytes, std::size_t length) override {
        if (!Present()) {
            return false;
        }
        m_piano->Receive(bytes, length);
        return true;
    }

private:
    std::shared_ptr<CVirtualPiano> m_piano;
};

class CPianoMidiIn final : public CMmBackend::MidiInPort {
public:
    explicit CPianoMidiIn(std::shared_ptr<CVirtualPiano> piano) : m_piano(std::move(piano)) {}
    std::string Name() const override { return CVirtualPiano::kMidiInName; }
    bool Present() const override { return m_piano->IsPlugged(CVirtualPiano::kMidiIn); }
    void Listen(Sink sink) override { m_piano->SetMidiSink(std::move(sink)); }

private:
    std::shared_ptr<CVirtualPiano> m_piano;
};

class CPianoWaveOut final : public CMmBackend::WaveOutPort {
public:
    explicit CPianoWaveOut(std::shared_ptr<CVirtualPiano> piano) : m_piano(std::move(piano)) {}
    std::string Name() const override { return CVirtualPiano::kWaveOutName; }
    bool Present() const override { return m_piano->IsPlugged(CVirtualPiano::kWaveOut); }
    bool Play(const std::uint8_t* bytes, std::size_t length, const WAVEFORMATEX& format) override {
        if (!Present()) {
            return false;
        }
        m_piano->ConsumeAudio(bytes, length, format.nChannels, format.nSamplesPerSec,
                              format.wBitsPerSample);
        return true;
    }

private:
    std::shared_ptr<CVirtualPiano> m_piano;
};

class CPianoWaveIn final : public CMmBackend::WaveInPort {
public:
    explicit CPianoWaveIn(std::shared_ptr<CVirtualPiano> piano) : m_piano(std::move(piano)) {}
    std::string Name() const override { return CVirtualPiano::kWaveInName; }
    bool Present() const override { return m_piano->IsPlugged(CVirtualPiano::kWaveIn); }
    bool Capture(std::uint8_t* bytes, std::size_t length, const WAVEFORMATEX& format,
                 std::uint64_t frame) override {
        if (!Present()) {
            return false;
        }
        m_piano->ProduceAudio(bytes, length, format.nChannels, format.nSamplesPerSec,
                              format.wBitsPerSample, frame);
        return true;
    }

private:
    std::shared_ptr<CVirtualPiano> m_piano;
};

template <typename Port>
std::vector<std::shared_ptr<Port>> IfPresent(const std::shared_ptr<Port>& port) {
    if (port->Present()) {
        return {port};
    }
    return {};
}

} // namespace

CVirtualBackend::CVirtualBackend(std::shared_ptr<CVirtualPiano> piano)
    : m_piano(std::move(piano)), m_midiOut(std::make_shared<CPianoMidiOut>(m_piano)),
      m_midiIn(std::make_shared<CPianoMidiIn>(m_piano)),
      m_waveOut(std::make_shared<CPianoWaveOut>(m_piano)),
      m_waveIn(std::make_shared<CPianoWaveIn>(m_piano)),
      m_plugListener(m_piano->AddPlugListener([] { mmxDevicesChanged(); })) {}

CVirtualBackend::~CVirtualBackend() {
    m_piano->RemovePlugListener(m_plugListener);
}

std::vector<std::shared_ptr<CMmBackend::MidiOutPort>> CVirtualBackend::MidiOutPorts() {
    return IfPresent(m_midiOut);
}

std::vector<std::shared_ptr<CMmBackend::MidiInPort>> CVirtualBackend::MidiInPorts() {
    return IfPresent(m_midiIn);
}

std::vector<std::shared_ptr<CMmBackend::WaveOutPort>> CVirtualBackend::WaveOutPorts() {
    return IfPresent(m_waveOut);
}

std::vector<std::shared_ptr<CMmBackend::WaveInPort>> CVirtualBackend::WaveInPorts() {
    return IfPresent(m_waveIn);
}
