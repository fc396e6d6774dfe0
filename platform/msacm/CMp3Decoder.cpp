#include "CMp3Decoder.h"

#include <mpg123.h>

#include <algorithm>
#include <cstdint>
#include <mutex>

namespace {

// Input handed to the decoder and not decoded yet is kept below this, so a caller that never
// reads out cannot make a stream grow without bound.
constexpr long kMaxBuffered = 8 << 20;
// The most PCM one MPEG Layer-3 frame decodes to, per channel.
constexpr std::uint64_t kFrameSamples = 1152;

bool IsMpegRate(DWORD rate) {
    for (const DWORD known :
         {8000u, 11025u, 12000u, 16000u, 22050u, 24000u, 32000u, 44100u, 48000u}) {
        if (rate == known) {
            return true;
        }
    }
    return false;
}

bool IsDecodable(const WAVEFORMATEX& source) {
    return source.wFormatTag == WAVE_FORMAT_MPEGLAYER3 &&
           (source.nChannels == 1 || source.nChannels == 2) && IsMpegRate(source.nSamplesPerSec) &&
           source.nAvgBytesPerSec > 0;
}

WAVEFORMATEX PcmFor(const WAVEFORMATEX& source) {
    WAVEFORMATEX pcm{};
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    pcm.nChannels = source.nChannels;
    pcm.nSamplesPerSec = source.nSamplesPerSec;
    pcm.wBitsPerSample = 16;
    pcm.nBlockAlign = static_cast<WORD>(pcm.nChannels * 2);
    pcm.nAvgBytesPerSec = pcm.nSamplesPerSec * pcm.nBlockAlign;
    pcm.cbSize = 0;
    return pcm;
}

bool LibraryReady() {
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] { ready = mpg123_init() == MPG123_OK; });
    return ready;
}

} // namespace

CMp3Decoder::CMp3Decoder(const WAVEFORMATEX& source, const WAVEFORMATEX& destination)
    : m_source(source), m_destination(destination) {}

CMp3Decoder::~CMp3Decoder() {
    Close();
}

std::unique_ptr<CAcmConverter>
CMp3Decoder::Create(const WAVEFORMATEX& source, const WAVEFORMATEX& destination, MMRESULT* result) {
    const WAVEFORMATEX pcm = PcmFor(source);
    if (!IsDecodable(source) || destination.wFormatTag != WAVE_FORMAT_PCM ||
        destination.nChannels != pcm.nChannels ||
        destination.nSamplesPerSec != pcm.nSamplesPerSec || destination.wBitsPerSample != 16 ||
        destination.nBlockAlign != pcm.nBlockAlign ||
        destination.nAvgBytesPerSec != pcm.nAvgBytesPerSec) {
        *result = ACMERR_NOTPOSSIBLE;
        return nullptr;
    }
    std::unique_ptr<CMp3Decoder> decoder(new CMp3Decoder(source, destination));
    if (!LibraryReady() || !decoder->Open()) {
        *result = MMSYSERR_NOMEM;
        return nullptr;
    }
    *result = MMSYSERR_NOERROR;
    return decoder;
}

MMRESULT CMp3Decoder::Suggest(const WAVEFORMATEX& source, WAVEFORMATEX* destination, DWORD size,
                              DWORD flags) {
    if (size < sizeof(WAVEFORMATEX)) {
        return MMSYSERR_INVALPARAM;
    }
    if (!IsDecodable(source)) {
        return ACMERR_NOTPOSSIBLE;
    }
    const WAVEFORMATEX pcm = PcmFor(source);
    // What the caller fixed must be what the decoder gives.
    if (((flags & ACM_FORMATSUGGESTF_WFORMATTAG) != 0 &&
         destination->wFormatTag != WAVE_FORMAT_PCM) ||
        ((flags & ACM_FORMATSUGGESTF_NCHANNELS) != 0 && destination->nChannels != pcm.nChannels) ||
        ((flags & ACM_FORMATSUGGESTF_NSAMPLESPERSEC) != 0 &&
         destination->nSamplesPerSec != pcm.nSamplesPerSec) ||
        ((flags & ACM_FORMATSUGGESTF_WBITSPERSAMPLE) != 0 &&
         destination->wBitsPerSample != pcm.wBitsPerSample)) {
        return ACMERR_NOTPOSSIBLE;
    }
    *destination = pcm;
    return MMSYSERR_NOERROR;
}

