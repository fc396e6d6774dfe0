#include "CCtrlPanel.h"
#include "CLast.h"
#include "CMemoCodec.h"
#include "CMidiParser.h"
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
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <sys/stat.h>
#include <thread>

using Bytes = std::vector<std::uint8_t>;

namespace {

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
    // Plays a note on the piano and waits until the engine saw it go down and up again.
    bool PlayNote(std::uint8_t note, std::uint8_t velocity) {
        const unsigned int key = note - 21u;
        piano->PressKey(note, velocity);
        if (!Eventually([&] { return sysinfo->GetKeyboardDisp(key) == 1; })) {
            return false;
        }
        piano->ReleaseKey(note);
        return Eventually([&] { return sysinfo->GetKeyboardDisp(key) == 0; });
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

// A value position that holds a status byte means the message was cut short before its value:
// like any malformed message it changes nothing, also where the setting was not the default.
TEST_F(PianoProtocol, AStatusByteWhereTheValueBelongsChangesNothing) {
    piano->PressTranspose(67);
    ASSERT_TRUE(Eventually([&] { return sysinfo->GetTranspose() == 3; }));
    piano->SendRaw({0xF0, 0x7F, 0x7F, 0x04, 0x04, 0x00, 0xF7});
    piano->SendRaw({0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x00, 0x01, 0x00, 0xF7});
    piano->SendRaw({0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x00, 0x10, 0x00, 0xF7});
    piano->SendRaw({0xF0, 0x7F, 0x7F, 0x04, 0x03, 0x41, 0xF7});
    piano->PressKey(70, 1);
    ASSERT_TRUE(Eventually([&] { return sysinfo->GetKeyboardDisp(70 - 21) == 1; }));
    EXPECT_EQ(sysinfo->GetTranspose(), 3);
    EXPECT_EQ(sysinfo->GetReverbOffOn(), REVERB_ON);
    EXPECT_EQ(sysinfo->GetTuning(), TUNING_STANDARD);

    const std::uint8_t noValue[] = {0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x00, 0x10, 0x00, 0xF7};
    panel.Ev2SysLongMsg(noValue, sizeof noValue, recorder.GetSafeHwnd());
    panel.Ev2SysShortMsg(0x00F04AB0u, recorder.GetSafeHwnd()); // brilliance 0xF0
    CWinMsg::PumpMessages();
    EXPECT_TRUE(presenter.texts.isEmpty());
    EXPECT_EQ(sysinfo->GetBrilliance(), BRILL_NORMAL);
    EXPECT_TRUE(Received().empty());
}

// The main voice 5 is on; the piano reports the dual voice 2, which trades places with it.
// The model follows, and nothing of it goes back to the piano.
TEST_F(PianoProtocol, ADualVoiceTradedOnThePianoIsNotSentBack) {
    sysinfo->SetDefTimbre(TIM_VIBRATION, nullptr);
    Received();
    piano->PressDual(4);
    ASSERT_TRUE(Eventually([&] {
        return sysinfo->GetDefTimbre() == TIM_ELECPIANO1 &&
               sysinfo->GetDualTimbre() == TIM_VIBRATION;
    }));
    piano->PressKey(70, 1);
    ASSERT_TRUE(Eventually([&] { return sysinfo->GetKeyboardDisp(70 - 21) == 1; }));
    CWinMsg::PumpMessages();
    EXPECT_TRUE(Received().empty());

    // The same trade asked for on the PC sends the new main voice and the dual voice.
    sysinfo->SetDualTimbre(TIM_NONE, nullptr);
    sysinfo->SetDefTimbre(TIM_VIBRATION, nullptr);
    Received();
    sysinfo->SetDualTimbre(TIM_ELECPIANO1, nullptr);
    EXPECT_EQ(Received(), (std::vector<Bytes>{{0xC0, 0x04},
                                              {0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x02, 0x10, 0x00,
                                               0x00, 0x00, 0x0B, 0xF7}}));
}

// Whatever a setter of the panel is given, the piano only ever receives whole, valid MIDI
// messages: a value whose bytes would not be data bytes is not sent at all, any other is sent
// as its low byte(s).
TEST_F(PianoProtocol, EveryMessageThePanelSendsIsValidMidi) {
    struct Setter {
        const char* name;
        std::function<void(unsigned int)> call;
        // The value bytes the message carries for a value.
        std::function<Bytes(unsigned int)> bytes;
    };
    const auto low = [](unsigned int v) { return static_cast<std::uint8_t>(v & 0xFF); };
    const auto one = [low](unsigned int v) { return Bytes{low(v)}; };
    const std::vector<Setter> setters{
        {"SetDefTimbre", [&](unsigned int v) { panel.SetDefTimbre(v); }, one},
        {"SetDualTimbre", [&](unsigned int v) { panel.SetDualTimbre(v); }, one},
        {"SetReverbOffOn", [&](unsigned int v) { panel.SetReverbOffOn(v); },
         [low](unsigned int v) { return Bytes{static_cast<std::uint8_t>(low(v) != 0 ? 1 : 0)}; }},
        {"SetBrilliance", [&](unsigned int v) { panel.SetBrilliance(v); }, one},
        {"SetTouchSense", [&](unsigned int v) { panel.SetTouchSense(v); }, one},
        {"SetTranspose", [&](unsigned int v) { panel.SetTranspose(v); }, one},
        {"SetTuning", [&](unsigned int v) { panel.SetTuning(v); },
         [low](unsigned int v) {
             return Bytes{low(v >> 8), low(v)};
         }},
        {"SetMbch", [&](unsigned int v) { panel.SetMbch(v); }, one},
        {"SetVolume", [&](unsigned int v) { panel.SetVolume(v); },
         [low](unsigned int v) {
             return Bytes{low(v), low(v >> 8)};
         }},
    };
    std::vector<unsigned int> values;
    for (unsigned int v = 0; v <= 0x200; ++v) {
        values.push_back(v);
    }
    for (unsigned int v : {0x3FFFu, 0x4000u, 0x1234u, 0x7F7Fu, 0x7F80u, 0x807Fu, 0xFFFFu, 0x10000u,
                           0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
        values.push_back(v);
    }
    std::mt19937 random(31);
    for (int i = 0; i < 300; ++i) {
        values.push_back(static_cast<unsigned int>(random()));
    }

    for (const Setter& setter : setters) {
        for (const unsigned int value : values) {
            // 255 is the dual voice's "off", which sends the main voice again.
            if (std::string(setter.name) == "SetDualTimbre" && value == 255) {
                continue;
            }
            setter.call(value);
            const std::vector<Bytes> sent = Received();
            const Bytes expected = setter.bytes(value);
            const bool sendable = std::all_of(expected.begin(), expected.end(),
                                              [](std::uint8_t b) { return b < 0x80; });
            ASSERT_EQ(sent.size(), sendable ? 1u : 0u) << setter.name << " " << value;
            for (const Bytes& message : sent) {
                // The virtual ZQ31's own parser finds exactly this one message in it.
                CMidiParser parser;
                std::vector<Bytes> found;
                parser.Feed(message.data(), message.size(),
                            [&found](const std::uint8_t* bytes, std::size_t length) {
                                found.emplace_back(bytes, bytes + length);
                            });
                ASSERT_EQ(found, std::vector<Bytes>{message}) << setter.name << " " << value;
                const auto at =
                    std::search(message.begin(), message.end(), expected.begin(), expected.end());
                EXPECT_NE(at, message.end()) << setter.name << " " << value;
            }
        }
    }
}

TEST_F(PianoProtocol, ASecondStartIsRefusedAndTheRecordingGoesOn) {
    const QString path = TestHome() + QStringLiteral("/twice.mid");
    recorder.SetFileName(path);
    ASSERT_EQ(recorder.Start(), 0);
    piano->PressKey(60, 100);
    ASSERT_TRUE(Eventually([&] { return sysinfo->GetKeyboardDisp(39) == 1; }));
    EXPECT_NE(recorder.Start(), 0);
    EXPECT_TRUE(recorder.IsRecording());
    piano->ReleaseKey(60);
    ASSERT_TRUE(Eventually([&] { return sysinfo->GetKeyboardDisp(39) == 0; }));
    ASSERT_EQ(recorder.Stop(), 0);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray image = file.readAll();
    EXPECT_TRUE(image.contains(QByteArray("\x90\x3C\x64", 3)));
    EXPECT_TRUE(image.contains(QByteArray("\x80\x3C\x40", 3)));
}

// The piano coming back refreshes the input; a recording running then keeps what was played
// before, and what is played after follows it in time.
TEST_F(PianoProtocol, ARefreshDuringARecordingKeepsWhatWasPlayed) {
    const QString path = TestHome() + QStringLiteral("/refreshed.mid");
    recorder.SetFileName(path);
    ASSERT_EQ(recorder.Start(), 0);
    ASSERT_TRUE(PlayNote(60, 100));
    ASSERT_EQ(recorder.Refresh(), 0);
    EXPECT_TRUE(recorder.IsRecording());
    ASSERT_TRUE(PlayNote(62, 90));
    ASSERT_EQ(recorder.Stop(), 0);

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray image = file.readAll();
    const qsizetype first = image.indexOf(QByteArray("\x90\x3C\x64", 3));
    const qsizetype second = image.indexOf(QByteArray("\x90\x3E\x5A", 3));
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    EXPECT_LT(first, second);
}

namespace {

// A message box that stays open, pumping the window thread's messages like a modal loop, until
// the test's condition holds or a generous deadline passes.
class CModalFusion : public CRecordingFusion {
public:
    std::function<bool()> closeWhen = [] { return true; };
    bool closedInTime = false;

    int ShowMessage(QString text, unsigned int style, QString caption) override {
        closedInTime = Eventually(closeWhen);
        return CRecordingFusion::ShowMessage(text, style, caption);
    }
};

} // namespace

// Settings changed on the piano arrive on the MIDI input's thread and go through the same
// setters as the window thread's; an open message box there must not hold them up.
TEST_F(PianoProtocol, ThePianoIsHeardWhileAMessageIsOpen) {
    const QString notMidi = TestHome() + QStringLiteral("/not-midi.mid");
    {
        QFile file(notMidi);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("this is not a MIDI file");
    }
    CAnsweringTake take(QStringLiteral(".mid"));
    ASSERT_EQ(take.SetFileName(notMidi), 1);
    sysinfo->SetSeqFile(&take);

    // Short messages only: the input has two buffers for system-exclusive messages, and a
    // flood of those is dropped by the device like on any MIDI input.
    std::thread player([&] {
        for (int i = 0; i < 200; ++i) {
            piano->PressBrilliance(static_cast<std::uint8_t>(48 + (i % 5) * 8));
            piano->PressVoice(static_cast<std::uint8_t>(i % 2 == 0 ? 48 : 19));
        }
        piano->PressKey(70, 1); // the last report
    });
    {
        CModalFusion modal;
        modal.closeWhen = [&] { return sysinfo->GetKeyboardDisp(70 - 21) == 1; };
        // Writing the memo into a file that is not a MIDI file fails: the error is shown.
        sysinfo->SetSeqMemo(QStringLiteral("練習"), nullptr);
        player.join();
        ASSERT_EQ(modal.texts, QStringList{QStringLiteral("MIDIファイルの保存に失敗しました。")});
        EXPECT_TRUE(modal.closedInTime);
    }
    CLast::InitFusion(&presenter);
    sysinfo->SetSeqFile(nullptr);
    EXPECT_EQ(sysinfo->GetSeqMemo(), QString());
    // The model holds what the piano reported last, and the PC's next changes reach it.
    EXPECT_EQ(sysinfo->GetBrilliance(), BRILL_DARK);
    EXPECT_EQ(sysinfo->GetDefTimbre(), TIM_PIPEORGAN);
    sysinfo->SetBrilliance(BRILL_BRITE, nullptr);
    sysinfo->SetDefTimbre(TIM_UPRIGHTPIANO, nullptr);
    EXPECT_EQ(piano->GetPanel().brilliance, 48);
    EXPECT_EQ(piano->GetPanel().program, 1);
}

// The window thread changes settings while the device watch pushes the whole state to the
// piano: whatever the interleaving, the piano ends with the model's values.
TEST_F(PianoProtocol, ThePianoEndsWithTheModelsValuesWhateverTheInterleaving) {
    std::atomic<bool> done{false};
    std::thread watch([&] {
        while (!done) {
            sysinfo->RefreshMiddle();
        }
    });
    for (int i = 0; i < 400; ++i) {
        sysinfo->SetBrilliance(static_cast<E_BRILLIANCE>(i % 5), nullptr);
        sysinfo->SetTouchSense(static_cast<E_TOUCHSENSE>((i * 3) % 5), nullptr);
        sysinfo->SetReverbOffOn(static_cast<E_REVERB>(i % 2), nullptr);
        sysinfo->SetDefTimbre(static_cast<E_TIMBRE>(i % 8), nullptr);
    }
    done = true;
    watch.join();
    const CConverter& c = sysinfo->Converter();
    const CVirtualPiano::Panel state = piano->GetPanel();
    EXPECT_EQ(state.brilliance, c.LevelToWire(sysinfo->GetBrilliance()));
    EXPECT_EQ(state.touch, c.LevelToWire(sysinfo->GetTouchSense()));
    EXPECT_EQ(state.reverb, c.ReverbToWire(sysinfo->GetReverbOffOn()));
    EXPECT_EQ(state.program, c.TimbreToProgram(sysinfo->GetDefTimbre()));
}

// A pipe named like a MIDI file has no memo, and asking for one must not wait for a writer.
TEST_F(PianoProtocol, TheMemoOfSomethingThatIsNotAFileIsEmpty) {
    const QString pipe = TestHome() + QStringLiteral("/pipe.mid");
    QFile::remove(pipe);
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    EXPECT_EQ(panel.GetMemo(pipe), QString());
    EXPECT_EQ(panel.GetMemo(TestHome()), QString());
}

// The PC turns dual play off after the main voice was changed on the piano: the piano must end
// with the main voice the model shows, not with one the PC sent before.
TEST_F(PianoProtocol, DualOffAfterAVoiceChosenOnThePianoKeepsTheModelsMainVoice) {
    sysinfo->SetDefTimbre(TIM_UPRIGHTPIANO, nullptr);
    piano->PressVoice(4);
    ASSERT_TRUE(Eventually([&] { return sysinfo->GetDefTimbre() == TIM_ELECPIANO1; }));
    sysinfo->SetDualTimbre(TIM_STRINGS, nullptr);
    ASSERT_EQ(piano->GetPanel().dual, 48);
    sysinfo->SetDualTimbre(TIM_NONE, nullptr);
    EXPECT_EQ(sysinfo->GetDefTimbre(), TIM_ELECPIANO1);
    EXPECT_EQ(piano->GetPanel().program,
              sysinfo->Converter().TimbreToProgram(sysinfo->GetDefTimbre()));
}

namespace {

// The events of the one track of a recording, with their times in ticks.
std::vector<std::pair<std::uint64_t, Bytes>> RecordedEvents(const QByteArray& image) {
    std::vector<std::pair<std::uint64_t, Bytes>> events;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(image.constData());
    const auto size = static_cast<std::size_t>(image.size());
    std::size_t at = 22; // header (14), "MTrk" and the track's length
    std::uint64_t tick = 0;
    const auto number = [&](std::uint64_t& value) {
        value = 0;
        for (int i = 0; i < 4 && at < size; ++i) {
            const std::uint8_t byte = bytes[at++];
            value = (value << 7) | (byte & 0x7F);
            if (byte < 0x80) {
                return true;
            }
        }
        return false;
    };
    while (at < size) {
        std::uint64_t delta = 0;
        if (!number(delta) || at >= size) {
            break;
        }
        tick += delta;
        const std::size_t start = at;
        const std::uint8_t status = bytes[at++];
        std::uint64_t length = 0;
        if (status == 0xFF) {
            ++at; // type
            if (!number(length)) {
                break;
            }
        } else if (status == 0xF0 || status == 0xF7) {
            if (!number(length)) {
                break;
            }
        } else {
            length = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
        }
        at += static_cast<std::size_t>(length);
        if (at > size) {
            break;
        }
        events.emplace_back(tick, Bytes(bytes + start, bytes + at));
    }
    return events;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// A refused second start must leave the running recording's clock alone: a setting changed
// afterwards is recorded after the note played before it, and nothing lies hours away.
TEST_F(PianoProtocol, ARefusedSecondStartLeavesTheRecordingsTimeAlone) {
    const QString path = TestHome() + QStringLiteral("/second-start.mid");
    recorder.SetFileName(path);
    ASSERT_EQ(recorder.Start(), 0);
    piano->PressKey(60, 100);
    ASSERT_TRUE(Eventually([&] { return sysinfo->GetKeyboardDisp(39) == 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_NE(recorder.Start(), 0);
    // Let the recording's clock thread run a few rounds.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    sysinfo->SetDefTimbre(TIM_STRINGS, nullptr);
    piano->ReleaseKey(60);
    ASSERT_TRUE(Eventually([&] { return sysinfo->GetKeyboardDisp(39) == 0; }));
    ASSERT_EQ(recorder.Stop(), 0);

    const auto events = RecordedEvents(ReadAll(path));
    ASSERT_FALSE(events.empty());
    std::uint64_t noteOn = 0;
    std::uint64_t program = 0;
    for (const auto& [tick, bytes] : events) {
        if (bytes == Bytes{0x90, 0x3C, 0x64}) {
            noteOn = tick;
        }
        if (bytes == Bytes{0xC0, 0x30}) {
            program = tick;
        }
    }
    EXPECT_GT(program, noteOn);
    // 96 ticks a quarter at 120 a minute: a minute is 11,520 ticks, far more than this took.
    EXPECT_LT(events.back().first, 11520u);
}

// The piano comes back before anything was played: what is played afterwards keeps its time
// from the start of the recording.
TEST_F(PianoProtocol, ARefreshBeforeTheFirstNoteKeepsTheTimeSinceTheStart) {
    const QString path = TestHome() + QStringLiteral("/refresh-first.mid");
    recorder.SetFileName(path);
    ASSERT_EQ(recorder.Start(), 0);
    // At least 1.5 s pass between the start and the note.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ASSERT_EQ(recorder.Refresh(), 0);
    ASSERT_TRUE(PlayNote(60, 100));
    ASSERT_EQ(recorder.Stop(), 0);

    std::uint64_t noteOn = 0;
    for (const auto& [tick, bytes] : RecordedEvents(ReadAll(path))) {
        if (bytes == Bytes{0x90, 0x3C, 0x64}) {
            noteOn = tick;
        }
    }
    // 1.5 s are 288 ticks at 120 a minute; allow for rounding generously.
    EXPECT_GE(noteOn, 192u);
}

// The piano goes away and comes back several times while a recording runs: every note played
// is kept, in the order played.
TEST_F(PianoProtocol, ARecordingSurvivesThePianoComingAndGoing) {
    const QString path = TestHome() + QStringLiteral("/coming-and-going.mid");
    recorder.SetFileName(path);
    ASSERT_EQ(recorder.Start(), 0);
    constexpr int kRounds = 4;
    for (int i = 0; i < kRounds; ++i) {
        const auto note = static_cast<std::uint8_t>(60 + i);
        piano->PressKey(note, 100);
        ASSERT_TRUE(Eventually([&] { return sysinfo->GetKeyboardDisp(note - 21) == 1; }));
        piano->ReleaseKey(note);
        ASSERT_TRUE(Eventually([&] { return sysinfo->GetKeyboardDisp(note - 21) == 0; }));
        piano->Unplug();
        piano->Plug();
        ASSERT_EQ(recorder.Refresh(), 0);
        EXPECT_TRUE(recorder.IsRecording());
    }
    ASSERT_EQ(recorder.Stop(), 0);
    std::vector<std::uint64_t> times;
    std::vector<int> notes;
    for (const auto& [tick, bytes] : RecordedEvents(ReadAll(path))) {
        if (bytes.size() == 3 && bytes[0] == 0x90) {
            notes.push_back(bytes[1]);
            times.push_back(tick);
        }
    }
    EXPECT_EQ(notes, (std::vector<int>{60, 61, 62, 63}));
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
}

// The device watch refreshes the input while the window thread stops the recording: what was
// played is written, and the recorder is left stopped with its input open.
TEST_F(PianoProtocol, StoppingWhileTheInputIsRefreshedWritesTheRecording) {
    const QString path = TestHome() + QStringLiteral("/stop-refresh.mid");
    recorder.SetFileName(path);
    ASSERT_EQ(recorder.Start(), 0);
    ASSERT_TRUE(PlayNote(60, 100));
    std::atomic<bool> go{false};
    std::thread watch([&] {
        while (!go) {
            std::this_thread::yield();
        }
        for (int i = 0; i < 3; ++i) {
            recorder.Refresh();
        }
    });
    go = true;
    const CVeskError stopped = recorder.Stop();
    watch.join();
    EXPECT_EQ(stopped, 0);
    EXPECT_FALSE(recorder.IsRecording());
    EXPECT_TRUE(recorder.InputIsOpen());
    EXPECT_TRUE(ReadAll(path).contains(QByteArray("\x90\x3C\x64", 3)));
    // The input still works.
    piano->PressKey(64, 90);
    EXPECT_TRUE(Eventually([&] { return sysinfo->GetKeyboardDisp(43) == 1; }));
}

// The piano is unplugged during a recording and the device watch's refresh finds no input:
// stopping still writes what was played, and reports the device.
TEST_F(PianoProtocol, StoppingAfterThePianoWentAwayWritesWhatWasPlayed) {
    const QString path = TestHome() + QStringLiteral("/went-away.mid");
    recorder.SetFileName(path);
    ASSERT_EQ(recorder.Start(), 0);
    ASSERT_TRUE(PlayNote(60, 100));
    piano->Unplug();
    EXPECT_NE(recorder.Refresh(), 0);
    EXPECT_FALSE(recorder.InputIsOpen());
    EXPECT_NE(recorder.Stop(), 0);
    EXPECT_FALSE(recorder.IsRecording());
    const QByteArray image = ReadAll(path);
    EXPECT_TRUE(image.contains(QByteArray("\x90\x3C\x64", 3)));
    EXPECT_TRUE(image.contains(QByteArray("\x80\x3C\x40", 3)));
    // Back again: the input opens and a new recording starts.
    piano->Plug();
    EXPECT_EQ(recorder.Refresh(), 0);
    EXPECT_TRUE(recorder.InputIsOpen());
}

// A memo written while the recording runs is the memo of the recorded file.
TEST_F(PianoProtocol, AMemoWrittenDuringARecordingIsTheFilesMemo) {
    const QString path = TestHome() + QStringLiteral("/memo-while-recording.mid");
    recorder.SetFileName(path);
    ASSERT_EQ(recorder.Start(), 0);
    piano->PressKey(60, 100);
    ASSERT_TRUE(Eventually([&] { return sysinfo->GetKeyboardDisp(39) == 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_EQ(recorder.SetMemo(QStringLiteral("練習の記録")), 0);
    piano->ReleaseKey(60);
    ASSERT_TRUE(Eventually([&] { return sysinfo->GetKeyboardDisp(39) == 0; }));
    ASSERT_EQ(recorder.Stop(), 0);
    EXPECT_EQ(CMemoCodec::FromFile(SmfMemoOf(ReadAll(path))), QStringLiteral("練習の記録"));
}
