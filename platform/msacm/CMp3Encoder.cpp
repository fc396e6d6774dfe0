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
// LAME's delay before the first sample at every rate (its MDCT's look-back).
constexpr unsigned int kEncoderDelay = 576;

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

bool IsMpeg1(std::uint32_t rate) {
    return Contains(kMpeg1Rates, rate);
}

bool IsLayer3Rate(std::uint32_t rate) {
    return IsMpeg1(rate) || Contains(kMpeg2Rates, rate);
}

bool IsValidBitRate(std::uint32_t rate, std::uint32_t bitRate) {
    if (bitRate % 1000 != 0) {
        return false;
    }
    return IsMpeg1(rate) ? Contains(kMpeg1BitRates, bitRate / 1000)
                         : IsLayer3Rate(rate) && Contains(kMpeg2BitRates, bitRate / 1000);
}

bool IsEncodable(const WAVEFORMATEX& pcm) {
    return pcm.wFormatTag == WAVE_FORMAT_PCM && pcm.wBitsPerSample == 16 &&
           (pcm.nChannels == 1 || pcm.nChannels == 2) && pcm.nBlockAlign == 2 * pcm.nChannels &&
           IsLayer3Rate(pcm.nSamplesPerSec);
}

MPEGLAYER3WAVEFORMAT Layer3For(const WAVEFORMATEX& pcm) {
    MPEGLAYER3WAVEFORMAT mp3{};
    const std::uint32_t bitRate = pcm.nChannels == 2 ? 128000 : 64000;
    mp3.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    mp3.wfx.nChannels = pcm.nChannels;
    mp3.wfx.nSamplesPerSec = pcm.nSamplesPerSec;
    mp3.wfx.nAvgBytesPerSec = bitRate / 8;
    mp3.wfx.nBlockAlign = 1;
    mp3.wfx.wBitsPerSample = 0;
    mp3.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
    mp3.wID = MPEGLAYER3_ID_MPEG;
    mp3.fdwFlags = MPEGLAYER3_FLAG_PADDING_ISO;
    // A frame carries 1152 samples in MPEG-1 and 576 in MPEG-2 and 2.5: samples / 8 * bit rate
    // / rate bytes, without the padding byte that some frames add.
    const std::uint32_t frameSamples = IsMpeg1(pcm.nSamplesPerSec) ? 1152 : 576;
    mp3.nBlockSize = static_cast<WORD>(frameSamples / 8 * bitRate / pcm.nSamplesPerSec);
    mp3.nFramesPerBlock = 1;
    mp3.nCodecDelay = static_cast<WORD>(kEncoderDelay + kDecoderDelay);
    return mp3;
}

} // namespace

CMp3Encoder::CMp3Encoder(const WAVEFORMATEX& source, const WAVEFORMATEX& destination)
    : m_source(source), m_destination(destination) {}

CMp3Encoder::~CMp3Encoder() {
    Close();
}

std::unique_ptr<CAcmConverter>
CMp3Encoder::Create(const WAVEFORMATEX& source, const WAVEFORMATEX& destination, MMRESULT* result) {
    if (!IsEncodable(source) || destination.wFormatTag != WAVE_FORMAT_MPEGLAYER3 ||
        destination.nChannels != source.nChannels ||
        destination.nSamplesPerSec != source.nSamplesPerSec ||
        !IsValidBitRate(destination.nSamplesPerSec, destination.nAvgBytesPerSec * 8)) {
        *result = ACMERR_NOTPOSSIBLE;
        return nullptr;
    }
    std::unique_ptr<CMp3Encoder> encoder(new CMp3Encoder(source, destination));
    if (!encoder->Open()) {
        *result = MMSYSERR_NOMEM;
        return nullptr;
    }
    *result = MMSYSERR_NOERROR;
    return encoder;
}

MMRESULT CMp3Encoder::Suggest(const WAVEFORMATEX& source, WAVEFORMATEX* destination, DWORD size,
                              DWORD flags) {
    if (size < sizeof(MPEGLAYER3WAVEFORMAT)) {
        return size < sizeof(WAVEFORMATEX) ? MMSYSERR_INVALPARAM : ACMERR_NOTPOSSIBLE;
    }
    if (!IsEncodable(source)) {
        return ACMERR_NOTPOSSIBLE;
    }
    const MPEGLAYER3WAVEFORMAT mp3 = Layer3For(source);
    // What the caller fixed must be what the encoder gives.
    if (((flags & ACM_FORMATSUGGESTF_WFORMATTAG) != 0 &&
         destination->wFormatTag != WAVE_FORMAT_MPEGLAYER3) ||
        ((flags & ACM_FORMATSUGGESTF_NCHANNELS) != 0 &&
         destination->nChannels != mp3.wfx.nChannels) ||
        ((flags & ACM_FORMATSUGGESTF_NSAMPLESPERSEC) != 0 &&
         destination->nSamplesPerSec != mp3.wfx.nSamplesPerSec) ||
        ((flags & ACM_FORMATSUGGESTF_WBITSPERSAMPLE) != 0 &&
         destination->wBitsPerSample != mp3.wfx.wBitsPerSample)) {
        return ACMERR_NOTPOSSIBLE;
    }
    std::memcpy(destination, &mp3, sizeof mp3);
    return MMSYSERR_NOERROR;
}

