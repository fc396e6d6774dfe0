#include "AudioFiles.h"
#include "CAudioPlay.h"
#include "CVirtualPiano.h"
#include "QtPrinters.h"
#include "RecordingServices.h"
#include "TestHome.h"
#include "mmsystemx.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// The player against the virtual ZQ31, with the engine's reports recorded.
class AudioPlay : public testing::Test {
protected:
    void SetUp() override {
        piano = mmxUseVirtualPiano(std::make_shared<CVirtualPiano>());
        piano->SetActiveSensing(false);
        player = std::make_unique<CAudioPlay>();
        ASSERT_EQ(player->Initialize(), ERR_VESK_OK);
    }
    void TearDown() override {
        player.reset();
        mmxUseSystemDevices();
    }

    // Everything the piano's audio input received, in order.
    QByteArray Heard() const {
        QByteArray bytes;
        for (const auto& block : piano->ReceivedAudioBlocks()) {
            bytes.append(reinterpret_cast<const char*>(block.bytes.data()),
                         static_cast<qsizetype>(block.bytes.size()));
        }
        return bytes;
    }
    bool PlayedToTheEnd() const { return services.EndNotices() > 0 && !player->IsPlaying(); }

    std::shared_ptr<CVirtualPiano> piano;
    CRecordingServices services;
    std::unique_ptr<CAudioPlay> player;
};

TEST_F(AudioPlay, PcmPlaysBitExactFromTheChosenPositionToItsEndAndNotifiesOnce) {
    const QByteArray sound = RampFrames(44100 * 3 / 2);
    player->SetFileName(WriteTestFile(QStringLiteral("ramp.wav"), WaveImage(sound)));
    EXPECT_EQ(player->GetDuration(), 1500u);
    ASSERT_EQ(player->Forward(), ERR_VESK_OK);
    EXPECT_EQ(player->GetPosition(), 1000u);
    services.Clear();

    const CVeskError started = player->Start();
    ASSERT_EQ(started, ERR_VESK_OK) << started.GetStr().toStdString();
    EXPECT_TRUE(player->IsPlaying());
    ASSERT_TRUE(Eventually([&] { return PlayedToTheEnd(); }));

    EXPECT_EQ(Heard(), sound.mid(44100 * 4));
    const auto blocks = piano->ReceivedAudioBlocks();
    ASSERT_FALSE(blocks.empty());
    EXPECT_EQ(blocks.front().rate, 44100u);
    EXPECT_EQ(blocks.front().channels, 2u);
    EXPECT_EQ(blocks.front().bits, 16u);
    // Positions grew from the start position and went back to 0 at the end.
    const auto positions = services.Positions();
    ASSERT_GE(positions.size(), 2u);
    EXPECT_GE(positions.front(), 1000u);
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end() - 1));
    EXPECT_LE(positions[positions.size() - 2], 1500u);
    EXPECT_EQ(positions.back(), 0u);
    EXPECT_EQ(player->GetPosition(), 0u);
    EXPECT_FALSE(services.Levels().empty());
    // Once, and no more while the player stands.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(services.EndNotices(), 1);
}

TEST_F(AudioPlay, AFileAtHalfTheRatePlaysAtItsOwnRateAndAStartBeyondItsEndPlaysFromTheStart) {
    const QByteArray sound = RampFrames(22050 / 2);
    player->SetFileName(WriteTestFile(QStringLiteral("half rate.wav"), WaveImage(sound, 22050)));
    EXPECT_EQ(player->GetDuration(), 500u);
    player->Forward(); // clamped at 500 ms: the end of the data
    EXPECT_EQ(player->GetPosition(), 500u);
    ASSERT_EQ(player->Start(), ERR_VESK_OK);
    ASSERT_TRUE(Eventually([&] { return PlayedToTheEnd(); }));
    EXPECT_EQ(Heard(), sound);
    EXPECT_EQ(piano->ReceivedAudioBlocks().front().rate, 22050u);
}

TEST_F(AudioPlay, LevelsFollowTheSound) {
    QByteArray loud;
    for (int i = 0; i < 22050; ++i) {
        loud += QByteArray("\xff\x7f\x00\x00", 4); // left full scale, right silent
    }
    player->SetFileName(WriteTestFile(QStringLiteral("loud.wav"), WaveImage(loud)));
    ASSERT_EQ(player->Start(), ERR_VESK_OK);
    ASSERT_TRUE(Eventually([&] { return PlayedToTheEnd(); }));
    const auto levels = services.Levels();
    ASSERT_FALSE(levels.empty());
    for (const auto& [left, right] : levels) {
        EXPECT_EQ(left, 20u);
        EXPECT_EQ(right, 0u);
    }
}

