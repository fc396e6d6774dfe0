#include "CConpaneDlg.h"
#include "CIconWndButton.h"
#include "CLast.h"
#include "CSlider.h"
#include "CSpinList.h"
#include "CTrade.h"
#include "CWinMsg.h"
#include "WindowRig.h"

#include "CCheckUSBdev.h"

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTest>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kStrings{0xC0, 0x30};
const Bytes kGrandPiano{0xC0, 0x00};
const Bytes kDualStrings{0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x02,
                         0x10, 0x00, 0x00, 0x00, 0x30, 0xF7};

Bytes Transpose(std::uint8_t wire) {
    return {0xF0, 0x7F, 0x7F, 0x04, 0x04, 0x00, wire, 0xF7};
}
Bytes Tuning(std::uint8_t lsb, std::uint8_t msb) {
    return {0xF0, 0x7F, 0x7F, 0x04, 0x03, lsb, msb, 0xF7};
}
Bytes Touch(std::uint8_t wire) {
    return {0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x02, 0x00, 0x00, wire, 0xF7};
}

// The panel over the real engine and a fresh virtual ZQ31, registered and shown as the program
// shows it.
class ConpanePanel : public testing::Test {
protected:
    ConpanePanel() {
        CLast::InitTrade(&m_trade);
        if (QFontDatabase::families().contains(QStringLiteral("IPAPGothic"))) {
            QFont font(QStringLiteral("IPAPGothic"));
            font.setPixelSize(12);
            QApplication::setFont(font);
        }
        rig = std::make_unique<CWindowRig>();
        EXPECT_TRUE(Eventually([] { return CCheckUSBdev::LastStatus() == ZQ31_Connected; }));
        panel = std::make_unique<CConpaneDlg>();
        EXPECT_TRUE(panel->Create(nullptr));
        rig->manage->SetConpane(panel.get());
        panel->show();
        QApplication::setActiveWindow(panel.get());
        Drain();
        rig->piano->ClearReceived();
    }
    ~ConpanePanel() override {
        panel.reset();
        rig.reset();
        CLast::InitTrade(nullptr);
    }

    // Handles whatever the window thread has to do now, deferred commands included.
    static void Drain() {
        for (int i = 0; i < 5; ++i) {
            CWinMsg::PumpMessages();
        }
    }

    // What the piano received since the last call, once `count` messages have arrived and the
    // window thread has nothing left to send.
    std::vector<Bytes> Received(std::size_t count) {
        EXPECT_TRUE(Eventually([&] { return rig->piano->Received().size() >= count; }));
        Drain();
        std::vector<Bytes> messages;
        for (const auto& received : rig->piano->Received()) {
            messages.push_back(received.bytes);
        }
        rig->piano->ClearReceived();
        return messages;
    }

    static void Click(QWidget* widget) {
        QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
        Drain();
    }
    void ClickVoice(E_TIMBRE voice) { Click(panel->VoiceButton(voice)); }

    // Presses the slider strip over tick `position` and lets go there.
    static void Slide(CSlider* slider, int position) {
        const int x = std::min(slider->width() - 1, position * slider->width() / 4);
        const QPoint at(x, slider->height() / 2);
        QTest::mousePress(slider, Qt::LeftButton, {}, at);
        QTest::mouseRelease(slider, Qt::LeftButton, {}, at);
        Drain();
    }

    std::vector<int> Checked() const {
        std::vector<int> checked;
        for (int i = 0; i < CConpaneDlg::kVoices; ++i) {
            if (panel->VoiceButton(i)->Checkd() != 0) {
                checked.push_back(i);
            }
        }
        return checked;
    }

    bool Voices(E_TIMBRE main, E_TIMBRE dual) const {
        return rig->manage->GetDefTimbre() == main && rig->manage->GetDualTimbre() == dual;
    }

