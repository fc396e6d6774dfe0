#include "msacm.h"

#include "CAcmConverter.h"
#include "CAcmStream.h"

MMRESULT acmMetrics(HACMOBJ object, UINT metric, void* value) {
    if (object != nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (value == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    switch (metric) {
    case ACM_METRIC_MAX_SIZE_FORMAT:
        *static_cast<DWORD*>(value) = sizeof(MPEGLAYER3WAVEFORMAT);
        return MMSYSERR_NOERROR;
    case ACM_METRIC_COUNT_DRIVERS:
    case ACM_METRIC_COUNT_CODECS:
        *static_cast<DWORD*>(value) = 1;
        return MMSYSERR_NOERROR;
    default:
        return MMSYSERR_NOTSUPPORTED;
    }
}

MMRESULT acmFormatSuggest(HACMDRIVER driver, LPWAVEFORMATEX source, LPWAVEFORMATEX destination,
                          DWORD size, DWORD flags) {
    if (driver != nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (source == nullptr || destination == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    if ((flags & ~ACM_FORMATSUGGESTF_TYPEMASK) != 0) {
        return MMSYSERR_INVALFLAG;
    }
    return CAcmConverter::Suggest(*source, destination, size, flags);
}

MMRESULT acmStreamOpen(LPHACMSTREAM handle, HACMDRIVER driver, LPWAVEFORMATEX source,
                       LPWAVEFORMATEX destination, LPWAVEFILTER filter, DWORD_PTR, DWORD_PTR,
                       DWORD flags) {
    const bool query = (flags & ACM_STREAMOPENF_QUERY) != 0;
    if (handle != nullptr) {
        *handle = nullptr;
    }
    if (handle == nullptr && !query) {
        return MMSYSERR_INVALPARAM;
    }
    if (driver != nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (source == nullptr || destination == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    constexpr DWORD kKnown =
        ACM_STREAMOPENF_QUERY | ACM_STREAMOPENF_ASYNC | ACM_STREAMOPENF_NONREALTIME;
    if ((flags & ~kKnown) != 0) {
        return MMSYSERR_INVALFLAG;
    }
    // Conversions are synchronous and unfiltered only.
    if (filter != nullptr || (flags & ACM_STREAMOPENF_ASYNC) != 0) {
        return ACMERR_NOTPOSSIBLE;
    }
    MMRESULT result = MMSYSERR_NOERROR;
    std::unique_ptr<CAcmConverter> converter =
        CAcmConverter::Create(*source, *destination, &result);
    if (converter == nullptr) {
        return result == MMSYSERR_NOERROR ? ACMERR_NOTPOSSIBLE : result;
    }
    if (query) {
        return MMSYSERR_NOERROR;
    }
    *handle = CAcmStream::Register(std::make_unique<CAcmStream>(std::move(converter)));
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamClose(HACMSTREAM stream, DWORD flags) {
    if (flags != 0) {
        return MMSYSERR_INVALFLAG;
    }
    return CAcmStream::Unregister(stream) ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
}

MMRESULT acmStreamSize(HACMSTREAM stream, DWORD input, LPDWORD output, DWORD flags) {
    const std::shared_ptr<CAcmStream> object = CAcmStream::Lookup(stream);
    return object ? object->Size(input, output, flags) : MMSYSERR_INVALHANDLE;
}

MMRESULT acmStreamPrepareHeader(HACMSTREAM stream, LPACMSTREAMHEADER header, DWORD flags) {
    if (flags != 0) {
        return MMSYSERR_INVALFLAG;
    }
    const std::shared_ptr<CAcmStream> object = CAcmStream::Lookup(stream);
    return object ? object->Prepare(header) : MMSYSERR_INVALHANDLE;
}

MMRESULT acmStreamUnprepareHeader(HACMSTREAM stream, LPACMSTREAMHEADER header, DWORD flags) {
    if (flags != 0) {
        return MMSYSERR_INVALFLAG;
    }
    const std::shared_ptr<CAcmStream> object = CAcmStream::Lookup(stream);
    return object ? object->Unprepare(header) : MMSYSERR_INVALHANDLE;
}

MMRESULT acmStreamConvert(HACMSTREAM stream, LPACMSTREAMHEADER header, DWORD flags) {
    const std::shared_ptr<CAcmStream> object = CAcmStream::Lookup(stream);
    return object ? object->Convert(header, flags) : MMSYSERR_INVALHANDLE;
}

MMRESULT acmStreamReset(HACMSTREAM stream, DWORD flags) {
    if (flags != 0) {
        return MMSYSERR_INVALFLAG;
    }
    const std::shared_ptr<CAcmStream> object = CAcmStream::Lookup(stream);
    return object ? object->Reset() : MMSYSERR_INVALHANDLE;
}
