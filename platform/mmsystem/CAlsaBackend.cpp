#include "CAlsaBackend.h"

#include "CAlsaDeviceWatch.h"
#include "CAlsaMidiIn.h"
#include "CAlsaMidiOut.h"
#include "CAlsaPcmIn.h"
#include "CAlsaPcmOut.h"
#include "CAlsaSequencer.h"
#include "mmsystemx.h"

#include <algorithm>
#include <alsa/asoundlib.h>
#include <cstdlib>

namespace {

std::string Hint(void* hint, const char* id) {
    char* value = snd_device_name_get_hint(hint, id);
    if (value == nullptr) {
        return {};
    }
    std::string text(value);
    std::free(value);
    return text;
}

// Finds a port of the list that stands at the same place as before, so open handles keep it.
template <typename Port, typename Make>
std::vector<std::shared_ptr<Port>> Merge(std::vector<std::shared_ptr<Port>>& old,
                                         const std::string& pcm, Make make) {
    for (const auto& port : old) {
        if (port->Pcm() == pcm) {
            return {port};
        }
    }
    return {make()};
}

} // namespace

CAlsaBackend::CAlsaBackend() = default;

CAlsaDeviceWatch& CAlsaBackend::Watch() {
    std::call_once(m_started, [this] {
        m_sequencer = std::make_shared<CAlsaSequencer>();
        m_watch = std::make_unique<CAlsaDeviceWatch>(
            m_sequencer,
            [this](CAlsaSequencer::Address from, const std::uint8_t* bytes, std::size_t length) {
                Deliver(from.client, from.port, bytes, length);
            },
            [this](bool midi, bool pcm) { Changed(midi, pcm); });
    });
    return *m_watch;
}

CAlsaBackend::~CAlsaBackend() {
    // The watch's thread ends first: it delivers to the ports below.
    m_watch.reset();
}

bool CAlsaBackend::ReportsChanges() const {
    return const_cast<CAlsaBackend*>(this)->Watch().WatchesCards();
}

bool CAlsaBackend::HasSequencer() {
    Watch();
    return m_sequencer->IsOpen();
}

void CAlsaBackend::Changed(bool midi, bool pcm) {
    if (midi) {
        m_midiStale = true;
    }
    if (pcm) {
        m_pcmStale = true;
    }
    mmxDevicesChanged();
}

void CAlsaBackend::Deliver(int client, int port, const std::uint8_t* bytes, std::size_t length) {
    std::shared_ptr<CAlsaMidiIn> input;
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        const auto found = m_midiIns.find({client, port});
        if (found != m_midiIns.end()) {
            input = found->second;
        }
    }
    if (input) {
        input->Deliver(bytes, length);
    }
}

void CAlsaBackend::ReadMidiLocked() {
    Watch();
    if (!m_midiStale.exchange(false)) {
        return;
    }
    std::map<std::pair<int, int>, std::shared_ptr<CAlsaMidiOut>> outs;
    std::map<std::pair<int, int>, std::shared_ptr<CAlsaMidiIn>> ins;
    for (const CAlsaSequencer::PortInfo& info : m_sequencer->Ports()) {
        const std::pair<int, int> key{info.address.client, info.address.port};
        if (info.writable) {
            const auto found = m_midiOuts.find(key);
            outs[key] = found != m_midiOuts.end() && found->second->Name() == info.name
                            ? found->second
                            : std::make_shared<CAlsaMidiOut>(m_sequencer, info.address, info.name);
        }
        if (info.readable) {
            const auto found = m_midiIns.find(key);
            ins[key] = found != m_midiIns.end() && found->second->Name() == info.name
                           ? found->second
                           : std::make_shared<CAlsaMidiIn>(m_sequencer, info.address, info.name);
        }
    }
    for (const auto& [key, port] : m_midiOuts) {
        if (outs.count(key) == 0 || outs[key] != port) {
            port->SetPresent(false);
        }
    }
    for (const auto& [key, port] : m_midiIns) {
        if (ins.count(key) == 0 || ins[key] != port) {
            port->SetPresent(false);
        }
    }
    m_midiOuts = std::move(outs);
    m_midiIns = std::move(ins);
}