    void Shoot(const QString& name) {
        // The picture shows the panel, not where the test last clicked.
        if (QWidget* focused = QApplication::focusWidget()) {
            focused->clearFocus();
        }
        Drain();
        const QString folder = QStringLiteral(CONPANE_SHOTS);
        QDir().mkpath(folder);
        EXPECT_TRUE(panel->grab().save(folder + QLatin1Char('/') + name));
    }

    std::unique_ptr<CWindowRig> rig;
    std::unique_ptr<CConpaneDlg> panel;

private:
    CTrade m_trade;
};

} // namespace

TEST(ConpaneTexts, TuningShowsThePitchOfAInHertz) {
    EXPECT_EQ(CConpaneDlg::TuningText(0), QStringLiteral("427.5"));
    EXPECT_EQ(CConpaneDlg::TuningText(64), QStringLiteral("440.0"));
    EXPECT_EQ(CConpaneDlg::TuningText(127), QStringLiteral("452.7"));
    // Every step is five characters and none lower than the one before.
    for (int step = 1; step <= 127; ++step) {
        EXPECT_EQ(CConpaneDlg::TuningText(step).size(), 5) << step;
        EXPECT_GE(CConpaneDlg::TuningText(step).toDouble(),
                  CConpaneDlg::TuningText(step - 1).toDouble())
            << step;
    }
    EXPECT_EQ(CConpaneDlg::TransposeText(-5), QStringLiteral("G"));
    EXPECT_EQ(CConpaneDlg::TransposeText(0), QStringLiteral("C"));
    EXPECT_EQ(CConpaneDlg::TransposeText(6), QStringLiteral("F#"));
    EXPECT_TRUE(CConpaneDlg::TransposeText(7).isEmpty());
}

TEST_F(ConpanePanel, EveryControlHasItsNameAndTheVoicesTheirHints) {
    EXPECT_EQ(panel->windowTitle(), QStringLiteral("音の設定"));
    const QStringList hints{
        "グランドピアノ", "アップライトピアノ", "エレクトリックピアノ１", "エレクトリックピアノ２",
        "ハープシコード", "ビブラフォン",       "ストリングス",           "パイプオルガン"};
    for (int i = 0; i < CConpaneDlg::kVoices; ++i) {
        EXPECT_EQ(panel->VoiceButton(i)->toolTip(), hints[i]);
        EXPECT_EQ(panel->VoiceButton(i)->accessibleName(), hints[i]);
    }
    EXPECT_EQ(panel->DualSwitch()->toolTip(), QStringLiteral("デュアル選択"));
    for (QWidget* control : std::initializer_list<QWidget*>{
             panel->DualSwitch(), panel->BrillianceSlider(), panel->TouchSlider(),
             panel->TransposeSpin(), panel->TuningSpin(),
             panel->SpinButton(CConpaneDlg::WM_TRANSPOSEUP),
             panel->SpinButton(CConpaneDlg::WM_TRANSPOSEDOWN),
             panel->SpinButton(CConpaneDlg::WM_TUNINGUP),
             panel->SpinButton(CConpaneDlg::WM_TUNINGDOWN)}) {
        ASSERT_NE(control, nullptr);
        EXPECT_FALSE(control->accessibleName().isEmpty());
    }
    // Every control lies inside the panel and none covers another.
    std::vector<QWidget*> controls{panel->DualSwitch(), panel->TransposeSpin(),
                                   panel->TuningSpin()};
    for (int i = 0; i < CConpaneDlg::kVoices; ++i) {
        controls.push_back(panel->VoiceButton(i));
    }
    for (std::size_t a = 0; a < controls.size(); ++a) {
        EXPECT_TRUE(panel->rect().contains(controls[a]->geometry())) << a;
        for (std::size_t b = a + 1; b < controls.size(); ++b) {
            EXPECT_FALSE(controls[a]->geometry().intersects(controls[b]->geometry())) << a << b;
        }
    }
}

