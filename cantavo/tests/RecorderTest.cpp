#include "CAlbumDlg.h"
#include "CAlbumList.h"
#include "CCheckUSBdev.h"
#include "CDanceNoteDlg.h"
#include "CMemoDlg.h"
#include "CPromptSoundFile.h"
#include "CSaveNameDlg.h"
#include "CStereoDlg.h"
#include "CVeskToy.h"
#include "CWinMsg.h"
#include "WindowRig.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>

namespace {

const QString kSaveQuestionMidi =
    QStringLiteral("ＭＩＤＩファイル\r\n\r\n現在の録音内容を保存しますか？");
const QString kNotNow = QStringLiteral("録音／再生中は、この操作はできません。");

// Clicks a skin button in its middle, as the player's mouse does, and lets the posted
// notifications run.
void Click(QWidget* button) {
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    CWinMsg::PumpMessages();
}

// Runs `act` on the next modal dialog of type T as soon as it is open (inside its exec loop).
template <class T>
void WhenModal(std::function<void(T*)> act) {
    // Owned by the application, so a dialog that never opens leaves no timer behind.
    auto* timer = new QTimer(QCoreApplication::instance());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    QObject::connect(timer, &QTimer::timeout, [timer, act, deadline] {
        auto* dialog = dynamic_cast<T*>(QApplication::activeModalWidget());
        if (dialog != nullptr || std::chrono::steady_clock::now() > deadline) {
            timer->stop();
            timer->deleteLater();
            if (dialog != nullptr) {
                act(dialog);
            }
        }
    });
    timer->start(10);
}

void Shot(QWidget& window, const QString& name) {
    QDir().mkpath(QStringLiteral(CANTAVO_SHOT_DIR));
    CWinMsg::PumpMessages();
    window.grab().save(QStringLiteral(CANTAVO_SHOT_DIR "/") + name);
}

// Types name into the save-name dialog and presses its save button.
void SaveAs(const QString& name, const QString& shot = QString()) {
    WhenModal<CSaveNameDlg>([name, shot](CSaveNameDlg* dialog) {
        dialog->Edit()->clear();
        QTest::keyClicks(dialog->Edit(), name);
        if (!shot.isEmpty()) {
            Shot(*dialog, shot);
        }
        Click(dialog->SaveButton());
    });
}

// Plays a note on the virtual ZQ31, held until the engine has seen it go down.
void PlayNote(CWindowRig& rig, int note) {
    rig.piano->PressKey(static_cast<std::uint8_t>(note), 100);
    ASSERT_TRUE(Eventually([&] { return rig.manage->GetKeyboardDisp(note - 21) != 0; }));
    rig.piano->ReleaseKey(static_cast<std::uint8_t>(note));
    ASSERT_TRUE(Eventually([&] { return rig.manage->GetKeyboardDisp(note - 21) == 0; }));
}

std::vector<int> NoteOns(const CWindowRig& rig) {
    std::vector<int> notes;
    for (const auto& message : rig.piano->Received()) {
        if (message.bytes.size() == 3 && (message.bytes[0] & 0xF0) == 0x90 &&
            message.bytes[2] != 0) {
            notes.push_back(message.bytes[1]);
        }
    }
    return notes;
}

QByteArray WavData(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray image = file.readAll();
    const qsizetype data = image.indexOf("data");
    return data < 0 ? QByteArray() : image.mid(data + 8);
}

QByteArray PlayedAudio(const CWindowRig& rig) {
    QByteArray played;
    for (const auto& block : rig.piano->ReceivedAudioBlocks()) {
        played.append(reinterpret_cast<const char*>(block.bytes.data()),
                      static_cast<qsizetype>(block.bytes.size()));
    }
    return played;
}

bool Checked(CStBtn* strip, unsigned int message) {
    return strip->Button(message)->Checkd() != 0;
}

bool Enabled(CIconWndButton* button) {
    return button->IsEnabled() != 0;
}

class Recorder : public testing::Test {
protected:
    void SetUp() override {
        // Every test saves into an empty album.
        QDir album(CVeskToy().DataPath());
        for (const QString& name : album.entryList(QDir::Files)) {
            album.remove(name);
        }
        window = std::make_unique<CStereoDlg>();
        window->show();
        CWinMsg::PumpMessages();
    }
    void TearDown() override {
        rig.StopAll();
        window.reset();
    }

    // Records a short MIDI take through the engine alone, leaving it unsaved.
    void RecordMidiTake() {
        ASSERT_EQ(rig.manage->SeqRec(), ERR_VESK_OK);
        PlayNote(rig, 62);
        ASSERT_EQ(rig.manage->SeqStop(), ERR_VESK_OK);
        ASSERT_EQ(midi.GetFileFlag(), MODIFIED_DIRTY);
        // The panels hear of the new take.
        CWinMsg::PumpMessages();
    }

    CPromptSoundFile midi{QStringLiteral(".mid")};
    CPromptSoundFile audio{QStringLiteral(".wav")};
    CWindowRig rig{&midi, &audio};
    std::unique_ptr<CStereoDlg> window;
};

} // namespace

