#include "CCheckUSBdev.h"
#include "CMetronome.h"
#include "CSequencerPlay.h"
#include "CSequencerRec.h"
#include "CTrace.h"
#include "ManageFixture.h"
#include "QtPrinters.h"
#include "TestHome.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <thread>

namespace {

const char* const kBusyAudio = "予期せぬエラーが発生しました。(2)";
const char* const kBusyMidi = "予期せぬエラーが発生しました。(6)";
const char* const kChooseMidi = "アルバムからMIDIファイルを選んでください。";
const char* const kChooseAudio = "アルバムからオーディオファイルを選んでください。";
const char* const kNotNow = "録音／再生中は、この操作はできません。";
const char* const kReplace = "現在の録音内容は保存されていませんが、\r\n新しく録音をはじめますか？";
const char* const kNoAudioDevice = "オーディオデバイスを使用することができません。\r\nZQ31本体"
                                   "と正しく接続されているかを確認してください。";

// The state a row starts from; every transport runs for real: the song plays into the virtual
// ZQ31, its keys or its sound are recorded, an album WAV plays, the metronome ticks.
struct Given {
    SOUND_STATUS s = SOUND_STOP;
    SOUND_STATUS a = SOUND_STOP;
    E_METSTATUS m = MET_STOP;
    bool midiFile = true;
    bool audioFile = true;
};

struct Expect {
    E_ERR_VESK code = ERR_VESK_OK;
    const char* shown = nullptr; // the one message shown, or none
    SOUND_STATUS s = SOUND_STOP;
    SOUND_STATUS a = SOUND_STOP;
    E_METSTATUS m = MET_STOP;
};

struct Row {
    const char* what;
    std::function<CVeskError(CManage&)> operation;
    Given given;
    Expect expect;
};

// Plays a note on the virtual ZQ31 and waits until the engine heard it end.
void PlayNote(CManage& manage, CVirtualPiano& piano, std::uint8_t note) {
    piano.PressKey(note, 90);
    Eventually([&] { return manage.GetKeyboardDisp(note - CDataInfo::kLowestNote) != 0; });
    // The key is held a little, as a player would: a take whose events all fall in its first
    // millisecond is not a recording, and is not written.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    piano.ReleaseKey(note);
    Eventually([&] { return manage.GetKeyboardDisp(note - CDataInfo::kLowestNote) == 0; });
}

std::function<CVeskError(CManage&)> Op(CVeskError (CManage::*operation)()) {
    return [operation](CManage& manage) { return (manage.*operation)(); };
}

constexpr SOUND_STATUS PLAY = SOUND_PLAY;
constexpr SOUND_STATUS REC = SOUND_REC;
constexpr SOUND_STATUS STOP = SOUND_STOP;

// Which operation is allowed in which combination of the two takes and the metronome, and
// what happens otherwise.
const Row kRows[] = {
    // MIDI recording
    {"SeqRec with everything stopped records", Op(&CManage::SeqRec), {}, {.s = REC}},
    {"SeqRec while the MIDI take plays only refreshes",
     Op(&CManage::SeqRec),
     {.s = PLAY},
     {.s = PLAY}},
    {"SeqRec while the audio take plays is refused",
     Op(&CManage::SeqRec),
     {.a = PLAY},
     {.code = ERR_VESK_REFUSED, .shown = kBusyAudio, .a = PLAY}},
    {"SeqRec leaves a running metronome running",
     Op(&CManage::SeqRec),
     {.m = MET_START},
     {.s = REC, .m = MET_START}},
    // MIDI stop
    {"SeqStop ends a recording", Op(&CManage::SeqStop), {.s = REC}, {}},
    {"SeqStop ends playback", Op(&CManage::SeqStop), {.s = PLAY}, {}},
    {"SeqStop without a MIDI file does nothing", Op(&CManage::SeqStop), {.midiFile = false}, {}},
    // MIDI playback
    {"SeqPlay without a MIDI file asks for one",
     Op(&CManage::SeqPlay),
     {.midiFile = false},
     {.code = ERR_VESK_REFUSED, .shown = kChooseMidi}},
    {"SeqPlay while the audio take plays is refused",
     Op(&CManage::SeqPlay),
     {.a = PLAY},
     {.code = ERR_VESK_REFUSED, .shown = kBusyAudio, .a = PLAY}},
    {"SeqPlay while playing does nothing", Op(&CManage::SeqPlay), {.s = PLAY}, {.s = PLAY}},
    {"SeqPlay while recording does nothing", Op(&CManage::SeqPlay), {.s = REC}, {.s = REC}},
    {"SeqPlay stops the metronome and plays", Op(&CManage::SeqPlay), {.m = MET_START}, {.s = PLAY}},
    // MIDI positions
    {"SeqFirst while playing plays on from the start",
     Op(&CManage::SeqFirst),
     {.s = PLAY},
     {.s = PLAY}},
    {"SeqFirst while recording does nothing", Op(&CManage::SeqFirst), {.s = REC}, {.s = REC}},
    {"SeqFirst without a MIDI file succeeds", Op(&CManage::SeqFirst), {.midiFile = false}, {}},
    {"SeqRewind while playing stops", Op(&CManage::SeqRewind), {.s = PLAY}, {}},
    {"SeqForward while playing stops", Op(&CManage::SeqForward), {.s = PLAY}, {}},
    {"SeqForward while recording does nothing", Op(&CManage::SeqForward), {.s = REC}, {.s = REC}},
    // Audio recording
    {"AudRec while the MIDI take plays is refused",
     Op(&CManage::AudRec),
     {.s = PLAY},
     {.code = ERR_VESK_REFUSED, .shown = kBusyMidi, .s = PLAY}},
    {"AudRec while the MIDI take records is refused",
     Op(&CManage::AudRec),
     {.s = REC},
     {.code = ERR_VESK_REFUSED, .shown = kBusyMidi, .s = REC}},
    {"AudRec with everything stopped records", Op(&CManage::AudRec), {}, {.a = REC}},
    {"AudRec stops the metronome", Op(&CManage::AudRec), {.m = MET_START}, {.a = REC}},
    {"AudStop ends a recording", Op(&CManage::AudStop), {.a = REC}, {}},
    {"AudStop ends playback", Op(&CManage::AudStop), {.a = PLAY}, {}},
    {"AudPlay stops the metronome and plays", Op(&CManage::AudPlay), {.m = MET_START}, {.a = PLAY}},
    {"AudFirst while playing plays on from the start",
     Op(&CManage::AudFirst),
     {.a = PLAY},
     {.a = PLAY}},
    {"AudRewind while playing stops", Op(&CManage::AudRewind), {.a = PLAY}, {}},
    {"AudForward while playing stops", Op(&CManage::AudForward), {.a = PLAY}, {}},
    {"MixRec with everything stopped plays the song and records",
     Op(&CManage::MixRec),
     {},
     {.s = PLAY, .a = REC}},
    {"MixStop ends a mix", Op(&CManage::MixStop), {.s = PLAY, .a = REC}, {}},
    {"MixStop ends an audio recording", Op(&CManage::MixStop), {.a = REC}, {}},
    {"MixStop ends audio playback", Op(&CManage::MixStop), {.a = PLAY}, {}},
    {"SeqStop during a mix leaves it running",
     Op(&CManage::SeqStop),
     {.s = PLAY, .a = REC},
     {.s = PLAY, .a = REC}},
    {"AudStop during a mix leaves it running",
     Op(&CManage::AudStop),
     {.s = PLAY, .a = REC},
     {.s = PLAY, .a = REC}},
    {"AudRec while the audio take plays only refreshes",
     Op(&CManage::AudRec),
     {.a = PLAY},
     {.a = PLAY}},
    // Audio stop and playback
    {"AudStop while the MIDI take plays does nothing",
     Op(&CManage::AudStop),
     {.s = PLAY},
     {.s = PLAY}},
    {"AudPlay without an audio file asks for one",
     Op(&CManage::AudPlay),
     {.audioFile = false},
     {.code = ERR_VESK_REFUSED, .shown = kChooseAudio}},
    {"AudPlay while MIDI plays does nothing", Op(&CManage::AudPlay), {.s = PLAY}, {.s = PLAY}},
    {"AudPlay while the audio take plays does nothing",
     Op(&CManage::AudPlay),
     {.a = PLAY},
     {.a = PLAY}},
    {"AudFirst without an audio file succeeds", Op(&CManage::AudFirst), {.audioFile = false}, {}},
    {"AudFirst while the audio take records does nothing",
     Op(&CManage::AudFirst),
     {.a = REC},
     {.a = REC}},
    {"AudRewind while MIDI plays does nothing", Op(&CManage::AudRewind), {.s = PLAY}, {.s = PLAY}},
    // Mix
    {"MixRec without a MIDI file asks for one",
     Op(&CManage::MixRec),
     {.midiFile = false},
     {.code = ERR_VESK_REFUSED, .shown = kChooseMidi}},
    {"MixRec while the MIDI take plays only refreshes",
     Op(&CManage::MixRec),
     {.s = PLAY},
     {.s = PLAY}},
    {"MixRec while the audio take plays only refreshes",
     Op(&CManage::MixRec),
     {.a = PLAY},
     {.a = PLAY}},
    {"MixStop with only MIDI playing refuses quietly",
     Op(&CManage::MixStop),
     {.s = PLAY},
     {.s = PLAY}},
    {"MixStop while the MIDI take records refuses quietly",
     Op(&CManage::MixStop),
     {.s = REC},
     {.s = REC}},
    {"MixStop with everything stopped does nothing", Op(&CManage::MixStop), {}, {}},
    // Metronome
    {"MetroStartStop starts a stopped metronome",
     Op(&CManage::MetroStartStop),
     {},
     {.m = MET_START}},
    {"MetroStartStop stops a running metronome",
     Op(&CManage::MetroStartStop),
     {.m = MET_START},
     {}},
    {"MetroStartStop during MIDI recording toggles",
     Op(&CManage::MetroStartStop),
     {.s = REC},
     {.s = REC, .m = MET_START}},
    {"MetroStartStop during audio playback is refused",
     Op(&CManage::MetroStartStop),
     {.a = PLAY},
     {.code = ERR_VESK_REFUSED, .shown = kNotNow, .a = PLAY}},
    {"MetroStart during audio recording does nothing",
     Op(&CManage::MetroStart),
     {.a = REC},
     {.a = REC}},
    {"MetroStop during audio playback does nothing",
     Op(&CManage::MetroStop),
     {.a = PLAY},
     {.a = PLAY}},
    {"MetroStart on a running metronome does nothing",
     Op(&CManage::MetroStart),
     {.m = MET_START},
     {.m = MET_START}},
    // Quiet
    {"WhatAllStop with both takes stopped succeeds and rewinds",
     [](CManage& m) { return m.WhatAllStop(0, 1); },
     {},
     {}},
    {"WhatAllStop while playing refuses silently",
     [](CManage& m) { return m.WhatAllStop(0, 1); },
     {.s = PLAY},
     {.code = ERR_VESK_REFUSED, .s = PLAY}},
    {"WhatAllStop asked to show says why",
     [](CManage& m) { return m.WhatAllStop(1, 0); },
     {.a = REC},
     {.code = ERR_VESK_REFUSED, .shown = kNotNow, .a = REC}},
};

class ManageTable : public ManageFixture {
protected:
    void Arrange(const Given& given) {
        StopAll();
        if (given.midiFile) {
            ASSERT_EQ(manage->SetSeqFileName(song), 1);
        } else {
            midi.SetFileName(QString());
        }
        if (given.audioFile) {
            ASSERT_EQ(manage->SetAudFileName(AudioFile()), 1);
        } else {
            audio.SetFileName(QString());
        }
        if (given.s == PLAY && given.a == STOP) {
            ASSERT_EQ(manage->SeqPlay(), 0);
        } else if (given.s == REC) {
            ASSERT_EQ(manage->SeqRec(), 0);
            PlayNote(*manage, *piano, 60);
        }
        if (given.m == MET_START) {
            ASSERT_EQ(manage->MetroStartStop(), 0);
        }
        if (given.s == PLAY && given.a == REC) {
            ASSERT_EQ(manage->MixRec(), 0);
        } else if (given.a == REC) {
            ASSERT_EQ(manage->AudRec(), 0);
        } else if (given.a == PLAY) {
            ASSERT_EQ(manage->AudPlay(), 0);
        }
        ASSERT_EQ(S(), given.s);
        ASSERT_EQ(A(), given.a);
        ASSERT_EQ(M(), given.m);
        fusion.texts.clear();
    }
};

TEST_F(ManageTable, EachOperationInEachStateDoesWhatItsRowSays) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.what);
        Arrange(row.given);
        if (HasFatalFailure()) {
            return;
        }
        const CVeskError result = row.operation(*manage);
        EXPECT_EQ(result.GetCode(), row.expect.code) << result.GetStr().toStdString();
        if (row.expect.shown != nullptr) {
            EXPECT_EQ(fusion.texts, QStringList{QString::fromUtf8(row.expect.shown)});
            EXPECT_EQ(result.GetStr(), QString::fromUtf8(row.expect.shown));
        } else {
            EXPECT_EQ(fusion.texts, QStringList{});
        }
        EXPECT_EQ(S(), row.expect.s);
        EXPECT_EQ(A(), row.expect.a);
        EXPECT_EQ(M(), row.expect.m);
        if (row.given.s == PLAY && row.expect.s == PLAY) {
            EXPECT_TRUE(manage->GetSequencerPlay()->IsPlaying());
        }
        if (row.expect.s == REC) {
            EXPECT_TRUE(manage->GetSequencerRec()->IsRecording());
        }
        EXPECT_EQ(manage->GetAudioPlay()->IsPlaying(), row.expect.a == PLAY);
    }
}