bool CMp3Decoder::Open() {
    int error = MPG123_OK;
    m_handle = mpg123_new(nullptr, &error);
    if (m_handle == nullptr) {
        return false;
    }
    // Damaged input is reported through the result, not on the terminal.
    mpg123_param(m_handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    // The output is exactly the format the stream was opened for, whatever the frames say:
    // mpg123 converts rate and channels of frames that differ.
    const int channels = m_destination.nChannels == 1 ? MPG123_MONO : MPG123_STEREO;
    if (mpg123_format_none(m_handle) != MPG123_OK ||
        mpg123_format(m_handle, static_cast<long>(m_destination.nSamplesPerSec), channels,
                      MPG123_ENC_SIGNED_16) != MPG123_OK ||
        mpg123_open_feed(m_handle) != MPG123_OK) {
        Close();
        return false;
    }
    m_failed = false;
    return true;
}

void CMp3Decoder::Close() {
    if (m_handle != nullptr) {
        mpg123_delete(m_handle);
        m_handle = nullptr;
    }
}

void CMp3Decoder::Reset() {
    Close();
    if (!Open()) {
        m_failed = true;
    }
}

MMRESULT CMp3Decoder::Size(DWORD input, DWORD* output, DWORD flags) const {
    const std::uint64_t pcmRate = m_destination.nAvgBytesPerSec;
    const std::uint64_t mp3Rate = m_source.nAvgBytesPerSec;
    std::uint64_t size = 0;
    if ((flags & ACM_STREAMSIZEF_QUERYMASK) == ACM_STREAMSIZEF_DESTINATION) {
        // The source that, at the declared bit rate, decodes to no more than input bytes.
        size = static_cast<std::uint64_t>(input) * mp3Rate / pcmRate;
    } else {
        // Room for what input bytes decode to, and for a frame held over from before.
        const std::uint64_t align = m_destination.nBlockAlign;
        size = (static_cast<std::uint64_t>(input) * pcmRate + mp3Rate - 1) / mp3Rate +
               kFrameSamples * align;
        size = (size + align - 1) / align * align;
    }
    if (size == 0 || size > 0xFFFFFFFFu) {
        return ACMERR_NOTPOSSIBLE;
    }
    *output = static_cast<DWORD>(size);
    return MMSYSERR_NOERROR;
}

MMRESULT CMp3Decoder::Convert(const BYTE* source, DWORD sourceLength, DWORD* sourceUsed,
                              BYTE* destination, DWORD destinationLength, DWORD* destinationUsed,
                              DWORD flags) {
    *sourceUsed = 0;
    *destinationUsed = 0;
    if ((flags & ACM_STREAMCONVERTF_START) != 0) {
        Reset();
    }
    if (m_failed || m_handle == nullptr) {
        return MMSYSERR_ERROR;
    }
    long buffered = 0;
    double unused = 0;
    if (mpg123_getstate(m_handle, MPG123_BUFFERFILL, &buffered, &unused) != MPG123_OK) {
        buffered = 0;
    }
    const DWORD accepted = static_cast<DWORD>(
        std::min<long>(sourceLength, std::max<long>(0, kMaxBuffered - buffered)));
    if (accepted > 0) {
        if (mpg123_feed(m_handle, source, accepted) != MPG123_OK) {
            return MMSYSERR_NOMEM;
        }
        *sourceUsed = accepted;
    }
    // Whole sample frames only, so that a held-over remainder starts on a frame.
    const std::size_t room = destinationLength - destinationLength % m_destination.nBlockAlign;
    std::size_t produced = 0;
    int idle = 0;
    while (produced < room) {
        std::size_t done = 0;
        const int status = mpg123_read(m_handle, destination + produced, room - produced, &done);
        produced += done;
        if (status == MPG123_NEED_MORE || status == MPG123_DONE) {
            break;
        }
        if (status != MPG123_OK && status != MPG123_NEW_FORMAT) {
            // A stream mpg123 cannot go on with: what was decoded stands, the rest is an error.
            m_failed = true;
            *destinationUsed = static_cast<DWORD>(produced);
            return MMSYSERR_ERROR;
        }
        // Frames that decode to nothing (the encoder's delay) are skipped; a decoder that
        // keeps giving nothing is not waited on for ever.
        idle = done == 0 ? idle + 1 : 0;
        if (idle > 64) {
            break;
        }
    }
    *destinationUsed = static_cast<DWORD>(produced);
    return MMSYSERR_NOERROR;
}
