#include "AudioTestFiles.h"
#include "CWmaCompress.h"
#include "MappedFiles.h"
#include "TestHome.h"

#include <QFile>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace {

QByteArray Name(const QString& path) {
    return QFile::encodeName(path);
}

bool FfmpegLoaded() {
    return IsMapped("libavcodec.so");
}

// Taken before any test runs: linking the library must not bring FFmpeg in.
const bool g_ffmpegAtStart = FfmpegLoaded();

// FFmpeg and the libraries behind it cost a start-up of their own; they come with the codec
// module, when the first file is compressed (or decoded), and not before.
TEST(WmaCompressTest, FfmpegIsLoadedOnlyWhenFirstNeeded) {
    EXPECT_FALSE(g_ffmpegAtStart);
    const QString folder = MakeTestFolder(QStringLiteral("wma-load"));
    const QString source = folder + QStringLiteral("/short.wav");
    ASSERT_TRUE(audiotest::WriteFile(
        source, audiotest::WaveImage(audiotest::Signal(4410, 2, 44100), 2, 44100)));
    CWmaCompress compress;
    ASSERT_EQ(compress.Convert(Name(source).constData(),
                               Name(folder + QStringLiteral("/short.wma")).constData()),
              S_OK);
    EXPECT_TRUE(FfmpegLoaded());
}

TEST(WmaCompressTest, WritesWma2InAsfAt128kStereo) {
    const QString folder = MakeTestFolder(QStringLiteral("wma"));
    // A mono source at another rate comes out as stereo at 44.1 kHz all the same.
    const auto samples = audiotest::Signal(22050, 1, 22050);
    // Names are paths, whatever they hold: a colon is no protocol.
    const QString source = folder + QStringLiteral("/pipe:モノ 1.wav");
    ASSERT_TRUE(audiotest::WriteFile(source, audiotest::WaveImage(samples, 1, 22050)));
    const QString destination = folder + QStringLiteral("/pipe:モノ 1.wma");
    CWmaCompress compress;
    ASSERT_EQ(compress.Convert(Name(source).constData(), Name(destination).constData()), S_OK);
    EXPECT_DOUBLE_EQ(compress.GetProgress(), 1.0);
    const auto probe = audiotest::FfProbe(destination);
    ASSERT_TRUE(probe.has_value());
    EXPECT_EQ(probe->codec, QStringLiteral("wmav2"));
    EXPECT_EQ(probe->channels, 2);
    EXPECT_EQ(probe->rate, 44100);
    EXPECT_NEAR(probe->duration, 1.0, 0.05);
    EXPECT_EQ(probe->tags, QString());
}

TEST(WmaCompressTest, FailuresLeaveNoFile) {
    const QString folder = MakeTestFolder(QStringLiteral("wma-fail"));
    const QString destination = folder + QStringLiteral("/out.wma");
    CWmaCompress compress;
    const QString text = folder + QStringLiteral("/text.wav");
    ASSERT_TRUE(audiotest::WriteFile(text, QByteArray("plain text, no RIFF")));
    EXPECT_LT(compress.Convert(Name(text).constData(), Name(destination).constData()), 0);
    EXPECT_LT(compress.Convert(Name(folder + QStringLiteral("/missing.wav")).constData(),
                               Name(destination).constData()),
              0);
    // A WAV file cut short of the samples its header announces.
    const QString cut = folder + QStringLiteral("/cut.wav");
    ASSERT_TRUE(audiotest::WriteFile(
        cut, audiotest::WaveImage(audiotest::Signal(4410, 2, 44100), 2, 44100, 100000)));
    EXPECT_EQ(compress.Convert(Name(cut).constData(), Name(destination).constData()),
              WMACONV_E_DECODE);
    EXPECT_FALSE(QFile::exists(destination));
    EXPECT_LT(compress.Convert(Name(cut).constData(),
                               Name(folder + QStringLiteral("/no/such/folder.wma")).constData()),
              0);
    EXPECT_LT(compress.Convert(nullptr, Name(destination).constData()), 0);
}

// A rate far from any the devices take is refused at once: at 1 Hz the few bytes of a
// damaged header would become hours of music to encode, at 2 GHz a resampler of millions of
// taps. The lowest rate taken still converts.
TEST(WmaCompressTest, SourcesAtRatesNoDeviceTakesAreRefusedAtOnce) {
    const QString folder = MakeTestFolder(QStringLiteral("wma-rates"));
    const QString destination = folder + QStringLiteral("/out.wma");
    CWmaCompress compress;
    for (const int rate : {1, 999, 192001, 2000000000}) {
        SCOPED_TRACE(rate);
        const QString source = folder + QStringLiteral("/odd.wav");
        ASSERT_TRUE(audiotest::WriteFile(
            source, audiotest::WaveImage(audiotest::Signal(4000, 1, 1000), 1, rate)));
        EXPECT_EQ(compress.Convert(Name(source).constData(), Name(destination).constData()),
                  WMACONV_E_FORMAT);
        EXPECT_FALSE(QFile::exists(destination));
    }
    const QString lowest = folder + QStringLiteral("/lowest.wav");
    ASSERT_TRUE(audiotest::WriteFile(
        lowest, audiotest::WaveImage(audiotest::Signal(500, 1, 1000), 1, 1000)));
    ASSERT_EQ(compress.Convert(Name(lowest).constData(), Name(destination).constData()), S_OK);
    const auto probe = audiotest::FfProbe(destination);
    ASSERT_TRUE(probe.has_value());
    EXPECT_NEAR(probe->duration, 0.5, 0.05);
}

TEST(WmaCompressTest, AFileThatCannotBeWrittenWholeIsAFailure) {
    const QString folder = MakeTestFolder(QStringLiteral("wma-full"));
    const QString source = folder + QStringLiteral("/take.wav");
    ASSERT_TRUE(audiotest::WriteFile(
        source, audiotest::WaveImage(audiotest::Signal(44100 * 2, 2, 44100), 2, 44100)));
    const QString destination = folder + QStringLiteral("/take.wma");
    // Files of this process may not grow beyond 8 KiB: the disk is full for the copy.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 8192;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    CWmaCompress compress;
    const HRESULT result =
        compress.Convert(Name(source).constData(), Name(destination).constData());
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_LT(result, 0);
    EXPECT_FALSE(QFile::exists(destination));
}

} // namespace