// ---------------------------------------------------------------------------------------------
// Takes

using Manage = ManageFixture;

// Records a few notes played on the virtual ZQ31 and stops; the take's file.
QString RecordTake(CManage& manage, CVirtualPiano& piano, const CSoundFile& take) {
    const CVeskError started = manage.SeqRec();
    if (started != 0) {
        ADD_FAILURE() << "SeqRec " << started.GetCode() << " " << started.GetStr().toStdString();
        return QString();
    }
    for (std::uint8_t note : {60, 64, 67}) {
        PlayNote(manage, piano, note);
    }
    const CVeskError stopped = manage.SeqStop();
    if (stopped != 0) {
        ADD_FAILURE() << "SeqStop " << stopped.GetCode() << " " << stopped.GetStr().toStdString();
        return QString();
    }
    return take.GetFileName();
}

TEST_F(Manage, AStoppedRecordingBecomesTheFileToPlay) {
    const QString take = RecordTake(*manage, *piano, midi);
    ASSERT_FALSE(take.isEmpty());
    EXPECT_TRUE(QFile::exists(take));
    EXPECT_EQ(midi.GetFileFlag(), MODIFIED_DIRTY);
    EXPECT_TRUE(manage->GetSequencerPlay()->IsOpen());
    piano->ClearReceived();
    ASSERT_EQ(manage->SeqPlay(), 0);
    // The take plays its notes back into the piano and ends by itself.
    EXPECT_TRUE(Eventually([&] { return S() == SOUND_STOP; }));
    EXPECT_TRUE(Eventually([&] { return stereo.Count(CSysinfo::WM_STOPFROMMIDDLE) >= 1; }));
}

