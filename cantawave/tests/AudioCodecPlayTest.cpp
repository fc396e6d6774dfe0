#include "AudioFiles.h"
#include "CAudioPlay.h"
#include "CSimplePlayer.h"
#include "CVirtualPiano.h"
#include "RecordingServices.h"
#include "TestHome.h"
#include "mmsystemx.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

namespace {

template <typename Condition>
bool Eventually(Condition done, std::chrono::seconds limit = std::chrono::seconds(15)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

constexpr unsigned kSeconds = 5;

// Stereo 16-bit sine at half of full scale: its peaks read level 14 on the meter.
QByteArray Sine(unsigned seconds, unsigned rate = 44100) {
    QByteArray out;
    for (unsigned i = 0; i < seconds * rate; ++i) {
        const auto v = static_cast<std::int16_t>(16384 * std::sin(2 * M_PI * 440 * i / rate));
        const char bytes[4] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                               static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
        out.append(bytes, 4);
    }
    return out;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Files the common tools make from one five-second sine, made once for the suite.
struct Made {
    QString mp3InWav;
    QString wma;
    QString flac;
};

const Made& Files() {
    static const Made made = [] {
        Made m;
        const QString source = WriteTestFile(QStringLiteral("sine.wav"), WaveImage(Sine(kSeconds)));
        const QString mp3 = QDir(TestHome()).filePath(QStringLiteral("sine.mp3"));
        // Constant bit rate without a tag frame: the byte rate times the length is the size.
        if (RunTool(QStringLiteral("lame"),
                    {QStringLiteral("--quiet"), QStringLiteral("-t"), QStringLiteral("--cbr"),
                     QStringLiteral("-b"), QStringLiteral("128"), source, mp3})) {
            m.mp3InWav = WriteTestFile(QStringLiteral("sine mp3 入り.wav"),
                                       MpegLayer3WaveImage(ReadAll(mp3), 44100, 2, 16000));
        }
        const auto ffmpeg = [&](const QString& name, const QStringList& codec) {
            const QString out = QDir(TestHome()).filePath(name);
            QStringList arguments{QStringLiteral("-nostdin"), QStringLiteral("-loglevel"),
                                  QStringLiteral("error"),    QStringLiteral("-y"),
                                  QStringLiteral("-i"),       source};
            arguments += codec;
            arguments += out;
            return RunTool(QStringLiteral("ffmpeg"), arguments) ? out : QString();
        };
        m.wma = ffmpeg(QStringLiteral("サイン 波.wma"),
                       {QStringLiteral("-c:a"), QStringLiteral("wmav2"), QStringLiteral("-b:a"),
                        QStringLiteral("128k")});
        m.flac =
            ffmpeg(QStringLiteral("sine.flac"), {QStringLiteral("-c:a"), QStringLiteral("flac")});
        return m;
    }();
    return made;
}

// Whether the general player can decode a file; tests of what it plays skip when it cannot.
bool PlayerDecodes(const QString& path) {
    HRESULT created = E_FAIL;
    CSimplePlayer player(&created, nullptr, nullptr, nullptr);
    DWORD duration = 0;
    return SUCCEEDED(created) &&
           SUCCEEDED(player.GetDuration(QFile::encodeName(path).constData(), &duration)) &&
           duration > 0;
}

class AudioCodecPlay : public testing::Test {
protected:
    void SetUp() override {
        piano = mmxUseVirtualPiano(std::make_shared<CVirtualPiano>());
        piano->SetActiveSensing(false);
        player = std::make_unique<CAudioPlay>();
    }
    void TearDown() override {
        player.reset();
        mmxUseSystemDevices();
    }
    bool PlayedToTheEnd() const { return services.EndNotices() > 0 && !player->IsPlaying(); }

    // Plays the last second of a file through and checks what was reported and heard.
    void PlaysTheLastSecond(const QString& path, CAudioPlay::EMode mode) {
        player->SetFileName(path);
        const unsigned duration = player->GetDuration();
        EXPECT_NEAR(duration, kSeconds * 1000.0, kSeconds * 10.0);
        for (unsigned i = 0; i + 1 < kSeconds; ++i) {
            player->Forward();
        }
        const unsigned from = player->GetPosition();
        EXPECT_EQ(from, (kSeconds - 1) * 1000);
        services.Clear();
        const CVeskError started = player->Start();
        ASSERT_EQ(started, ERR_VESK_OK) << started.GetStr().toStdString();
        EXPECT_EQ(player->GetMode(), mode);
        ASSERT_TRUE(Eventually([&] { return PlayedToTheEnd(); }));
        EXPECT_EQ(services.EndNotices(), 1);
        EXPECT_EQ(player->GetPosition(), 0u);

        const auto positions = services.Positions();
        ASSERT_GE(positions.size(), 3u);
        EXPECT_EQ(positions.back(), 0u);
        const auto last = positions.end() - 1;
        EXPECT_TRUE(std::is_sorted(positions.begin(), last));
        EXPECT_GE(*std::min_element(positions.begin(), last), from - 50);
        EXPECT_GT(*std::max_element(positions.begin(), last), from + 500);
        EXPECT_LE(*std::max_element(positions.begin(), last), duration + 100);

        const auto levels = services.Levels();
        ASSERT_FALSE(levels.empty());
        const auto loud = std::count_if(levels.begin(), levels.end(), [](const auto& level) {
            return level.first >= 13 && level.first <= 15 && level.second >= 13 &&
                   level.second <= 15;
        });
        EXPECT_GE(loud, static_cast<long>(levels.size()) / 2);

        // About the last second was heard, at the file's rate.
        const auto blocks = piano->ReceivedAudioBlocks();
        ASSERT_FALSE(blocks.empty());
        EXPECT_EQ(blocks.front().rate, 44100u);
        EXPECT_EQ(blocks.front().channels, 2u);
        const double heard = piano->ReceivedAudioBytes() / 176400.0;
        EXPECT_GT(heard, 0.9);
        EXPECT_LT(heard, 1.2);
    }

    std::shared_ptr<CVirtualPiano> piano;
    CRecordingServices services;
    std::unique_ptr<CAudioPlay> player;
};

TEST_F(AudioCodecPlay, MpegLayer3InWavPlaysThroughWithItsDurationPositionsAndLevels) {
    ASSERT_FALSE(Files().mp3InWav.isEmpty()) << "lame could not make the test file";
    PlaysTheLastSecond(Files().mp3InWav, CAudioPlay::kMpegLayer3);
}

TEST_F(AudioCodecPlay, WmaAndFlacPlayThroughTheGeneralPlayer) {
    for (const QString& path : {Files().wma, Files().flac}) {
        SCOPED_TRACE(path.toStdString());
        ASSERT_FALSE(path.isEmpty()) << "ffmpeg could not make the test file";
        if (!PlayerDecodes(path)) {
            GTEST_SKIP() << "wmaconv cannot decode yet; its playback is not tested";
        }
        piano->ClearReceived();
        PlaysTheLastSecond(path, CAudioPlay::kPlayer);
    }
}

TEST_F(AudioCodecPlay, AStoppedGeneralPlayerDoesNotNotify) {
    if (!PlayerDecodes(Files().flac)) {
        GTEST_SKIP() << "wmaconv cannot decode yet; its playback is not tested";
    }
    player->SetFileName(Files().flac);
    ASSERT_EQ(player->Start(), ERR_VESK_OK);
    EXPECT_EQ(player->Start().GetStr(), CAudioPlay::kUnexpected);
    ASSERT_TRUE(Eventually([&] { return player->GetPosition() >= 300; }));
    EXPECT_EQ(player->Stop(), ERR_VESK_OK);
    EXPECT_FALSE(player->IsPlaying());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(services.EndNotices(), 0);
}

TEST_F(AudioCodecPlay, UnpluggingThePianosAudioEndsTheGeneralPlayer) {
    if (!PlayerDecodes(Files().flac)) {
        GTEST_SKIP() << "wmaconv cannot decode yet; its playback is not tested";
    }
    player->SetFileName(Files().flac);
    ASSERT_EQ(player->Start(), ERR_VESK_OK);
    ASSERT_TRUE(Eventually([&] { return player->GetPosition() >= 200; }));
    piano->Unplug(CVirtualPiano::kWaveOut);
    ASSERT_TRUE(Eventually([&] { return PlayedToTheEnd(); }));
    EXPECT_EQ(services.EndNotices(), 1);
    EXPECT_EQ(player->GetPosition(), 0u);
    EXPECT_EQ(player->Stop(), ERR_VESK_OK);
    piano->Plug();
}

// Cut at any point, a file either plays what it holds to an end or is refused; it never
// hangs the player.
TEST_F(AudioCodecPlay, CutOffFilesOfEveryKindEndOrAreRefused) {
    for (const QString& path : {Files().mp3InWav, Files().wma, Files().flac}) {
        ASSERT_FALSE(path.isEmpty());
        const QByteArray whole = ReadAll(path);
        for (const double part : {0.02, 0.5, 0.97}) {
            SCOPED_TRACE(path.toStdString() + " cut at " + std::to_string(part));
            // The last 0.3 s of what is left is played, to keep the test short.
            const QByteArray cut = whole.left(static_cast<qsizetype>(whole.size() * part));
            player->SetFileName(
                WriteTestFile(QStringLiteral("cut") + QFileInfo(path).suffix().prepend('.'), cut));
            services.Clear();
            while (player->GetDuration() > 300 &&
                   player->GetPosition() + 1300 < player->GetDuration()) {
                player->Forward();
            }
            const CVeskError started = player->Start();
            if (started == ERR_VESK_OK) {
                ASSERT_TRUE(Eventually([&] { return PlayedToTheEnd(); }));
                EXPECT_EQ(services.EndNotices(), 1);
            } else {
                EXPECT_EQ(started.GetStr(), started == ERR_VESK_REFUSED ? CAudioPlay::kFormatMessage
                                                                        : CAudioPlay::kUnexpected);
                EXPECT_FALSE(player->IsPlaying());
            }
            EXPECT_EQ(player->Stop(), ERR_VESK_OK);
        }
    }
}

} // namespace
