#include "CFavouriteFile.h"
#include "CLast.h"
#include "CVeskToy.h"
#include "MainPiece.h"
#include "WindowRig.h"

#include <QAbstractEventDispatcher>
#include <QTest>
#include <gtest/gtest.h>

// The palette, the metronome window and the reverb window in the main window's picture, over
// the real engine and a fresh virtual ZQ31.

namespace {

using Bytes = std::vector<std::uint8_t>;

class Palette : public testing::Test {
protected:
    std::vector<Bytes> Received() {
        std::vector<Bytes> messages;
        for (const auto& received : rig.piano->Received()) {
            messages.push_back(received.bytes);
        }
        return messages;
    }
    int CheckedVoices() {
        int checked = 0;
        for (int i = 0; i < CFrostedDlg::kVoices; ++i) {
            checked += piece.frosted.VoiceButton(i).Checkd();
        }
        return checked;
    }
    std::vector<QWidget*> Controls() {
        std::vector<QWidget*> controls;
        for (int i = 0; i < CFrostedDlg::kVoices; ++i) {
            controls.push_back(&piece.frosted.VoiceButton(i));
        }
        controls.push_back(&piece.frosted.ReverbButton());
        controls.push_back(&piece.frosted.MetronomeButton());
        for (const auto& decoration : piece.frosted.Decorations()) {
            controls.push_back(decoration.get());
        }
        controls.push_back(&piece.frosted.TempoText());
        return controls;
    }
    // Waits until a toggle of the metronome window has run and stopped absorbing presses.
    bool Settled() {
        return Eventually([&] { return !piece.metronome->IsToggling(); });
    }

    CWindowRig rig;
    CMainPiece piece{*rig.manage};
};

} // namespace

TEST_F(Palette, FourClicksOnTheBackgroundReachTheEmptyStyleAndAFifthBringsTheFirstBack) {
    const QPoint background = piece.Background();
    ASSERT_NE(background, QPoint(-1, -1));
    ASSERT_EQ(piece.frosted.FrostedFrame(), 0);
    QWidget& keyboard = *piece.keyboard;
    EXPECT_EQ(keyboard.pos(), CFrostedDlg::kKeyboardArea.topLeft());
    EXPECT_FALSE(keyboard.isHidden());

    for (int click = 1; click <= 4; ++click) {
        QTest::mouseClick(&piece.frosted, Qt::LeftButton, {}, background);
        ASSERT_TRUE(Eventually([&] { return rig.manage->GetFrostedStyle() == click; }));
        CWinMsg::PumpMessages();
        EXPECT_EQ(piece.frosted.FrostedFrame(), click);
        const bool empty = click == FROSTED_STYLE_NONE;
        EXPECT_EQ(piece.frosted.GetBitmap() == piece.reverbIcon.GetBitmap(), empty) << click;
        for (QWidget* control : Controls()) {
            EXPECT_EQ(control->isHidden(), empty) << click;
        }
        EXPECT_EQ(keyboard.isHidden(), empty);
    }
    // The empty style keeps the outline, so the same place brings the palette back.
    QTest::mouseClick(&piece.frosted, Qt::LeftButton, {}, background);
    ASSERT_TRUE(Eventually([&] { return rig.manage->GetFrostedStyle() == FROSTED_STYLE_DEFAULT; }));
    CWinMsg::PumpMessages();
    EXPECT_EQ(piece.frosted.FrostedFrame(), 0);
    for (QWidget* control : Controls()) {
        EXPECT_FALSE(control->isHidden());
    }
    EXPECT_FALSE(keyboard.isHidden());
    EXPECT_NE(piece.frosted.GetBitmap(), piece.reverbIcon.GetBitmap());
}