TEST_F(Manage, ARecordedTakeReadsBackNoteForNoteInAnIndependentReader) {
    // A tempo whose quarter is no whole number of milliseconds, so a take written at another
    // tempo than it declares shows.
    manage->SetTempo(72, nullptr);
    ASSERT_EQ(manage->GetTempo(), 72u);
    piano->ClearSent();
    ASSERT_EQ(manage->SeqRec(), 0);
    struct Played {
        std::uint8_t note;
        std::uint8_t velocity;
        int holdMs; // after the engine showed the key down
        int restMs; // after the engine showed it up again
    };
    // Uneven on purpose: evenly spaced notes would hide a take stretched or shifted in time.
    const std::vector<Played> played{{60, 20, 0, 13},  {62, 127, 37, 0},   {64, 1, 5, 89},
                                     {65, 64, 113, 7}, {67, 100, 61, 151}, {69, 33, 0, 29},
                                     {71, 90, 191, 3}, {72, 45, 23, 0}};
    for (const Played& p : played) {
        const int key = p.note - CDataInfo::kLowestNote;
        piano->PressKey(p.note, p.velocity);
        ASSERT_TRUE(Eventually([&] { return manage->GetKeyboardDisp(key) != 0; }));
        std::this_thread::sleep_for(std::chrono::milliseconds(p.holdMs));
        piano->ReleaseKey(p.note);
        ASSERT_TRUE(Eventually([&] { return manage->GetKeyboardDisp(key) == 0; }));
        std::this_thread::sleep_for(std::chrono::milliseconds(p.restMs));
    }
    ASSERT_EQ(manage->SeqStop(), 0);

    // When the piano handed each note-on and note-off to the PC, in order.
    std::vector<CVirtualPiano::Clock::time_point> sent;
    for (const CVirtualPiano::SentMidi& message : piano->Sent()) {
        const std::uint8_t kind = message.bytes.empty() ? 0 : message.bytes[0] & 0xF0;
        if (kind == 0x80 || kind == 0x90) {
            sent.push_back(message.time);
        }
    }
    ASSERT_EQ(sent.size(), 2 * played.size());

    // The take's division and tempo, as the independent reader sees them.
    int division = 0;
    long quarterMicroseconds = 0;
    for (const QString& line : Mido(midi.GetFileName())) {
        const QStringList parts = line.split(QLatin1Char(' '));
        if (parts.size() >= 4 && parts[0] == QStringLiteral("format")) {
            division = parts[3].toInt();
        } else if (quarterMicroseconds == 0 && parts.size() == 8 &&
                   parts[2] == QStringLiteral("FF") && parts[3] == QStringLiteral("51")) {
            quarterMicroseconds = (parts[5].toLong(nullptr, 16) << 16) |
                                  (parts[6].toLong(nullptr, 16) << 8) |
                                  parts[7].toLong(nullptr, 16);
        }
    }
    ASSERT_EQ(division, 96);
    ASSERT_EQ(quarterMicroseconds, 60000000L / 72);

    // mido's lines: time, channel, on/off, note, velocity.
    const QStringList lines = MidoNotes(midi.GetFileName());
    ASSERT_EQ(lines.size(), 2 * static_cast<int>(played.size()))
        << lines.join(QLatin1Char('\n')).toStdString();
    long previous = -1;
    for (std::size_t i = 0; i < played.size(); ++i) {
        const QStringList on = lines[static_cast<int>(2 * i)].split(QLatin1Char(' '));
        const QStringList off = lines[static_cast<int>(2 * i + 1)].split(QLatin1Char(' '));
        ASSERT_EQ(on.size(), 5);
        ASSERT_EQ(off.size(), 5);
        EXPECT_EQ(on[1], QStringLiteral("1"));
        EXPECT_EQ(on[2], QStringLiteral("on"));
        EXPECT_EQ(on[3].toInt(), played[i].note);
        EXPECT_EQ(on[4].toInt(), played[i].velocity);
        EXPECT_EQ(off[2], QStringLiteral("off"));
        EXPECT_EQ(off[3].toInt(), played[i].note);
        EXPECT_GE(on[0].toLong(), previous);
        EXPECT_GE(off[0].toLong(), on[0].toLong());
        previous = off[0].toLong();
    }

    // Every event lies where its send time falls at the take's tempo, counted from the first;
    // one tick either way is the first event's own rounding.
    const long first = lines[0].split(QLatin1Char(' '))[0].toLong();
    for (int i = 0; i < lines.size(); ++i) {
        const long tick = lines[i].split(QLatin1Char(' '))[0].toLong();
        const double ms =
            std::chrono::duration<double, std::milli>(sent[static_cast<std::size_t>(i)] - sent[0])
                .count();
        const long expected =
            std::lround(ms * division * 1000.0 / static_cast<double>(quarterMicroseconds));
        EXPECT_LE(std::abs((tick - first) - expected), 1)
            << "event " << i << " (" << lines[i].toStdString() << ") sent " << ms
            << " ms after the first";
    }
}