TEST_F(AudioPlay, PositionMovesOnlyWithinTheFile) {
    player->SetFileName(WriteTestFile(QStringLiteral("two.wav"), WaveImage(RampFrames(88200))));
    ASSERT_EQ(player->GetDuration(), 2000u);
    player->Forward(); // 1000
    player->Rewind();  // 0
    EXPECT_EQ(player->GetPosition(), 0u);
    player->Forward();
    player->Forward();
    EXPECT_EQ(player->GetPosition(), 2000u);
    player->First();
    EXPECT_EQ(player->GetPosition(), 0u);
    EXPECT_EQ(services.Positions().back(), 0u);

    // 1500 ms = duration - 500: one second on passes the end.
    player->SetFileName(
        WriteTestFile(QStringLiteral("one and a half.wav"), WaveImage(RampFrames(44100 * 3 / 2))));
    player->Forward(); // 1000
    const CVeskError past = player->Forward();
    EXPECT_EQ(past, ERR_VESK_PAST_END);
    EXPECT_EQ(past.GetStr(), CAudioPlay::kUnexpected);
    EXPECT_EQ(player->GetPosition(), 1500u);
    EXPECT_EQ(services.Positions().back(), 1500u);
}

TEST_F(AudioPlay, RewindFromUnderOneSecondGoesToTheStart) {
    // 800 ms: a file whose end is there, played through Forward's clamp.
    player->SetFileName(WriteTestFile(QStringLiteral("short.wav"), WaveImage(RampFrames(35280))));
    ASSERT_EQ(player->GetDuration(), 800u);
    player->Forward();
    ASSERT_EQ(player->GetPosition(), 800u);
    EXPECT_EQ(player->Rewind(), ERR_VESK_OK);
    EXPECT_EQ(player->GetPosition(), 0u);
    EXPECT_EQ(services.Positions().back(), 0u);
}

TEST_F(AudioPlay, StartWhilePlayingIsRefusedAndAStoppedFileDoesNotNotify) {
    player->SetFileName(
        WriteTestFile(QStringLiteral("long.wav"), WaveImage(RampFrames(44100 * 10))));
    ASSERT_EQ(player->Start(), ERR_VESK_OK);
    const CVeskError again = player->Start();
    EXPECT_EQ(again, ERR_VESK_FAILED);
    EXPECT_EQ(again.GetStr(), CAudioPlay::kUnexpected);
    ASSERT_TRUE(Eventually([&] { return player->GetPosition() >= 300; }));
    EXPECT_EQ(player->Stop(), ERR_VESK_OK);
    EXPECT_FALSE(player->IsPlaying());
    const unsigned int where = player->GetPosition();
    EXPECT_GE(where, 300u);
    const std::size_t reports = services.Positions().size();
    const std::size_t levels = services.Levels().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(services.EndNotices(), 0);
    EXPECT_EQ(services.Positions().size(), reports);
    EXPECT_EQ(services.Levels().size(), levels);
    EXPECT_EQ(player->Stop(), ERR_VESK_OK); // a stopped player stops again

    // The next start goes on from where it stopped, to the sample.
    piano->ClearReceived();
    ASSERT_EQ(player->Start(), ERR_VESK_OK);
    ASSERT_TRUE(Eventually([&] { return piano->ReceivedAudioBytes() >= 4; }));
    player->Stop();
    const QByteArray first = Heard().left(4);
    const auto sample = static_cast<qsizetype>(44100 * 0.001 * where);
    EXPECT_EQ(first, RampFrames(sample + 1).mid(sample * 4, 4));
}

TEST_F(AudioPlay, FailuresSayWhyAndLeaveNothingOpen) {
    const auto expectFailure = [&](E_ERR_VESK code, const QString& text) {
        player->Forward();
        const CVeskError result = player->Start();
        EXPECT_EQ(result, code);
        EXPECT_EQ(result.GetStr(), text);
        EXPECT_FALSE(player->IsPlaying());
        EXPECT_EQ(player->GetPosition(), 0u);
    };
    expectFailure(ERR_VESK_FAILED, CAudioPlay::kNoFile);
    player->SetFileName(QDir(TestHome()).filePath(QStringLiteral("gone.wav")));
    expectFailure(ERR_VESK_FAILED, CAudioPlay::kNoFile);
    for (const QByteArray& image :
         {WaveImage(RampFrames(4410, 1), 44100, 1), WaveImage(RampFrames(4410), 44100, 2, 8),
          WaveImage(RampFrames(4410), 44100, 2, 24),
          WaveImage(RampFrames(4410), 44100, 2, 16, 1, QByteArray("LIST\0\0\0\0", 8)),
          QByteArray("RIFF\x10\0\0\0WAVEfmt ", 16)}) {
        player->SetFileName(WriteTestFile(QStringLiteral("refused.wav"), image));
        expectFailure(ERR_VESK_REFUSED, CAudioPlay::kFormatMessage);
    }
    player->SetFileName(WriteTestFile(QStringLiteral("fine.wav"), WaveImage(RampFrames(44100))));
    piano->Unplug(CVirtualPiano::kWaveOut);
    expectFailure(ERR_VESK_FAILED, CAudioPlay::kDeviceMessage);
    piano->Plug();
    EXPECT_EQ(piano->ReceivedAudioBytes(), 0u);
    EXPECT_EQ(services.EndNotices(), 0);
}

