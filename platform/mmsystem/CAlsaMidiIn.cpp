#include "CAlsaMidiIn.h"

CAlsaMidiIn::CAlsaMidiIn(std::shared_ptr<CAlsaSequencer> sequencer, CAlsaSequencer::Address address,
                         std::string name)
    : m_sequencer(std::move(sequencer)), m_address(address), m_name(std::move(name)) {}

CAlsaMidiIn::~CAlsaMidiIn() {
    Listen(nullptr);
}

void CAlsaMidiIn::Listen(Sink sink) {
    const bool listening = static_cast<bool>(sink);
    bool wasListening = false;
    {
        const std::lock_guard<std::mutex> guard(m_sinkLock);
        wasListening = static_cast<bool>(m_sink);
        m_sink = std::move(sink);
    }
    if (listening && !wasListening) {
        m_sequencer->Subscribe(m_address);
    } else if (!listening && wasListening) {
        m_sequencer->Unsubscribe(m_address);
    }
}

void CAlsaMidiIn::Deliver(const std::uint8_t* bytes, std::size_t length) {
    const std::lock_guard<std::mutex> guard(m_sinkLock);
    if (m_sink) {
        m_sink(bytes, length);
    }
}
