#include "AudioTestFiles.h"
#include "CAudioCodec.h"
#include "QtPrinters.h"
#include "TestHome.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kRate = 44100;
// Lags searched beyond the encoder's delay: a copy that starts later than that is wrong.
constexpr long kLagSlack = 64;
// ffprobe's duration may differ from the source's by this much.
constexpr double kDurationSlack = 0.050;

struct Format {
    const char* extension;
    const char* codec;
    long delay; // samples before the source's first sample in the decoded copy
};

class AudioCodecTest : public testing::TestWithParam<Format> {
protected:
    void SetUp() override { m_folder = MakeTestFolder(QStringLiteral("codec")); }

    QString Path(const QString& name) const { return m_folder + QLatin1Char('/') + name; }

    QString Source(const QString& name, const std::vector<std::int16_t>& samples,
                   std::uint32_t extra = 0) {
        const QString path = Path(name);
        EXPECT_TRUE(audiotest::WriteFile(path, audiotest::WaveImage(samples, 2, kRate, extra)));
        return path;
    }

    QStringList Files() const { return QDir(m_folder).entryList(QDir::Files | QDir::Hidden); }

    // The destination is a file of the expected codec, as long as the source, carrying it.
    void ExpectFaithful(const QString& destination, const std::vector<std::int16_t>& source) {
        const auto probe = audiotest::FfProbe(destination);
        ASSERT_TRUE(probe.has_value()) << qPrintable(destination);
        EXPECT_EQ(probe->codec, QString::fromLatin1(GetParam().codec));
        EXPECT_EQ(probe->channels, 2);
        EXPECT_EQ(probe->rate, kRate);
        EXPECT_NEAR(probe->duration, double(source.size() / 2) / kRate, kDurationSlack);
        EXPECT_EQ(probe->tags, QString()) << "the copy carries no metadata";
        const auto decoded = audiotest::FfDecode(destination);
        ASSERT_TRUE(decoded.has_value());
        const auto match = audiotest::Align(source, *decoded, GetParam().delay + kLagSlack, 8);
        EXPECT_EQ(match.lag, GetParam().delay);
        EXPECT_EQ(match.compared, 8u) << "the copy is shorter than the source";
        EXPECT_GT(match.worst, 0.9) << "a piece of the copy differs from the source";
    }

    QString m_folder;
};

TEST_P(AudioCodecTest, CopiesTheSourceWhateverTheCaseOfTheExtensions) {
    const auto samples = audiotest::Signal(kRate * 3 / 2, 2, kRate);
    const QString source = Source(QStringLiteral("take.WAV"), samples);
    const QString destination =
        Path(QStringLiteral("take.") + QString::fromLatin1(GetParam().extension).toUpper());
    CAudioCodec codec;
    EXPECT_EQ(codec.AudioCompress(source, destination).GetCode(), ERR_VESK_OK);
    EXPECT_DOUBLE_EQ(codec.GetProgress(), 1.0);
    ExpectFaithful(destination, samples);
    EXPECT_EQ(Files().size(), 2) << qPrintable(Files().join(QLatin1Char(' ')));
}

TEST_P(AudioCodecTest, CopiesToAnyNameTheFolderTakes) {
    const auto samples = audiotest::Signal(kRate * 3 / 2, 2, kRate);
    const QString extension = QLatin1Char('.') + QString::fromLatin1(GetParam().extension);
    // A leading dash, a colon, and a Japanese name as long as a file name may be in UTF-8
    // (83 characters of three bytes and the extension: 253 of 255 bytes).
    const QStringList names = {QStringLiteral("-take: 1") + extension,
                               QString(83, QChar(0x97F3)) + extension};
    for (const QString& name : names) {
        const QString source = Source(QStringLiteral("-録音:1.wav"), samples);
        const QString destination = Path(name);
        CAudioCodec codec;
        EXPECT_EQ(codec.AudioCompress(source, destination).GetCode(), ERR_VESK_OK)
            << qPrintable(name);
        ExpectFaithful(destination, samples);
        QFile::remove(source);
        EXPECT_EQ(Files(), QStringList{name}) << qPrintable(Files().join(QLatin1Char(' ')));
        QFile::remove(destination);
    }
}

