#include "AudioFiles.h"
#include "CAudioPlay.h"
#include "CWaveLayout.h"

#include <cstdio>
#include <gtest/gtest.h>

namespace {

CWaveLayout LayoutOf(QByteArray image) {
    std::FILE* file = fmemopen(image.data(), static_cast<std::size_t>(image.size()), "rb");
    EXPECT_NE(file, nullptr);
    const CWaveLayout layout = CWaveLayout::Read(file);
    std::fclose(file);
    return layout;
}

const QByteArray kSecond = RampFrames(44100);

TEST(WaveLayout, SixteenBitStereoPcmAtAnyRateIsTakenWithItsDuration) {
    const CWaveLayout cd = LayoutOf(WaveImage(kSecond));
    EXPECT_EQ(cd.Kind(), CWaveLayout::kPcm);
    EXPECT_EQ(cd.DataSize(), 176400u);
    EXPECT_EQ(cd.DurationMs(), 1000u);

    const CWaveLayout half = LayoutOf(WaveImage(kSecond, 22050));
    EXPECT_EQ(half.Kind(), CWaveLayout::kPcm);
    EXPECT_EQ(half.Format().nSamplesPerSec, 22050u);
    EXPECT_EQ(half.Format().nAvgBytesPerSec, 88200u);
    EXPECT_EQ(half.DurationMs(), 2000u);
}

TEST(WaveLayout, OtherPcmShapesAndChunksInBetweenAreRefused) {
    EXPECT_EQ(LayoutOf(WaveImage(RampFrames(100, 1), 44100, 1)).Kind(), CWaveLayout::kUnplayable);
    EXPECT_EQ(LayoutOf(WaveImage(kSecond, 44100, 2, 8)).Kind(), CWaveLayout::kUnplayable);
    EXPECT_EQ(LayoutOf(WaveImage(kSecond, 44100, 2, 24)).Kind(), CWaveLayout::kUnplayable);
    EXPECT_EQ(LayoutOf(WaveImage(kSecond, 44100, 2, 16, 3)).Kind(), CWaveLayout::kUnplayable);
    QByteArray list("LIST");
    list += QByteArray("\x04\0\0\0INFO", 8);
    EXPECT_EQ(LayoutOf(WaveImage(kSecond, 44100, 2, 16, 1, list)).Kind(), CWaveLayout::kUnplayable);
    // A chunk before "fmt ".
    QByteArray image = WaveImage(kSecond);
    image.insert(12, QByteArray("junk\x04\0\0\0abcd", 12));
    EXPECT_EQ(LayoutOf(image).Kind(), CWaveLayout::kUnplayable);
    // No sound, or no rate to play it at.
    EXPECT_EQ(LayoutOf(WaveImage({})).Kind(), CWaveLayout::kUnplayable);
    EXPECT_EQ(LayoutOf(WaveImage(kSecond, 0)).Kind(), CWaveLayout::kUnplayable);
    EXPECT_EQ(LayoutOf(WaveImage(kSecond, 0)).DurationMs(), 0u);
}

TEST(WaveLayout, OnlyRiffGoesToThePlayerOfItsOwnAndShortFilesAreNotRiff) {
    EXPECT_EQ(LayoutOf(QByteArray("ID3\x04", 4) + kSecond).Kind(), CWaveLayout::kNotRiff);
    EXPECT_EQ(LayoutOf(QByteArray("RI")).Kind(), CWaveLayout::kNotRiff);
    EXPECT_EQ(LayoutOf(QByteArray()).Kind(), CWaveLayout::kNotRiff);
    EXPECT_EQ(LayoutOf(QByteArray("RIFF")).Kind(), CWaveLayout::kUnplayable);
    EXPECT_EQ(LayoutOf(QByteArray("RIFF\xff\xff\xff\xffWAVEfmt \xff\xff\xff\xff", 20)).Kind(),
              CWaveLayout::kUnplayable);
}

TEST(WaveLayout, ACutOffFileCountsOnlyTheSoundItHolds) {
    // The header promises ten seconds; 0.5 s and half a frame are there.
    const QByteArray sound = RampFrames(22050) + QByteArray("\x01\x02", 2);
    const CWaveLayout cut = LayoutOf(WaveImage(sound, 44100, 2, 16, 1, {}, 1764000));
    EXPECT_EQ(cut.Kind(), CWaveLayout::kPcm);
    EXPECT_EQ(cut.DataSize(), 88200u);
    EXPECT_EQ(cut.DurationMs(), 500u);
    // A streaming writer's size of "unknown".
    EXPECT_EQ(LayoutOf(WaveImage(sound, 44100, 2, 16, 1, {}, 0xFFFFFFFF)).DataSize(), 88200u);
}

TEST(WaveLayout, MpegLayer3KeepsItsFormatRecordAndTimesByTheByteRate) {
    const QByteArray mp3(16000, '\x55');
    const CWaveLayout layout = LayoutOf(MpegLayer3WaveImage(mp3, 44100, 2, 16000));
    ASSERT_EQ(layout.Kind(), CWaveLayout::kMpegLayer3);
    EXPECT_EQ(layout.DurationMs(), 1000u);
    EXPECT_EQ(layout.MpegFormat()[0], 0x55);
    EXPECT_EQ(layout.MpegFormat()[16], 12); // the record's extra size
    // A byte rate of 0 times nothing.
    EXPECT_EQ(LayoutOf(MpegLayer3WaveImage(mp3, 44100, 2, 0)).Kind(), CWaveLayout::kUnplayable);
}

TEST(LevelMeter, StepsFollowTheSquareRootOfThePeak) {
    EXPECT_EQ(CAudioPlay::LevelOfPeak(0), 0u);
    EXPECT_EQ(CAudioPlay::LevelOfPeak(1000), 3u);
    EXPECT_EQ(CAudioPlay::LevelOfPeak(10000), 11u);
    EXPECT_EQ(CAudioPlay::LevelOfPeak(32767), 20u);
    EXPECT_EQ(CAudioPlay::LevelOfPeak(32768), 20u);
    EXPECT_EQ(CAudioPlay::LevelOfPeak(1000000), 20u);
}

TEST(LevelMeter, EachChannelHasItsOwnPeakAndFullScaleIsTwenty) {
    const auto frames = [](std::initializer_list<std::int16_t> samples) {
        QByteArray out;
        for (const std::int16_t s : samples) {
            out.append(static_cast<char>(s & 0xFF));
            out.append(static_cast<char>((s >> 8) & 0xFF));
        }
        return out;
    };
    E_AUDLEVELOUT left = AUDLEVELOUT_MAX;
    E_AUDLEVELOUT right = AUDLEVELOUT_MAX;
    const QByteArray silence(35280, '\0');
    CAudioPlay::MeasureLevels(silence.constData(), silence.size(), left, right);
    EXPECT_EQ(left, 0u);
    EXPECT_EQ(right, 0u);
    const QByteArray full = frames({32767, -32768, -32768, 32767});
    CAudioPlay::MeasureLevels(full.constData(), full.size(), left, right);
    EXPECT_EQ(left, 20u);
    EXPECT_EQ(right, 20u);
    const QByteArray mixed = frames({1000, 0, -10000, 50});
    CAudioPlay::MeasureLevels(mixed.constData(), mixed.size(), left, right);
    EXPECT_EQ(left, 11u);
    EXPECT_EQ(right, 0u);
    // A partial frame at the end is not read.
    const QByteArray partial = frames({0, 0, 32767});
    CAudioPlay::MeasureLevels(partial.constData(), partial.size(), left, right);
    EXPECT_EQ(left, 0u);
}

} // namespace