TEST_F(Manage, AnUnsavedTakeIsReplacedOnlyWhenTheUserSaysYes) {
    const QString first = RecordTake(*manage, *piano, midi);
    ASSERT_FALSE(first.isEmpty());

    // No: everything stays.
    fusion.texts.clear();
    const CVeskError declined = manage->SeqRec();
    EXPECT_EQ(declined.GetCode(), ERR_VESK_REFUSED);
    EXPECT_EQ(declined.GetStr(), QString::fromUtf8(kReplace));
    EXPECT_EQ(fusion.texts, QStringList{QString::fromUtf8(kReplace)});
    EXPECT_EQ(fusion.styles.back(), static_cast<unsigned int>(MB_YESNO));
    EXPECT_EQ(midi.GetFileName(), first);
    EXPECT_EQ(midi.GetFileFlag(), MODIFIED_DIRTY);
    EXPECT_TRUE(QFile::exists(first));
    EXPECT_EQ(S(), SOUND_STOP);

    // Yes: the old take goes, a new one holds what is played now.
    fusion.Answer(IDYES);
    ASSERT_EQ(manage->SeqRec(), 0);
    EXPECT_EQ(S(), SOUND_REC);
    EXPECT_EQ(midi.GetFileFlag(), MODIFIED_DIRTY);
    PlayNote(*manage, *piano, 72);
    ASSERT_EQ(manage->SeqStop(), 0);
    const QStringList notes = MidoNotes(midi.GetFileName());
    ASSERT_EQ(notes.size(), 2);
    EXPECT_TRUE(notes[0].endsWith(QStringLiteral("1 on 72 90")));
}