TEST_F(Palette, TheStyleComesBackWithTheLastExitSettings) {
    rig.manage->SetFrostedStyle(FROSTED_STYLE(2));
    ASSERT_TRUE(CFavouriteFile::Save(*rig.manage, CFavouriteFile::kLastExit, false));
    rig.manage->SetFrostedStyle(FROSTED_STYLE_DEFAULT);
    ASSERT_TRUE(Eventually([&] { return piece.frosted.FrostedFrame() == 0; }));

    ASSERT_TRUE(CFavouriteFile::Load(*rig.manage, CFavouriteFile::kLastExit, false));
    EXPECT_TRUE(Eventually([&] { return piece.frosted.FrostedFrame() == 2; }));
    // A palette made after the settings were loaded starts in their style.
    CFrostedDlg later;
    CBmpMask overlay;
    piece.trade.GetBmpReverbMask(overlay);
    later.Create(piece.reverbIcon.rect(), &piece.reverbIcon, overlay);
    EXPECT_EQ(later.FrostedFrame(), 2);
    rig.manage->SetFrosted(&piece.frosted);
}

TEST_F(Palette, AVoiceChosenOnThePaletteReachesThePianoAndOneVoiceStaysChecked) {
    ASSERT_EQ(rig.manage->GetDualTimbre(), TIM_NONE);
    EXPECT_EQ(CheckedVoices(), 1);
    const std::uint8_t programs[CFrostedDlg::kVoices] = {0x00, 0x01, 0x04, 0x05,
                                                         0x06, 0x0B, 0x30, 0x13};
    for (int voice : {TIM_STRINGS, TIM_HARPSICHORD, TIM_PIPEORGAN, TIM_GRANDPIANO}) {
        rig.piano->ClearReceived();
        piece.frosted.VoiceButton(voice).Click();
        ASSERT_TRUE(Eventually([&] {
            return rig.manage->GetDefTimbre() == voice &&
                   piece.frosted.VoiceButton(voice).Checkd() == 1 && CheckedVoices() == 1;
        })) << voice;
        ASSERT_TRUE(Eventually([&] { return !rig.piano->Received().empty(); }));
        EXPECT_EQ(Received(), (std::vector<Bytes>{{0xC0, programs[voice]}})) << voice;
    }
    // A voice chosen on the piano itself shows on the palette, and nothing goes back.
    rig.piano->ClearReceived();
    rig.piano->PressVoice(0x30);
    EXPECT_TRUE(Eventually([&] {
        return piece.frosted.VoiceButton(TIM_STRINGS).Checkd() == 1 && CheckedVoices() == 1;
    }));
    EXPECT_TRUE(Received().empty());
    // In dual mode both voices are checked.
    rig.manage->SetDualTimbre(TIM_VIBRATION, nullptr);
    EXPECT_TRUE(Eventually([&] {
        return CheckedVoices() == 2 && piece.frosted.VoiceButton(TIM_VIBRATION).Checkd() == 1;
    }));
}

