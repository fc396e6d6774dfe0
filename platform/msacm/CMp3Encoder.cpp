#include "CMp3Encoder.h"

#include <lame/lame.h>

#include <algorithm>
#include <cstring>

namespace {

// LAME's own bound for one call: 1.25 times the samples plus room for the frames it still
// holds (the flush alone never needs more than this).
constexpr std::size_t kLameSlack = 7200;
// The filter bank delay of every MPEG Layer-3 decoder, added to the encoder's own delay.
constexpr unsigned int kDecoderDelay = 529;

constexpr std::uint32_t kMpeg1Rates[] = {32000, 44100, 48000};
constexpr std::uint32_t kMpeg2Rates[] = {16000, 22050, 24000, 8000, 11025, 12000};
constexpr std::uint32_t kMpeg1BitRates[] = {32,  40,  48,  56,  64,  80,  96,
                                            112, 128, 160, 192, 224, 256, 320};
constexpr std::uint32_t kMpeg2BitRates[] = {8,  16, 24, 32,  40,  48,  56,
                                            64, 80, 96, 112, 128, 144, 160};

template <std::size_t N>
bool Contains(const std::uint32_t (&list)[N], std::uint32_t value) {
    return std::find(std::begin(list), std::end(list), value) != std::end(list);
}

bool IsMpeg1(std::uint32_t sampleRate) {
    return Contains(kMpeg1Rates, sampleRate);
}

} // namespace

bool CMp3Encoder::IsValidBitRate(std::uint32_t sampleRate, std::uint32_t bitRate) {
    if (bitRate % 1000 != 0) {
        return false;
    }
    if (IsMpeg1(sampleRate)) {
        return Contains(kMpeg1BitRates, bitRate / 1000);
    }
    return Contains(kMpeg2Rates, sampleRate) && Contains(kMpeg2BitRates, bitRate / 1000);
}

bool CMp3Encoder::Suggest(std::uint32_t sampleRate, std::uint16_t channels, Layout& layout) {
    if ((channels != 1 && channels != 2) ||
        (!IsMpeg1(sampleRate) && !Contains(kMpeg2Rates, sampleRate))) {
        return false;
    }
    layout.sampleRate = sampleRate;
    layout.channels = channels;
    layout.bitRate = channels == 2 ? 128000 : 64000;
    // A Layer-3 frame carries 1152 samples in MPEG-1 and 576 in MPEG-2 and 2.5, so its size in
    // bytes is samples / 8 * bit rate / sample rate.
    layout.frameSamples = IsMpeg1(sampleRate) ? 1152 : 576;
    layout.frameBytes =
        static_cast<std::uint16_t>(layout.frameSamples / 8u * layout.bitRate / sampleRate);
    return true;
}

CMp3Encoder::~CMp3Encoder() {
    Close();
}

void CMp3Encoder::Close() {
    if (m_lame != nullptr) {
        lame_close(m_lame);
        m_lame = nullptr;
    }
    m_pending.clear();
    m_pendingRead = 0;
    m_finished = false;
}

bool CMp3Encoder::Open(std::uint32_t sampleRate, std::uint16_t channels, std::uint32_t bitRate) {
    Close();
    if ((channels != 1 && channels != 2) || !IsValidBitRate(sampleRate, bitRate)) {
        return false;
    }
    lame_global_flags* lame = lame_init();
    if (lame == nullptr) {
        return false;
    }
    lame_set_in_samplerate(lame, static_cast<int>(sampleRate));
    lame_set_out_samplerate(lame, static_cast<int>(sampleRate));
    lame_set_num_channels(lame, channels);
    lame_set_mode(lame, channels == 2 ? JOINT_STEREO : MONO);
    lame_set_VBR(lame, vbr_off);
    lame_set_brate(lame, static_cast<int>(bitRate / 1000));
    lame_set_bWriteVbrTag(lame, 0);
    if (lame_init_params(lame) < 0) {
        lame_close(lame);
        return false;
    }
    m_lame = lame;
    m_sampleRate = sampleRate;
    m_channels = channels;
    m_bitRate = bitRate;
    return true;
}

bool CMp3Encoder::Restart() {
    if (m_lame == nullptr) {
        return false;
    }
    return Open(m_sampleRate, m_channels, m_bitRate);
}

unsigned int CMp3Encoder::EncoderDelay() const {
    return m_lame == nullptr ? 0 : static_cast<unsigned int>(lame_get_encoder_delay(m_lame)) +
                                       kDecoderDelay;
}

std::size_t CMp3Encoder::OutputBound(std::size_t sourceBytes) const {
    const std::size_t samples = m_channels == 0 ? sourceBytes : sourceBytes / BlockAlign();
    return samples + samples / 4 + 1 + kLameSlack;
}

void CMp3Encoder::Drain(std::uint8_t* out, std::size_t capacity, std::size_t& written) {
    const std::size_t n = std::min(capacity - written, Pending());
    if (n > 0) {
        std::memcpy(out + written, m_pending.data() + m_pendingRead, n);
        written += n;
        m_pendingRead += n;
    }
    if (m_pendingRead == m_pending.size()) {
        m_pending.clear();
        m_pendingRead = 0;
    }
}

bool CMp3Encoder::Append(int produced) {
    if (produced < 0) {
        return false;
    }
    m_pending.insert(m_pending.end(), m_scratch.begin(), m_scratch.begin() + produced);
    return true;
}

bool CMp3Encoder::Encode(const std::uint8_t* source, std::size_t length, std::size_t& consumed,
                         std::uint8_t* out, std::size_t capacity, std::size_t& written) {
    consumed = 0;
    written = 0;
    if (m_lame == nullptr || m_finished) {
        return false;
    }
    // LAME takes at most an int of samples per call; blocks of a million frames keep the
    // scratch space small and far from that limit.
    constexpr std::size_t kMaxFrames = 1 << 20;
    const std::size_t block = BlockAlign();
    while (length - consumed >= block) {
        const std::size_t frames = std::min((length - consumed) / block, kMaxFrames);
        const std::size_t count = frames * m_channels;
        m_samples.resize(count);
        const std::uint8_t* p = source + consumed;
        for (std::size_t i = 0; i < count; ++i) {
            m_samples[i] = static_cast<std::int16_t>(p[2 * i] | (p[2 * i + 1] << 8));
        }
        m_scratch.resize(OutputBound(frames * block));
        const int size = static_cast<int>(m_scratch.size());
        const int n = static_cast<int>(frames);
        const int produced =
            m_channels == 2
                ? lame_encode_buffer_interleaved(m_lame, m_samples.data(), n, m_scratch.data(),
                                                 size)
                : lame_encode_buffer(m_lame, m_samples.data(), nullptr, n, m_scratch.data(), size);
        if (!Append(produced)) {
            return false;
        }
        consumed += frames * block;
    }
    Drain(out, capacity, written);
    return true;
}

bool CMp3Encoder::Finish(std::uint8_t* out, std::size_t capacity, std::size_t& written) {
    written = 0;
    if (m_lame == nullptr) {
        return false;
    }
    if (!m_finished) {
        m_scratch.resize(kLameSlack * 2);
        if (!Append(lame_encode_flush(m_lame, m_scratch.data(),
                                      static_cast<int>(m_scratch.size())))) {
            return false;
        }
        m_finished = true;
    }
    Drain(out, capacity, written);
    return true;
}
