#include "AudioTestFiles.h"
#include "mmsystem.h"
#include "msacm.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

WAVEFORMATEX Pcm(WORD channels, DWORD rate, WORD bits = 16) {
    const auto align = static_cast<WORD>(channels * bits / 8);
    return WAVEFORMATEX{WAVE_FORMAT_PCM, channels, rate, rate * align, align, bits, 0};
}

MMRESULT Suggest(const WAVEFORMATEX& source, MPEGLAYER3WAVEFORMAT& mp3) {
    std::memset(&mp3, 0, sizeof mp3);
    mp3.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    WAVEFORMATEX in = source;
    return acmFormatSuggest(nullptr, &in, &mp3.wfx, sizeof mp3, ACM_FORMATSUGGESTF_WFORMATTAG);
}

// Encodes pcm through one stream, handing it over in blocks of block bytes (a block's bytes
// not taken go again at the front of the next) into output blocks of outBlock bytes; 0 for
// the size acmStreamSize gives.
std::vector<BYTE> Encode(const std::vector<std::int16_t>& samples, WORD channels, DWORD rate,
                         DWORD block, DWORD outBlock = 0) {
    WAVEFORMATEX pcm = Pcm(channels, rate);
    MPEGLAYER3WAVEFORMAT mp3{};
    EXPECT_EQ(Suggest(pcm, mp3), MMSYSERR_NOERROR);
    HACMSTREAM stream = nullptr;
    EXPECT_EQ(
        acmStreamOpen(&stream, nullptr, &pcm, &mp3.wfx, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME),
        MMSYSERR_NOERROR);
    if (stream == nullptr) {
        return {};
    }
    DWORD bound = 0;
    EXPECT_EQ(acmStreamSize(stream, block, &bound, ACM_STREAMSIZEF_SOURCE), MMSYSERR_NOERROR);
    if (outBlock == 0) {
        outBlock = bound;
    }
    const auto* bytes = reinterpret_cast<const BYTE*>(samples.data());
    const std::size_t total = samples.size() * 2;
    std::vector<BYTE> in(block);
    std::vector<BYTE> out(outBlock);
    ACMSTREAMHEADER header{};
    header.cbStruct = sizeof header;
    header.pbSrc = in.data();
    header.cbSrcLength = block;
    header.pbDst = out.data();
    header.cbDstLength = outBlock;
    EXPECT_EQ(acmStreamPrepareHeader(stream, &header, 0), MMSYSERR_NOERROR);
    std::vector<BYTE> result;
    std::size_t at = 0;
    DWORD flags = ACM_STREAMCONVERTF_START;
    while (at < total) {
        const DWORD n = static_cast<DWORD>(std::min<std::size_t>(block, total - at));
        std::memcpy(in.data(), bytes + at, n);
        header.cbSrcLength = n;
        header.cbDstLength = outBlock;
        EXPECT_EQ(acmStreamConvert(stream, &header, flags), MMSYSERR_NOERROR);
        flags = 0;
        EXPECT_LE(header.cbSrcLengthUsed, n);
        EXPECT_LE(header.cbDstLengthUsed, outBlock);
        if (header.cbSrcLengthUsed == 0 && header.cbDstLengthUsed == 0) {
            ADD_FAILURE() << "no progress";
            break;
        }
        at += header.cbSrcLengthUsed;
        result.insert(result.end(), out.begin(), out.begin() + header.cbDstLengthUsed);
    }
    for (int guard = 0; guard < 100000; ++guard) {
        header.cbSrcLength = 0;
        header.cbDstLength = outBlock;
        EXPECT_EQ(acmStreamConvert(stream, &header, ACM_STREAMCONVERTF_END), MMSYSERR_NOERROR);
        if (header.cbDstLengthUsed == 0) {
            break;
        }
        result.insert(result.end(), out.begin(), out.begin() + header.cbDstLengthUsed);
    }
    header.cbSrcLength = block;
    header.cbDstLength = outBlock;
    EXPECT_EQ(acmStreamUnprepareHeader(stream, &header, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(acmStreamClose(stream, 0), MMSYSERR_NOERROR);
    return result;
}

TEST(Mp3EncoderTest, SuggestsThe30ByteLayer3RecordAtTheSourcesRate) {
    MPEGLAYER3WAVEFORMAT mp3{};
    ASSERT_EQ(Suggest(Pcm(2, 44100), mp3), MMSYSERR_NOERROR);
    EXPECT_EQ(sizeof mp3, 30u);
    EXPECT_EQ(mp3.wfx.wFormatTag, WAVE_FORMAT_MPEGLAYER3);
    EXPECT_EQ(mp3.wfx.nChannels, 2);
    EXPECT_EQ(mp3.wfx.nSamplesPerSec, 44100u);
    EXPECT_EQ(mp3.wfx.nAvgBytesPerSec, 16000u);
    EXPECT_EQ(mp3.wfx.nBlockAlign, 1);
    EXPECT_EQ(mp3.wfx.wBitsPerSample, 0);
    EXPECT_EQ(mp3.wfx.cbSize, MPEGLAYER3_WFX_EXTRA_BYTES);
    EXPECT_EQ(mp3.wID, MPEGLAYER3_ID_MPEG);
    EXPECT_EQ(mp3.nBlockSize, 417);
    EXPECT_EQ(mp3.nFramesPerBlock, 1);
    EXPECT_EQ(mp3.nCodecDelay, 1105);

    ASSERT_EQ(Suggest(Pcm(1, 22050), mp3), MMSYSERR_NOERROR);
    EXPECT_EQ(mp3.wfx.nChannels, 1);
    EXPECT_EQ(mp3.wfx.nSamplesPerSec, 22050u);
    EXPECT_EQ(mp3.wfx.nAvgBytesPerSec, 8000u);
    EXPECT_EQ(mp3.nBlockSize, 208);
}

TEST(Mp3EncoderTest, RefusesWhatLayer3CannotCarry) {
    MPEGLAYER3WAVEFORMAT mp3{};
    EXPECT_EQ(Suggest(Pcm(2, 44100, 8), mp3), ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(Suggest(Pcm(2, 44100, 24), mp3), ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(Suggest(Pcm(2, 96000), mp3), ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(Suggest(Pcm(3, 44100), mp3), ACMERR_NOTPOSSIBLE);
    WAVEFORMATEX odd = Pcm(2, 44100);
    odd.nBlockAlign = 3;
    EXPECT_EQ(Suggest(odd, mp3), ACMERR_NOTPOSSIBLE);
    // A stream to a bit rate this layer does not have is refused too.
    WAVEFORMATEX pcm = Pcm(2, 44100);
    ASSERT_EQ(Suggest(pcm, mp3), MMSYSERR_NOERROR);
    mp3.wfx.nAvgBytesPerSec = 15000;
    EXPECT_EQ(acmStreamOpen(nullptr, nullptr, &pcm, &mp3.wfx, nullptr, 0, 0, ACM_STREAMOPENF_QUERY),
              ACMERR_NOTPOSSIBLE);
}

TEST(Mp3EncoderTest, AnyBlockSizeGivesTheSameFrames) {
    const auto samples = audiotest::Signal(30000, 2, 44100);
    const std::vector<BYTE> whole = Encode(samples, 2, 44100, 120000);
    ASSERT_GT(whole.size(), 4000u);
    EXPECT_EQ(whole[0], 0xFF);
    EXPECT_EQ(whole[1] & 0xE0, 0xE0) << "starts with a frame, no tag";
    EXPECT_EQ(Encode(samples, 2, 44100, 1024), whole);
    // Blocks that end inside a sample frame, and output blocks far smaller than a frame.
    EXPECT_EQ(Encode(samples, 2, 44100, 1023), whole);
    EXPECT_EQ(Encode(samples, 2, 44100, 4096, 7), whole);
    EXPECT_EQ(Encode(samples, 2, 44100, 1024, 1), whole);
}

TEST(Mp3EncoderTest, TheEndFlushBringsTheLastSamples) {
    // 128 kbit/s at 44100 Hz: 417.96 bytes a frame of 1152 samples. Every sample must be in a
    // frame, after the encoder's delay of 576.
    for (const std::size_t frames : {std::size_t{1}, std::size_t{1152}, std::size_t{44100}}) {
        const auto bytes = Encode(audiotest::Signal(frames, 2, 44100), 2, 44100, 1024).size();
        const double mp3Frames = static_cast<double>(bytes) / (128000.0 * 1152 / 44100 / 8);
        EXPECT_GE(mp3Frames * 1152, double(frames + 576) - 1) << frames;
        EXPECT_LE(mp3Frames * 1152, double(frames + 576 + 2 * 1152)) << frames;
    }
    const auto mono = Encode(audiotest::Signal(5000, 1, 22050), 1, 22050, 1000);
    EXPECT_GT(mono.size(), 0u);
}

} // namespace