// A presenter whose modal question lets the user do something else before answering, as a
// window loop running under a question does.
class CMeanwhileFusion : public CRecordingFusion {
public:
    std::function<void()> meanwhile;

    int ShowMessage(QString text, unsigned int style, QString caption) override {
        if (style == MB_YESNO && meanwhile) {
            const std::function<void()> once = std::move(meanwhile);
            meanwhile = nullptr;
            once();
        }
        return CRecordingFusion::ShowMessage(text, style, caption);
    }
};

TEST_F(Manage, AnAudioRecordingStartedUnderTheReplaceQuestionIsNotJoinedByAMidiOne) {
    const QString first = RecordTake(*manage, *piano, midi);
    ASSERT_FALSE(first.isEmpty());
    {
        CMeanwhileFusion meanwhile;
        meanwhile.meanwhile = [&] { EXPECT_EQ(manage->AudRec(), 0); };
        meanwhile.Answer(IDYES);
        EXPECT_EQ(manage->SeqRec().GetCode(), ERR_VESK_REFUSED);
    }
    CLast::InitFusion(&fusion);
    EXPECT_EQ(S(), SOUND_STOP);
    EXPECT_EQ(A(), SOUND_REC);
    EXPECT_EQ(midi.GetFileName(), first);
    EXPECT_TRUE(QFile::exists(first));
}

TEST_F(Manage, AnAlbumFileChosenUnderTheReplaceQuestionIsNeverDeleted) {
    const QString first = RecordTake(*manage, *piano, midi);
    ASSERT_FALSE(first.isEmpty());
    {
        CMeanwhileFusion meanwhile;
        // The user discards the take by choosing the album's song instead.
        midi.answer = 1;
        meanwhile.meanwhile = [&] {
            midi.DeleteFileA();
            EXPECT_EQ(manage->SetSeqFileName(song), 1);
        };
        meanwhile.Answer(IDYES);
        manage->SeqRec();
        manage->SeqStop();
    }
    CLast::InitFusion(&fusion);
    EXPECT_TRUE(QFile::exists(song));
    EXPECT_EQ(S(), SOUND_STOP);
}

TEST_F(Manage, BackingOutOfTheExitQuestionKeepsTheTakeAndEveryWorker) {
    const QString take = RecordTake(*manage, *piano, midi);
    ASSERT_FALSE(take.isEmpty());
    midi.answer = 0;
    EXPECT_EQ(manage->Terminate().GetCode(), ERR_VESK_REFUSED);
    EXPECT_TRUE(manage->IsInitialized());
    EXPECT_NE(manage->GetSequencerPlay(), nullptr);
    EXPECT_NE(manage->GetSequencerRec(), nullptr);
    EXPECT_NE(manage->GetCtrlPanel(), nullptr);
    EXPECT_NE(manage->GetMetronome(), nullptr);
    EXPECT_TRUE(QFile::exists(take));
    EXPECT_EQ(midi.GetFileName(), take);
    // The engine still works: the take plays.
    piano->ClearReceived();
    ASSERT_EQ(manage->SeqPlay(), 0);
    EXPECT_TRUE(Eventually([&] { return !piano->Received().empty(); }));
}

TEST_F(Manage, EndingDuringAMidiRecordingWritesTheTakeBeforeAskingAboutIt) {
    ASSERT_EQ(manage->SeqRec(), 0);
    PlayNote(*manage, *piano, 62);
    const QString take = midi.GetFileName();
    midi.answer = 0;
    EXPECT_EQ(manage->Terminate().GetCode(), ERR_VESK_REFUSED);
    // The question was about a take that exists and holds what was played.
    EXPECT_EQ(S(), SOUND_STOP);
    EXPECT_EQ(midi.GetFileName(), take);
    const QStringList notes = MidoNotes(take);
    ASSERT_EQ(notes.size(), 2) << notes.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(notes[0].endsWith(QStringLiteral("1 on 62 90")));
}

TEST_F(Manage, TerminateEndsEveryWorker) {
    ASSERT_EQ(manage->Terminate(), 0);
    EXPECT_FALSE(manage->IsInitialized());
    EXPECT_EQ(manage->GetSequencerPlay(), nullptr);
    EXPECT_EQ(manage->GetSequencerRec(), nullptr);
    EXPECT_EQ(manage->GetCtrlPanel(), nullptr);
    EXPECT_EQ(manage->GetMetronome(), nullptr);
}

TEST_F(Manage, StartingWithoutThePianoLeavesTheWorkersReady) {
    ASSERT_EQ(manage->Terminate(), 0);
    piano->Unplug();
    ASSERT_EQ(manage->Initialize(), 0);
    EXPECT_NE(manage->GetSequencerPlay(), nullptr);
    ASSERT_EQ(manage->SetSeqFileName(song), 1);
    // Without the piano, playback fails with the device's message and nothing runs.
    const CVeskError result = manage->SeqPlay();
    EXPECT_NE(result.GetCode(), ERR_VESK_OK);
    EXPECT_EQ(S(), SOUND_STOP);
    EXPECT_EQ(fusion.texts.size(), 1);
}

