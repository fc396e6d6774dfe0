#pragma once

// The subset of the Audio Compression Manager (msacm) that Cantavo calls, with msacm's names,
// types, constants, result codes and record layouts, for one codec: MPEG Layer-3. Decoding
// (MPEG Layer-3 to 16-bit PCM) runs over libmpg123, encoding (16-bit PCM to MPEG Layer-3)
// over LAME. There is one implicit driver: every driver handle passed in must be null.
//
// A stream is synchronous (no ACM_STREAMOPENF_ASYNC): acmStreamConvert returns when the
// header is converted, with ACMSTREAMHEADER_STATUSF_DONE set. A conversion takes in what it
// can of the source (cbSrcLengthUsed) and gives what it produced (cbDstLengthUsed); data that
// did not fit in the destination stays in the stream and comes out of the next conversion,
// also of one with an empty source, so a caller drains a stream by converting until nothing
// more comes out.

#include "mmsystem.h"

struct CAcmStream;
struct CAcmDriver;
using HACMSTREAM = CAcmStream*;
using HACMDRIVER = CAcmDriver*;
using HACMOBJ = void*;
using LPHACMSTREAM = HACMSTREAM*;
using LPBYTE = BYTE*;
using LPDWORD = DWORD*;
using LPWAVEFORMATEX = WAVEFORMATEX*;

// Result codes beyond the MMSYSERR_ ones.
constexpr MMRESULT ACMERR_BASE = 512;
constexpr MMRESULT ACMERR_NOTPOSSIBLE = ACMERR_BASE + 0;
constexpr MMRESULT ACMERR_BUSY = ACMERR_BASE + 1;
constexpr MMRESULT ACMERR_UNPREPARED = ACMERR_BASE + 2;
constexpr MMRESULT ACMERR_CANCELED = ACMERR_BASE + 3;

// acmMetrics.
constexpr UINT ACM_METRIC_COUNT_DRIVERS = 1;
constexpr UINT ACM_METRIC_COUNT_CODECS = 2;
constexpr UINT ACM_METRIC_MAX_SIZE_FORMAT = 50;

// acmFormatSuggest: which fields of the destination format the caller has fixed.
constexpr DWORD ACM_FORMATSUGGESTF_WFORMATTAG = 0x00010000;
constexpr DWORD ACM_FORMATSUGGESTF_NCHANNELS = 0x00020000;
constexpr DWORD ACM_FORMATSUGGESTF_NSAMPLESPERSEC = 0x00040000;
constexpr DWORD ACM_FORMATSUGGESTF_WBITSPERSAMPLE = 0x00080000;
constexpr DWORD ACM_FORMATSUGGESTF_TYPEMASK = 0x00FF0000;

// acmStreamOpen.
constexpr DWORD ACM_STREAMOPENF_QUERY = 0x00000001;
constexpr DWORD ACM_STREAMOPENF_ASYNC = 0x00000002;
constexpr DWORD ACM_STREAMOPENF_NONREALTIME = 0x00000004;

// acmStreamSize.
constexpr DWORD ACM_STREAMSIZEF_SOURCE = 0x00000000;
constexpr DWORD ACM_STREAMSIZEF_DESTINATION = 0x00000001;
constexpr DWORD ACM_STREAMSIZEF_QUERYMASK = 0x0000000F;

// acmStreamConvert.
constexpr DWORD ACM_STREAMCONVERTF_BLOCKALIGN = 0x00000004;
constexpr DWORD ACM_STREAMCONVERTF_START = 0x00000010;
constexpr DWORD ACM_STREAMCONVERTF_END = 0x00000020;

// ACMSTREAMHEADER::fdwStatus.
constexpr DWORD ACMSTREAMHEADER_STATUSF_DONE = 0x00010000;
constexpr DWORD ACMSTREAMHEADER_STATUSF_PREPARED = 0x00020000;
constexpr DWORD ACMSTREAMHEADER_STATUSF_INQUEUE = 0x00100000;

// Reserved for the driver: 15 DWORDs in a 64-bit process, as msacm lays it out.
constexpr unsigned ACMSTREAMHEADER_DRVRESERVED = sizeof(void*) == 8 ? 15 : 10;