TEST_F(ConpanePanel, EveryChangeReachesThePianoByteForByteAndOnce) {
    ClickVoice(TIM_STRINGS);
    EXPECT_EQ(Received(1), (std::vector<Bytes>{kStrings}));
    EXPECT_EQ(Checked(), (std::vector<int>{TIM_STRINGS}));

    Slide(panel->BrillianceSlider(), BRILL_DARK);
    EXPECT_EQ(Received(1), (std::vector<Bytes>{{0xB0, 0x4A, 0x50}}));
    EXPECT_EQ(rig->manage->GetBrilliance(), BRILL_DARK);
    Slide(panel->TouchSlider(), TOUCH_LIGHT);
    EXPECT_EQ(Received(1), (std::vector<Bytes>{Touch(0x30)}));
    Slide(panel->TouchSlider(), 3);
    EXPECT_EQ(Received(1), (std::vector<Bytes>{Touch(0x48)}));

    // A drag from the knob: the knob follows, the value goes out once, where the drag ends.
    CSlider* touch = panel->TouchSlider();
    const int y = touch->height() / 2;
    const QPoint knob = panel->TouchKnob()->pos();
    QTest::mousePress(touch, Qt::LeftButton, {}, QPoint(3 * touch->width() / 4, y));
    Drain(); // the press's own notice comes before any move, as the window system orders them
    QTest::mouseMove(touch, QPoint(touch->width() - 1, y));
    Drain();
    EXPECT_GT(panel->TouchKnob()->pos().x(), knob.x());
    EXPECT_TRUE(Received(0).empty());
    QTest::mouseRelease(touch, Qt::LeftButton, {}, QPoint(touch->width() - 1, y));
    EXPECT_EQ(Received(1), (std::vector<Bytes>{Touch(0x50)}));

    // Transpose goes out at once and again from the deferred command; tuning only from there.
    CIconWndButton* up = panel->SpinButton(CConpaneDlg::WM_TRANSPOSEUP);
    QTest::mousePress(up, Qt::LeftButton, {}, up->rect().center());
    QTest::mouseRelease(up, Qt::LeftButton, {}, up->rect().center());
    EXPECT_EQ(Received(2), (std::vector<Bytes>{Transpose(65), Transpose(65)}));
    EXPECT_EQ(panel->TransposeSpin()->text(), QStringLiteral("Db"));
    CIconWndButton* down = panel->SpinButton(CConpaneDlg::WM_TUNINGDOWN);
    QTest::mousePress(down, Qt::LeftButton, {}, down->rect().center());
    QTest::mouseRelease(down, Qt::LeftButton, {}, down->rect().center());
    EXPECT_EQ(Received(1), (std::vector<Bytes>{Tuning(0x40, 0x3F)}));
    EXPECT_EQ(rig->manage->GetTuning(), 63);

    // The piano ends where the panel stands.
    const CVirtualPiano::Panel piano = rig->piano->GetPanel();
    EXPECT_EQ(piano.program, 48);
    EXPECT_EQ(piano.brilliance, 80);
    EXPECT_EQ(piano.touch, 80);
    EXPECT_EQ(piano.transpose, 65);
    EXPECT_EQ(piano.tuningMsb, 63);
}