TEST_F(Recorder, MidiTakeRecordsPlaysBackWithItsMemoAndIsSavedIntoTheAlbum) {
    EXPECT_EQ(window->windowTitle(), QStringLiteral("演奏の録音／再生"));
    ASSERT_EQ(window->CurrentPanel(), CStereoDlg::PANEL_SEQ);
    CSeqDlg* panel = window->SeqPanel();
    CStBtn* strip = panel->Strip();

    Click(strip->Button(CStBtn::WM_ST_REC));
    ASSERT_EQ(midi.GetSoundStatus(), SOUND_REC);
    EXPECT_TRUE(Checked(strip, CStBtn::WM_ST_REC));
    EXPECT_TRUE(Checked(strip, CStBtn::WM_ST_PLAY));
    EXPECT_FALSE(Enabled(strip->Button(CStBtn::WM_ST_FIRST)));
    EXPECT_FALSE(Enabled(strip->Button(CStBtn::WM_ST_FORWARD)));
    // While the take records, no other tab and not the album can be chosen.
    ASSERT_TRUE(Eventually([&] { return !Enabled(window->Tab(CStereoDlg::WM_TAB_AUD)); }));
    EXPECT_FALSE(Enabled(window->Tab(CStereoDlg::WM_TAB_MIX)));
    EXPECT_FALSE(Enabled(window->Tab(CStereoDlg::WM_TAB_ALBUM)));
    Click(window->Tab(CStereoDlg::WM_TAB_AUD));
    EXPECT_EQ(window->CurrentPanel(), CStereoDlg::PANEL_SEQ);

    for (int note : {60, 64, 67}) {
        PlayNote(rig, note);
    }
    // A chord held while the picture is taken dances on the staff.
    for (int note : {72, 76}) {
        rig.piano->PressKey(static_cast<std::uint8_t>(note), 100);
    }
    ASSERT_TRUE(Eventually([&] {
        return panel->Staff()->Note(72 - 21)->isVisible() &&
               panel->Staff()->Note(76 - 21)->isVisible();
    }));
    Shot(*window, QStringLiteral("recorder-midi-recording.png"));
    for (int note : {72, 76}) {
        rig.piano->ReleaseKey(static_cast<std::uint8_t>(note));
        ASSERT_TRUE(Eventually([&] { return rig.manage->GetKeyboardDisp(note - 21) == 0; }));
    }
    Click(strip->Button(CStBtn::WM_ST_STOP));
    ASSERT_EQ(midi.GetSoundStatus(), SOUND_STOP);
    EXPECT_FALSE(Checked(strip, CStBtn::WM_ST_REC));
    EXPECT_TRUE(Enabled(strip->Button(CStBtn::WM_ST_FIRST)));
    ASSERT_TRUE(Eventually([&] { return Enabled(window->Tab(CStereoDlg::WM_TAB_AUD)); }));
    EXPECT_TRUE(Enabled(panel->SaveButton()));
    EXPECT_TRUE(Enabled(panel->MemoButton()));

    // Played back, the piano gets the same notes; at the end the engine resets the strip.
    rig.piano->ClearReceived();
    Click(strip->Button(CStBtn::WM_ST_PLAY));
    ASSERT_EQ(midi.GetSoundStatus(), SOUND_PLAY);
    EXPECT_TRUE(Checked(strip, CStBtn::WM_ST_PLAY));
    EXPECT_FALSE(Enabled(strip->Button(CStBtn::WM_ST_REC)));
    Shot(*window, QStringLiteral("recorder-midi-playing.png"));
    ASSERT_TRUE(Eventually([&] { return NoteOns(rig).size() >= 5; }));
    EXPECT_EQ(NoteOns(rig), (std::vector<int>{60, 64, 67, 72, 76}));
    ASSERT_TRUE(Eventually([&] { return !Checked(strip, CStBtn::WM_ST_PLAY); }));
    EXPECT_EQ(midi.GetSoundStatus(), SOUND_STOP);
    EXPECT_TRUE(Enabled(strip->Button(CStBtn::WM_ST_REC)));

    // The memo, typed in the memo dialog, with the memo button held down while it is open.
    bool heldDown = false;
    WhenModal<CMemoDlg>([&](CMemoDlg* dialog) {
        heldDown = panel->MemoButton()->Checkd() != 0;
        QTest::keyClicks(dialog->Edit(), QStringLiteral("slow "));
        dialog->Edit()->insertPlainText(QStringLiteral("練習"));
        Shot(*dialog, QStringLiteral("recorder-memo-dialog.png"));
        Click(dialog->OkButton());
    });
    Click(panel->MemoButton());
    EXPECT_TRUE(heldDown);
    EXPECT_EQ(panel->MemoButton()->Checkd(), 0);
    EXPECT_EQ(rig.manage->GetSeqMemo().toStdString(), "slow 練習");

    SaveAs(QStringLiteral("Etude"), QStringLiteral("recorder-save-name-dialog.png"));
    Click(panel->SaveButton());
    const QString saved = CVeskToy().DataFile(QStringLiteral("Etude.mid"));
    ASSERT_TRUE(QFileInfo::exists(saved));
    EXPECT_EQ(midi.GetFileName(), saved);
    EXPECT_EQ(midi.GetFileFlag(), MODIFIED_CLEAN);
    EXPECT_EQ(rig.manage->GetAlbumSMFMemo(saved), QStringLiteral("slow 練習"));
    // Read back from the saved file, the memo is the text alone.
    EXPECT_EQ(rig.manage->GetSeqMemo(), QStringLiteral("slow 練習"));
    ASSERT_TRUE(Eventually([&] {
        return panel->FileNameWnd()->Lines().join(QString()) == QStringLiteral("Etude.mid");
    }));
    EXPECT_FALSE(Enabled(panel->SaveButton()));
}

