#pragma once

#include "CAlsaSequencer.h"
#include "CMmBackend.h"

#include <atomic>
#include <memory>
#include <mutex>

// A MIDI input of the PC: a sequencer port of a device that plays to its subscribers. While
// someone listens, the program's receiving port is subscribed to it, and what arrives is
// handed to the listener on the device watch's thread.
class CAlsaMidiIn final : public CMmBackend::MidiInPort {
public:
    CAlsaMidiIn(std::shared_ptr<CAlsaSequencer> sequencer, CAlsaSequencer::Address address,
                std::string name);
    ~CAlsaMidiIn() override;

    std::string Name() const override { return m_name; }
    bool Present() const override { return m_present; }
    void Listen(Sink sink) override;

    CAlsaSequencer::Address Address() const { return m_address; }
    void SetPresent(bool present) { m_present = present; }
    // What arrived from the device (on the device watch's thread).
    void Deliver(const std::uint8_t* bytes, std::size_t length);

private:
    std::shared_ptr<CAlsaSequencer> m_sequencer;
    CAlsaSequencer::Address m_address;
    std::string m_name;
    std::atomic<bool> m_present{true};
    // Held while the sink runs, so a listener that has gone never hears from the device.
    std::mutex m_sinkLock;
    Sink m_sink;
};