// The samples of the data chunk of a WAV file, as (left, right) pairs.
std::vector<std::pair<std::int16_t, std::int16_t>> WavFrames(const QString& path) {
    QFile file(path);
    std::vector<std::pair<std::int16_t, std::int16_t>> frames;
    if (!file.open(QIODevice::ReadOnly)) {
        return frames;
    }
    const QByteArray image = file.readAll();
    const qsizetype data = image.indexOf("data");
    if (data < 0) {
        return frames;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(image.constData());
    const qsizetype end = image.size() - 3;
    for (qsizetype i = data + 8; i < end; i += 4) {
        frames.emplace_back(static_cast<std::int16_t>(bytes[i] | (bytes[i + 1] << 8)),
                            static_cast<std::int16_t>(bytes[i + 2] | (bytes[i + 3] << 8)));
    }
    return frames;
}

TEST_F(Manage, EndingDuringAnAudioRecordingLeavesNoTakeMarkedAsRecording) {
    ASSERT_EQ(manage->AudRec(), 0);
    const QString take = audio.GetFileName();
    ASSERT_TRUE(Eventually([&] { return QFileInfo(take).size() > 44100; }));
    audio.answer = 1;
    ASSERT_EQ(manage->Terminate(), 0);
    EXPECT_EQ(A(), SOUND_STOP);
    EXPECT_EQ(S(), SOUND_STOP);
    EXPECT_FALSE(WavFrames(take).empty());
    // Started again, the engine records a new take as before.
    ASSERT_EQ(manage->Initialize(), 0);
    audio.DeleteFileA();
    ASSERT_EQ(manage->AudRec(), 0);
    EXPECT_EQ(A(), SOUND_REC);
}

// Saving moves the take's file into the album. The audio recorder writes its file to the end
// and finishes its header when it stops, so a take moved while it records reaches the album
// cut short with a header that says it is empty.
TEST_F(Manage, ATakeIsNotSavedWhileItRecords) {
    ASSERT_EQ(manage->AudRec(), 0);
    const QString take = audio.GetFileName();
    ASSERT_TRUE(Eventually([&] { return QFileInfo(take).size() > 44100; }));
    fusion.texts.clear();
    EXPECT_EQ(manage->AudSave().GetCode(), ERR_VESK_REFUSED);
    EXPECT_EQ(fusion.texts, QStringList{QString::fromUtf8(kNotNow)});
    EXPECT_EQ(A(), SOUND_REC);
    EXPECT_EQ(audio.GetFileName(), take);
    ASSERT_EQ(manage->AudStop(), 0);
    EXPECT_FALSE(WavFrames(take).empty());

    ASSERT_EQ(manage->SeqRec(), 0);
    fusion.texts.clear();
    EXPECT_EQ(manage->SeqSave().GetCode(), ERR_VESK_REFUSED);
    EXPECT_EQ(fusion.texts, QStringList{QString::fromUtf8(kNotNow)});
    EXPECT_EQ(S(), SOUND_REC);
}

TEST_F(Manage, AMixRecordsThePianosSoundWhileTheSongPlaysIntoIt) {
    // Each frame of the piano's sound holds its own number: any gap or repeat shows.
    piano->SetSignal(CVirtualPiano::Signal::Ramp);
    ASSERT_EQ(manage->SetSeqFileName(song), 1);
    piano->ClearReceived();
    ASSERT_EQ(manage->MixRec(), 0);
    EXPECT_EQ(S(), SOUND_PLAY);
    EXPECT_EQ(A(), SOUND_REC);
    const auto noteOns = [&] {
        int count = 0;
        for (const auto& r : piano->Received()) {
            count += r.bytes.size() == 3 && r.bytes[0] == 0x90 && r.bytes[2] != 0 ? 1 : 0;
        }
        return count;
    };
    ASSERT_TRUE(Eventually([&] { return noteOns() >= 3; }));
    ASSERT_EQ(manage->MixStop(), 0);
    EXPECT_EQ(S(), SOUND_STOP);
    EXPECT_EQ(A(), SOUND_STOP);

    const QString take = audio.GetFileName();
    ASSERT_TRUE(take.endsWith(QStringLiteral(".wav")));
    EXPECT_EQ(audio.GetFileFlag(), MODIFIED_DIRTY);
    const auto frames = WavFrames(take);
    // At least the time of three notes of the song (a quarter second each) was recorded.
    ASSERT_GE(frames.size(), 44100u / 2);
    std::size_t breaks = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        breaks += frames[i].first != frames[i].second ? 1 : 0;
        if (i > 0 && static_cast<std::uint16_t>(frames[i].first) !=
                         static_cast<std::uint16_t>(frames[i - 1].first + 1)) {
            ++breaks;
        }
    }
    EXPECT_EQ(breaks, 0u);
    // The recording became the file to play.
    EXPECT_EQ(manage->GetAudioPlay()->GetFileName(), take);
}