TEST_F(Recorder, AudioTakeRecordsThePianoWithTheMeterMovingAndPlaysBackBitExact) {
    rig.piano->SetSignal(CVirtualPiano::Signal::Sine, 440.0, 0.8);
    Click(window->Tab(CStereoDlg::WM_TAB_AUD));
    ASSERT_EQ(window->CurrentPanel(), CStereoDlg::PANEL_AUD);
    CAudDlg* panel = window->AudPanel();
    CStBtn* strip = panel->Strip();
    EXPECT_TRUE(panel->isVisible());
    EXPECT_FALSE(window->SeqPanel()->isVisible());

    Click(strip->Button(CStBtn::WM_ST_REC));
    ASSERT_EQ(audio.GetSoundStatus(), SOUND_REC);
    EXPECT_TRUE(Checked(strip, CStBtn::WM_ST_REC));
    EXPECT_TRUE(panel->IsAnimating());
    ASSERT_TRUE(Eventually([&] {
        return panel->Level()->Left()->GetPos() > 0 && panel->Level()->Right()->GetPos() > 0;
    }));
    const int firstFrame = panel->Animation()->CurrentFrame();
    ASSERT_TRUE(Eventually([&] { return panel->Animation()->CurrentFrame() != firstFrame; }));
    ASSERT_TRUE(Eventually([&] { return QFileInfo(audio.GetFileName()).size() > 44100 * 4 / 2; }));
    EXPECT_FALSE(Enabled(window->Tab(CStereoDlg::WM_TAB_SEQ)));
    // The strip's time follows the recording.
    ASSERT_TRUE(Eventually([&] { return strip->Time() == QStringLiteral("00 : 01"); }));
    Shot(*window, QStringLiteral("recorder-audio-recording.png"));
    Click(strip->Button(CStBtn::WM_ST_STOP));
    ASSERT_EQ(audio.GetSoundStatus(), SOUND_STOP);
    EXPECT_FALSE(panel->IsAnimating());
    ASSERT_TRUE(Eventually([&] { return panel->Level()->Left()->GetPos() == 0; }));

    SaveAs(QStringLiteral("Sound"));
    Click(panel->SaveButton());
    const QString saved = CVeskToy().DataFile(QStringLiteral("Sound.wav"));
    ASSERT_TRUE(QFileInfo::exists(saved));
    const QByteArray recorded = WavData(saved);
    ASSERT_GT(recorded.size(), 44100 * 4 / 2);
    ASSERT_TRUE(Eventually([&] {
        return panel->FileNameWnd()->Lines().join(QString()) == QStringLiteral("Sound.wav");
    }));

    rig.piano->ClearReceived();
    Click(strip->Button(CStBtn::WM_ST_PLAY));
    ASSERT_EQ(audio.GetSoundStatus(), SOUND_PLAY);
    EXPECT_TRUE(Checked(strip, CStBtn::WM_ST_PLAY));
    ASSERT_TRUE(Eventually([&] { return panel->Level()->Left()->GetPos() > 0; }));
    Shot(*window, QStringLiteral("recorder-audio-playing.png"));
    ASSERT_TRUE(Eventually([&] { return !Checked(strip, CStBtn::WM_ST_PLAY); }));
    EXPECT_EQ(audio.GetSoundStatus(), SOUND_STOP);
    EXPECT_FALSE(panel->IsAnimating());
    const QByteArray played = PlayedAudio(rig);
    ASSERT_GE(played.size(), recorded.size());
    EXPECT_TRUE(played.left(recorded.size()) == recorded);
}

TEST_F(Recorder, MixRecordsThePianoWhileTheMidiTakePlaysIntoIt) {
    RecordMidiTake();
    rig.piano->SetSignal(CVirtualPiano::Signal::Sine, 330.0, 0.5);
    // The unsaved MIDI take stays: the mix records into the audio take.
    Click(window->Tab(CStereoDlg::WM_TAB_MIX));
    ASSERT_EQ(window->CurrentPanel(), CStereoDlg::PANEL_MIX);
    CMixDlg* panel = window->MixPanel();
    CStBtn* strip = panel->Strip();
    EXPECT_EQ(window->height(), CStereoDlg::kPanelAt.y() + panel->height() + 3);

    rig.piano->ClearReceived();
    Click(strip->Button(CStBtn::WM_ST_REC));
    ASSERT_EQ(audio.GetSoundStatus(), SOUND_REC);
    EXPECT_TRUE(Checked(strip, CStBtn::WM_ST_REC));
    ASSERT_TRUE(Eventually([&] { return !Enabled(window->Tab(CStereoDlg::WM_TAB_SEQ)); }));
    EXPECT_FALSE(Enabled(window->Tab(CStereoDlg::WM_TAB_AUD)));
    ASSERT_TRUE(Eventually([&] { return NoteOns(rig) == std::vector<int>{62}; }));
    ASSERT_TRUE(Eventually([&] { return QFileInfo(audio.GetFileName()).size() > 44100 * 4 / 2; }));
    ASSERT_TRUE(Eventually([&] { return strip->Time() == QStringLiteral("00 : 01"); }));
    ASSERT_TRUE(Eventually([&] {
        return panel->FileNameWnd()->Lines().join(QString()) ==
               QFileInfo(audio.GetFileName()).fileName();
    }));
    Shot(*window, QStringLiteral("recorder-mix-recording.png"));
    Click(strip->Button(CStBtn::WM_ST_STOP));
    ASSERT_EQ(audio.GetSoundStatus(), SOUND_STOP);
    EXPECT_EQ(midi.GetSoundStatus(), SOUND_STOP);
    EXPECT_FALSE(Checked(strip, CStBtn::WM_ST_REC));

    SaveAs(QStringLiteral("Duet"));
    Click(panel->SaveButton());
    const QString saved = CVeskToy().DataFile(QStringLiteral("Duet.wav"));
    ASSERT_TRUE(QFileInfo::exists(saved));
    EXPECT_GT(WavData(saved).size(), 44100 * 4 / 2);

    Click(strip->Button(CStBtn::WM_ST_PLAY));
    ASSERT_EQ(audio.GetSoundStatus(), SOUND_PLAY);
    Shot(*window, QStringLiteral("recorder-mix-playing.png"));
    ASSERT_TRUE(Eventually([&] { return !Checked(strip, CStBtn::WM_ST_PLAY); }));
    EXPECT_EQ(audio.GetSoundStatus(), SOUND_STOP);
}

