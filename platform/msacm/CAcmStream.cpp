#include "CAcmStream.h"

#include <map>

namespace {

// Marks a header prepared by this library; the lengths at preparation and the stream follow.
constexpr DWORD kPreparedMark = 0x4D503341; // "A3PM"
enum Reserved : unsigned {
    kMark = 0,
    kSourceLength = 1,
    kDestinationLength = 2,
    kStreamLow = 3,
    kStreamHigh = 4,
};

std::mutex& OpenLock() {
    static std::mutex lock;
    return lock;
}

std::map<const void*, std::shared_ptr<CAcmStream>>& OpenStreams() {
    static std::map<const void*, std::shared_ptr<CAcmStream>> streams;
    return streams;
}

void StampStream(ACMSTREAMHEADER* header, const void* stream) {
    const auto value = reinterpret_cast<std::uint64_t>(stream);
    header->dwReservedDriver[kStreamLow] = static_cast<DWORD>(value);
    header->dwReservedDriver[kStreamHigh] = static_cast<DWORD>(value >> 32);
}

bool PreparedOn(const ACMSTREAMHEADER* header, const void* stream) {
    const auto value = reinterpret_cast<std::uint64_t>(stream);
    return header->dwReservedDriver[kMark] == kPreparedMark &&
           header->dwReservedDriver[kStreamLow] == static_cast<DWORD>(value) &&
           header->dwReservedDriver[kStreamHigh] == static_cast<DWORD>(value >> 32);
}

} // namespace

CAcmStream::CAcmStream(std::unique_ptr<CAcmConverter> converter)
    : m_converter(std::move(converter)) {}

bool CAcmStream::HeaderIsValid(const ACMSTREAMHEADER* header) {
    return header != nullptr && header->cbStruct >= sizeof(ACMSTREAMHEADER) &&
           (header->pbSrc != nullptr || header->cbSrcLength == 0) &&
           (header->pbDst != nullptr || header->cbDstLength == 0);
}

MMRESULT CAcmStream::Size(DWORD input, DWORD* output, DWORD flags) {
    if (output == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    if ((flags & ~ACM_STREAMSIZEF_QUERYMASK) != 0 ||
        (flags & ACM_STREAMSIZEF_QUERYMASK) > ACM_STREAMSIZEF_DESTINATION) {
        return MMSYSERR_INVALFLAG;
    }
    const std::lock_guard<std::mutex> guard(m_lock);
    return m_converter->Size(input, output, flags);
}

MMRESULT CAcmStream::Prepare(ACMSTREAMHEADER* header) {
    if (!HeaderIsValid(header)) {
        return MMSYSERR_INVALPARAM;
    }
    const std::lock_guard<std::mutex> guard(m_lock);
    if ((header->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED) != 0) {
        // Prepared already (on this stream or another): left as it is.
        return PreparedOn(header, this) ? MMSYSERR_NOERROR : MMSYSERR_INVALPARAM;
    }
    header->dwReservedDriver[kMark] = kPreparedMark;
    header->dwReservedDriver[kSourceLength] = header->cbSrcLength;
    header->dwReservedDriver[kDestinationLength] = header->cbDstLength;
    StampStream(header, this);
    header->fdwStatus = (header->fdwStatus | ACMSTREAMHEADER_STATUSF_PREPARED) &
                        ~(ACMSTREAMHEADER_STATUSF_DONE | ACMSTREAMHEADER_STATUSF_INQUEUE);
    ++m_prepared;
    return MMSYSERR_NOERROR;
}

MMRESULT CAcmStream::Unprepare(ACMSTREAMHEADER* header) {
    if (header == nullptr || header->cbStruct < sizeof(ACMSTREAMHEADER)) {
        return MMSYSERR_INVALPARAM;
    }
    const std::lock_guard<std::mutex> guard(m_lock);
    if ((header->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED) == 0) {
        return ACMERR_UNPREPARED;
    }
    if (!PreparedOn(header, this)) {
        return MMSYSERR_INVALPARAM;
    }
    if ((header->fdwStatus & ACMSTREAMHEADER_STATUSF_INQUEUE) != 0) {
        return ACMERR_BUSY;
    }
    header->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_PREPARED;
    header->dwReservedDriver[kMark] = 0;
    --m_prepared;
    return MMSYSERR_NOERROR;
}

MMRESULT CAcmStream::Convert(ACMSTREAMHEADER* header, DWORD flags) {
    constexpr DWORD kKnown =
        ACM_STREAMCONVERTF_BLOCKALIGN | ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_END;
    if ((flags & ~kKnown) != 0) {
        return MMSYSERR_INVALFLAG;
    }
    if (!HeaderIsValid(header)) {
        return MMSYSERR_INVALPARAM;
    }
    const std::lock_guard<std::mutex> guard(m_lock);
    if ((header->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED) == 0) {
        return ACMERR_UNPREPARED;
    }
    // Lengths may shrink after preparing, never grow: the buffers are only known that large.
    if (!PreparedOn(header, this) ||
        header->cbSrcLength > header->dwReservedDriver[kSourceLength] ||
        header->cbDstLength > header->dwReservedDriver[kDestinationLength]) {
        return MMSYSERR_INVALPARAM;
    }
    if ((header->fdwStatus & ACMSTREAMHEADER_STATUSF_INQUEUE) != 0) {
        return ACMERR_BUSY;
    }
    header->fdwStatus =
        (header->fdwStatus | ACMSTREAMHEADER_STATUSF_INQUEUE) & ~ACMSTREAMHEADER_STATUSF_DONE;
    DWORD sourceUsed = 0;
    DWORD destinationUsed = 0;
    const MMRESULT result =
        m_converter->Convert(header->pbSrc, header->cbSrcLength, &sourceUsed, header->pbDst,
                             header->cbDstLength, &destinationUsed, flags);
    header->cbSrcLengthUsed = sourceUsed;
    header->cbDstLengthUsed = destinationUsed;
    header->fdwStatus =
        (header->fdwStatus | ACMSTREAMHEADER_STATUSF_DONE) & ~ACMSTREAMHEADER_STATUSF_INQUEUE;
    return result;
}

MMRESULT CAcmStream::Reset() {
    const std::lock_guard<std::mutex> guard(m_lock);
    m_converter->Reset();
    return MMSYSERR_NOERROR;
}

int CAcmStream::Prepared() const {
    const std::lock_guard<std::mutex> guard(m_lock);
    return m_prepared;
}

HACMSTREAM CAcmStream::Register(std::unique_ptr<CAcmStream> stream) {
    const std::lock_guard<std::mutex> guard(OpenLock());
    CAcmStream* handle = stream.get();
    OpenStreams().emplace(handle, std::shared_ptr<CAcmStream>(std::move(stream)));
    return handle;
}

std::shared_ptr<CAcmStream> CAcmStream::Lookup(HACMSTREAM handle) {
    const std::lock_guard<std::mutex> guard(OpenLock());
    const auto found = OpenStreams().find(handle);
    return found == OpenStreams().end() ? nullptr : found->second;
}

bool CAcmStream::Unregister(HACMSTREAM handle) {
    std::shared_ptr<CAcmStream> stream;
    {
        const std::lock_guard<std::mutex> guard(OpenLock());
        const auto found = OpenStreams().find(handle);
        if (found == OpenStreams().end()) {
            return false;
        }
        stream = std::move(found->second);
        OpenStreams().erase(found);
    }
    // Freed outside the lock, once no other call holds it.
    return true;
}
