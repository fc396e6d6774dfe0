#include "CCheckUSBdev.h"
#include "CLast.h"
#include "CMmBackend.h"
#include "CTrace.h"
#include "CVirtualPiano.h"
#include "CWinMsg.h"
#include "EngineDoubles.h"
#include "QtPrinters.h"
#include "RecordingFusion.h"
#include "TestHome.h"
#include "mmsystem.h"
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
    // The watch asks for the functions one after another: a look that straddles the plugging
    // may find some of them and pass through the partial state first.
    QStringList reports = Reports();
    reports.removeAll(QStringLiteral("ZQ31_Disconnecting"));
    EXPECT_EQ(reports, QStringList{QStringLiteral("ZQ31_Connected")});
    EXPECT_EQ(Reports().last(), QStringLiteral("ZQ31_Connected"));
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
    // Without the piano the answer names no device at all: never the wave mapper, which
    // would send the piano's audio to the computer's own output.
    EXPECT_NE(CLast::Dummy().GetWaveOutDev(), WAVE_MAPPER);
    EXPECT_GE(CLast::Dummy().GetWaveOutDev(), waveOutGetNumDevs());
    EXPECT_GE(CLast::Dummy().GetWaveInDev(), waveInGetNumDevs());
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

namespace {
// The watch's longest wait for the test, and the usual one again afterwards.
struct CLongestWait {
    explicit CLongestWait(std::chrono::milliseconds wait) { CCheckUSBdev::SetLongestWait(wait); }
    ~CLongestWait() { CCheckUSBdev::SetLongestWait(std::chrono::seconds(1)); }
};
} // namespace

// The watch sleeps until the devices report a change: with its longest wait out of reach, a
// plug or an unplug is still reported, each after exactly one look at the devices.
TEST_F(DeviceWatch, ChangesWakeTheWatchWhichOtherwiseSleeps) {
    const CLongestWait longest(std::chrono::hours(1));
    const std::uint64_t before = CCheckUSBdev::Passes();
    watch = std::make_unique<CCheckUSBdev>();
    // The watch's first look, at its start.
    ASSERT_TRUE(Eventually([before] { return CCheckUSBdev::Passes() > before; }));
    const std::uint64_t first = CCheckUSBdev::Passes();

    piano->Unplug(CVirtualPiano::kWaveIn);
    ASSERT_TRUE(Eventually([&] { return CCheckUSBdev::LastStatus() == ZQ31_Disconnecting; }));
    piano->Unplug();
    ASSERT_TRUE(Eventually([&] { return CCheckUSBdev::LastStatus() == ZQ31_NotConnected; }));
    piano->Plug();
    ASSERT_TRUE(Eventually([&] { return CCheckUSBdev::LastStatus() == ZQ31_Connected; }));
    const QStringList expected{QStringLiteral("ZQ31_Disconnecting"),
                               QStringLiteral("ZQ31_NotConnected"),
                               QStringLiteral("ZQ31_Connected")};
    EXPECT_TRUE(Eventually([&] { return Reports() == expected; }))
        << Reports().join(' ').toStdString();
    // One look per change; a watch that polled would have looked many times meanwhile. A
    // change may land while the watch is still looking at the one before, hence "at most".
    EXPECT_LE(CCheckUSBdev::Passes() - first, 3u);
    // Plugging what is already plugged is no change and wakes nobody.
    const std::uint64_t settled = CCheckUSBdev::Passes();
    piano->Plug();
    piano->Unplug(CVirtualPiano::kMidiOut);
    ASSERT_TRUE(Eventually([&] { return CCheckUSBdev::LastStatus() == ZQ31_Disconnecting; }));
    EXPECT_EQ(CCheckUSBdev::Passes() - settled, 1u);
    watch.reset();
}