TEST_F(Recorder, RecordingOverAnUnsavedTakeOffersToSaveIt) {
    RecordMidiTake();
    CStBtn* strip = window->SeqPanel()->Strip();

    // Yes, then backing out of the name: nothing starts and the take stays as it was.
    const QString kept = midi.GetFileName();
    rig.fusion.Answer(IDYES);
    bool asked = false;
    WhenModal<CSaveNameDlg>([&](CSaveNameDlg* dialog) {
        asked = true;
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("演奏の保存"));
        EXPECT_EQ(dialog->Name(), QFileInfo(kept).completeBaseName());
        dialog->reject();
    });
    Click(strip->Button(CStBtn::WM_ST_REC));
    EXPECT_TRUE(asked);
    EXPECT_EQ(rig.fusion.texts.value(rig.fusion.texts.size() - 1), kSaveQuestionMidi);
    EXPECT_EQ(midi.GetSoundStatus(), SOUND_STOP);
    EXPECT_EQ(midi.GetFileName(), kept);
    EXPECT_EQ(midi.GetFileFlag(), MODIFIED_DIRTY);
    EXPECT_TRUE(QFileInfo::exists(kept));
    EXPECT_FALSE(Checked(strip, CStBtn::WM_ST_REC));

    // No: the old take is deleted and the new recording starts.
    rig.fusion.texts.clear();
    rig.fusion.Answer(IDNO);
    Click(strip->Button(CStBtn::WM_ST_REC));
    EXPECT_EQ(rig.fusion.texts, QStringList{kSaveQuestionMidi});
    EXPECT_FALSE(QFileInfo::exists(kept));
    EXPECT_EQ(midi.GetSoundStatus(), SOUND_REC);
    EXPECT_TRUE(Checked(strip, CStBtn::WM_ST_REC));
}

TEST_F(Recorder, TheSaveNameMustNameAFileOfTheAlbum) {
    RecordMidiTake();
    const QString take = midi.GetFileName();
    int round = 0;
    std::function<void(CSaveNameDlg*)> answer = [&](CSaveNameDlg* dialog) {
        dialog->Edit()->clear();
        if (round++ == 0) {
            // An empty name is refused and the dialog stays open.
            Click(dialog->SaveButton());
            EXPECT_TRUE(dialog->isVisible());
            QTest::keyClicks(dialog->Edit(), QStringLiteral("../outside"));
            Click(dialog->SaveButton());
            EXPECT_TRUE(dialog->isVisible());
            dialog->reject();
        }
    };
    WhenModal<CSaveNameDlg>(answer);
    Click(window->SeqPanel()->SaveButton());
    EXPECT_EQ(rig.fusion.texts, (QStringList{QStringLiteral("ファイル名を入力してください。"),
                                             CSaveNameDlg::Refusal(QStringLiteral("a/b"))}));
    EXPECT_FALSE(CSaveNameDlg::Refusal(QStringLiteral("a/b")).isEmpty());
    EXPECT_EQ(midi.GetFileName(), take);
    EXPECT_EQ(midi.GetFileFlag(), MODIFIED_DIRTY);
    EXPECT_FALSE(QFileInfo::exists(CVeskToy().DataPath() + QStringLiteral("/../outside.mid")));
}

TEST_F(Recorder, ClosesOnlyWhenStoppedAndBothTakesAreSavedOrDiscarded) {
    CStBtn* strip = window->SeqPanel()->Strip();
    Click(strip->Button(CStBtn::WM_ST_REC));
    ASSERT_EQ(midi.GetSoundStatus(), SOUND_REC);
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(rig.fusion.texts.value(rig.fusion.texts.size() - 1), kNotNow);
    PlayNote(rig, 65);
    Click(strip->Button(CStBtn::WM_ST_STOP));
    ASSERT_EQ(midi.GetFileFlag(), MODIFIED_DIRTY)
        << rig.fusion.texts.join(QLatin1Char(',')).toStdString() << " "
        << midi.GetFileName().toStdString() << " " << midi.GetSoundStatus();
    const QString take = midi.GetFileName();

    rig.fusion.Answer(IDYES);
    WhenModal<CSaveNameDlg>([](CSaveNameDlg* dialog) { dialog->reject(); });
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(QFileInfo::exists(take));

    rig.fusion.Answer(IDNO);
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(QFileInfo::exists(take));
    // Shown again, the window shows the panel it had.
    window->show();
    EXPECT_TRUE(window->SeqPanel()->isVisible());
}

TEST_F(Recorder, TheMidiSlidersSetTempoBeatAndKeyAndFollowTheSharedState) {
    CSeqDlg* panel = window->SeqPanel();
    CSeqSlider* tempo = panel->TempoSlider();
    EXPECT_EQ(tempo->GetPos(), static_cast<int>(rig.manage->GetTempo()));
    // Dragged past its right end, the tempo slider stops at the fastest tempo.
    const int middle = tempo->height() / 2;
    QTest::mousePress(tempo, Qt::LeftButton, {}, QPoint(tempo->width() / 2, middle));
    QTest::mouseMove(tempo, QPoint(tempo->width() + 40, middle));
    QTest::mouseRelease(tempo, Qt::LeftButton, {}, QPoint(tempo->width() + 40, middle));
    CWinMsg::PumpMessages();
    EXPECT_EQ(rig.manage->GetTempo(), 300u);
    EXPECT_EQ(tempo->ThumbRect().right(), tempo->width() - 1);
    CSeqSlider* key = panel->KeySlider();
    QTest::mouseClick(key, Qt::LeftButton, {}, QPoint(1, key->height() / 2));
    CWinMsg::PumpMessages();
    EXPECT_EQ(key->GetPos(), 0) << rig.fusion.texts.join(QLatin1Char(',')).toStdString();
    EXPECT_EQ(rig.manage->GetSeqKey(), SEQKEY_G);
    EXPECT_EQ(key->ThumbRect().left(), 0);

    rig.manage->SetBeat(BEAT_6_8, nullptr);
    rig.manage->SetTempo(96, nullptr);
    ASSERT_TRUE(
        Eventually([&] { return panel->BeatSlider()->GetPos() == 5 && tempo->GetPos() == 96; }));
    EXPECT_EQ(CSeqDlg::BeatLabel(panel->BeatSlider()->GetPos()), QStringLiteral("6/8"));
    EXPECT_EQ(CSeqDlg::KeyLabel(11), QStringLiteral("F#"));
}

