#pragma once

#include "CAlsaPcmStream.h"
#include "CMmBackend.h"

#include <atomic>

// A wave input of the PC: an ALSA PCM that records. The card keeps time itself, so each handle
// opens a stream on it; the handle never calls Capture.
class CAlsaPcmIn final : public CMmBackend::WaveInPort {
public:
    CAlsaPcmIn(std::string pcm, std::string name)
        : m_pcm(std::move(pcm)), m_name(std::move(name)) {}

    std::string Name() const override { return m_name; }
    bool Present() const override { return m_present; }
    bool Capture(std::uint8_t*, std::size_t, const WAVEFORMATEX&, std::uint64_t) override {
        return false;
    }
    MMRESULT OpenStream(const WAVEFORMATEX& format,
                        std::unique_ptr<CMmBackend::WaveStream>& stream) override {
        return CAlsaPcmStream::Open(m_pcm, true, format, stream);
    }

    const std::string& Pcm() const { return m_pcm; }
    void SetPresent(bool present) { m_present = present; }

private:
    std::string m_pcm;
    std::string m_name;
    std::atomic<bool> m_present{true};
};
