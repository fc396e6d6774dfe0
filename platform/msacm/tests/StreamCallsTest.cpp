// The msacm calls refuse what msacm refuses: wrong handles, unprepared or grown headers,
// formats no codec here takes. None of these needs an MPEG Layer-3 file.

#include "msacm.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

MPEGLAYER3WAVEFORMAT Mp3(WORD channels = 2, DWORD rate = 44100, DWORD bytesPerSecond = 16000) {
    MPEGLAYER3WAVEFORMAT format{};
    format.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    format.wfx.nChannels = channels;
    format.wfx.nSamplesPerSec = rate;
    format.wfx.nAvgBytesPerSec = bytesPerSecond;
    format.wfx.nBlockAlign = 1;
    format.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
    format.wID = MPEGLAYER3_ID_MPEG;
    format.nBlockSize = 417;
    format.nFramesPerBlock = 1;
    return format;
}

WAVEFORMATEX Pcm(WORD channels = 2, DWORD rate = 44100) {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = channels;
    format.nSamplesPerSec = rate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = static_cast<WORD>(channels * 2);
    format.nAvgBytesPerSec = rate * format.nBlockAlign;
    return format;
}

TEST(AcmFormats, TheLargestFormatIsTheMpegLayer3Record) {
    DWORD size = 0;
    EXPECT_EQ(acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &size), MMSYSERR_NOERROR);
    EXPECT_EQ(size, 30u);
    EXPECT_EQ(acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, nullptr), MMSYSERR_INVALPARAM);
}

