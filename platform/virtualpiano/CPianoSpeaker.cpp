#include "CPianoSpeaker.h"

#include "CPianoVoice.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr std::size_t kPeriodFrames = CPianoSpeaker::kRate / 100; // 10 ms
constexpr unsigned kLatencyMicroseconds = 60000;
// What the PC plays waits at most this long to be heard; beyond it, the oldest goes.
constexpr std::size_t kMostMixSamples = 2 * CPianoSpeaker::kRate * 2;

float Sample(const std::uint8_t* frame, unsigned channel, unsigned bits) {
    if (bits == 8) {
        return (static_cast<float>(frame[channel]) - 128.0f) / 128.0f;
    }
    const auto value =
        static_cast<std::int16_t>(frame[2 * channel] | (frame[2 * channel + 1] << 8));
    return static_cast<float>(value) / 32768.0f;
}

} // namespace

std::unique_ptr<CPianoSpeaker> CPianoSpeaker::Open(std::unique_ptr<CPianoVoice> voice,
                                                   const std::string& device, std::string& error) {
    if (!voice) {
        error = "there is no voice to hear";
        return nullptr;
    }
    snd_pcm_t* pcm = nullptr;
    int result = snd_pcm_open(&pcm, device.c_str(), SND_PCM_STREAM_PLAYBACK, 0);
    if (result < 0) {
        error = "the audio output " + device + " cannot be opened: " + snd_strerror(result);
        return nullptr;
    }
    result = snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 2, kRate,
                                1, kLatencyMicroseconds);
    if (result < 0) {
        error = "the audio output " + device +
                " does not play 44.1 kHz stereo: " + snd_strerror(result);
        snd_pcm_close(pcm);
        return nullptr;
    }
    return std::unique_ptr<CPianoSpeaker>(new CPianoSpeaker(std::move(voice), pcm));
}

CPianoSpeaker::CPianoSpeaker(std::unique_ptr<CPianoVoice> voice, snd_pcm_t* pcm)
    : m_voice(std::move(voice)), m_pcm(pcm), m_thread([this] { Run(); }) {}

CPianoSpeaker::~CPianoSpeaker() {
    m_stop = true;
    m_thread.join();
    snd_pcm_drop(m_pcm);
    snd_pcm_close(m_pcm);
}

void CPianoSpeaker::Mix(const std::uint8_t* bytes, std::size_t length, unsigned channels,
                        unsigned rate, unsigned bits) {
    if (bytes == nullptr || channels == 0 || rate == 0 || (bits != 8 && bits != 16)) {
        return;
    }
    const std::size_t frameSize = channels * bits / 8;
    const std::size_t count = length / frameSize;
    if (count == 0) {
        return;
    }
    auto at = [&](std::size_t index, unsigned channel) {
        return Sample(bytes + std::min(index, count - 1) * frameSize,
                      std::min(channel, channels - 1), bits);
    };
    const double step = static_cast<double>(rate) / kRate;
    const std::lock_guard<std::mutex> guard(m_mixLock);
    double position = std::max(0.0, m_phase);
    for (; position < static_cast<double>(count); position += step) {
        const auto index = static_cast<std::size_t>(position);
        const auto weight = static_cast<float>(position - static_cast<double>(index));
        for (unsigned channel = 0; channel < 2; ++channel) {
            m_mix.push_back(at(index, channel) * (1.0f - weight) + at(index + 1, channel) * weight);
        }
    }
    m_phase = position - static_cast<double>(count);
    while (m_mix.size() > kMostMixSamples) {
        m_mix.pop_front();
    }
}

void CPianoSpeaker::Run() {
    std::vector<float> sound(kPeriodFrames * 2);
    std::vector<std::int16_t> pcm(kPeriodFrames * 2);
    while (!m_stop) {
        {
            const std::lock_guard<std::mutex> guard(m_mixLock);
            const std::size_t take = std::min(sound.size(), m_mix.size());
            std::copy_n(m_mix.begin(), take, sound.begin());
            std::fill(sound.begin() + static_cast<std::ptrdiff_t>(take), sound.end(), 0.0f);
            m_mix.erase(m_mix.begin(), m_mix.begin() + static_cast<std::ptrdiff_t>(take));
        }
        m_voice->Render(sound.data(), kPeriodFrames, kRate, m_frames);
        for (std::size_t i = 0; i < sound.size(); ++i) {
            pcm[i] = static_cast<std::int16_t>(
                std::lround(std::clamp(sound[i], -1.0f, 1.0f) * 32767.0f));
        }
        std::size_t written = 0;
        while (written < kPeriodFrames && !m_stop) {
            const snd_pcm_sframes_t result =
                snd_pcm_writei(m_pcm, pcm.data() + written * 2, kPeriodFrames - written);
            if (result < 0) {
                // An underrun or a suspend is got over; a device that went away ends hearing.
                if (snd_pcm_recover(m_pcm, static_cast<int>(result), 1) < 0) {
                    m_ended = true;
                    return;
                }
                continue;
            }
            written += static_cast<std::size_t>(result);
            m_frames += static_cast<std::uint64_t>(result);
        }
    }
}