TEST_F(Palette, ReverbSwitchesBothWaysFromThePaletteAndTheWindowAndFollowsThePiano) {
    const Bytes off{0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x00, 0x01, 0x00, 0x00, 0xF7};
    const Bytes on{0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x00, 0x01, 0x00, 0x01, 0xF7};
    ASSERT_EQ(rig.manage->GetReverbOffOn(), REVERB_ON);
    EXPECT_EQ(piece.frosted.ReverbButton().Checkd(), 1);
    EXPECT_EQ(piece.reverb->OnButton().Checkd(), 1);

    rig.piano->ClearReceived();
    piece.frosted.ReverbButton().Click();
    ASSERT_TRUE(Eventually([&] { return rig.piano->GetPanel().reverb == 0; }));
    EXPECT_EQ(Received(), (std::vector<Bytes>{off}));
    EXPECT_TRUE(Eventually([&] {
        return piece.frosted.ReverbButton().Checkd() == 0 &&
               piece.reverb->OffButton().Checkd() == 1 && piece.reverb->OnButton().Checkd() == 0 &&
               piece.reverbIcon.CurrentFrame() == 0;
    }));

    // On in the window: the window closes and the palette's button is checked.
    rig.piano->ClearReceived();
    piece.reverb->show();
    ASSERT_TRUE(piece.reverb->isVisible());
    piece.reverb->OnButton().Click();
    ASSERT_TRUE(Eventually([&] { return rig.piano->GetPanel().reverb == 1; }));
    EXPECT_EQ(Received(), (std::vector<Bytes>{on}));
    EXPECT_FALSE(piece.reverb->isVisible());
    EXPECT_TRUE(Eventually([&] { return piece.frosted.ReverbButton().Checkd() == 1; }));

    // Off in the window, then the piano's own switch turns it on again.
    piece.reverb->show();
    piece.reverb->OffButton().Click();
    ASSERT_TRUE(Eventually([&] { return rig.piano->GetPanel().reverb == 0; }));
    EXPECT_FALSE(piece.reverb->isVisible());
    rig.piano->ClearReceived();
    rig.piano->PressReverb(true);
    EXPECT_TRUE(Eventually([&] {
        return rig.manage->GetReverbOffOn() == REVERB_ON &&
               piece.reverb->OnButton().Checkd() == 1 && piece.reverb->OffButton().Checkd() == 0 &&
               piece.frosted.ReverbButton().Checkd() == 1;
    }));
    EXPECT_TRUE(Received().empty()) << "a change made on the piano is not sent back";
}

TEST(ReverbPlacement, OpensUpAndLeftOfThePointerAndStaysOnTheScreen) {
    const QRect desktop(0, 0, 1024, 768);
    const QSize window(120, 110);
    EXPECT_EQ(CReverbDlg::Placement(QPoint(400, 300), window, desktop), QPoint(342, 242));
    EXPECT_EQ(CReverbDlg::Placement(QPoint(20, 30), window, desktop), QPoint(0, 0));
    // Near the right edge it moves left, near the bottom it moves up.
    EXPECT_EQ(CReverbDlg::Placement(QPoint(1020, 300), window, desktop), QPoint(904, 242));
    EXPECT_EQ(CReverbDlg::Placement(QPoint(500, 767), window, desktop), QPoint(442, 658));
    // A desktop beside another one.
    EXPECT_EQ(CReverbDlg::Placement(QPoint(2040, 300), window, QRect(1024, 0, 1024, 768)),
              QPoint(1928, 242));
    // Near the left or top edge of a desktop that does not begin at 0 (a second screen, a
    // screen left of the first, a panel along the top) it stays on that desktop.
    EXPECT_EQ(CReverbDlg::Placement(QPoint(1030, 300), window, QRect(1024, 0, 1024, 768)),
              QPoint(1024, 242));
    EXPECT_EQ(CReverbDlg::Placement(QPoint(-1000, 300), window, QRect(-1024, 0, 1024, 768)),
              QPoint(-1024, 242));
    EXPECT_EQ(CReverbDlg::Placement(QPoint(400, 40), window, QRect(0, 32, 1024, 736)),
              QPoint(342, 32));
}

TEST_F(Palette, TempoAndBeatFromTheWindowReachTheSharedStateAndThePalette) {
    CMetroSpin& tempo = piece.metronome->TempoSpin();
    EXPECT_EQ(tempo.GetPos(), 120);
    EXPECT_EQ(piece.frosted.TempoText().Lines(), QStringList{QStringLiteral("120")});
    tempo.StepUp();
    ASSERT_TRUE(Eventually([&] { return rig.manage->GetTempo() == 121u; }));
    EXPECT_TRUE(Eventually(
        [&] { return piece.frosted.TempoText().Lines() == QStringList{QStringLiteral("121")}; }));

    rig.manage->SetTempo(300, nullptr);
    ASSERT_TRUE(Eventually([&] { return tempo.GetPos() == 300; }));
    tempo.StepUp();
    CWinMsg::PumpMessages();
    EXPECT_EQ(tempo.GetPos(), 300);
    EXPECT_EQ(rig.manage->GetTempo(), 300u);

    CMetroSpin& beat = piece.metronome->BeatList();
    EXPECT_EQ(beat.Text(), QStringLiteral("4/4"));
    beat.StepDown();
    ASSERT_TRUE(Eventually([&] { return rig.manage->GetBeat() == BEAT_3_4; }));
    EXPECT_EQ(beat.Text(), QStringLiteral("3/4"));
    rig.manage->SetBeat(BEAT_6_8, nullptr);
    EXPECT_TRUE(Eventually([&] { return beat.Text() == QStringLiteral("6/8"); }));
    rig.manage->SetBeat(BEAT_NONE, nullptr);
    EXPECT_TRUE(Eventually([&] { return beat.Text() == QStringLiteral("OFF"); }));
}