TEST_F(Recorder, TheAlbumTabOpensASavedTakeIntoItsPanel) {
    // A saved audio take and a saved MIDI take in the album.
    rig.piano->SetSignal(CVirtualPiano::Signal::Sine, 440.0, 0.5);
    ASSERT_EQ(rig.manage->AudRec(), ERR_VESK_OK);
    ASSERT_TRUE(Eventually([&] { return QFileInfo(audio.GetFileName()).size() > 4096; }));
    ASSERT_EQ(rig.manage->AudStop(), ERR_VESK_OK);
    SaveAs(QStringLiteral("Tone"));
    ASSERT_EQ(rig.manage->AudSave(), ERR_VESK_OK);
    RecordMidiTake();
    SaveAs(QStringLiteral("Song"));
    ASSERT_EQ(rig.manage->SeqSave(), ERR_VESK_OK);
    const QString song = CVeskToy().DataFile(QStringLiteral("Song.mid"));
    const QString tone = CVeskToy().DataFile(QStringLiteral("Tone.wav"));
    ASSERT_TRUE(QFileInfo::exists(song) && QFileInfo::exists(tone));
    CWinMsg::PumpMessages();

    // The audio take chosen in the album brings up the audio panel with it.
    bool pressed = false;
    WhenModal<CAlbumDlg>([&](CAlbumDlg* album) {
        pressed = window->Tab(CStereoDlg::WM_TAB_ALBUM)->Checkd() != 0;
        EXPECT_EQ(album->AudioList()->Paths(), QStringList{tone});
        if (album->AudioList()->Paths().isEmpty()) {
            album->reject();
            return;
        }
        album->AudioList()->SelectRow(0);
        CWinMsg::PumpMessages();
        Click(album->OpenButton());
        if (album->isVisible()) {
            ADD_FAILURE() << "the album stayed open";
            album->reject();
        }
    });
    Click(window->Tab(CStereoDlg::WM_TAB_ALBUM));
    EXPECT_TRUE(pressed);
    EXPECT_EQ(window->Tab(CStereoDlg::WM_TAB_ALBUM)->Checkd(), 0);
    EXPECT_EQ(window->CurrentPanel(), CStereoDlg::PANEL_AUD);
    EXPECT_EQ(audio.GetFileName(), tone);
    ASSERT_TRUE(Eventually([&] {
        return window->AudPanel()->FileNameWnd()->Lines().join(QString()) ==
               QStringLiteral("Tone.wav");
    }));

    // Closed without a choice, the album leaves the panel as it was.
    WhenModal<CAlbumDlg>([](CAlbumDlg* album) { album->reject(); });
    Click(window->Tab(CStereoDlg::WM_TAB_ALBUM));
    EXPECT_EQ(window->CurrentPanel(), CStereoDlg::PANEL_AUD);

    WhenModal<CAlbumDlg>([&](CAlbumDlg* album) {
        album->MidiList()->SelectRow(0);
        CWinMsg::PumpMessages();
        Click(album->OpenButton());
        if (album->isVisible()) {
            ADD_FAILURE() << "the album stayed open";
            album->reject();
        }
    });
    Click(window->Tab(CStereoDlg::WM_TAB_ALBUM));
    EXPECT_EQ(window->CurrentPanel(), CStereoDlg::PANEL_SEQ);
    EXPECT_EQ(midi.GetFileName(), song);

    // While a take plays the album cannot be opened.
    Click(window->SeqPanel()->Strip()->Button(CStBtn::WM_ST_PLAY));
    ASSERT_EQ(midi.GetSoundStatus(), SOUND_PLAY);
    ASSERT_TRUE(Eventually([&] { return !Enabled(window->Tab(CStereoDlg::WM_TAB_ALBUM)); }));
}

TEST(SaveName, RefusesNamesTheAlbumCouldNotShowOrTheDiskCouldNotHold) {
    // Names that would make a blank, hidden or broken album entry, or fail only at the move.
    const QStringList refused{
        QString(),
        QStringLiteral("   "),
        QStringLiteral("\t"),
        QStringLiteral("."),
        QStringLiteral(".."),
        QStringLiteral(".hidden"),
        QStringLiteral("a/b"),
        QStringLiteral("line\nbreak"),
        QStringLiteral("carriage\rreturn"),
        QStringLiteral("nul") + QChar(0) + QStringLiteral("x"),
        QString(252, QLatin1Char('a')),
        // 84 three-byte characters: 252 bytes before the extension.
        QString(84, QChar(0x3042)),
    };
    for (const QString& name : refused) {
        EXPECT_FALSE(CSaveNameDlg::Refusal(name).isEmpty()) << name.toStdString();
    }
    const QStringList accepted{
        QStringLiteral("Nocturne"), QStringLiteral("練習曲 第1番"), QStringLiteral("a\\b"),
        QStringLiteral("a:b"),      QStringLiteral("v1.2"),         QString(251, QLatin1Char('a')),
        QString(83, QChar(0x3042)), QStringLiteral("🎹 take"),
    };
    for (const QString& name : accepted) {
        EXPECT_TRUE(CSaveNameDlg::Refusal(name).isEmpty()) << name.toStdString();
    }
}

TEST_F(Recorder, AFailedSaveKeepsTheTakeAndAsksForANameAgain) {
    RecordMidiTake();
    const QString take = midi.GetFileName();
    // The first name typed is refused by the move; the dialog comes back and is closed.
    QString name;
    int round = 0;
    std::function<void(CSaveNameDlg*)> answer = [&](CSaveNameDlg* dialog) {
        if (round++ == 0) {
            dialog->Edit()->clear();
            QTest::keyClicks(dialog->Edit(), name);
            WhenModal<CSaveNameDlg>(answer);
            Click(dialog->SaveButton());
        } else {
            dialog->reject();
        }
    };

    // A folder of the album under the chosen name: confirmed, the move is refused, the take stays.
    ASSERT_TRUE(QDir().mkpath(CVeskToy().DataFile(QStringLiteral("Folder.mid"))));
    rig.fusion.Answer(IDYES);
    name = QStringLiteral("Folder");
    WhenModal<CSaveNameDlg>(answer);
    Click(window->SeqPanel()->SaveButton());
    EXPECT_EQ(round, 2);
    EXPECT_TRUE(QFileInfo(CVeskToy().DataFile(QStringLiteral("Folder.mid"))).isDir());
    EXPECT_EQ(midi.GetFileName(), take);
    EXPECT_EQ(midi.GetFileFlag(), MODIFIED_DIRTY);
    EXPECT_TRUE(QFileInfo::exists(take));

    // The take's file deleted behind the program's back: the save says so and writes nothing.
    ASSERT_TRUE(QFile::remove(take));
    rig.fusion.texts.clear();
    round = 0;
    name = QStringLiteral("Gone");
    WhenModal<CSaveNameDlg>(answer);
    Click(window->SeqPanel()->SaveButton());
    EXPECT_EQ(round, 2);
    EXPECT_EQ(rig.fusion.texts.size(), 1) << rig.fusion.texts.join(QLatin1Char(',')).toStdString();
    EXPECT_FALSE(QFileInfo::exists(CVeskToy().DataFile(QStringLiteral("Gone.mid"))));
}

