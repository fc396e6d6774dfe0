#include "CCheckUSBdev.h"
#include "CLast.h"
#include "CTrace.h"
#include "CVirtualPiano.h"
#include "CWinMsg.h"
#include "EngineDoubles.h"
#include "QtPrinters.h"
#include "RecordingFusion.h"
#include "TestHome.h"
#include "mmsystemx.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

namespace {

// The engine's receiver registered, a fresh virtual ZQ31, and a trace log to read the watch's
// reports from.
class DeviceWatch : public testing::Test {
protected:
    void SetUp() override {
        piano = mmxUseVirtualPiano(std::make_shared<CVirtualPiano>());
        piano->SetActiveSensing(false);
        m_folder = MakeTestFolder(QStringLiteral("watch"));
        m_trace =
            std::make_unique<CTrace>(QStringLiteral("Vesk"), QStringLiteral("x trace"), m_folder);
        CLast::InitTrace(m_trace.get());
        CLast::InitSysinfo(&sysinfo);
    }
    void TearDown() override {
        watch.reset();
        CLast::InitSysinfo(nullptr);
        CLast::InitTrace(&CTrace::LibraryWriter());
        mmxUseSystemDevices();
    }
    // The watch's reports, in order.
    QStringList Reports() const {
        QStringList reports;
        for (const QString& name : QDir(m_folder).entryList({QStringLiteral("*.log")})) {
            QFile file(m_folder + QLatin1Char('/') + name);
            if (!file.open(QIODevice::ReadOnly)) {
                continue;
            }
            for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
                const QString bare = line.trimmed().remove(QLatin1Char('|'));
                if (bare.startsWith(QStringLiteral("ZQ31_"))) {
                    reports.push_back(bare);
                }
            }
        }
        return reports;
    }
    std::vector<int> Ids() const {
        return {CCheckUSBdev::GetMIDIInDev(), CCheckUSBdev::GetMIDIOutDev(),
                CCheckUSBdev::GetWaveInDev(), CCheckUSBdev::GetWaveOutDev()};
    }

    CRecordingFusion presenter;
    CTestSysinfo sysinfo;
    std::shared_ptr<CVirtualPiano> piano;
    std::unique_ptr<CCheckUSBdev> watch;
    QString m_folder;
    std::unique_ptr<CTrace> m_trace;
};

} // namespace

TEST_F(DeviceWatch, ThePianoPresentAtStartIsNotReported) {
    watch = std::make_unique<CCheckUSBdev>();
    EXPECT_EQ(CCheckUSBdev::LastStatus(), ZQ31_Connected);
    EXPECT_EQ(Ids(), (std::vector<int>{0, 0, 0, 0}));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(Reports().isEmpty());
    EXPECT_TRUE(sysinfo.audioRec.log.Calls().isEmpty());
}

TEST_F(DeviceWatch, PluggingInIsReportedAndThePianoBroughtInLine) {
    piano->Unplug();
    watch = std::make_unique<CCheckUSBdev>();
    EXPECT_EQ(CCheckUSBdev::LastStatus(), ZQ31_NotConnected);
    EXPECT_EQ(Ids(), (std::vector<int>{-1, -1, -1, -1}));
    piano->Plug();
    ASSERT_TRUE(Eventually([&] { return CCheckUSBdev::LastStatus() == ZQ31_Connected; }));
    EXPECT_EQ(Reports(), QStringList{QStringLiteral("ZQ31_Connected")});
    EXPECT_EQ(Ids(), (std::vector<int>{0, 0, 0, 0}));
    // The refresh gave the piano the complete settings.
    EXPECT_TRUE(Eventually([&] { return sysinfo.piano.log.Calls().size() >= 7; }));
    EXPECT_EQ(sysinfo.piano.log.Calls().first(), QStringLiteral("SetDefTimbre 0"));
}

TEST_F(DeviceWatch, UnpluggingFunctionByFunctionPassesThroughDisconnecting) {
    watch = std::make_unique<CCheckUSBdev>();
    piano->Unplug(CVirtualPiano::kMidiIn);
    ASSERT_TRUE(Eventually([&] { return CCheckUSBdev::LastStatus() == ZQ31_Disconnecting; }));
    // Half present: no MIDI, and wave ids that name no device.
    EXPECT_EQ(Ids(), (std::vector<int>{-1, -1, 1, 1}));
    piano->Unplug(CVirtualPiano::kWaveIn | CVirtualPiano::kMidiOut);
    EXPECT_EQ(Ids(), (std::vector<int>{-1, -1, -1, 1}));
    piano->Unplug();
    ASSERT_TRUE(Eventually([&] { return CCheckUSBdev::LastStatus() == ZQ31_NotConnected; }));
    EXPECT_EQ(Reports(), (QStringList{QStringLiteral("ZQ31_Disconnecting"),
                                      QStringLiteral("ZQ31_NotConnected")}));
    EXPECT_EQ(Ids(), (std::vector<int>{-1, -1, -1, -1}));
}