struct ACMSTREAMHEADER {
    DWORD cbStruct;
    DWORD fdwStatus;
    DWORD_PTR dwUser;
    LPBYTE pbSrc;
    DWORD cbSrcLength;
    DWORD cbSrcLengthUsed;
    DWORD_PTR dwSrcUser;
    LPBYTE pbDst;
    DWORD cbDstLength;
    DWORD cbDstLengthUsed;
    DWORD_PTR dwDstUser;
    DWORD dwReservedDriver[ACMSTREAMHEADER_DRVRESERVED];
};
using LPACMSTREAMHEADER = ACMSTREAMHEADER*;

// A filter never applies here; acmStreamOpen accepts only null for it.
struct WAVEFILTER;
using LPWAVEFILTER = WAVEFILTER*;

// MPEG Layer-3 as a wave format: the 18-byte WAVEFORMATEX followed by 12 bytes of its own.
constexpr WORD WAVE_FORMAT_MPEGLAYER3 = 0x0055;
constexpr WORD MPEGLAYER3_WFX_EXTRA_BYTES = 12;
constexpr WORD MPEGLAYER3_ID_UNKNOWN = 0;
constexpr WORD MPEGLAYER3_ID_MPEG = 1;
constexpr WORD MPEGLAYER3_ID_CONSTANTFRAMESIZE = 2;
constexpr DWORD MPEGLAYER3_FLAG_PADDING_ISO = 0x00000000;
constexpr DWORD MPEGLAYER3_FLAG_PADDING_ON = 0x00000001;
constexpr DWORD MPEGLAYER3_FLAG_PADDING_OFF = 0x00000002;

#pragma pack(push, 1)
struct MPEGLAYER3WAVEFORMAT {
    WAVEFORMATEX wfx;
    WORD wID;
    DWORD fdwFlags;
    WORD nBlockSize;
    WORD nFramesPerBlock;
    WORD nCodecDelay;
};
#pragma pack(pop)
static_assert(sizeof(MPEGLAYER3WAVEFORMAT) == 30, "MPEGLAYER3WAVEFORMAT is 30 bytes");

// ACM_METRIC_MAX_SIZE_FORMAT writes a DWORD (the largest format record, 30 bytes); the counts
// write 1. The object must be null.
MMRESULT acmMetrics(HACMOBJ object, UINT metric, void* value);

// Fills destination (size bytes) with a format the source converts to. The fields named by
// the flags are taken from destination as given; the rest are chosen: MPEG Layer-3 decodes to
// 16-bit PCM with its own rate and channels; 16-bit PCM encodes to MPEG Layer-3.
// ACMERR_NOTPOSSIBLE when no such conversion exists.
MMRESULT acmFormatSuggest(HACMDRIVER driver, LPWAVEFORMATEX source, LPWAVEFORMATEX destination,
                          DWORD size, DWORD flags);

// Opens a conversion from source to destination; with ACM_STREAMOPENF_QUERY only tells whether
// it is possible (handle may then be null). ACMERR_NOTPOSSIBLE for conversions that are not
// supported, including ACM_STREAMOPENF_ASYNC.
MMRESULT acmStreamOpen(LPHACMSTREAM handle, HACMDRIVER driver, LPWAVEFORMATEX source,
                       LPWAVEFORMATEX destination, LPWAVEFILTER filter, DWORD_PTR callback,
                       DWORD_PTR instance, DWORD flags);
MMRESULT acmStreamClose(HACMSTREAM stream, DWORD flags);

// With ACM_STREAMSIZEF_SOURCE: the destination size that input source bytes may need; with
// ACM_STREAMSIZEF_DESTINATION: the source size whose conversion fits in input destination
// bytes.
MMRESULT acmStreamSize(HACMSTREAM stream, DWORD input, LPDWORD output, DWORD flags);

MMRESULT acmStreamPrepareHeader(HACMSTREAM stream, LPACMSTREAMHEADER header, DWORD flags);
MMRESULT acmStreamUnprepareHeader(HACMSTREAM stream, LPACMSTREAMHEADER header, DWORD flags);
// Converts header's source into its destination. The lengths may shrink after preparing but
// never grow beyond the prepared ones.
MMRESULT acmStreamConvert(HACMSTREAM stream, LPACMSTREAMHEADER header, DWORD flags);
// Forgets what the stream holds between conversions.
MMRESULT acmStreamReset(HACMSTREAM stream, DWORD flags);