TEST_F(Palette, ACharacterChosenInTheWindowIsCheckedAndStandsOnThePicture) {
    for (int type = 0; type < CMetronomeDlg::kCharacters; ++type) {
        piece.metronome->CharacterButton(type).Click();
        ASSERT_TRUE(Eventually([&] {
            return rig.manage->GetMetroCharType() == type &&
                   piece.character.CurrentChar() == static_cast<unsigned int>(type) &&
                   piece.character.CurrentFrame() ==
                       CDataInfo::MetroPose(E_METROCHARTYPE(type), BEAT_4_4, CDataInfo::kMetroRest);
        })) << type;
        for (int i = 0; i < CMetronomeDlg::kCharacters; ++i) {
            EXPECT_EQ(piece.metronome->CharacterButton(i).Checkd(), i == type ? 1 : 0);
        }
        // Standing with its feet on the place of the character.
        EXPECT_EQ(piece.character.geometry().bottom() + 1, 410);
    }
}

namespace {

// Which of the metronome's sounds each block the piano heard begins, where it begins one.
QString Sounds(const std::vector<CVirtualPiano::ReceivedAudio>& blocks) {
    static const QByteArray click =
        CVeskToy().GetWaveResource(QStringLiteral("CLICK"), QStringLiteral("cantacore")).mid(44);
    static const QByteArray ding =
        CVeskToy().GetWaveResource(QStringLiteral("DING"), QStringLiteral("cantacore")).mid(44);
    QString heard;
    for (const auto& block : blocks) {
        const QByteArray bytes(reinterpret_cast<const char*>(block.bytes.data()),
                               static_cast<qsizetype>(block.bytes.size()));
        if (ding.startsWith(bytes)) {
            heard += QLatin1Char('D');
        } else if (click.startsWith(bytes)) {
            heard += QLatin1Char('c');
        }
    }
    return heard;
}

std::vector<int> Collapsed(const std::vector<int>& frames) {
    std::vector<int> out;
    for (int frame : frames) {
        if (out.empty() || out.back() != frame) {
            out.push_back(frame);
        }
    }
    return out;
}

class MetronomeFrames : public Palette, public testing::WithParamInterface<E_BEAT> {};

} // namespace