// A name chosen from the album may lead to something that is not a file: opening a FIFO
// for reading waits for a writer, and a device node never ends. Neither may hold the window
// thread.
TEST_F(AudioPlay, AFifoADirectoryOrADeviceNodeIsNoFileAndNeverHoldsTheCaller) {
    const QString fifo = QDir(TestHome()).filePath(QStringLiteral("pipe.wav"));
    QFile::remove(fifo);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString folder = QDir(TestHome()).filePath(QStringLiteral("folder.wav"));
    ASSERT_TRUE(QDir().mkpath(folder));
    for (const QString& path : {fifo, folder, QStringLiteral("/dev/zero")}) {
        SCOPED_TRACE(path.toStdString());
        std::atomic<bool> returned{false};
        CVeskError result;
        std::thread caller([&] {
            player->SetFileName(path);
            result = player->Start();
            returned = true;
        });
        const bool inTime = Eventually([&] { return returned.load(); });
        if (!inTime && path == fifo) {
            // Lets a caller stuck in opening the FIFO go, so that the test fails instead.
            const int writer = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0) {
                ::close(writer);
            }
        }
        caller.join();
        ASSERT_TRUE(inTime);
        EXPECT_EQ(result, ERR_VESK_FAILED);
        EXPECT_EQ(result.GetStr(), CAudioPlay::kNoFile);
        EXPECT_EQ(player->GetDuration(), 0u);
        EXPECT_FALSE(player->IsPlaying());
        EXPECT_EQ(player->Stop(), ERR_VESK_OK);
    }
    EXPECT_EQ(piano->ReceivedAudioBytes(), 0u);
    EXPECT_EQ(services.EndNotices(), 0);
    EXPECT_TRUE(QFileInfo(fifo).exists());
}

TEST_F(AudioPlay, UnpluggingThePianosAudioEndsPlaybackAsAnErrorDoes) {
    player->SetFileName(
        WriteTestFile(QStringLiteral("unplug.wav"), WaveImage(RampFrames(44100 * 10))));
    ASSERT_EQ(player->Start(), ERR_VESK_OK);
    ASSERT_TRUE(Eventually([&] { return player->GetPosition() >= 200; }));
    piano->Unplug(CVirtualPiano::kWaveOut);
    ASSERT_TRUE(Eventually([&] { return PlayedToTheEnd(); }));
    EXPECT_EQ(services.EndNotices(), 1);
    EXPECT_EQ(player->GetPosition(), 0u);
    EXPECT_EQ(player->Stop(), ERR_VESK_OK);
    // Plugged in again, it plays.
    piano->Plug();
    piano->ClearReceived();
    ASSERT_EQ(player->Start(), ERR_VESK_OK);
    EXPECT_TRUE(Eventually([&] { return piano->ReceivedAudioBytes() > 0; }));
    EXPECT_EQ(player->Stop(), ERR_VESK_OK);
}

TEST_F(AudioPlay, ACutOffFilePlaysWhatItHoldsAndAJapaneseNameWithSpacesPlays) {
    const QByteArray sound = RampFrames(11025);
    const QByteArray image =
        WaveImage(sound + QByteArray("\x01\x02\x03", 3), 44100, 2, 16, 1, {}, 10 * 176400);
    player->SetFileName(WriteTestFile(QStringLiteral("録音 テイク 1.wav"), image));
    EXPECT_EQ(player->GetDuration(), 250u);
    ASSERT_EQ(player->Start(), ERR_VESK_OK);
    ASSERT_TRUE(Eventually([&] { return PlayedToTheEnd(); }));
    EXPECT_EQ(Heard(), sound);
}

TEST_F(AudioPlay, StopAndTerminateAlwaysReturn) {
    EXPECT_EQ(player->Stop(), ERR_VESK_OK);
    player->SetFileName(WriteTestFile(QStringLiteral("t.wav"), WaveImage(RampFrames(44100 * 10))));
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(player->Start(), ERR_VESK_OK);
        EXPECT_EQ(player->Stop(), ERR_VESK_OK);
    }
    ASSERT_EQ(player->Start(), ERR_VESK_OK);
    EXPECT_EQ(player->Terminate(), ERR_VESK_OK);
    EXPECT_FALSE(player->IsPlaying());
    EXPECT_EQ(player->Start(), ERR_VESK_FAILED);
    EXPECT_EQ(services.EndNotices(), 0);
}

} // namespace