TEST_F(ConpanePanel, DualModeTakesTheLowerVoiceFirstAndEndsOnTheMainVoice) {
    // Grand piano checked, the switch on, strings: grand piano and strings together.
    Click(panel->DualSwitch());
    EXPECT_TRUE(Received(0).empty());
    ClickVoice(TIM_STRINGS);
    EXPECT_EQ(Received(1), (std::vector<Bytes>{kDualStrings}));
    EXPECT_TRUE(Voices(TIM_GRANDPIANO, TIM_STRINGS));
    EXPECT_EQ(Checked(), (std::vector<int>{TIM_GRANDPIANO, TIM_STRINGS}));
    EXPECT_EQ(panel->DualSwitch()->Checkd(), 1);
    Shoot(QStringLiteral("conpane-dual.png"));

    // The main voice again: one voice, the switch off, no dual voice.
    ClickVoice(TIM_GRANDPIANO);
    EXPECT_EQ(Received(1), (std::vector<Bytes>{kGrandPiano}));
    EXPECT_TRUE(Voices(TIM_GRANDPIANO, TIM_NONE));
    EXPECT_EQ(Checked(), (std::vector<int>{TIM_GRANDPIANO}));
    EXPECT_EQ(panel->DualSwitch()->Checkd(), 0);
    EXPECT_EQ(rig->piano->GetPanel().dual, 255);

    // Strings first, then the switch and grand piano: the same pair.
    ClickVoice(TIM_STRINGS);
    EXPECT_EQ(Received(1), (std::vector<Bytes>{kStrings}));
    Click(panel->DualSwitch());
    ClickVoice(TIM_GRANDPIANO);
    EXPECT_EQ(Received(2), (std::vector<Bytes>{kGrandPiano, kDualStrings}));
    EXPECT_TRUE(Voices(TIM_GRANDPIANO, TIM_STRINGS));
    EXPECT_EQ(Checked(), (std::vector<int>{TIM_GRANDPIANO, TIM_STRINGS}));

    // Without the switch a click chooses one voice, also out of dual mode.
    ClickVoice(TIM_HARPSICHORD);
    EXPECT_EQ(Received(2), (std::vector<Bytes>{kGrandPiano, {0xC0, 0x06}}));
    EXPECT_TRUE(Voices(TIM_HARPSICHORD, TIM_NONE));
    EXPECT_EQ(Checked(), (std::vector<int>{TIM_HARPSICHORD}));
    EXPECT_EQ(panel->DualSwitch()->Checkd(), 0);
}

TEST_F(ConpanePanel, FollowsThePianosOwnPanelWithoutAnsweringIt) {
    rig->piano->PressVoice(48);
    ASSERT_TRUE(Eventually([&] { return Checked() == std::vector<int>{TIM_STRINGS}; }));
    rig->piano->PressDual(19);
    ASSERT_TRUE(Eventually([&] { return panel->DualSwitch()->Checkd() == 1; }));
    EXPECT_EQ(Checked(), (std::vector<int>{TIM_STRINGS, TIM_PIPEORGAN}));
    rig->piano->PressBrilliance(48);
    ASSERT_TRUE(Eventually([&] { return panel->BrillianceSlider()->GetPos() == BRILL_BRITE; }));
    rig->piano->PressTouch(80);
    ASSERT_TRUE(Eventually([&] { return panel->TouchSlider()->GetPos() == TOUCH_HEAVY; }));

    rig->piano->PressTranspose(59);
    ASSERT_TRUE(Eventually([&] { return panel->TransposeSpin()->text() == "G"; }));
    rig->piano->PressTuning(32, 0x00); // step 0
    ASSERT_TRUE(Eventually([&] { return panel->TuningSpin()->text() == "427.5"; }));
    Shoot(QStringLiteral("conpane-lowest.png"));

    rig->piano->PressTranspose(70);
    ASSERT_TRUE(Eventually([&] { return panel->TransposeSpin()->text() == "F#"; }));
    rig->piano->PressTuning(95, 0x40); // step 127
    ASSERT_TRUE(Eventually([&] { return panel->TuningSpin()->text() == "452.7"; }));
    Shoot(QStringLiteral("conpane-highest.png"));
    rig->piano->PressTuning(64, 0x00); // step 64
    ASSERT_TRUE(Eventually([&] { return panel->TuningSpin()->text() == "440.0"; }));

    EXPECT_TRUE(Received(0).empty());
}