TEST_P(MetronomeFrames, TheCharacterFollowsTheCountsWhileTheMetronomeSounds) {
    const E_BEAT beat = GetParam();
    const unsigned int cycle = CDataInfo::MetroCycle(beat);
    piece.metronome->CharacterButton(MET_CHAR_2).Click();
    rig.manage->SetBeat(beat, nullptr);
    ASSERT_TRUE(Eventually([&] {
        return rig.manage->GetMetroCharType() == MET_CHAR_2 && rig.manage->GetBeat() == beat;
    }));
    ASSERT_EQ(rig.manage->GetTempo(), 120u);
    const int rest = CDataInfo::MetroPose(MET_CHAR_2, beat, CDataInfo::kMetroRest);
    ASSERT_TRUE(Eventually([&] { return piece.character.CurrentFrame() == rest; }));
    CWinMsg::PumpMessages();
    piece.character.shown.clear();
    rig.piano->ClearReceived();

    piece.metronome->StartStopButton().Click();
    ASSERT_TRUE(Eventually([&] { return rig.manage->GetMetStatus() == MET_START; }));
    EXPECT_TRUE(Eventually([&] {
        return piece.metronome->StartStopButton().Checkd() == 1 &&
               piece.frosted.MetronomeButton().Checkd() == 1;
    }));
    // A cycle and a half of counts.
    ASSERT_TRUE(Eventually(
        [&] {
            return piece.character.PoseChanges() > 0 &&
                   Collapsed([&] {
                       std::vector<int> f;
                       for (const auto& s : piece.character.shown) {
                           f.push_back(s.frame);
                       }
                       return f;
                   }())
                           .size() >= cycle * 3 / 4 + 2;
        },
        std::chrono::seconds(30)));
    ASSERT_TRUE(Settled());
    piece.metronome->StartStopButton().Click();
    ASSERT_TRUE(Eventually(
        [&] { return rig.manage->GetMetStatus() == MET_STOP && !piece.metronome->IsToggling(); }));
    CWinMsg::PumpMessages();

    // Frame by frame: the poses of the counts 0, 1, 2, ... in order (a pose held over two
    // counts is one picture), each drawn from the character's own picture of that pose, and
    // the rest pose after the stop.
    std::vector<int> frames;
    for (const auto& shown : piece.character.shown) {
        frames.push_back(shown.frame);
        EXPECT_EQ(shown.picture, piece.character.Mask().GetAniBmp(shown.frame).cacheKey());
    }
    std::vector<int> seen = Collapsed(frames);
    while (!seen.empty() && seen.front() == rest) {
        seen.erase(seen.begin());
    }
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen.back(), rest);
    seen.pop_back();
    std::vector<int> counted;
    for (unsigned int count = 0; count < 200; ++count) {
        counted.push_back(CDataInfo::MetroPose(MET_CHAR_2, beat, count % cycle));
    }
    counted = Collapsed(counted);
    ASSERT_LE(seen.size(), counted.size());
    EXPECT_EQ(seen, std::vector<int>(counted.begin(), counted.begin() + seen.size()));

    // The piano heard the bar begin with the accent, then the clicks.
    const QString heard = Sounds(rig.piano->ReceivedAudioBlocks());
    ASSERT_GE(heard.size(), 3);
    EXPECT_EQ(heard[0], QLatin1Char('D'));
    EXPECT_TRUE(heard.contains(QLatin1Char('c')));

    // Stopped: nothing moves any more.
    const unsigned int changes = piece.character.PoseChanges();
    CWinMsg::PumpMessages();
    EXPECT_EQ(piece.character.PoseChanges(), changes);
    EXPECT_EQ(piece.character.CurrentFrame(), rest);
    EXPECT_EQ(piece.frosted.MetronomeButton().Checkd(), 0);
}

INSTANTIATE_TEST_SUITE_P(At120, MetronomeFrames, testing::Values(BEAT_4_4, BEAT_6_8),
                         [](const testing::TestParamInfo<E_BEAT>& info) {
                             return info.param == BEAT_4_4 ? "FourFour" : "SixEight";
                         });

TEST_F(Palette, TwoPressesWithinHalfASecondToggleOnceAndThePaletteTogglesToo) {
    CIconWndButton& button = piece.metronome->StartStopButton();
    button.Click();
    button.Click();
    ASSERT_TRUE(Eventually([&] { return rig.manage->GetMetStatus() == MET_START; }));
    ASSERT_TRUE(Settled());
    CWinMsg::PumpMessages();
    EXPECT_EQ(rig.manage->GetMetStatus(), MET_START) << "the second press was absorbed";

    // The palette's button goes to the metronome window; the stop runs off the window thread.
    piece.frosted.MetronomeButton().Click();
    piece.frosted.MetronomeButton().Click();
    ASSERT_TRUE(Eventually([&] { return rig.manage->GetMetStatus() == MET_STOP; }));
    ASSERT_TRUE(Settled());
    CWinMsg::PumpMessages();
    EXPECT_EQ(rig.manage->GetMetStatus(), MET_STOP);
    EXPECT_TRUE(rig.fusion.texts.isEmpty())
        << rig.fusion.texts.join(QLatin1Char('|')).toStdString();
}