TEST_F(Manage, UnpluggingDuringAMixAndAudioPlaybackStopsThemAndAllWorksAgain) {
    ASSERT_EQ(manage->SetSeqFileName(song), 1);
    ASSERT_EQ(manage->MixRec(), 0);
    piano->Unplug();
    ASSERT_TRUE(Eventually([&] { return S() == SOUND_STOP && A() == SOUND_STOP; }));
    EXPECT_FALSE(manage->GetSequencerPlay()->IsPlaying());
    EXPECT_FALSE(manage->GetAudioRec()->IsRecording());
    // The watch records the unplugging only after it has stopped everything: plugging in
    // before that would let its stale "connected" pass.
    ASSERT_TRUE(Eventually([] { return CCheckUSBdev::LastStatus() == ZQ31_NotConnected; }));
    piano->Plug();
    ASSERT_TRUE(Eventually([] { return CCheckUSBdev::LastStatus() == ZQ31_Connected; }));

    StopAll();
    ASSERT_EQ(manage->SetAudFileName(AudioFile()), 1);
    ASSERT_EQ(manage->AudPlay(), 0);
    piano->Unplug();
    ASSERT_TRUE(Eventually([&] { return A() == SOUND_STOP; }));
    EXPECT_TRUE(Eventually([&] { return !manage->GetAudioPlay()->IsPlaying(); }));
    // The watch records the unplugging only after it has stopped everything: plugging in
    // before that would let its stale "connected" pass.
    ASSERT_TRUE(Eventually([] { return CCheckUSBdev::LastStatus() == ZQ31_NotConnected; }));
    piano->Plug();
    ASSERT_TRUE(Eventually([] { return CCheckUSBdev::LastStatus() == ZQ31_Connected; }));
    ASSERT_EQ(manage->AudPlay(), 0);
    EXPECT_EQ(A(), SOUND_PLAY);
    EXPECT_TRUE(Eventually([&] { return piano->ReceivedAudioBytes() > 0; }));
}

TEST_F(Manage, AMemoForASavedTakeIsAnnouncedAndWrittenIntoItsFile) {
    ASSERT_EQ(manage->SetSeqFileName(song), 1);
    EXPECT_EQ(manage->SetMemo(QStringLiteral("練習")), 1);
    EXPECT_EQ(fusion.texts, QStringList{QStringLiteral("メモの内容をファイルに保存します。")});
    EXPECT_EQ(manage->GetAlbumSMFMemo(song), QStringLiteral("練習"));
    // The same memo again changes nothing and says nothing.
    fusion.texts.clear();
    EXPECT_EQ(manage->SetMemo(QStringLiteral("練習")), 1);
    EXPECT_TRUE(fusion.texts.isEmpty());
}