TEST_F(ConpanePanel, AMouseLeavingASliderDoesNotUndoTheLatestChangeOnThePiano) {
    // The slider tells the panel first; the piano's change lands before the panel reads it.
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(panel->BrillianceSlider(), &leave);
    rig->piano->PressBrilliance(72);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (rig->manage->GetBrilliance() != 3 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(rig->manage->GetBrilliance(), 3);
    EXPECT_TRUE(Eventually([&] { return panel->BrillianceSlider()->GetPos() == 3; }));
    EXPECT_TRUE(Received(0).empty());
    EXPECT_EQ(rig->piano->GetPanel().brilliance, 72);
}

TEST_F(ConpanePanel, TheKeyboardReachesEveryControl) {
    const std::vector<QWidget*> order{
        panel->VoiceButton(0),     panel->VoiceButton(1), panel->VoiceButton(2),
        panel->VoiceButton(3),     panel->VoiceButton(4), panel->VoiceButton(5),
        panel->VoiceButton(6),     panel->VoiceButton(7), panel->DualSwitch(),
        panel->BrillianceSlider(), panel->TouchSlider(),  panel->TransposeSpin(),
        panel->TuningSpin()};
    order.front()->setFocus(Qt::TabFocusReason);
    for (std::size_t i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), order[i]) << i;
    }

    QTest::keyClick(panel->VoiceButton(TIM_STRINGS), Qt::Key_Space);
    Drain();
    EXPECT_EQ(Received(1), (std::vector<Bytes>{kStrings}));
    QTest::keyClick(panel->DualSwitch(), Qt::Key_Return);
    QTest::keyClick(panel->VoiceButton(TIM_PIPEORGAN), Qt::Key_Enter);
    Drain();
    EXPECT_EQ(Received(1), (std::vector<Bytes>{{0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x02, 0x10,
                                                0x00, 0x00, 0x00, 0x13, 0xF7}}));

    QTest::keyClick(panel->BrillianceSlider(), Qt::Key_Left);
    EXPECT_EQ(Received(1), (std::vector<Bytes>{{0xB0, 0x4A, 0x38}}));
    QTest::keyClick(panel->BrillianceSlider(), Qt::Key_Home);
    EXPECT_EQ(Received(1), (std::vector<Bytes>{{0xB0, 0x4A, 0x30}}));
    QTest::keyClick(panel->BrillianceSlider(), Qt::Key_Left); // already at the end
    QTest::keyClick(panel->TouchSlider(), Qt::Key_End);
    EXPECT_EQ(Received(1), (std::vector<Bytes>{Touch(0x50)}));

    QTest::keyClick(panel->TransposeSpin(), Qt::Key_Down);
    EXPECT_EQ(Received(2), (std::vector<Bytes>{Transpose(63), Transpose(63)}));
    EXPECT_EQ(panel->TransposeSpin()->text(), QStringLiteral("B"));
    QTest::keyClick(panel->TuningSpin(), Qt::Key_Up);
    EXPECT_EQ(Received(1), (std::vector<Bytes>{Tuning(0x40, 0x40)}));
    EXPECT_EQ(panel->TuningSpin()->text(), CConpaneDlg::TuningText(65));

    // Escape puts the panel away.
    QTest::keyClick(panel->TouchSlider(), Qt::Key_Escape);
    EXPECT_FALSE(panel->isVisible());
}

TEST_F(ConpanePanel, PassesEveryDataChangeOnAndLeavesTheRegistryWhenDestroyed) {
    CRecordingWindow view;
    panel->SetParentWnd(&view);
    Shoot(QStringLiteral("conpane-single.png"));
    ClickVoice(TIM_ELECPIANO1);
    EXPECT_EQ(Received(1), (std::vector<Bytes>{{0xC0, 0x04}}));
    ASSERT_TRUE(Eventually([&] { return view.Count(WM_DATACHANGE) >= 1; }));
    EXPECT_EQ(view.Last(WM_DATACHANGE)->wParam, 0u);
    EXPECT_EQ(view.Last(WM_DATACHANGE)->lParam, 0);

    panel.reset();
    EXPECT_EQ(rig->manage->GetConpane(), nullptr);
    // The engine goes on without it.
    rig->manage->SetDefTimbre(TIM_VIBRATION, nullptr);
    EXPECT_EQ(Received(1), (std::vector<Bytes>{{0xC0, 0x0B}}));
}