TEST_P(AudioCodecTest, ConvertsALastPartialChunkWithoutRepeatingAudio) {
    // 1000 frames and a half: the data is neither a multiple of 1024 bytes nor of the frame.
    auto samples = audiotest::Signal(kRate + 1000, 2, kRate);
    QByteArray image = audiotest::WaveImage(samples, 2, kRate);
    image.append("\x11\x22", 2);
    const quint32 size = static_cast<quint32>(samples.size() * 2 + 2);
    for (int i = 0; i < 4; ++i) {
        image[40 + i] = static_cast<char>(size >> (8 * i));
        image[4 + i] = static_cast<char>((size + 36) >> (8 * i));
    }
    const QString source = Path(QStringLiteral("odd.wav"));
    ASSERT_TRUE(audiotest::WriteFile(source, image));
    const QString destination = Path(QStringLiteral("odd.") + GetParam().extension);
    CAudioCodec codec;
    ASSERT_EQ(codec.AudioCompress(source, destination).GetCode(), ERR_VESK_OK);
    ExpectFaithful(destination, samples);
}

TEST_P(AudioCodecTest, FailsOnSourcesThatAreNotWholeWaveFiles) {
    const auto samples = audiotest::Signal(kRate / 2, 2, kRate);
    QByteArray truncated = audiotest::WaveImage(samples, 2, kRate, 40000);
    const std::vector<std::pair<QString, QByteArray>> sources = {
        {QStringLiteral("text.wav"), QByteArray("not a wave file at all, just some words")},
        {QStringLiteral("empty.wav"), QByteArray()},
        {QStringLiteral("header.wav"), audiotest::WaveImage({}, 2, kRate).left(30)},
        {QStringLiteral("truncated.wav"), truncated},
    };
    for (const auto& [name, bytes] : sources) {
        const QString source = Path(name);
        ASSERT_TRUE(audiotest::WriteFile(source, bytes));
        const QString destination = Path(QStringLiteral("out.") + GetParam().extension);
        CAudioCodec codec;
        const CVeskError result = codec.AudioCompress(source, destination);
        EXPECT_EQ(result.GetCode(), ERR_VESK_REFUSED) << qPrintable(name);
        EXPECT_EQ(
            result.GetStr(),
            QStringLiteral("このオーディオファイルフォーマットは再生可能な形式ではありません。"));
        EXPECT_FALSE(QFile::exists(destination)) << qPrintable(name);
        QFile::remove(source);
        EXPECT_TRUE(Files().isEmpty())
            << qPrintable(name) << ": " << qPrintable(Files().join(QLatin1Char(' ')));
    }
    // A missing source, too.
    CAudioCodec codec;
    EXPECT_EQ(codec
                  .AudioCompress(Path(QStringLiteral("none.wav")),
                                 Path(QStringLiteral("none.") + GetParam().extension))
                  .GetCode(),
              ERR_VESK_REFUSED);
    EXPECT_TRUE(Files().isEmpty());
}