std::vector<CAlsaBackend::PcmHint> CAlsaBackend::ReadPcmHints() {
    std::vector<PcmHint> hints;
    void** list = nullptr;
    if (snd_device_name_hint(-1, "pcm", &list) < 0 || list == nullptr) {
        return hints;
    }
    std::vector<PcmHint> first;
    for (void** hint = list; *hint != nullptr; ++hint) {
        const std::string name = Hint(*hint, "NAME");
        if (name.empty()) {
            continue;
        }
        std::string pcm = name;
        if (name.find("CARD=") != std::string::npos) {
            // A card is listed once per PCM device, by its hardware device, and played
            // through the plug layer; its other names (front, surround, dmix, ...) are left.
            if (name.rfind("hw:", 0) != 0) {
                continue;
            }
            pcm = "plug" + name;
        }
        std::string description = Hint(*hint, "DESC");
        description = description.substr(0, description.find('\n'));
        const std::string io = Hint(*hint, "IOID");
        PcmHint entry{pcm, description.empty() ? name : description, io != "Input", io != "Output"};
        (name == "default" ? first : hints).push_back(std::move(entry));
    }
    snd_device_name_free_hint(list);
    first.insert(first.end(), hints.begin(), hints.end());
    return first;
}

void CAlsaBackend::ReadPcmLocked() {
    // Without a watch on the cards every reading is afresh.
    if (!m_pcmStale.exchange(!Watch().WatchesCards())) {
        return;
    }
    std::vector<std::shared_ptr<CAlsaPcmOut>> outs;
    std::vector<std::shared_ptr<CAlsaPcmIn>> ins;
    for (const PcmHint& hint : ReadPcmHints()) {
        if (hint.output) {
            auto kept = Merge(m_waveOuts, hint.pcm,
                              [&] { return std::make_shared<CAlsaPcmOut>(hint.pcm, hint.name); });
            outs.push_back(kept.front());
        }
        if (hint.input) {
            auto kept = Merge(m_waveIns, hint.pcm,
                              [&] { return std::make_shared<CAlsaPcmIn>(hint.pcm, hint.name); });
            ins.push_back(kept.front());
        }
    }
    for (const auto& port : m_waveOuts) {
        port->SetPresent(std::find(outs.begin(), outs.end(), port) != outs.end());
    }
    for (const auto& port : m_waveIns) {
        port->SetPresent(std::find(ins.begin(), ins.end(), port) != ins.end());
    }
    m_waveOuts = std::move(outs);
    m_waveIns = std::move(ins);
}

std::vector<std::shared_ptr<CMmBackend::MidiOutPort>> CAlsaBackend::MidiOutPorts() {
    const std::lock_guard<std::mutex> guard(m_lock);
    ReadMidiLocked();
    std::vector<std::shared_ptr<MidiOutPort>> ports;
    for (const auto& [key, port] : m_midiOuts) {
        ports.push_back(port);
    }
    return ports;
}

std::vector<std::shared_ptr<CMmBackend::MidiInPort>> CAlsaBackend::MidiInPorts() {
    const std::lock_guard<std::mutex> guard(m_lock);
    ReadMidiLocked();
    std::vector<std::shared_ptr<MidiInPort>> ports;
    for (const auto& [key, port] : m_midiIns) {
        ports.push_back(port);
    }
    return ports;
}

std::vector<std::shared_ptr<CMmBackend::WaveOutPort>> CAlsaBackend::WaveOutPorts() {
    const std::lock_guard<std::mutex> guard(m_lock);
    ReadPcmLocked();
    return {m_waveOuts.begin(), m_waveOuts.end()};
}

std::vector<std::shared_ptr<CMmBackend::WaveInPort>> CAlsaBackend::WaveInPorts() {
    const std::lock_guard<std::mutex> guard(m_lock);
    ReadPcmLocked();
    return {m_waveIns.begin(), m_waveIns.end()};
}