// The panel under pressure: typing interrupted by the piano, held keys and fast clicks, the
// piano pulled out and plugged back, the panel put away in the middle of a change.

namespace {

int StepOf(const QString& hertz) {
    for (int step = 0; step <= 127; ++step) {
        if (CConpaneDlg::TuningText(step) == hertz) {
            return step;
        }
    }
    return -1;
}

// The wire bytes of a tuning step: the piano counts in half steps of its coarse value.
Bytes TuningStep(int step) {
    return Tuning(step % 2 != 0 ? 0x40 : 0x00, static_cast<std::uint8_t>(32 + step / 2));
}

} // namespace

TEST_F(ConpanePanel, ATypedEntryOutlivesChangesToOtherSettings) {
    CSpinList* tuning = panel->TuningSpin();
    tuning->setFocus(Qt::TabFocusReason);
    tuning->selectAll();
    QTest::keyClicks(tuning, QStringLiteral("44"));
    ASSERT_EQ(tuning->text(), QStringLiteral("44"));

    // The brilliance turned on the piano while the pianist types the pitch.
    rig->piano->PressBrilliance(72);
    ASSERT_TRUE(Eventually([&] { return panel->BrillianceSlider()->GetPos() == 3; }));
    EXPECT_EQ(tuning->text(), QStringLiteral("44"));

    QTest::keyClicks(tuning, QStringLiteral("5.0"));
    QTest::keyClick(tuning, Qt::Key_Return);
    const int step = StepOf(QStringLiteral("445.0"));
    ASSERT_GT(step, 64);
    EXPECT_EQ(Received(1), (std::vector<Bytes>{TuningStep(step)}));
    EXPECT_EQ(rig->manage->GetTuning(), step);
    EXPECT_EQ(tuning->text(), QStringLiteral("445.0"));

    // A change of the tuning itself does replace what is being typed: the piano's value shows.
    tuning->selectAll();
    QTest::keyClicks(tuning, QStringLiteral("43"));
    rig->piano->PressTuning(64, 0x00);
    ASSERT_TRUE(Eventually([&] { return tuning->text() == QStringLiteral("440.0"); }));
    QTest::keyClick(tuning, Qt::Key_Return);
    EXPECT_EQ(rig->manage->GetTuning(), 64);
    EXPECT_TRUE(Received(0).empty());
}