namespace {

// Posts a message to the window as a click on a disabled button never could, and runs it.
void Send(QObject* target, unsigned int message) {
    CWinMsg::PostMessage(target, message, 0, 0);
    CWinMsg::PumpMessages();
}

// Lets the engine see the piano unplugged, then plugs it in again, so the next test starts
// with a connected piano.
void Replug(CWindowRig& rig) {
    ASSERT_TRUE(Eventually([] { return CCheckUSBdev::LastStatus() == ZQ31_NotConnected; }));
    rig.piano->Plug();
    ASSERT_TRUE(Eventually([] { return CCheckUSBdev::LastStatus() == ZQ31_Connected; }));
}

} // namespace

TEST_F(Recorder, HurriedTransportClicksKeepOneTakeAndTheAlbumShutWhileRunning) {
    CSeqDlg* panel = window->SeqPanel();
    CStBtn* strip = panel->Strip();
    bool albumOpened = false;
    WhenModal<CAlbumDlg>([&](CAlbumDlg* album) {
        albumOpened = true;
        album->reject();
    });

    // Record pressed twice: one recording, the same take.
    QTest::mouseClick(strip->Button(CStBtn::WM_ST_REC), Qt::LeftButton);
    QTest::mouseClick(strip->Button(CStBtn::WM_ST_REC), Qt::LeftButton);
    CWinMsg::PumpMessages();
    ASSERT_EQ(midi.GetSoundStatus(), SOUND_REC);
    const QString take = midi.GetFileName();
    Click(strip->Button(CStBtn::WM_ST_REC));
    EXPECT_EQ(midi.GetFileName(), take);
    EXPECT_TRUE(Checked(strip, CStBtn::WM_ST_REC));
    PlayNote(rig, 67);

    // Tabs and the album reached while recording are refused and the take records on.
    for (unsigned int tab :
         {CStereoDlg::WM_TAB_AUD, CStereoDlg::WM_TAB_MIX, CStereoDlg::WM_TAB_ALBUM}) {
        rig.fusion.texts.clear();
        Send(window.get(), tab);
        EXPECT_EQ(window->CurrentPanel(), CStereoDlg::PANEL_SEQ) << tab;
        EXPECT_EQ(midi.GetSoundStatus(), SOUND_REC) << tab;
        EXPECT_EQ(rig.fusion.texts, QStringList{kNotNow}) << tab;
    }
    EXPECT_FALSE(albumOpened);
    EXPECT_EQ(window->Tab(CStereoDlg::WM_TAB_ALBUM)->Checkd(), 0);

    // Stop twice, then play and stop at once and play again before anything was shown.
    QTest::mouseClick(strip->Button(CStBtn::WM_ST_STOP), Qt::LeftButton);
    QTest::mouseClick(strip->Button(CStBtn::WM_ST_STOP), Qt::LeftButton);
    CWinMsg::PumpMessages();
    ASSERT_EQ(midi.GetSoundStatus(), SOUND_STOP);
    EXPECT_FALSE(Checked(strip, CStBtn::WM_ST_REC));
    EXPECT_FALSE(Checked(strip, CStBtn::WM_ST_PLAY));
    ASSERT_EQ(midi.GetFileFlag(), MODIFIED_DIRTY);
    EXPECT_EQ(midi.GetFileName(), take);

    for (int round = 0; round < 3; ++round) {
        QTest::mouseClick(strip->Button(CStBtn::WM_ST_PLAY), Qt::LeftButton);
        QTest::mouseClick(strip->Button(CStBtn::WM_ST_PLAY), Qt::LeftButton);
        QTest::mouseClick(strip->Button(CStBtn::WM_ST_STOP), Qt::LeftButton);
        QTest::mouseClick(strip->Button(CStBtn::WM_ST_PLAY), Qt::LeftButton);
        CWinMsg::PumpMessages();
        ASSERT_EQ(midi.GetSoundStatus(), SOUND_PLAY) << round;
        EXPECT_TRUE(Checked(strip, CStBtn::WM_ST_PLAY)) << round;
        Click(strip->Button(CStBtn::WM_ST_STOP));
        ASSERT_EQ(midi.GetSoundStatus(), SOUND_STOP) << round;
        EXPECT_FALSE(Checked(strip, CStBtn::WM_ST_PLAY)) << round;
        // A stop message the engine posted for the playback it ended is harmless later.
        CWinMsg::PumpMessages();
        EXPECT_FALSE(Checked(strip, CStBtn::WM_ST_PLAY)) << round;
    }
    EXPECT_EQ(midi.GetFileName(), take);
    EXPECT_TRUE(QFileInfo::exists(take));
    ASSERT_TRUE(Eventually([&] { return Enabled(window->Tab(CStereoDlg::WM_TAB_ALBUM)); }));

    // Played to its end, the strip resets and the tabs open again.
    Click(strip->Button(CStBtn::WM_ST_PLAY));
    ASSERT_EQ(midi.GetSoundStatus(), SOUND_PLAY);
    ASSERT_TRUE(Eventually([&] { return !Checked(strip, CStBtn::WM_ST_PLAY); }));
    EXPECT_EQ(midi.GetSoundStatus(), SOUND_STOP);
    ASSERT_TRUE(Eventually([&] { return Enabled(window->Tab(CStereoDlg::WM_TAB_AUD)); }));
}