TEST_F(Palette, AStartRefusedWhileAudioPlaysIsShownOnTheWindowThread) {
    rig.audio.SetSoundStatus(SOUND_PLAY);
    piece.metronome->StartStopButton().Click();
    ASSERT_TRUE(Eventually([&] { return !rig.fusion.texts.isEmpty(); }));
    EXPECT_EQ(rig.fusion.texts.front(), QStringLiteral("録音／再生中は、この操作はできません。"));
    EXPECT_EQ(rig.fusion.threads.front(), std::this_thread::get_id());
    EXPECT_EQ(rig.manage->GetMetStatus(), MET_STOP);
    rig.audio.SetSoundStatus(SOUND_STOP);
}

TEST_F(Palette, TheIdleShowOfTheChosenCharacterEndsInItsRestPoseOnThePicture) {
    piece.metronome->CharacterButton(MET_CHAR_3).Click();
    const int rest = CDataInfo::MetroPose(MET_CHAR_3, BEAT_4_4, CDataInfo::kMetroRest);
    ASSERT_TRUE(Eventually([&] {
        return piece.character.CurrentChar() == static_cast<unsigned int>(MET_CHAR_3) &&
               piece.character.CurrentFrame() == rest;
    }));
    const QImage restPicture = piece.character.Mask().GetAniBmp(static_cast<unsigned int>(rest));
    // Two minutes without use: the character performs; the user's next action ends it.
    bool showing = false;
    piece.character.onShowFrame = [&](unsigned int frame) {
        showing = showing || piece.character.GetBitmap().cacheKey() != restPicture.cacheKey();
        if (frame == 2) {
            const std::uint32_t before = CLast::GetLastAccess();
            while (CLast::GetTickCount() == before) {
                std::this_thread::yield();
            }
            CLast::UpdateAccess();
        }
    };
    CWinMsg::PostMessage(&piece.character, WM_SELFISHANIMATION, 0, 0);
    ASSERT_TRUE(Eventually([&] { return piece.character.showFrames > 0; }));
    ASSERT_TRUE(Eventually([&] { return piece.character.WhatClose(); }));
    EXPECT_TRUE(showing);
    EXPECT_EQ(piece.character.showFrames, 3u) << "ended at the frame after the activity";
    // Its rest pose is drawn again: the picture of the pose, not the show's last frame.
    EXPECT_TRUE(Eventually(
        [&] { return piece.character.GetBitmap().cacheKey() == restPicture.cacheKey(); }));
    EXPECT_EQ(piece.character.geometry().bottom() + 1, 410);
}

// While it sounds, the pianist changes the character and the beat; then the piano is unplugged
// and the device watch stops the metronome on its own thread: the windows show it stopped and
// the character stands at rest in the character chosen last.
TEST_F(Palette, UnpluggingWhileTheMetronomeRunsStopsItEverywhere) {
    piece.metronome->StartStopButton().Click();
    ASSERT_TRUE(Eventually([&] {
        return rig.manage->GetMetStatus() == MET_START &&
               piece.metronome->StartStopButton().Checkd() == 1 &&
               piece.character.PoseChanges() > 0;
    }));
    piece.metronome->CharacterButton(MET_CHAR_4).Click();
    rig.manage->SetBeat(BEAT_3_4, nullptr);
    ASSERT_TRUE(Eventually([&] {
        return piece.character.CurrentChar() == static_cast<unsigned int>(MET_CHAR_4) &&
               rig.manage->GetBeat() == BEAT_3_4;
    }));
    EXPECT_EQ(rig.manage->GetMetStatus(), MET_START) << "a new beat restarts, never stops";
    const unsigned int moved = piece.character.PoseChanges();
    ASSERT_TRUE(Eventually([&] { return piece.character.PoseChanges() > moved + 1; }));

    rig.piano->Unplug();
    const int rest = CDataInfo::MetroPose(MET_CHAR_4, BEAT_3_4, CDataInfo::kMetroRest);
    EXPECT_TRUE(Eventually([&] {
        return rig.manage->GetMetStatus() == MET_STOP &&
               piece.metronome->StartStopButton().Checkd() == 0 &&
               piece.frosted.MetronomeButton().Checkd() == 0 &&
               piece.character.CurrentFrame() == rest;
    }));
    const unsigned int changes = piece.character.PoseChanges();
    CWinMsg::PumpMessages();
    EXPECT_EQ(piece.character.PoseChanges(), changes);
    EXPECT_EQ(piece.character.CurrentFrame(), rest);
}