TEST_F(ConpanePanel, HeldKeysAndFastClicksEndWhereThePanelStands) {
    // Up held on the transpose list: every step goes out, in order, and it stops at F#.
    CSpinList* transpose = panel->TransposeSpin();
    transpose->setFocus(Qt::TabFocusReason);
    for (int i = 0; i < 20; ++i) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier, QString(), i > 0);
        QApplication::sendEvent(transpose, &press);
    }
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Up, Qt::NoModifier);
    QApplication::sendEvent(transpose, &release);
    ASSERT_TRUE(Eventually([&] { return rig->piano->GetPanel().transpose == 70; }));
    std::vector<int> wires;
    for (const Bytes& message : Received(1)) {
        ASSERT_EQ(message.size(), 8u);
        if (wires.empty() || wires.back() != message[6]) {
            wires.push_back(message[6]);
        }
    }
    EXPECT_EQ(wires, (std::vector<int>{65, 66, 67, 68, 69, 70}));
    EXPECT_EQ(transpose->text(), QStringLiteral("F#"));
    EXPECT_EQ(rig->manage->GetTranspose(), TRANSPOSE_FS);

    // Thirty fast clicks on the tuning arrow: the piano hears where they stop.
    CIconWndButton* up = panel->SpinButton(CConpaneDlg::WM_TUNINGUP);
    for (int i = 0; i < 30; ++i) {
        QTest::mousePress(up, Qt::LeftButton, {}, up->rect().center());
        QTest::mouseRelease(up, Qt::LeftButton, {}, up->rect().center());
    }
    ASSERT_TRUE(Eventually([&] { return rig->manage->GetTuning() == 94; }));
    ASSERT_TRUE(Eventually([&] { return rig->piano->GetPanel().tuningMsb == 32 + 94 / 2; }));
    const std::vector<Bytes> tunings = Received(1);
    ASSERT_FALSE(tunings.empty());
    EXPECT_EQ(tunings.back(), TuningStep(94));
    EXPECT_EQ(panel->TuningSpin()->text(), CConpaneDlg::TuningText(94));

    // Right held on the touch slider: one message a level, never past the end.
    panel->TouchSlider()->setFocus(Qt::TabFocusReason);
    for (int i = 0; i < 10; ++i) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, QString(), i > 0);
        QApplication::sendEvent(panel->TouchSlider(), &press);
    }
    EXPECT_EQ(Received(2), (std::vector<Bytes>{Touch(0x48), Touch(0x50)}));
    EXPECT_EQ(panel->TouchSlider()->GetPos(), TOUCH_HEAVY);
    EXPECT_EQ(rig->piano->GetPanel().touch, 0x50);
}

TEST_F(ConpanePanel, APianoPulledOutAndPluggedBackAgreesWithThePanel) {
    rig->piano->Unplug();
    ASSERT_TRUE(Eventually([] { return CCheckUSBdev::LastStatus() != ZQ31_Connected; }));
    // Choices made meanwhile are kept and shown.
    ClickVoice(TIM_STRINGS);
    Slide(panel->BrillianceSlider(), BRILL_DARK);
    QTest::keyClick(panel->TransposeSpin(), Qt::Key_Down);
    Drain();
    EXPECT_EQ(Checked(), (std::vector<int>{TIM_STRINGS}));
    EXPECT_EQ(rig->manage->GetBrilliance(), BRILL_DARK);

    rig->piano->Plug();
    ASSERT_TRUE(Eventually([] { return CCheckUSBdev::LastStatus() == ZQ31_Connected; }));
    // The piano and the panel end up showing the same sound.
    ASSERT_TRUE(Eventually([&] {
        const CVirtualPiano::Panel piano = rig->piano->GetPanel();
        return piano.program == 48 && piano.brilliance == 80 && piano.transpose == 63;
    }));
    EXPECT_EQ(Checked(), (std::vector<int>{TIM_STRINGS}));
    EXPECT_EQ(panel->BrillianceSlider()->GetPos(), BRILL_DARK);
    EXPECT_EQ(panel->TransposeSpin()->text(), QStringLiteral("B"));

    // And the panel goes on working against it.
    ClickVoice(TIM_HARPSICHORD);
    EXPECT_TRUE(Eventually([&] { return rig->piano->GetPanel().program == 6; }));
}