TEST_F(Recorder, UnpluggingThePianoStopsTheStripAndKeepsTheTakeSoFar) {
    CSeqDlg* panel = window->SeqPanel();
    CStBtn* strip = panel->Strip();

    // Mid-recording: what was played stays in the take, which can still be saved.
    Click(strip->Button(CStBtn::WM_ST_REC));
    ASSERT_EQ(midi.GetSoundStatus(), SOUND_REC);
    PlayNote(rig, 60);
    PlayNote(rig, 64);
    rig.fusion.texts.clear();
    rig.piano->Unplug();
    ASSERT_TRUE(Eventually([&] { return midi.GetSoundStatus() == SOUND_STOP; }));
    ASSERT_TRUE(Eventually([&] { return !Checked(strip, CStBtn::WM_ST_REC); }));
    EXPECT_FALSE(Checked(strip, CStBtn::WM_ST_PLAY));
    EXPECT_TRUE(Enabled(strip->Button(CStBtn::WM_ST_REC)));
    ASSERT_TRUE(Eventually([&] { return !rig.fusion.texts.isEmpty(); }));
    ASSERT_TRUE(Eventually([&] { return Enabled(window->Tab(CStereoDlg::WM_TAB_AUD)); }));
    EXPECT_EQ(midi.GetFileFlag(), MODIFIED_DIRTY);
    ASSERT_TRUE(Eventually([&] { return Enabled(panel->SaveButton()); }));
    Replug(rig);
    SaveAs(QStringLiteral("Unplugged"));
    Click(panel->SaveButton());
    const QString saved = CVeskToy().DataFile(QStringLiteral("Unplugged.mid"));
    ASSERT_TRUE(QFileInfo::exists(saved));

    // Mid-playback: the strip stops with a message, and the take plays again once plugged.
    rig.piano->ClearReceived();
    Click(strip->Button(CStBtn::WM_ST_PLAY));
    ASSERT_EQ(midi.GetSoundStatus(), SOUND_PLAY);
    rig.fusion.texts.clear();
    rig.piano->Unplug();
    ASSERT_TRUE(Eventually([&] { return midi.GetSoundStatus() == SOUND_STOP; }));
    ASSERT_TRUE(Eventually([&] { return !Checked(strip, CStBtn::WM_ST_PLAY); }));
    ASSERT_TRUE(Eventually([&] { return !rig.fusion.texts.isEmpty(); }));
    ASSERT_TRUE(Eventually([&] { return Enabled(window->Tab(CStereoDlg::WM_TAB_AUD)); }));
    Replug(rig);
    rig.piano->ClearReceived();
    Click(strip->Button(CStBtn::WM_ST_PLAY));
    ASSERT_EQ(midi.GetSoundStatus(), SOUND_PLAY);
    ASSERT_TRUE(Eventually([&] { return NoteOns(rig) == std::vector<int>{60, 64}; }));
    ASSERT_TRUE(Eventually([&] { return !Checked(strip, CStBtn::WM_ST_PLAY); }));

    // The audio take recorded so far is kept as a WAV file that can be read.
    rig.piano->SetSignal(CVirtualPiano::Signal::Sine, 440.0, 0.5);
    Click(window->Tab(CStereoDlg::WM_TAB_AUD));
    CStBtn* audStrip = window->AudPanel()->Strip();
    Click(audStrip->Button(CStBtn::WM_ST_REC));
    ASSERT_EQ(audio.GetSoundStatus(), SOUND_REC);
    ASSERT_TRUE(Eventually([&] { return QFileInfo(audio.GetFileName()).size() > 8192; }));
    rig.fusion.texts.clear();
    rig.piano->Unplug();
    ASSERT_TRUE(Eventually([&] { return audio.GetSoundStatus() == SOUND_STOP; }));
    ASSERT_TRUE(Eventually([&] { return !Checked(audStrip, CStBtn::WM_ST_REC); }));
    ASSERT_TRUE(Eventually([&] { return !rig.fusion.texts.isEmpty(); }));
    EXPECT_EQ(audio.GetFileFlag(), MODIFIED_DIRTY);
    const QByteArray kept = WavData(audio.GetFileName());
    EXPECT_GT(kept.size(), 4096);
    QFile wav(audio.GetFileName());
    ASSERT_TRUE(wav.open(QIODevice::ReadOnly));
    const QByteArray image = wav.readAll();
    const qsizetype chunk = image.indexOf("data");
    ASSERT_GE(chunk, 0);
    // The header's data length matches the samples the file holds.
    std::uint32_t dataLength = 0;
    std::memcpy(&dataLength, image.constData() + chunk + 4, 4);
    EXPECT_EQ(static_cast<qsizetype>(dataLength), kept.size());
    Replug(rig);
}

TEST_F(Recorder, TheMemoKeepsEveryCharacterItStoresAndRefusesOthersOutLoud) {
    CSeqDlg* panel = window->SeqPanel();
    RecordMidiTake();
    SaveAs(QStringLiteral("Memo"));
    Click(panel->SaveButton());
    const QString saved = CVeskToy().DataFile(QStringLiteral("Memo.mid"));
    ASSERT_TRUE(QFileInfo::exists(saved));

    const auto writeMemo = [&](const QString& text, bool expectOpen) {
        bool stillOpen = false;
        WhenModal<CMemoDlg>([&](CMemoDlg* dialog) {
            dialog->Edit()->setPlainText(text);
            Click(dialog->OkButton());
            stillOpen = dialog->isVisible();
            if (stillOpen) {
                Click(dialog->CancelButton());
            }
        });
        rig.fusion.texts.clear();
        Click(panel->MemoButton());
        EXPECT_EQ(stillOpen, expectOpen);
    };

    // 2000 characters of Japanese go into the file whole.
    QString longMemo;
    while (longMemo.size() < 2000) {
        longMemo += QStringLiteral("練習曲ハ長調");
    }
    longMemo.truncate(2000);
    writeMemo(longMemo, false);
    EXPECT_EQ(rig.manage->GetSeqMemo(), longMemo);
    EXPECT_EQ(rig.manage->GetAlbumSMFMemo(saved), longMemo);

    // Characters the file cannot hold are refused with a message; nothing changes.
    writeMemo(QStringLiteral("上手に弾けた🎹"), true);
    ASSERT_FALSE(rig.fusion.texts.isEmpty());
    EXPECT_EQ(rig.manage->GetSeqMemo(), longMemo);
    EXPECT_EQ(rig.manage->GetAlbumSMFMemo(saved), longMemo);

    // An empty memo clears the one in the file.
    writeMemo(QString(), false);
    EXPECT_EQ(rig.manage->GetSeqMemo(), QString());
    EXPECT_EQ(rig.manage->GetAlbumSMFMemo(saved), QString());

    // A memo longer than the file can hold is refused, not cut short.
    writeMemo(QString(6000, QChar(u'譜')), true);
    ASSERT_FALSE(rig.fusion.texts.isEmpty());
    EXPECT_EQ(rig.manage->GetSeqMemo(), QString());

    // No memo can be written while the take plays.
    Click(panel->Strip()->Button(CStBtn::WM_ST_PLAY));
    ASSERT_EQ(midi.GetSoundStatus(), SOUND_PLAY);
    EXPECT_TRUE(Eventually([&] { return !Enabled(panel->MemoButton()); }));
}