// The idle show is under way when the pianist starts the metronome: the show gives way at its
// next frame, the character follows the counts, and after the stop it rests in its own pose.
TEST_F(Palette, AStartDuringTheIdleShowEndsTheShowAndTheCountsTakeOver) {
    piece.metronome->CharacterButton(MET_CHAR_2).Click();
    const int rest = CDataInfo::MetroPose(MET_CHAR_2, BEAT_4_4, CDataInfo::kMetroRest);
    ASSERT_TRUE(Eventually([&] {
        return piece.character.CurrentChar() == static_cast<unsigned int>(MET_CHAR_2) &&
               piece.character.CurrentFrame() == rest;
    }));
    bool pressed = false;
    piece.character.onShowFrame = [&](unsigned int frame) {
        if (frame == 1 && !pressed) {
            pressed = true;
            piece.metronome->StartStopButton().Click();
        }
    };
    CWinMsg::PostMessage(&piece.character, WM_SELFISHANIMATION, 0, 0);
    ASSERT_TRUE(Eventually([&] { return pressed && piece.character.WhatClose(); }));
    ASSERT_TRUE(Eventually([&] { return rig.manage->GetMetStatus() == MET_START; }));
    const unsigned int moved = piece.character.PoseChanges();
    ASSERT_TRUE(Eventually([&] { return piece.character.PoseChanges() > moved + 1; }));
    for (const auto& shown : piece.character.shown) {
        EXPECT_EQ(shown.picture, piece.character.Mask().GetAniBmp(shown.frame).cacheKey());
    }
    ASSERT_TRUE(Settled());
    piece.metronome->StartStopButton().Click();
    EXPECT_TRUE(Eventually([&] {
        return rig.manage->GetMetStatus() == MET_STOP && piece.character.CurrentFrame() == rest &&
               piece.character.GetBitmap().cacheKey() ==
                   piece.character.Mask().GetAniBmp(static_cast<unsigned int>(rest)).cacheKey();
    }));
}

// With the skin's double-size pictures every window and control keeps its place and size in
// the program's own units, so nothing overlaps or clips on a HiDPI screen.
TEST(PaletteScale, TheDoubleSizeSkinKeepsEveryPlaceAndSize) {
    const auto layout = [](int scale) {
        CTrade::SetScale(scale);
        CWindowRig rig;
        CMainPiece piece{*rig.manage};
        std::vector<QRect> rects;
        for (int i = 0; i < CFrostedDlg::kVoices; ++i) {
            rects.push_back(piece.frosted.VoiceButton(i).geometry());
        }
        rects.push_back(piece.frosted.ReverbButton().geometry());
        rects.push_back(piece.frosted.MetronomeButton().geometry());
        rects.push_back(piece.frosted.TempoText().geometry());
        rects.push_back(piece.frosted.geometry());
        rects.push_back(piece.character.geometry());
        rects.push_back(QRect(QPoint(), piece.metronome->size()));
        rects.push_back(piece.metronome->StartStopButton().geometry());
        rects.push_back(piece.metronome->TempoSpin().geometry());
        for (int i = 0; i < 4; ++i) {
            rects.push_back(piece.metronome->CharacterButton(i).geometry());
        }
        rects.push_back(QRect(QPoint(), piece.reverb->size()));
        CTrade::SetScale(0);
        return rects;
    };
    const std::vector<QRect> single = layout(1);
    const std::vector<QRect> twice = layout(2);
    ASSERT_EQ(single.size(), twice.size());
    for (std::size_t i = 0; i < single.size(); ++i) {
        EXPECT_EQ(twice[i], single[i]) << "control " << i;
    }
}

