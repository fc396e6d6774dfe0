#include "CMpegDecoder.h"

#include <cstring>
#include <new>
#include <vector>

namespace {
// What a source block holds when the ACM cannot say.
constexpr DWORD kFallbackSource = 4096;
} // namespace

CMpegDecoder::~CMpegDecoder() {
    Close();
}

bool CMpegDecoder::Open(const MPEGLAYER3WAVEFORMAT& source) {
    Close();
    m_format = source;
    DWORD largest = 0;
    if (acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &largest) != MMSYSERR_NOERROR ||
        largest < sizeof(WAVEFORMATEX)) {
        return false;
    }
    // The ACM may write a format record as large as it said.
    std::vector<std::uint8_t> suggested(largest, 0);
    auto* pcm = reinterpret_cast<WAVEFORMATEX*>(suggested.data());
    pcm->wFormatTag = WAVE_FORMAT_PCM;
    auto* from = reinterpret_cast<WAVEFORMATEX*>(&m_format);
    if (acmFormatSuggest(nullptr, from, pcm, largest, ACM_FORMATSUGGESTF_WFORMATTAG) !=
        MMSYSERR_NOERROR) {
        return false;
    }
    std::memcpy(&m_output, suggested.data(), sizeof m_output);
    if (acmStreamOpen(nullptr, nullptr, from, &m_output, nullptr, 0, 0, ACM_STREAMOPENF_QUERY) !=
            MMSYSERR_NOERROR ||
        acmStreamOpen(&m_stream, nullptr, from, &m_output, nullptr, 0, 0,
                      ACM_STREAMOPENF_NONREALTIME) != MMSYSERR_NOERROR) {
        m_stream = nullptr;
        return false;
    }
    return true;
}

bool CMpegDecoder::Prepare(std::size_t outputBytes) {
    if (m_stream == nullptr) {
        return false;
    }
    DWORD sourceSize = 0;
    if (acmStreamSize(m_stream, static_cast<DWORD>(outputBytes), &sourceSize,
                      ACM_STREAMSIZEF_DESTINATION) != MMSYSERR_NOERROR) {
        return false;
    }
    if (sourceSize == 0) {
        sourceSize = kFallbackSource;
    }
    m_source.reset(new (std::nothrow) std::uint8_t[sourceSize]);
    m_destination.reset(new (std::nothrow) std::uint8_t[outputBytes]);
    if (!m_source || !m_destination) {
        return false;
    }
    m_sourceSize = sourceSize;
    m_destinationSize = outputBytes;
    m_header = ACMSTREAMHEADER{};
    m_header.cbStruct = sizeof m_header;
    m_header.pbSrc = m_source.get();
    m_header.cbSrcLength = static_cast<DWORD>(m_sourceSize);
    m_header.pbDst = m_destination.get();
    m_header.cbDstLength = static_cast<DWORD>(m_destinationSize);
    m_prepared = acmStreamPrepareHeader(m_stream, &m_header, 0) == MMSYSERR_NOERROR;
    return m_prepared;
}

long CMpegDecoder::Convert(std::size_t length) {
    if (!m_prepared || length > m_sourceSize) {
        return -1;
    }
    m_header.cbSrcLength = static_cast<DWORD>(length);
    m_header.cbDstLength = static_cast<DWORD>(m_destinationSize);
    m_header.cbSrcLengthUsed = 0;
    m_header.cbDstLengthUsed = 0;
    if (acmStreamConvert(m_stream, &m_header, 0) != MMSYSERR_NOERROR ||
        m_header.cbDstLengthUsed > m_destinationSize || m_header.cbSrcLengthUsed > length) {
        return -1;
    }
    return static_cast<long>(m_header.cbDstLengthUsed);
}

void CMpegDecoder::Close() {
    if (m_stream == nullptr) {
        return;
    }
    if (m_prepared) {
        m_header.cbSrcLength = static_cast<DWORD>(m_sourceSize);
        m_header.cbDstLength = static_cast<DWORD>(m_destinationSize);
        acmStreamUnprepareHeader(m_stream, &m_header, 0);
        m_prepared = false;
    }
    acmStreamClose(m_stream, 0);
    m_stream = nullptr;
    m_source.reset();
    m_destination.reset();
}