TEST_F(Recorder, SliderDragsDuringPlaybackChangeTheTempoAndThePlaybackEnds) {
    CSeqDlg* panel = window->SeqPanel();
    RecordMidiTake();
    CStBtn* strip = panel->Strip();
    Click(strip->Button(CStBtn::WM_ST_PLAY));
    ASSERT_EQ(midi.GetSoundStatus(), SOUND_PLAY);
    CSeqSlider* tempo = panel->TempoSlider();
    const int middle = tempo->height() / 2;
    QTest::mousePress(tempo, Qt::LeftButton, {}, QPoint(tempo->width() / 2, middle));
    for (int x = tempo->width() / 2; x < tempo->width(); x += 10) {
        QTest::mouseMove(tempo, QPoint(x, middle));
        CWinMsg::PumpMessages();
    }
    QTest::mouseMove(tempo, QPoint(tempo->width() + 40, middle));
    QTest::mouseRelease(tempo, Qt::LeftButton, {}, QPoint(tempo->width() + 40, middle));
    CWinMsg::PumpMessages();
    EXPECT_EQ(rig.manage->GetTempo(), 300u);
    EXPECT_EQ(tempo->GetPos(), 300);
    CSeqSlider* key = panel->KeySlider();
    QTest::mouseClick(key, Qt::LeftButton, {}, QPoint(key->width() - 1, key->height() / 2));
    CWinMsg::PumpMessages();
    ASSERT_TRUE(Eventually([&] { return !Checked(strip, CStBtn::WM_ST_PLAY); }));
    EXPECT_EQ(midi.GetSoundStatus(), SOUND_STOP);
    EXPECT_EQ(tempo->GetPos(), static_cast<int>(rig.manage->GetTempo()));
    EXPECT_EQ(key->GetPos(), static_cast<int>(rig.manage->GetSeqKey()) + 5);
}

TEST_F(Recorder, ClosingWithTwoUnsavedTakesAsksForEachAndHonoursEveryAnswer) {
    rig.piano->SetSignal(CVirtualPiano::Signal::Sine, 440.0, 0.5);
    const auto recordBoth = [&] {
        RecordMidiTake();
        ASSERT_EQ(rig.manage->AudRec(), ERR_VESK_OK);
        ASSERT_TRUE(Eventually([&] { return QFileInfo(audio.GetFileName()).size() > 4096; }));
        ASSERT_EQ(rig.manage->AudStop(), ERR_VESK_OK);
        ASSERT_EQ(audio.GetFileFlag(), MODIFIED_DIRTY);
        CWinMsg::PumpMessages();
    };

    // MIDI kept by cancelling its name: nothing closes, the audio take is not even asked for.
    recordBoth();
    const QString midiTake = midi.GetFileName();
    const QString audioTake = audio.GetFileName();
    rig.fusion.Answer(IDYES);
    WhenModal<CSaveNameDlg>([](CSaveNameDlg* dialog) { dialog->reject(); });
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(QFileInfo::exists(midiTake));
    EXPECT_TRUE(QFileInfo::exists(audioTake));
    EXPECT_EQ(audio.GetFileFlag(), MODIFIED_DIRTY);

    // MIDI discarded, audio kept by cancelling: the MIDI take is gone, the audio one stays.
    rig.fusion.Answer(IDNO);
    rig.fusion.Answer(IDYES);
    WhenModal<CSaveNameDlg>([](CSaveNameDlg* dialog) { dialog->reject(); });
    EXPECT_FALSE(window->close());
    EXPECT_FALSE(QFileInfo::exists(midiTake));
    EXPECT_TRUE(QFileInfo::exists(audioTake));
    EXPECT_EQ(audio.GetFileFlag(), MODIFIED_DIRTY);

    // Audio saved under a name: the window closes.
    rig.fusion.Answer(IDYES);
    SaveAs(QStringLiteral("Kept"));
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(QFileInfo::exists(CVeskToy().DataFile(QStringLiteral("Kept.wav"))));

    // Both saved, or both discarded, also close it.
    window->show();
    recordBoth();
    rig.fusion.Answer(IDYES);
    SaveAs(QStringLiteral("Both"));
    rig.fusion.Answer(IDYES);
    SaveAs(QStringLiteral("Both"));
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(QFileInfo::exists(CVeskToy().DataFile(QStringLiteral("Both.mid"))));
    EXPECT_TRUE(QFileInfo::exists(CVeskToy().DataFile(QStringLiteral("Both.wav"))));
    window->show();
    recordBoth();
    const QString lastMidi = midi.GetFileName();
    const QString lastAudio = audio.GetFileName();
    rig.fusion.Answer(IDNO);
    rig.fusion.Answer(IDNO);
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(QFileInfo::exists(lastMidi));
    EXPECT_FALSE(QFileInfo::exists(lastAudio));
}