// Nothing ticks while nothing moves: after a run of the metronome and a few presses, the only
// timer left in the windows is the character's idle check.
TEST_F(Palette, OnlyTheIdleCheckTicksWhenNothingMoves) {
    const auto timers = [&] {
        std::vector<std::string> found;
        QObjectList objects{&piece.view, piece.metronome.get(), piece.reverb.get()};
        for (QObject* root : QObjectList(objects)) {
            objects += root->findChildren<QObject*>();
        }
        for (QObject* object : objects) {
            for (const auto& timer :
                 QAbstractEventDispatcher::instance()->registeredTimers(object)) {
                found.push_back((object == &piece.character
                                     ? "character"
                                     : object->objectName().toStdString() + " " +
                                           object->metaObject()->className()) +
                                std::string(" every ") + std::to_string(timer.interval));
            }
        }
        return found;
    };
    const std::vector<std::string> idle{"character every 10000"};
    EXPECT_EQ(timers(), idle);

    piece.metronome->StartStopButton().Click();
    ASSERT_TRUE(Eventually([&] { return piece.character.PoseChanges() > 1; }));
    ASSERT_TRUE(Settled());
    piece.frosted.MetronomeButton().Click();
    ASSERT_TRUE(Eventually([&] { return rig.manage->GetMetStatus() == MET_STOP; }));
    ASSERT_TRUE(Settled());
    piece.frosted.ReverbButton().Click();
    QTest::mouseClick(&piece.frosted, Qt::LeftButton, {}, piece.Background());
    CWinMsg::PumpMessages();
    Eventually([&] { return timers() == idle; });
    EXPECT_EQ(timers(), idle);
}

// A voice button is held down while the background is clicked through to the empty style: the
// hidden button lets go of its press, and when the palette comes back it is drawn unpressed
// with exactly one voice checked.
TEST_F(Palette, ABackgroundClickedWhileAButtonIsHeldKeepsThePaletteWhole) {
    const QPoint background = piece.Background();
    ASSERT_NE(background, QPoint(-1, -1));
    const int held = rig.manage->GetDefTimbre() == static_cast<E_TIMBRE>(0) ? 1 : 0;
    CIconWndButton& button = piece.frosted.VoiceButton(held);
    const QPoint middle = button.rect().center();
    QTest::mousePress(&button, Qt::LeftButton, {}, middle);
    for (int click = 1; click <= FROSTED_STYLE_NONE; ++click) {
        QTest::mouseClick(&piece.frosted, Qt::LeftButton, {}, background);
    }
    ASSERT_TRUE(Eventually([&] { return rig.manage->GetFrostedStyle() == FROSTED_STYLE_NONE; }));
    CWinMsg::PumpMessages();
    EXPECT_TRUE(button.isHidden());
    QTest::mouseRelease(&button, Qt::LeftButton, {}, middle);
    QTest::mouseClick(&piece.frosted, Qt::LeftButton, {}, background);
    ASSERT_TRUE(Eventually([&] { return rig.manage->GetFrostedStyle() == FROSTED_STYLE_DEFAULT; }));
    CWinMsg::PumpMessages();
    EXPECT_FALSE(button.isHidden());
    EXPECT_EQ(button.CurrentFrame(), button.Checkd()) << "drawn as pressed";
    EXPECT_EQ(CheckedVoices(), 1);
}
