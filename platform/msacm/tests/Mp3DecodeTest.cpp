// Decoding MPEG Layer-3 through the msacm calls gives what mpg123 gives for the same file,
// however the stream is cut into conversions.

#include "Mp3Fixture.h"
#include "msacm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

using mp3fixture::Encoded;

// Decodes mp3 as a player does: source chunks of chunk bytes into a destination of
// destinationSize bytes, then drains with empty conversions marked END.
std::vector<std::uint8_t> Decode(const std::vector<std::uint8_t>& mp3, MPEGLAYER3WAVEFORMAT format,
                                 std::size_t chunk, std::size_t destinationSize,
                                 MMRESULT* failure = nullptr) {
    WAVEFORMATEX pcm = mp3fixture::PcmFor(format);
    HACMSTREAM stream = nullptr;
    EXPECT_EQ(acmStreamOpen(&stream, nullptr, &format.wfx, &pcm, nullptr, 0, 0,
                            ACM_STREAMOPENF_NONREALTIME),
              MMSYSERR_NOERROR);
    std::vector<BYTE> source(chunk);
    std::vector<BYTE> destination(destinationSize);
    ACMSTREAMHEADER header{};
    header.cbStruct = sizeof(header);
    header.pbSrc = source.data();
    header.cbSrcLength = static_cast<DWORD>(source.size());
    header.pbDst = destination.data();
    header.cbDstLength = static_cast<DWORD>(destination.size());
    EXPECT_EQ(acmStreamPrepareHeader(stream, &header, 0), MMSYSERR_NOERROR);

    std::vector<std::uint8_t> out;
    std::size_t at = 0;
    MMRESULT result = MMSYSERR_NOERROR;
    DWORD flags = ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_BLOCKALIGN;
    std::size_t pending = 0; // bytes of source the stream did not take last time
    while (result == MMSYSERR_NOERROR) {
        const std::size_t take = std::min(chunk - pending, mp3.size() - at);
        std::copy_n(mp3.begin() + static_cast<std::ptrdiff_t>(at), take, source.begin() + pending);
        at += take;
        header.cbSrcLength = static_cast<DWORD>(pending + take);
        const bool last = at == mp3.size();
        if (last) {
            flags |= ACM_STREAMCONVERTF_END;
        }
        result = acmStreamConvert(stream, &header, flags);
        flags = ACM_STREAMCONVERTF_BLOCKALIGN;
        EXPECT_NE(header.fdwStatus & ACMSTREAMHEADER_STATUSF_DONE, 0u);
        EXPECT_LE(header.cbSrcLengthUsed, header.cbSrcLength);
        EXPECT_LE(header.cbDstLengthUsed, header.cbDstLength);
        EXPECT_EQ(header.cbDstLengthUsed % pcm.nBlockAlign, 0u);
        out.insert(out.end(), destination.begin(),
                   destination.begin() + static_cast<std::ptrdiff_t>(header.cbDstLengthUsed));
        // What was not taken is offered again, as msacm's callers do.
        pending = header.cbSrcLength - header.cbSrcLengthUsed;
        std::copy_n(source.begin() + static_cast<std::ptrdiff_t>(header.cbSrcLengthUsed), pending,
                    source.begin());
        if (last && pending == 0 && header.cbDstLengthUsed == 0) {
            break;
        }
    }
    if (failure != nullptr) {
        *failure = result;
    }
    header.cbSrcLength = static_cast<DWORD>(source.size());
    header.cbDstLength = static_cast<DWORD>(destination.size());
    EXPECT_EQ(acmStreamUnprepareHeader(stream, &header, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(acmStreamClose(stream, 0), MMSYSERR_NOERROR);
    return out;
}

class Mp3Decode : public ::testing::Test {
protected:
    void SetUp() override {
        if (!mp3fixture::HaveTools()) {
            GTEST_SKIP() << "sox, lame or mpg123 is not installed: no MPEG Layer-3 fixtures";
        }
    }
};

TEST_F(Mp3Decode, AnyCuttingOfTheStreamGivesWhatMpg123Gives) {
    const Encoded encoded = mp3fixture::Make("stereo44", 2.0, 44100, 2, 128);
    ASSERT_FALSE(encoded.mp3.empty());
    ASSERT_FALSE(encoded.reference.empty());
    // The player's own sizes (source for 200 ms of output), tiny ones, and all at once.
    DWORD playerSource = 0;
    {
        MPEGLAYER3WAVEFORMAT format = encoded.format;
        WAVEFORMATEX pcm = mp3fixture::PcmFor(format);
        HACMSTREAM stream = nullptr;
        ASSERT_EQ(acmStreamOpen(&stream, nullptr, &format.wfx, &pcm, nullptr, 0, 0,
                                ACM_STREAMOPENF_NONREALTIME),
                  MMSYSERR_NOERROR);
        ASSERT_EQ(acmStreamSize(stream, 35280, &playerSource, ACM_STREAMSIZEF_DESTINATION),
                  MMSYSERR_NOERROR);
        EXPECT_EQ(playerSource, 3200u);
        acmStreamClose(stream, 0);
    }
    const struct {
        std::size_t chunk;
        std::size_t destination;
    } cuts[] = {
        {playerSource, 35280},        {1, 4608}, {417, 4}, {7, 100000}, {encoded.mp3.size(), 35280},
        {encoded.mp3.size(), 8 << 20}};
    for (const auto& cut : cuts) {
        SCOPED_TRACE(testing::Message()
                     << "chunk " << cut.chunk << ", destination " << cut.destination);
        const std::vector<std::uint8_t> decoded =
            Decode(encoded.mp3, encoded.format, cut.chunk, cut.destination);
        ASSERT_EQ(decoded.size(), encoded.reference.size());
        EXPECT_TRUE(decoded == encoded.reference);
    }
}

TEST_F(Mp3Decode, MonoAndOtherRatesDecodeLikeMpg123) {
    for (const auto& [rate, channels, kbps] :
         {std::tuple{22050u, 1u, 64u}, std::tuple{48000u, 2u, 192u}, std::tuple{32000u, 1u, 48u}}) {
        SCOPED_TRACE(testing::Message() << rate << " Hz, " << channels << " channels");
        const Encoded encoded =
            mp3fixture::Make("tone" + std::to_string(rate) + "_" + std::to_string(channels), 1.0,
                             rate, channels, kbps);
        ASSERT_FALSE(encoded.mp3.empty());
        const std::vector<std::uint8_t> decoded = Decode(encoded.mp3, encoded.format, 1000, 35280);
        EXPECT_TRUE(decoded == encoded.reference)
            << decoded.size() << " bytes against " << encoded.reference.size();
    }
}

TEST_F(Mp3Decode, TruncatedOrDamagedStreamsEndWithoutOverrunningTheirBuffers) {
    const Encoded encoded = mp3fixture::Make("damage", 1.0, 44100, 2, 128);
    ASSERT_FALSE(encoded.mp3.empty());
    // Cut in the middle of a frame: what comes out is the start of the full decoding.
    std::vector<std::uint8_t> cut(encoded.mp3.begin(),
                                  encoded.mp3.begin() +
                                      static_cast<std::ptrdiff_t>(encoded.mp3.size() / 2 + 101));
    const std::vector<std::uint8_t> half = Decode(cut, encoded.format, 3200, 35280);
    ASSERT_GT(half.size(), encoded.reference.size() / 4);
    ASSERT_LT(half.size(), encoded.reference.size());
    EXPECT_TRUE(std::equal(half.begin(),
                           half.begin() + static_cast<std::ptrdiff_t>(half.size() / 2),
                           encoded.reference.begin()));

    // Garbage in the middle and a run of zeros: decoding goes on or fails, and never reads
    // or writes outside the buffers (the sanitizer builds check that).
    std::vector<std::uint8_t> damaged = encoded.mp3;
    for (std::size_t i = damaged.size() / 3; i < damaged.size() / 3 + 700; ++i) {
        damaged[i] = static_cast<std::uint8_t>(i * 37 + 11);
    }
    std::fill(damaged.begin() + static_cast<std::ptrdiff_t>(damaged.size() * 2 / 3),
              damaged.begin() + static_cast<std::ptrdiff_t>(damaged.size() * 2 / 3 + 900), 0);
    MMRESULT failure = MMSYSERR_NOERROR;
    const std::vector<std::uint8_t> decoded =
        Decode(damaged, encoded.format, 3200, 35280, &failure);
    EXPECT_LE(decoded.size(), encoded.reference.size() + 4 * 1152 * 4);

    // No MPEG audio at all gives nothing.
    const std::vector<std::uint8_t> noise(20000, 0x5A);
    EXPECT_TRUE(Decode(noise, encoded.format, 3200, 35280).empty());
}

} // namespace