TEST_P(AudioCodecTest, FailsAtOnceOnSourcesThatAreNotRegularFiles) {
    const QString destination = Path(QStringLiteral("out.") + GetParam().extension);
    CAudioCodec codec;
    // A folder with a wave file's name.
    ASSERT_TRUE(QDir(m_folder).mkdir(QStringLiteral("folder.wav")));
    EXPECT_EQ(codec.AudioCompress(Path(QStringLiteral("folder.wav")), destination).GetCode(),
              ERR_VESK_REFUSED);
    EXPECT_FALSE(QFile::exists(destination));
    // A device that never ends, behind a link with a wave file's name.
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), Path(QStringLiteral("zero.wav"))));
    EXPECT_EQ(codec.AudioCompress(Path(QStringLiteral("zero.wav")), destination).GetCode(),
              ERR_VESK_REFUSED);
    EXPECT_FALSE(QFile::exists(destination));
    QFile::remove(Path(QStringLiteral("zero.wav")));

    // A named pipe nobody writes to: opening it for reading would wait for a writer forever.
    // Should the conversion block there, a writer comes after a generous deadline, so the test
    // ends and fails instead of hanging.
    const QByteArray fifo = QFile::encodeName(Path(QStringLiteral("pipe.wav")));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    std::atomic<bool> returned{false};
    std::atomic<bool> rescued{false};
    std::thread rescuer([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (!returned && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        while (!returned) {
            const int fd = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                rescued = true;
                ::close(fd);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    const E_ERR_VESK code = codec.AudioCompress(QFile::decodeName(fifo), destination).GetCode();
    returned = true;
    rescuer.join();
    EXPECT_EQ(code, ERR_VESK_REFUSED);
    EXPECT_FALSE(rescued) << "the conversion waited for a writer on the pipe";
    EXPECT_FALSE(QFile::exists(destination));
    EXPECT_TRUE(Files().isEmpty()) << qPrintable(Files().join(QLatin1Char(' ')));
}

TEST_P(AudioCodecTest, AFailureLeavesAnExistingDestinationAlone) {
    const QString source = Path(QStringLiteral("bad.wav"));
    ASSERT_TRUE(audiotest::WriteFile(source, QByteArray("RIFF....JUNK")));
    const QString destination = Path(QStringLiteral("kept.") + GetParam().extension);
    ASSERT_TRUE(audiotest::WriteFile(destination, QByteArray("an earlier copy")));
    CAudioCodec codec;
    EXPECT_EQ(codec.AudioCompress(source, destination).GetCode(), ERR_VESK_REFUSED);
    QFile kept(destination);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("an earlier copy"));
    EXPECT_EQ(Files().size(), 2);
}

TEST_P(AudioCodecTest, KeepsTheWindowThreadsMessagesFlowingAndReportsProgress) {
    const auto samples = audiotest::Signal(kRate * 2, 2, kRate);
    const QString source = Source(QStringLiteral("long.wav"), samples);
    const QString destination = Path(QStringLiteral("long.") + GetParam().extension);
    CAudioCodec codec;
    // Posted before the call: only a wait that dispatches messages delivers it in time. It
    // asks for a second conversion meanwhile, which this object must refuse.
    bool delivered = false;
    E_ERR_VESK nested = ERR_VESK_OK;
    std::vector<double> progress;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { progress.push_back(codec.GetProgress()); });
    ticker.start(1);
    QTimer::singleShot(0, [&] {
        delivered = true;
        nested = codec.AudioCompress(source, Path(QStringLiteral("nested.mp3"))).GetCode();
    });
    EXPECT_EQ(codec.AudioCompress(source, destination).GetCode(), ERR_VESK_OK);
    ticker.stop();
    EXPECT_TRUE(delivered);
    EXPECT_EQ(nested, ERR_VESK_REFUSED);
    EXPECT_FALSE(QFile::exists(Path(QStringLiteral("nested.mp3"))));
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    for (const double p : progress) {
        EXPECT_GE(p, 0.0);
        EXPECT_LE(p, 1.0);
    }
    EXPECT_EQ(Files().size(), 2) << qPrintable(Files().join(QLatin1Char(' ')));
}

INSTANTIATE_TEST_SUITE_P(Formats, AudioCodecTest,
                         testing::Values(Format{"mp3", "mp3", 1105}, Format{"wma", "wmav2", 0}),
                         [](const auto& info) { return std::string(info.param.extension); });

TEST(AudioCodecChoiceTest, OtherExtensionsFailAndCreateNothing) {
    const QString folder = MakeTestFolder(QStringLiteral("choice"));
    const QString source = folder + QStringLiteral("/take.wav");
    ASSERT_TRUE(audiotest::WriteFile(
        source, audiotest::WaveImage(audiotest::Signal(1000, 2, kRate), 2, kRate)));
    CAudioCodec codec;
    for (const char* name : {"take.ogg", "take.mp3.txt", "take.mp", "mp3", "take.wav.flac"}) {
        EXPECT_EQ(codec.AudioCompress(source, folder + QLatin1Char('/') + name).GetCode(),
                  ERR_VESK_REFUSED)
            << name;
    }
    // A source must be a ".wav" file, whatever the destination.
    const QString other = folder + QStringLiteral("/take.aiff");
    ASSERT_TRUE(QFile::copy(source, other));
    EXPECT_EQ(codec.AudioCompress(other, folder + QStringLiteral("/take.mp3")).GetCode(),
              ERR_VESK_REFUSED);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden),
              (QStringList{QStringLiteral("take.aiff"), QStringLiteral("take.wav")}));
}

TEST(AudioCodecAcmTest, TellsWhatIsWrongWithTheSource) {
    const QString folder = MakeTestFolder(QStringLiteral("acm"));
    const QByteArray out = QFile::encodeName(folder + QStringLiteral("/out.mp3"));
    CAudioCodec codec;
    const auto convert = [&](const QByteArray& image) {
        const QString path = folder + QStringLiteral("/in.wav");
        EXPECT_TRUE(audiotest::WriteFile(path, image));
        return codec.AcmCompress(QFile::encodeName(path).constData(), out.constData());
    };
    const unsigned int notWave = static_cast<unsigned int>(-1);
    EXPECT_EQ(convert("RIFX\x04\0\0\0WAVE"), notWave);
    QByteArray noData = audiotest::WaveImage({}, 2, kRate).left(36);
    noData[4] = 28;
    EXPECT_EQ(convert(noData), notWave);
    // A stereo 8-bit source is a wave file the MP3 encoder cannot take.
    QByteArray eightBit = audiotest::WaveImage(audiotest::Signal(100, 2, kRate), 2, kRate);
    eightBit[34] = 8;
    EXPECT_NE(convert(eightBit), 0u);
    EXPECT_NE(convert(eightBit), notWave);
    EXPECT_EQ(convert(audiotest::WaveImage(audiotest::Signal(10000, 2, kRate), 2, kRate)), 0u);
}

} // namespace