bool CMp3Encoder::Open() {
    lame_global_flags* lame = lame_init();
    if (lame == nullptr) {
        return false;
    }
    lame_set_in_samplerate(lame, static_cast<int>(m_source.nSamplesPerSec));
    lame_set_out_samplerate(lame, static_cast<int>(m_source.nSamplesPerSec));
    lame_set_num_channels(lame, m_source.nChannels);
    lame_set_mode(lame, m_source.nChannels == 2 ? JOINT_STEREO : MONO);
    lame_set_VBR(lame, vbr_off);
    lame_set_brate(lame, static_cast<int>(m_destination.nAvgBytesPerSec * 8 / 1000));
    lame_set_bWriteVbrTag(lame, 0);
    if (lame_init_params(lame) < 0) {
        lame_close(lame);
        return false;
    }
    m_lame = lame;
    return true;
}

void CMp3Encoder::Close() {
    if (m_lame != nullptr) {
        lame_close(m_lame);
        m_lame = nullptr;
    }
    m_pending.clear();
    m_pendingRead = 0;
    m_started = false;
    m_finished = false;
}

void CMp3Encoder::Reset() {
    Close();
    Open();
}

MMRESULT CMp3Encoder::Size(DWORD input, DWORD* output, DWORD flags) const {
    const std::uint64_t align = m_source.nBlockAlign;
    std::uint64_t size = 0;
    if ((flags & ACM_STREAMSIZEF_QUERYMASK) == ACM_STREAMSIZEF_DESTINATION) {
        // The source that, at the stream's bit rate, fills no more than input bytes.
        size = static_cast<std::uint64_t>(input) * m_source.nAvgBytesPerSec /
               m_destination.nAvgBytesPerSec / align * align;
    } else {
        const std::uint64_t frames = input / align;
        size = frames + frames / 4 + 1 + kLameSlack;
    }
    if (size == 0 || size > 0xFFFFFFFFu) {
        return ACMERR_NOTPOSSIBLE;
    }
    *output = static_cast<DWORD>(size);
    return MMSYSERR_NOERROR;
}

void CMp3Encoder::Drain(BYTE* out, DWORD capacity, DWORD* written) {
    const std::size_t n =
        std::min<std::size_t>(capacity - *written, m_pending.size() - m_pendingRead);
    if (n > 0) {
        std::memcpy(out + *written, m_pending.data() + m_pendingRead, n);
        *written += static_cast<DWORD>(n);
        m_pendingRead += n;
    }
    if (m_pendingRead == m_pending.size()) {
        m_pending.clear();
        m_pendingRead = 0;
    }
}

bool CMp3Encoder::Encode(const BYTE* source, std::size_t frames) {
    // LAME counts samples in an int: a million sample frames a call stay far from it.
    constexpr std::size_t kMaxFrames = 1 << 20;
    const unsigned channels = m_source.nChannels;
    while (frames > 0) {
        const std::size_t n = std::min(frames, kMaxFrames);
        const std::size_t count = n * channels;
        m_samples.resize(count);
        for (std::size_t i = 0; i < count; ++i) {
            m_samples[i] = static_cast<std::int16_t>(source[2 * i] | (source[2 * i + 1] << 8));
        }
        m_scratch.resize(n + n / 4 + 1 + kLameSlack);
        const int room = static_cast<int>(m_scratch.size());
        const int produced =
            channels == 2
                ? lame_encode_buffer_interleaved(m_lame, m_samples.data(), static_cast<int>(n),
                                                 m_scratch.data(), room)
                : lame_encode_buffer(m_lame, m_samples.data(), nullptr, static_cast<int>(n),
                                     m_scratch.data(), room);
        if (produced < 0) {
            return false;
        }
        m_pending.insert(m_pending.end(), m_scratch.begin(), m_scratch.begin() + produced);
        source += count * 2;
        frames -= n;
    }
    return true;
}

bool CMp3Encoder::Flush() {
    m_scratch.resize(2 * kLameSlack);
    const int produced =
        lame_encode_flush(m_lame, m_scratch.data(), static_cast<int>(m_scratch.size()));
    if (produced < 0) {
        return false;
    }
    m_pending.insert(m_pending.end(), m_scratch.begin(), m_scratch.begin() + produced);
    m_finished = true;
    return true;
}

MMRESULT CMp3Encoder::Convert(const BYTE* source, DWORD sourceLength, DWORD* sourceUsed,
                              BYTE* destination, DWORD destinationLength, DWORD* destinationUsed,
                              DWORD flags) {
    *sourceUsed = 0;
    *destinationUsed = 0;
    // A new stream starts over, dropping what the last one left.
    if ((flags & ACM_STREAMCONVERTF_START) != 0 && m_started) {
        Reset();
    }
    if (m_lame == nullptr) {
        return MMSYSERR_NOMEM;
    }
    const DWORD align = m_source.nBlockAlign;
    const DWORD whole = sourceLength / align * align;
    if (whole > 0) {
        // Samples after the end of a stream are not part of it.
        if (m_finished) {
            return ACMERR_NOTPOSSIBLE;
        }
        if (!Encode(source, whole / align)) {
            return MMSYSERR_ERROR;
        }
        m_started = true;
        *sourceUsed = whole;
    }
    if ((flags & ACM_STREAMCONVERTF_END) != 0 && !m_finished && !Flush()) {
        return MMSYSERR_ERROR;
    }
    Drain(destination, destinationLength, destinationUsed);
    return MMSYSERR_NOERROR;
}