TEST_F(ConpanePanel, PutAwayInTheMiddleOfAChangeThePianoStillGetsIt) {
    // A drag cut short by putting the panel away: the piano gets where the knob stands.
    CSlider* touch = panel->TouchSlider();
    const int y = touch->height() / 2;
    QTest::mousePress(touch, Qt::LeftButton, {}, QPoint(touch->width() / 2, y));
    Drain();
    QTest::mouseMove(touch, QPoint(touch->width() - 1, y));
    Drain();
    QTest::keyClick(panel.get(), Qt::Key_Escape);
    ASSERT_FALSE(panel->isVisible());
    Drain();
    EXPECT_TRUE(Eventually([&] { return rig->piano->GetPanel().touch == 0x50; }));
    EXPECT_EQ(rig->manage->GetTouchSense(), TOUCH_HEAVY);
    EXPECT_EQ(Received(1), (std::vector<Bytes>{Touch(0x50)}));
    // Shown again, a mouse passing over the strip with no button held moves nothing.
    panel->show();
    QTest::mouseRelease(panel.get(), Qt::LeftButton, {}, QPoint(1, 1)); // over the frame
    Drain();
    QMouseEvent hover(QEvent::MouseMove, QPointF(0, y), touch->mapToGlobal(QPointF(0, y)),
                      Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(touch, &hover);
    Drain();
    EXPECT_EQ(touch->GetPos(), TOUCH_HEAVY);
    EXPECT_TRUE(Received(0).empty());

    // An arrow held down as the panel goes away stops stepping.
    CIconWndButton* up = panel->SpinButton(CConpaneDlg::WM_TUNINGUP);
    QTest::mousePress(up, Qt::LeftButton, {}, up->rect().center());
    ASSERT_TRUE(up->IsRepeating());
    ASSERT_TRUE(Eventually([&] { return rig->manage->GetTuning() >= 66; }));
    QTest::keyClick(panel.get(), Qt::Key_Escape);
    QTest::mouseRelease(panel.get(), Qt::LeftButton, {}, QPoint(1, 1)); // over the frame
    EXPECT_TRUE(Eventually([&] { return !up->IsRepeating(); }));
    const int stopped = rig->manage->GetTuning();
    EXPECT_LT(stopped, 127);
    EXPECT_EQ(panel->TuningSpin()->value(), stopped);
    EXPECT_TRUE(Eventually([&] { return rig->piano->GetPanel().tuningMsb == 32 + stopped / 2; }));
    panel->show();
    Drain();
    rig->manage->SetTuning(static_cast<E_TUNING>(64), nullptr);
    ASSERT_TRUE(Eventually([&] { return panel->TuningSpin()->value() == 64; }));
    Drain();
    rig->piano->ClearReceived();

    // A tuning step whose sending is still to come when the panel is destroyed.
    QTest::keyClick(panel->TuningSpin(), Qt::Key_Down);
    panel.reset();
    EXPECT_TRUE(Eventually([&] { return rig->manage->GetTuning() == 63; }));
    EXPECT_TRUE(Eventually([&] { return rig->piano->GetPanel().tuningMsb == 63; }));
}

TEST_F(ConpanePanel, TypedTextCountsWhateverItsCaseAndEscapeDropsIt) {
    // Key names typed in small letters are the same keys.
    CSpinList* transpose = panel->TransposeSpin();
    transpose->setFocus(Qt::TabFocusReason);
    transpose->selectAll();
    QTest::keyClicks(transpose, QStringLiteral("f#"));
    QTest::keyClick(transpose, Qt::Key_Return);
    EXPECT_EQ(rig->manage->GetTranspose(), TRANSPOSE_FS);
    EXPECT_EQ(transpose->text(), QStringLiteral("F#"));
    EXPECT_EQ(Received(2), (std::vector<Bytes>{Transpose(70), Transpose(70)}));

    // Escape abandons a pitch being typed: the panel goes away and the tuning stays.
    CSpinList* tuning = panel->TuningSpin();
    tuning->setFocus(Qt::TabFocusReason);
    tuning->selectAll();
    QTest::keyClicks(tuning, QStringLiteral("445.0"));
    QTest::keyClick(tuning, Qt::Key_Escape);
    EXPECT_FALSE(panel->isVisible());
    Drain();
    EXPECT_EQ(rig->manage->GetTuning(), 64);
    EXPECT_TRUE(Received(0).empty());
    panel->show();
    Drain();
    EXPECT_EQ(tuning->text(), QStringLiteral("440.0"));
    EXPECT_EQ(rig->manage->GetTuning(), 64);
}