namespace {

template <typename Base>
class CNamed : public Base {
public:
    explicit CNamed(const char* name) : m_name(name) {}
    std::string Name() const override { return m_name; }
    bool Present() const override { return true; }

private:
    std::string m_name;
};

struct CSilentMidiOut : CNamed<CMmBackend::MidiOutPort> {
    using CNamed::CNamed;
    bool Send(const std::uint8_t*, std::size_t) override { return false; }
};
struct CSilentMidiIn : CNamed<CMmBackend::MidiInPort> {
    using CNamed::CNamed;
    void Listen(Sink) override {}
};
struct CSilentWaveOut : CNamed<CMmBackend::WaveOutPort> {
    using CNamed::CNamed;
    bool Play(const std::uint8_t*, std::size_t, const WAVEFORMATEX&) override { return false; }
};
struct CSilentWaveIn : CNamed<CMmBackend::WaveInPort> {
    using CNamed::CNamed;
    bool Capture(std::uint8_t*, std::size_t, const WAVEFORMATEX&, std::uint64_t) override {
        return false;
    }
};

// The piano's four devices, by their names, behind a backend that reports no changes.
class CSilentBackend : public CMmBackend {
public:
    std::atomic<bool> plugged{false};
    std::string Name() const override { return "silent"; }
    std::vector<std::shared_ptr<MidiOutPort>> MidiOutPorts() override { return Listed(m_midiOut); }
    std::vector<std::shared_ptr<MidiInPort>> MidiInPorts() override { return Listed(m_midiIn); }
    std::vector<std::shared_ptr<WaveOutPort>> WaveOutPorts() override { return Listed(m_waveOut); }
    std::vector<std::shared_ptr<WaveInPort>> WaveInPorts() override { return Listed(m_waveIn); }

private:
    template <typename Port>
    std::vector<std::shared_ptr<Port>> Listed(const std::shared_ptr<Port>& port) const {
        return plugged ? std::vector<std::shared_ptr<Port>>{port}
                       : std::vector<std::shared_ptr<Port>>{};
    }
    std::shared_ptr<MidiOutPort> m_midiOut =
        std::make_shared<CSilentMidiOut>(CVirtualPiano::kMidiOutName);
    std::shared_ptr<MidiInPort> m_midiIn =
        std::make_shared<CSilentMidiIn>(CVirtualPiano::kMidiInName);
    std::shared_ptr<WaveOutPort> m_waveOut =
        std::make_shared<CSilentWaveOut>(CVirtualPiano::kWaveOutName);
    std::shared_ptr<WaveInPort> m_waveIn =
        std::make_shared<CSilentWaveIn>(CVirtualPiano::kWaveInName);
};

} // namespace

// Devices that report nothing are still found: the watch looks by itself.
TEST_F(DeviceWatch, DevicesThatReportNothingAreFoundByLooking) {
    auto silent = std::make_shared<CSilentBackend>();
    mmxUseBackend(silent);
    const CLongestWait longest(std::chrono::milliseconds(20));
    watch = std::make_unique<CCheckUSBdev>();
    EXPECT_EQ(CCheckUSBdev::LastStatus(), ZQ31_NotConnected);
    silent->plugged = true;
    ASSERT_TRUE(Eventually([&] { return CCheckUSBdev::LastStatus() == ZQ31_Connected; }));
    silent->plugged = false;
    ASSERT_TRUE(Eventually([&] { return CCheckUSBdev::LastStatus() == ZQ31_NotConnected; }));
    // A look in the middle of a flip sees some devices and not others, as when a piano's
    // functions come one by one: that is reported too. The report is written out as the
    // watch's trace scope ends, just after the state changes.
    const QStringList expected{QStringLiteral("ZQ31_Connected"),
                               QStringLiteral("ZQ31_NotConnected")};
    const auto whole = [this] {
        QStringList reports = Reports();
        reports.removeAll(QStringLiteral("ZQ31_Disconnecting"));
        return reports;
    };
    EXPECT_TRUE(Eventually([&] { return whole() == expected; }))
        << Reports().join(' ').toStdString();
    watch.reset();
}
