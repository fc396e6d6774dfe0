#pragma once

#include "CAlsaSequencer.h"
#include "CMmBackend.h"

#include <atomic>
#include <memory>

// A MIDI output of the PC: a sequencer port of a device that takes events. Each message goes
// straight to the port, encoded as sequencer events.
class CAlsaMidiOut final : public CMmBackend::MidiOutPort {
public:
    CAlsaMidiOut(std::shared_ptr<CAlsaSequencer> sequencer, CAlsaSequencer::Address address,
                 std::string name)
        : m_sequencer(std::move(sequencer)), m_address(address), m_name(std::move(name)) {}

    std::string Name() const override { return m_name; }
    bool Present() const override { return m_present; }
    bool Send(const std::uint8_t* bytes, std::size_t length) override {
        return m_present && m_sequencer->Send(m_address, bytes, length);
    }

    CAlsaSequencer::Address Address() const { return m_address; }
    void SetPresent(bool present) { m_present = present; }

private:
    std::shared_ptr<CAlsaSequencer> m_sequencer;
    CAlsaSequencer::Address m_address;
    std::string m_name;
    std::atomic<bool> m_present{true};
};