TEST_F(DeviceWatch, PullingThePlugDuringAMixStopsEverything) {
    CAnsweringTake midi(QStringLiteral(".mid"));
    CAnsweringTake audio(QStringLiteral(".wav"));
    sysinfo.SetSeqFile(&midi);
    sysinfo.SetAudFile(&audio);
    const QString recording = audio.MakeFileName();
    QFile(recording).open(QIODevice::WriteOnly);
    sysinfo.SetSeqStatus(SOUND_PLAY, nullptr);
    sysinfo.SetAudStatus(SOUND_REC, nullptr);
    sysinfo.metronome.running = true;
    sysinfo.Settle();

    watch = std::make_unique<CCheckUSBdev>();
    piano->Unplug();
    ASSERT_TRUE(Eventually([&] { return sysinfo.IsNotRunning() == 1; }));
    ASSERT_TRUE(Eventually([&] { return sysinfo.stereo.Count(CSysinfo::WM_STOPFROMMIDDLE) == 2; }));
    EXPECT_EQ(sysinfo.audioRec.log.Calls().first(), QStringLiteral("Stop"));
    EXPECT_EQ(sysinfo.audioPlay.log.Calls().first(), QStringLiteral("SetFileName ") + recording);
    EXPECT_EQ(sysinfo.player.log.Calls().first(), QStringLiteral("Stop"));
    // The metronome is stopped last, after the transports: wait for it too.
    ASSERT_TRUE(Eventually([&] { return sysinfo.metronome.log.Calls().size() >= 2; }));
    EXPECT_EQ(sysinfo.metronome.log.Calls().mid(0, 2),
              (QStringList{QStringLiteral("Stop"), QStringLiteral("Reset")}));
    EXPECT_EQ(sysinfo.GetScoreDisp(0), CDataInfo::kScoreHidden);
}

TEST_F(DeviceWatch, MidiNamesMustMatchExactly) {
    {
        QSettings profile(QStringLiteral("Tolvarine"), QStringLiteral("Cantavo"));
        profile.setValue(QStringLiteral("Devices/MidiIn"), QStringLiteral("Tolvarine USB MIDI IN"));
    }
    watch = std::make_unique<CCheckUSBdev>();
    EXPECT_EQ(CCheckUSBdev::MidiInName(), QStringLiteral("Tolvarine USB MIDI IN"));
    EXPECT_EQ(CCheckUSBdev::LastStatus(), ZQ31_Disconnecting);
    EXPECT_EQ(CCheckUSBdev::GetMIDIInDev(), -1);
    watch.reset();
    QSettings(QStringLiteral("Tolvarine"), QStringLiteral("Cantavo"))
        .remove(QStringLiteral("Devices"));
}

TEST_F(DeviceWatch, TheEngineAnswersTheAudioLibraryWithThePianosWaveDevices) {
    watch = std::make_unique<CCheckUSBdev>();
    EXPECT_EQ(CLast::Dummy().GetWaveOutDev(), 0u);
    EXPECT_EQ(CLast::Dummy().GetWaveInDev(), 0u);
    piano->Unplug();
    EXPECT_EQ(CLast::Dummy().GetWaveOutDev(), 0xFFFFFFFFu);
}

TEST_F(DeviceWatch, ErrorsFromDeviceThreadsAreShownOnTheWindowThread) {
    CVeskError full;
    full.SetCode(ERR_VESK_FAILED, QStringLiteral("ハードディスクの空き容量が足りません。"));
    std::thread([&full] { CLast::Dummy().ErrorMessageFromMiddle(full); }).join();
    CVeskError other;
    other.SetCode(ERR_VESK_FAILED, QStringLiteral("something else"));
    sysinfo.ErrorMessageFromMiddle(other);
    EXPECT_TRUE(presenter.texts.isEmpty());
    CWinMsg::PumpMessages();
    EXPECT_EQ(presenter.texts,
              QStringList{QStringLiteral("ハードディスクの空き容量が足りません。")});

    // The other ways a recording ends by itself.
    presenter.texts.clear();
    const QStringList ended{
        QStringLiteral("録音できる長さの上限（約6時間45分）に達したため、録音を終了しました。"),
        QStringLiteral("オーディオファイルの保存に失敗しました。")};
    for (const QString& text : ended) {
        CVeskError error;
        error.SetCode(ERR_VESK_FAILED, text);
        std::thread([&error] { CLast::Dummy().ErrorMessageFromMiddle(error); }).join();
    }
    CWinMsg::PumpMessages();
    EXPECT_EQ(presenter.texts, ended);
}
