#include "CCtrlPanel.h"
#include "CLast.h"
#include "CSequencerRec.h"
#include "CSysinfo.h"
#include "CVirtualPiano.h"
#include "CWinMsg.h"
#include "EngineDoubles.h"
#include "QtPrinters.h"
#include "RecordingFusion.h"
#include "Smf.h"
#include "TestHome.h"
#include "mmsystemx.h"

#include <QFile>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

using Bytes = std::vector<std::uint8_t>;

namespace {

template <typename Condition>
bool Eventually(Condition done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        CWinMsg::PumpMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// The engine's receiver with the real control panel and recorder, talking to a fresh virtual
// ZQ31 through its MIDI input and output.
class PianoProtocol : public testing::Test {
protected:
    void SetUp() override {
        piano = mmxUseVirtualPiano(std::make_shared<CVirtualPiano>());
        piano->SetActiveSensing(false);
        sysinfo = std::make_unique<CSysinfo>();
        CLast::InitSysinfo(sysinfo.get());
        sysinfo->SetCtrlPanel(&panel);
        sysinfo->SetSequencerRec(&recorder);
        sysinfo->SetStereo(&stereo);
        sysinfo->SetConpane(&conpane);
        sysinfo->SetKeyboard(&keyboard);
        ASSERT_EQ(recorder.Initialize(), 0);
    }
    void TearDown() override {
        recorder.Terminate();
        CWinMsg::PumpMessages();
        sysinfo->SetCtrlPanel(nullptr);
        sysinfo->SetSequencerRec(nullptr);
        CLast::InitSysinfo(nullptr);
        mmxUseSystemDevices();
    }
    // What the piano received since the last call, message by message.
    std::vector<Bytes> Received() {
        std::vector<Bytes> messages;
        for (const auto& received : piano->Received()) {
            messages.push_back(received.bytes);
        }
        piano->ClearReceived();
        return messages;
    }

    CRecordingFusion presenter;
    std::shared_ptr<CVirtualPiano> piano;
    CCtrlPanel panel;
    CSequencerRec recorder;
    CRecordingWindow stereo, conpane, keyboard;
    std::unique_ptr<CSysinfo> sysinfo;
};

} // namespace

TEST_F(PianoProtocol, SettingsChangedOnThePcReachThePianoByteForByte) {
    sysinfo->SetDefTimbre(TIM_STRINGS, nullptr);
    EXPECT_EQ(Received(), (std::vector<Bytes>{{0xC0, 0x30}}));
    sysinfo->SetDualTimbre(TIM_PIPEORGAN, nullptr);
    EXPECT_EQ(Received(), (std::vector<Bytes>{{0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x02, 0x10, 0x00,
                                               0x00, 0x00, 0x13, 0xF7}}));
    sysinfo->SetReverbOffOn(REVERB_OFF, nullptr);
    EXPECT_EQ(Received(), (std::vector<Bytes>{
                              {0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x00, 0x01, 0x00, 0x00, 0xF7}}));
    sysinfo->SetBrilliance(BRILL_DARK, nullptr);
    EXPECT_EQ(Received(), (std::vector<Bytes>{{0xB0, 0x4A, 0x50}}));
    sysinfo->SetTouchSense(TOUCH_LIGHT, nullptr);
    EXPECT_EQ(Received(), (std::vector<Bytes>{
                              {0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x02, 0x00, 0x00, 0x30, 0xF7}}));
    sysinfo->SetTranspose(TRANSPOSE_D, nullptr);
    CWinMsg::PumpMessages();
    const Bytes transpose{0xF0, 0x7F, 0x7F, 0x04, 0x04, 0x00, 0x42, 0xF7};
    EXPECT_EQ(Received(), (std::vector<Bytes>{transpose, transpose}));

    const CVirtualPiano::Panel state = piano->GetPanel();
    EXPECT_EQ(state.program, 48);
    EXPECT_EQ(state.dual, 19);
    EXPECT_EQ(state.reverb, 0);
    EXPECT_EQ(state.brilliance, 80);
    EXPECT_EQ(state.touch, 48);
    EXPECT_EQ(state.transpose, 66);
}

TEST_F(PianoProtocol, VolumeCarriesAChecksumThePianoAccepts) {
    panel.SetVolume(291);
    const std::vector<Bytes> sent = Received();
    ASSERT_EQ(sent.size(), 1u);
    ASSERT_EQ(sent[0].size(), 17u);
    EXPECT_EQ(sent[0][12], 0x23);
    EXPECT_EQ(sent[0][13], 0x01);
    unsigned sum = 0;
    for (int i = 1; i <= 15; ++i) {
        sum += sent[0][i];
    }
    EXPECT_EQ(sum % 128, 0u);
    EXPECT_EQ(piano->GetPanel().volume, 291);
}

TEST_F(PianoProtocol, DualOffResendsTheMainVoiceOnlyWhenOneWasSent) {
    panel.SetDualTimbre(255);
    EXPECT_TRUE(Received().empty());
    panel.SetDefTimbre(48);
    Received();
    panel.SetDualTimbre(255);
    EXPECT_EQ(Received(), (std::vector<Bytes>{{0xC0, 0x30}}));
    panel.SetReverbOffOn(2);
    EXPECT_EQ(Received().at(0).at(9), 1);
}

TEST_F(PianoProtocol, QuickTuningChangesReachThePianoAsOneMessage) {
    sysinfo->SetTuning(static_cast<E_TUNING>(70), nullptr);
    sysinfo->SetTuning(static_cast<E_TUNING>(71), nullptr);
    sysinfo->SetTuning(static_cast<E_TUNING>(72), nullptr);
    EXPECT_TRUE(Received().empty());
    CWinMsg::PumpMessages();
    EXPECT_EQ(Received(), (std::vector<Bytes>{{0xF0, 0x7F, 0x7F, 0x04, 0x03, 0x00, 0x44, 0xF7}}));
    EXPECT_EQ(piano->GetPanel().tuningMsb, 0x44);
}

TEST_F(PianoProtocol, PanelChangesOnThePianoReachTheModelAndGoNoFurther) {
    piano->PressVoice(48);
    ASSERT_TRUE(Eventually([&] { return sysinfo->GetDefTimbre() == TIM_STRINGS; }));
    piano->PressDual(19);
    ASSERT_TRUE(Eventually([&] { return sysinfo->GetDualTimbre() == TIM_PIPEORGAN; }));
    piano->PressReverb(false);
    ASSERT_TRUE(Eventually([&] { return sysinfo->GetReverbOffOn() == REVERB_OFF; }));
    piano->PressBrilliance(72);
    ASSERT_TRUE(Eventually([&] { return sysinfo->GetBrilliance() == BRILL_MIDDARK; }));
    piano->PressTouch(56);
    ASSERT_TRUE(Eventually([&] { return sysinfo->GetTouchSense() == TOUCH_MIDLIGHT; }));
    piano->PressTranspose(66);
    ASSERT_TRUE(Eventually([&] { return sysinfo->GetTranspose() == TRANSPOSE_D; }));
    piano->PressTuning(65, 0x40);
    ASSERT_TRUE(Eventually([&] { return sysinfo->GetTuning() == 67; }));
    CWinMsg::PumpMessages();
    EXPECT_GT(stereo.Count(WM_DATACHANGE), 0);
    EXPECT_GT(conpane.Count(WM_DATACHANGE), 0);
    // Nothing went back to the piano, also not through the deferred commands.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    CWinMsg::PumpMessages();
    EXPECT_TRUE(Received().empty());
}

TEST_F(PianoProtocol, ABasicChannelOtherThanOneIsRefusedOnce) {
    const auto mainThread = std::this_thread::get_id();
    piano->PressBasicChannel(2);
    ASSERT_TRUE(Eventually([&] { return piano->GetPanel().basicChannel == 1; }));
    EXPECT_EQ(Received(), (std::vector<Bytes>{
                              {0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x00, 0x10, 0x00, 0x01, 0xF7}}));
    ASSERT_TRUE(Eventually([&] { return !presenter.texts.isEmpty(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    CWinMsg::PumpMessages();
    EXPECT_EQ(presenter.texts, QStringList{QStringLiteral(
                                   "ベーシックチャンネルを１以外に設定することはできません。")});
    EXPECT_EQ(presenter.threads.front(), mainThread);
    // Channel 1 reported causes nothing.
    piano->PressBasicChannel(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    CWinMsg::PumpMessages();
    EXPECT_EQ(presenter.texts.size(), 1);
    EXPECT_TRUE(Received().empty());
}

TEST_F(PianoProtocol, NotesFromThePianoReachTheKeyboardDisplay) {
    piano->PressKey(60, 100);
    ASSERT_TRUE(Eventually([&] { return sysinfo->GetKeyboardDisp(39) == 1; }));
    // Not recording: the score display is left alone.
    EXPECT_EQ(sysinfo->GetScoreDisp(39), 0xFFu);
    piano->ReleaseKey(60);
    ASSERT_TRUE(Eventually([&] { return sysinfo->GetKeyboardDisp(39) == 0; }));
    piano->SendRaw({0x91, 62, 100, 0xB1, 0x4A, 48});
    piano->PressKey(64, 90);
    ASSERT_TRUE(Eventually([&] { return sysinfo->GetKeyboardDisp(43) == 1; }));
    EXPECT_EQ(sysinfo->GetKeyboardDisp(41), 0);
    EXPECT_EQ(sysinfo->GetBrilliance(), BRILL_NORMAL);
}

TEST_F(PianoProtocol, MalformedMessagesFromThePianoChangeNothing) {
    piano->SendRaw({0xF0, 0x7F, 0x7F, 0x04, 0x04, 0x00, 0xF7});                   // no value
    piano->SendRaw({0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x02, 0x10, 0x00, 0xF7}); // dual, cut
    piano->SendRaw({0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x02, 0x00, 0xF7});       // touch, cut
    Bytes huge{0xF0};
    huge.insert(huge.end(), 3000, 0x11);
    huge.push_back(0xF7);
    piano->SendRaw(huge);
    piano->SendRaw({0xC0});
    piano->PressKey(70, 1); // a marker that arrives after the rest
    ASSERT_TRUE(Eventually([&] { return sysinfo->GetKeyboardDisp(70 - 21) == 1; }));
    EXPECT_EQ(sysinfo->GetTranspose(), TRANSPOSE_C);
    EXPECT_EQ(sysinfo->GetDualTimbre(), TIM_NONE);
    EXPECT_EQ(sysinfo->GetTouchSense(), TOUCH_NORMAL);
    EXPECT_EQ(sysinfo->GetDefTimbre(), TIM_GRANDPIANO);

    // Decoded directly, too short for its value byte.
    const std::uint8_t prefix[] = {0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x00, 0x10, 0x00};
    panel.Ev2SysLongMsg(prefix, sizeof prefix, recorder.GetSafeHwnd());
    panel.Ev2SysShortMsg(0x05000090u, recorder.GetSafeHwnd());
    CWinMsg::PumpMessages();
    EXPECT_TRUE(presenter.texts.isEmpty());
}

TEST_F(PianoProtocol, ARecordingIsWrittenAsAMidiFile) {
    const QString path = TestHome() + QStringLiteral("/recording.mid");
    recorder.SetFileName(path);
    ASSERT_EQ(recorder.Start(), 0);
    EXPECT_TRUE(recorder.IsRecording());
    piano->PressKey(60, 100);
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    piano->ReleaseKey(60);
    ASSERT_TRUE(Eventually([&] { return sysinfo->GetKeyboardDisp(39) == 0; }));
    // While recording, the score display shows what is played too.
    EXPECT_EQ(sysinfo->GetScoreDisp(39), CDataInfo::kScoreHidden);
    ASSERT_EQ(recorder.Stop(), 0);
    EXPECT_FALSE(recorder.IsRecording());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray image = file.readAll();
    // The memo placeholder stands among the events at time 0.
    EXPECT_EQ(SmfMemoOf(image), QByteArray());
    EXPECT_TRUE(image.contains(QByteArray("\xFF\x01\x02\x00\xF0", 5)));
    EXPECT_TRUE(image.contains(QByteArray("\x90\x3C\x64", 3)));
    EXPECT_TRUE(image.contains(QByteArray("\x80\x3C\x40", 3)));
    // Stopping again writes nothing more.
    EXPECT_EQ(recorder.Stop(), 0);
}