TEST(AcmFormats, MpegLayer3SuggestsSixteenBitPcmOfItsOwnRateAndChannels) {
    MPEGLAYER3WAVEFORMAT source = Mp3(2, 32000, 24000);
    std::vector<BYTE> room(30, 0);
    auto* suggested = reinterpret_cast<WAVEFORMATEX*>(room.data());
    suggested->wFormatTag = WAVE_FORMAT_PCM;
    ASSERT_EQ(acmFormatSuggest(nullptr, &source.wfx, suggested, 30, ACM_FORMATSUGGESTF_WFORMATTAG),
              MMSYSERR_NOERROR);
    const WAVEFORMATEX expected = Pcm(2, 32000);
    EXPECT_EQ(suggested->wFormatTag, expected.wFormatTag);
    EXPECT_EQ(suggested->nChannels, 2);
    EXPECT_EQ(suggested->nSamplesPerSec, 32000u);
    EXPECT_EQ(suggested->wBitsPerSample, 16);
    EXPECT_EQ(suggested->nBlockAlign, 4);
    EXPECT_EQ(suggested->nAvgBytesPerSec, 128000u);

    MPEGLAYER3WAVEFORMAT mono = Mp3(1);
    ASSERT_EQ(acmFormatSuggest(nullptr, &mono.wfx, suggested, 30, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(suggested->nChannels, 1);

    // What the caller fixed must be what the decoder gives.
    suggested->wFormatTag = 0x0002;
    EXPECT_EQ(acmFormatSuggest(nullptr, &source.wfx, suggested, 30, ACM_FORMATSUGGESTF_WFORMATTAG),
              ACMERR_NOTPOSSIBLE);
    suggested->wFormatTag = WAVE_FORMAT_PCM;
    suggested->wBitsPerSample = 8;
    EXPECT_EQ(acmFormatSuggest(nullptr, &source.wfx, suggested, 30,
                               ACM_FORMATSUGGESTF_WFORMATTAG | ACM_FORMATSUGGESTF_WBITSPERSAMPLE),
              ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(acmFormatSuggest(nullptr, &source.wfx, suggested, 10, 0), MMSYSERR_INVALPARAM);
}

TEST(AcmFormats, FormatsFromDamagedFilesAreRefusedNotFollowed) {
    WAVEFORMATEX pcm = Pcm();
    for (MPEGLAYER3WAVEFORMAT source :
         {Mp3(0), Mp3(3), Mp3(2, 0), Mp3(2, 44101), Mp3(2, 44100, 0)}) {
        WAVEFORMATEX suggested{};
        EXPECT_EQ(acmFormatSuggest(nullptr, &source.wfx, &suggested, sizeof(suggested), 0),
                  ACMERR_NOTPOSSIBLE);
        EXPECT_EQ(acmStreamOpen(nullptr, nullptr, &source.wfx, &pcm, nullptr, 0, 0,
                                ACM_STREAMOPENF_QUERY | ACM_STREAMOPENF_NONREALTIME),
                  ACMERR_NOTPOSSIBLE);
    }
    // A destination that is not what the decoder gives.
    MPEGLAYER3WAVEFORMAT source = Mp3();
    for (WAVEFORMATEX destination : {Pcm(1), Pcm(2, 22050)}) {
        EXPECT_EQ(acmStreamOpen(nullptr, nullptr, &source.wfx, &destination, nullptr, 0, 0,
                                ACM_STREAMOPENF_QUERY),
                  ACMERR_NOTPOSSIBLE);
    }
    // A conversion no codec here makes.
    WAVEFORMATEX other = Pcm();
    other.wFormatTag = 0x0161;
    EXPECT_EQ(acmStreamOpen(nullptr, nullptr, &other, &pcm, nullptr, 0, 0, ACM_STREAMOPENF_QUERY),
              ACMERR_NOTPOSSIBLE);
}

TEST(AcmStreams, AQueryOpensNothingAndARealOpenGivesAHandle) {
    MPEGLAYER3WAVEFORMAT source = Mp3();
    WAVEFORMATEX pcm = Pcm();
    HACMSTREAM stream = reinterpret_cast<HACMSTREAM>(0x1);
    EXPECT_EQ(acmStreamOpen(&stream, nullptr, &source.wfx, &pcm, nullptr, 0, 0,
                            ACM_STREAMOPENF_QUERY | ACM_STREAMOPENF_NONREALTIME),
              MMSYSERR_NOERROR);
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(acmStreamOpen(nullptr, nullptr, &source.wfx, &pcm, nullptr, 0, 0, 0),
              MMSYSERR_INVALPARAM);
    EXPECT_EQ(
        acmStreamOpen(&stream, nullptr, &source.wfx, &pcm, nullptr, 0, 0, ACM_STREAMOPENF_ASYNC),
        ACMERR_NOTPOSSIBLE);
    ASSERT_EQ(acmStreamOpen(&stream, nullptr, &source.wfx, &pcm, nullptr, 0, 0,
                            ACM_STREAMOPENF_NONREALTIME),
              MMSYSERR_NOERROR);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(acmStreamClose(stream, 0), MMSYSERR_NOERROR);
    // Closed: every call refuses the handle instead of following it.
    DWORD size = 0;
    EXPECT_EQ(acmStreamClose(stream, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(acmStreamSize(stream, 100, &size, ACM_STREAMSIZEF_SOURCE), MMSYSERR_INVALHANDLE);
    ACMSTREAMHEADER header{};
    header.cbStruct = sizeof(header);
    EXPECT_EQ(acmStreamConvert(stream, &header, 0), MMSYSERR_INVALHANDLE);
}

class AcmHeaders : public ::testing::Test {
protected:
    void SetUp() override {
        MPEGLAYER3WAVEFORMAT source = Mp3();
        WAVEFORMATEX pcm = Pcm();
        ASSERT_EQ(acmStreamOpen(&m_stream, nullptr, &source.wfx, &pcm, nullptr, 0, 0,
                                ACM_STREAMOPENF_NONREALTIME),
                  MMSYSERR_NOERROR);
        m_header.cbStruct = sizeof(m_header);
        m_header.pbSrc = m_source.data();
        m_header.cbSrcLength = static_cast<DWORD>(m_source.size());
        m_header.pbDst = m_destination.data();
        m_header.cbDstLength = static_cast<DWORD>(m_destination.size());
    }
    void TearDown() override { acmStreamClose(m_stream, 0); }

    HACMSTREAM m_stream = nullptr;
    std::vector<BYTE> m_source = std::vector<BYTE>(3200);
    std::vector<BYTE> m_destination = std::vector<BYTE>(35280);
    ACMSTREAMHEADER m_header{};
};

TEST_F(AcmHeaders, ConvertingNeedsAPreparedHeaderThatDidNotGrow) {
    EXPECT_EQ(acmStreamConvert(m_stream, &m_header, 0), ACMERR_UNPREPARED);
    EXPECT_EQ(acmStreamUnprepareHeader(m_stream, &m_header, 0), ACMERR_UNPREPARED);
    ASSERT_EQ(acmStreamPrepareHeader(m_stream, &m_header, 0), MMSYSERR_NOERROR);
    EXPECT_NE(m_header.fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED, 0u);

    m_header.cbDstLength += 1;
    EXPECT_EQ(acmStreamConvert(m_stream, &m_header, 0), MMSYSERR_INVALPARAM);
    m_header.cbDstLength -= 1;
    m_header.cbSrcLength = 0; // shrinking is fine
    EXPECT_EQ(acmStreamConvert(m_stream, &m_header, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(m_header.cbDstLengthUsed, 0u);
    EXPECT_NE(m_header.fdwStatus & ACMSTREAMHEADER_STATUSF_DONE, 0u);
    EXPECT_EQ(acmStreamConvert(m_stream, &m_header, 0x8000), MMSYSERR_INVALFLAG);

    // A header prepared on one stream is not another's.
    MPEGLAYER3WAVEFORMAT source = Mp3();
    WAVEFORMATEX pcm = Pcm();
    HACMSTREAM other = nullptr;
    ASSERT_EQ(acmStreamOpen(&other, nullptr, &source.wfx, &pcm, nullptr, 0, 0, 0),
              MMSYSERR_NOERROR);
    EXPECT_EQ(acmStreamConvert(other, &m_header, 0), MMSYSERR_INVALPARAM);
    acmStreamClose(other, 0);

    EXPECT_EQ(acmStreamUnprepareHeader(m_stream, &m_header, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(m_header.fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED, 0u);
}

TEST_F(AcmHeaders, SizesFollowTheDeclaredBitRateAndNeverOverflow) {
    DWORD size = 0;
    ASSERT_EQ(acmStreamSize(m_stream, 35280, &size, ACM_STREAMSIZEF_DESTINATION), MMSYSERR_NOERROR);
    EXPECT_EQ(size, 3200u);
    // The source size of 200 ms holds room for its PCM and a frame held over.
    ASSERT_EQ(acmStreamSize(m_stream, 3200, &size, ACM_STREAMSIZEF_SOURCE), MMSYSERR_NOERROR);
    EXPECT_GE(size, 35280u + 1152 * 4);
    EXPECT_EQ(size % 4, 0u);
    EXPECT_EQ(acmStreamSize(m_stream, 0xFFFFFFFF, &size, ACM_STREAMSIZEF_SOURCE),
              ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(acmStreamSize(m_stream, 2, &size, ACM_STREAMSIZEF_DESTINATION), ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(acmStreamSize(m_stream, 2, nullptr, ACM_STREAMSIZEF_SOURCE), MMSYSERR_INVALPARAM);
    EXPECT_EQ(acmStreamSize(m_stream, 2, &size, 7), MMSYSERR_INVALFLAG);
}

TEST(AcmStreamMemory, AStreamThatIsNeverReadOutStopsTakingInput) {
    MPEGLAYER3WAVEFORMAT source = Mp3();
    WAVEFORMATEX pcm = Pcm();
    HACMSTREAM stream = nullptr;
    ASSERT_EQ(acmStreamOpen(&stream, nullptr, &source.wfx, &pcm, nullptr, 0, 0, 0),
              MMSYSERR_NOERROR);
    std::vector<BYTE> input(1 << 20, 0xFF);
    ACMSTREAMHEADER header{};
    header.cbStruct = sizeof(header);
    header.pbSrc = input.data();
    header.cbSrcLength = static_cast<DWORD>(input.size());
    ASSERT_EQ(acmStreamPrepareHeader(stream, &header, 0), MMSYSERR_NOERROR);
    std::uint64_t taken = 0;
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(acmStreamConvert(stream, &header, 0), MMSYSERR_NOERROR);
        taken += header.cbSrcLengthUsed;
    }
    EXPECT_EQ(taken, 8u << 20);
    EXPECT_EQ(header.cbSrcLengthUsed, 0u);
    acmStreamUnprepareHeader(stream, &header, 0);
    acmStreamClose(stream, 0);
}

} // namespace