TEST_F(Manage, UnpluggingDuringARecordingWritesWhatWasPlayed) {
    ASSERT_EQ(manage->SeqRec(), 0);
    piano->PressKey(60, 100);
    ASSERT_TRUE(Eventually([&] { return manage->GetKeyboardDisp(60 - 21) != 0; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    piano->ReleaseKey(60);
    ASSERT_TRUE(Eventually([&] { return manage->GetKeyboardDisp(60 - 21) == 0; }));
    piano->Unplug();
    ASSERT_TRUE(Eventually([&] { return S() == SOUND_STOP; }));
    const QStringList notes = MidoNotes(midi.GetFileName());
    ASSERT_EQ(notes.size(), 2) << notes.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(notes[0].endsWith(QStringLiteral("1 on 60 100")));

    // The watch records the unplugging only after it has stopped everything: plugging in
    // before that would let its stale "connected" pass.
    ASSERT_TRUE(Eventually([] { return CCheckUSBdev::LastStatus() == ZQ31_NotConnected; }));
    piano->Plug();
    ASSERT_TRUE(Eventually([] { return CCheckUSBdev::LastStatus() == ZQ31_Connected; }));
    midi.answer = 1;
    midi.DeleteFileA();
    ASSERT_EQ(manage->SeqRec(), 0);
    EXPECT_EQ(S(), SOUND_REC);
}

TEST_F(Manage, UnpluggingStopsPlaybackAndTheMetronomeAndAllWorksAgainAfterwards) {
    ASSERT_EQ(manage->SetSeqFileName(song), 1);
    ASSERT_EQ(manage->SeqPlay(), 0);
    ASSERT_EQ(manage->MetroStartStop(), 0);
    piano->Unplug();
    ASSERT_TRUE(Eventually([&] { return S() == SOUND_STOP && M() == MET_STOP; }));
    EXPECT_FALSE(manage->GetSequencerPlay()->IsPlaying());

    // The watch records the unplugging only after it has stopped everything: plugging in
    // before that would let its stale "connected" pass.
    ASSERT_TRUE(Eventually([] { return CCheckUSBdev::LastStatus() == ZQ31_NotConnected; }));
    piano->Plug();
    ASSERT_TRUE(Eventually([] { return CCheckUSBdev::LastStatus() == ZQ31_Connected; }));
    piano->ClearReceived();
    ASSERT_EQ(manage->SeqPlay(), 0);
    EXPECT_TRUE(Eventually([&] { return !piano->Received().empty(); }));
    ASSERT_EQ(manage->MetroStartStop(), 0);
    EXPECT_EQ(M(), MET_START);
}

} // namespace

namespace {

TEST_F(Manage, CompressionPutsTheCopyInTheAlbumUnderTheWavsBaseName) {
    // An upper-case WAV from outside the album, one second long.
    QFile source(AudioFile());
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    QByteArray image = source.read(44 + 44100 * 4);
    const std::uint32_t bytes = 44100 * 4;
    for (int i = 0; i < 4; ++i) {
        image[4 + i] = static_cast<char>(((36 + bytes) >> (8 * i)) & 0xFF);
        image[40 + i] = static_cast<char>((bytes >> (8 * i)) & 0xFF);
    }
    const QString outside =
        MakeTestFolder(QStringLiteral("outside")) + QStringLiteral("/Etude.WAV");
    QFile copy(outside);
    ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
    copy.write(image);
    copy.close();

    const QString target = CVeskToy().DataFile(QStringLiteral("Etude.mp3"));
    QFile::remove(target);
    manage->SetCompressType(COMPRESS_MP3, nullptr);
    fusion.Answer(IDOK);
    // A window's timer keeps running during the compression and can follow its progress.
    EXPECT_LT(manage->CompressProgress(), 0.0);
    std::vector<double> progress;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout,
                     [&] { progress.push_back(manage->CompressProgress()); });
    look.start(0);
    const CVeskError result = manage->CompressEncode(outside, nullptr);
    look.stop();
    EXPECT_EQ(result, 0) << result.GetStr().toStdString();
    ASSERT_FALSE(progress.empty());
    for (std::size_t i = 0; i < progress.size(); ++i) {
        EXPECT_GE(progress[i], 0.0);
        EXPECT_LE(progress[i], 1.0);
        if (i > 0) {
            EXPECT_GE(progress[i], progress[i - 1]);
        }
    }
    EXPECT_LT(manage->CompressProgress(), 0.0);
    EXPECT_TRUE(QFile::exists(target));
    EXPECT_TRUE(QFile::exists(outside));
    EXPECT_FALSE(fusion.waiting);
    EXPECT_EQ(fusion.texts.last(), QStringLiteral("ファイル圧縮が正常に終了しました。"));

    // Declining the question, declining to replace the copy, an empty path and a file that is
    // not a WAV: each is refused, never reported as done.
    fusion.texts.clear();
    EXPECT_EQ(manage->CompressEncode(outside, nullptr).GetCode(), ERR_VESK_REFUSED);
    EXPECT_EQ(fusion.texts.size(), 1);
    const QDateTime written = QFileInfo(target).lastModified();
    fusion.Answer(IDOK);
    fusion.Answer(IDNO);
    EXPECT_EQ(manage->CompressEncode(outside, nullptr).GetCode(), ERR_VESK_REFUSED);
    EXPECT_EQ(QFileInfo(target).lastModified(), written);
    EXPECT_EQ(manage->CompressEncode(QString(), nullptr).GetCode(), ERR_VESK_REFUSED);
    EXPECT_EQ(fusion.texts.last(), QStringLiteral("予期せぬエラーが発生しました。(18)"));
    fusion.Answer(IDOK);
    EXPECT_EQ(manage->CompressEncode(target, nullptr).GetCode(), ERR_VESK_REFUSED);
    EXPECT_EQ(fusion.texts.last(), QStringLiteral("予期せぬエラーが発生しました。(11)"));

    // A backslash is part of a Linux file name: the copy keeps the whole name.
    const QString slanted = QFileInfo(outside).path() + QStringLiteral("/Op.10\\No.3.wav");
    ASSERT_TRUE(QFile::copy(outside, slanted));
    fusion.Answer(IDOK);
    EXPECT_EQ(manage->CompressEncode(slanted, nullptr), 0);
    EXPECT_TRUE(QFile::exists(CVeskToy().DataFile(QStringLiteral("Op.10\\No.3.mp3"))));
    EXPECT_FALSE(QFile::exists(CVeskToy().DataFile(QStringLiteral("No.3.mp3"))));
}

} // namespace

namespace {

// Everything the trace logs of a folder hold.
QString TraceText(const QString& folder) {
    QString text;
    for (const QFileInfo& file : QDir(folder).entryInfoList(QDir::Files)) {
        QFile log(file.absoluteFilePath());
        if (log.open(QIODevice::ReadOnly)) {
            text += QString::fromUtf8(log.readAll());
        }
    }
    return text;
}

TEST_F(Manage, MixStopRefusalsLeaveTheirTraceLines) {
    const QString folder = MakeTestFolder(QStringLiteral("mixstop-trace"));
    {
        CTrace trace(QStringLiteral("Vesk"), QStringLiteral("x trace"), folder);
        CLast::InitTrace(&trace);
        ASSERT_EQ(manage->SetAudFileName(AudioFile()), 1);
        ASSERT_EQ(manage->SetSeqFileName(song), 1);
        ASSERT_EQ(manage->SeqPlay(), 0);
        EXPECT_EQ(manage->MixStop(), 0);
        EXPECT_EQ(S(), SOUND_PLAY);
        ASSERT_EQ(manage->SeqStop(), 0);
        midi.SetFileName(QString());
        ASSERT_EQ(manage->SeqRec(), 0);
        EXPECT_EQ(manage->MixStop(), 0);
        EXPECT_EQ(S(), SOUND_REC);
        CLast::InitTrace(nullptr);
    }
    const QString text = TraceText(folder);
    EXPECT_TRUE(text.contains(
        QStringLiteral("MixStop内でエラー検出：シーケンサ再生中にオーディオが録音されていない")));
    EXPECT_TRUE(text.contains(QStringLiteral("MixStop内でエラー検出：シーケンサが録音中")));
}

} // namespace
