#include "CAudioPlay.h"
#include "CCheckUSBdev.h"
#include "CLast.h"
#include "CSoundFile.h"
#include "CSysinfo.h"
#include "CVirtualPiano.h"
#include "EngineDoubles.h"
#include "QtPrinters.h"
#include "TestHome.h"
#include "mmsystemx.h"

#include <QDir>
#include <QFile>
#include <QtEndian>
#include <gtest/gtest.h>
#include <memory>

// The audio player inside the engine: the piano's output as the device watch finds it, and
// the reports reaching the shared state and the recorder window through the engine's services.
namespace {

QString WriteWave(const QString& name, int frames, std::int16_t level) {
    QByteArray sound(frames * 4, '\0');
    for (int i = 0; i < frames; ++i) {
        qToLittleEndian<std::int16_t>(level, sound.data() + 4 * i);
        qToLittleEndian<std::int16_t>(level, sound.data() + 4 * i + 2);
    }
    QByteArray image("RIFF");
    char word[4];
    qToLittleEndian<std::uint32_t>(36 + sound.size(), word);
    image.append(word, 4);
    image += "WAVEfmt ";
    const char fmt[20] = {16,   0,
                          0,    0,
                          1,    0,
                          2,    0,
                          0x44, static_cast<char>(0xAC),
                          0,    0,
                          0x10, static_cast<char>(0xB1),
                          2,    0,
                          4,    0,
                          16,   0};
    image.append(fmt, 20);
    image += "data";
    qToLittleEndian<std::uint32_t>(sound.size(), word);
    image.append(word, 4);
    const QString path = QDir(TestHome()).filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(image + sound);
    return path;
}

class AudioPlayEngine : public testing::Test {
protected:
    void SetUp() override {
        piano = mmxUseVirtualPiano(std::make_shared<CVirtualPiano>());
        piano->SetActiveSensing(false);
        CLast::InitSysinfo(&sysinfo);
        sysinfo.SetAudFile(&take);
        sysinfo.SetAudioPlay(&player);
        ASSERT_EQ(player.Initialize(), ERR_VESK_OK);
    }
    void TearDown() override {
        player.Terminate();
        CWinMsg::PumpMessages();
        sysinfo.SetAudioPlay(&sysinfo.audioPlay);
        sysinfo.SetAudFile(nullptr);
        CLast::InitSysinfo(nullptr);
        mmxUseSystemDevices();
    }

    std::shared_ptr<CVirtualPiano> piano;
    CTestSysinfo sysinfo;
    CAnsweringTake take{QStringLiteral(".wav")};
    CAudioPlay player;
};

TEST_F(AudioPlayEngine, AFilePlayedToItsEndStopsTheTakeAndTellsTheRecorderWindow) {
    player.SetFileName(WriteWave(QStringLiteral("engine.wav"), 44100 * 3 / 2, 16384));
    take.SetSoundStatus(SOUND_PLAY);
    sysinfo.Settle();
    ASSERT_EQ(player.Start(), ERR_VESK_OK);
    ASSERT_TRUE(Eventually([&] { return sysinfo.GetAudTimeDisp() == QStringLiteral("00 : 01"); }));
    ASSERT_TRUE(Eventually([&] { return take.GetSoundStatus() == SOUND_STOP; }));
    EXPECT_TRUE(Eventually([&] { return sysinfo.stereo.Count(CSysinfo::WM_STOPFROMMIDDLE) == 1; }));
    EXPECT_EQ(sysinfo.GetAudTimeDisp(), QStringLiteral("00 : 00"));
    // The level meter moved while it played and was reset at the end.
    const auto* last = sysinfo.stereo.Last(WM_AUDLEVEL);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->wParam, 0u);
    EXPECT_GE(sysinfo.stereo.Count(WM_AUDLEVEL), 2);
    EXPECT_GT(piano->ReceivedAudioBytes(), 0u);
}

TEST_F(AudioPlayEngine, WithoutThePianosAudioNothingElsePlaysIt) {
    player.SetFileName(WriteWave(QStringLiteral("nowhere.wav"), 4410, 100));
    piano->Unplug();
    const CVeskError result = player.Start();
    EXPECT_EQ(result, ERR_VESK_FAILED);
    EXPECT_EQ(result.GetStr(), CAudioPlay::kDeviceMessage);
    EXPECT_LT(CLast::Dummy().GetWaveOutDev(), 0xFFFFFFFFu) << "the wave mapper";
    piano->Plug();
}

} // namespace
