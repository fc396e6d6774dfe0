#include "CLast.h"
#include "CTrace.h"
#include "CWinMsg.h"
#include "EngineDoubles.h"
#include "QtPrinters.h"
#include "RecordingFusion.h"
#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <memory>

namespace {

const QString kGate = QStringLiteral("現在このパラメータは変更できません。");

class Model : public testing::Test {
protected:
    void SetUp() override {
        model.SetSeqFile(&seqTake);
        model.SetAudFile(&audTake);
        model.Settle();
    }

    // Starts a trace log of this test's own, so the model's lines can be read back.
    void Trace() {
        m_traceFolder = MakeTestFolder(QStringLiteral("trace"));
        m_trace = std::make_unique<CTrace>(QStringLiteral("Vesk"), QStringLiteral("x trace"),
                                           m_traceFolder);
        CLast::InitTrace(m_trace.get());
    }
    QString Log() const {
        QString text;
        for (const QString& name : QDir(m_traceFolder).entryList({QStringLiteral("*.log")})) {
            QFile file(m_traceFolder + QLatin1Char('/') + name);
            if (file.open(QIODevice::ReadOnly)) {
                text += QString::fromUtf8(file.readAll());
            }
        }
        return text;
    }
    void TearDown() override { CLast::InitTrace(&CTrace::LibraryWriter()); }

    CRecordingFusion presenter;
    CAnsweringTake seqTake{QStringLiteral(".mid")};
    CAnsweringTake audTake{QStringLiteral(".wav")};
    CTestModel model;
    QString m_traceFolder;
    std::unique_ptr<CTrace> m_trace;
};

QStringList Names(std::initializer_list<const char*> names) {
    QStringList list;
    for (const char* name : names) {
        list.push_back(QString::fromLatin1(name));
    }
    return list;
}

} // namespace

TEST_F(Model, FreshModelHoldsTheDefaults) {
    const CTestModel fresh;
    EXPECT_EQ(fresh.GetDefTimbre(), TIM_GRANDPIANO);
    EXPECT_EQ(fresh.GetDualTimbre(), TIM_NONE);
    EXPECT_EQ(fresh.GetBeat(), BEAT_4_4);
    EXPECT_EQ(fresh.GetTempo(), 120u);
    EXPECT_EQ(fresh.GetTuning(), TUNING_STANDARD);
    EXPECT_EQ(fresh.GetSeqVol(), 100u);
    for (unsigned int key = 0; key < 88; ++key) {
        EXPECT_EQ(fresh.GetScoreDisp(key), 0xFFu);
        EXPECT_EQ(fresh.GetKeyboardDisp(key), 0);
    }
}

TEST_F(Model, TempoIsClampedAndToldToEveryone) {
    model.SetTempo(500, nullptr);
    EXPECT_EQ(model.GetTempo(), 300u);
    EXPECT_EQ(model.Told(), Names({"MetronomeDlg", "Stereo"}));
    EXPECT_EQ(model.metronome.log.Calls(), QStringList{QStringLiteral("SetTempo 300")});
    EXPECT_EQ(model.recorder.log.Calls(),
              QStringList{QStringLiteral("SetTempo %1").arg(model.Converter().TempoToWire(300))});
    // The piano hears of the tempo through the engine window's deferred command.
    ASSERT_EQ(model.engineWindow.Count(WM_COMMAND), 1);
    EXPECT_EQ(model.engineWindow.Last(WM_COMMAND)->wParam, ID_SPIN_TEMPO);

    model.Settle();
    model.SetTempo(10, nullptr);
    EXPECT_EQ(model.GetTempo(), 40u);
    EXPECT_TRUE(presenter.texts.isEmpty());
}

TEST_F(Model, TempoCannotChangeWhileRecording) {
    model.SetSeqStatus(SOUND_REC, nullptr);
    model.Settle();
    model.SetTempo(100, nullptr);
    EXPECT_EQ(model.GetTempo(), 120u);
    EXPECT_EQ(model.Told(), Names({"MetronomeDlg", "Stereo"}));
    EXPECT_EQ(presenter.texts, QStringList{kGate});
    EXPECT_EQ(presenter.captions, QStringList{QStringLiteral("メッセージ")});

    // While playing, the tempo may change.
    model.SetSeqStatus(SOUND_PLAY, nullptr);
    model.SetTempo(100, nullptr);
    EXPECT_EQ(model.GetTempo(), 100u);
    EXPECT_EQ(presenter.texts.size(), 1);
}

TEST_F(Model, BeatCannotChangeWhileAMidiTakeRuns) {
    model.SetSeqStatus(SOUND_PLAY, nullptr);
    model.Settle();
    model.SetBeat(BEAT_3_4, nullptr);
    EXPECT_EQ(model.GetBeat(), BEAT_4_4);
    // Everyone is given the old beat again.
    EXPECT_EQ(model.metronome.log.Calls(),
              (QStringList{QStringLiteral("SetBeat 3"), QStringLiteral("Reset")}));
    EXPECT_EQ(model.recorder.log.Calls(), QStringList{QStringLiteral("SetBeat 516")});
    EXPECT_EQ(model.Told(), Names({"MetronomeDlg", "Stereo"}));
    EXPECT_EQ(presenter.texts, QStringList{kGate});
}

TEST_F(Model, ARunningMetronomeRestartsOnANewBeat) {
    model.metronome.running = true;
    model.SetBeat(BEAT_2_4, nullptr);
    EXPECT_EQ(model.GetBeat(), BEAT_2_4);
    EXPECT_EQ(model.metronome.log.Calls(),
              (QStringList{QStringLiteral("SetBeat 1"), QStringLiteral("Stop"),
                           QStringLiteral("Reset"), QStringLiteral("Start")}));

    // A beat the metronome itself reports is not played back to it.
    model.Settle();
    model.SetBeat(BEAT_6_8, model.metronome.GetSafeHwnd());
    EXPECT_TRUE(model.metronome.log.Calls().isEmpty());
    EXPECT_EQ(model.recorder.log.Calls(), QStringList{QStringLiteral("SetBeat 774")});
}

TEST_F(Model, SequencerKeyCannotChangeWhileRecording) {
    model.SetSeqStatus(SOUND_REC, nullptr);
    model.Settle();
    model.SetSeqKey(SEQKEY_D, nullptr);
    EXPECT_EQ(model.GetSeqKey(), SEQKEY_C);
    EXPECT_EQ(model.player.log.Calls(), QStringList{QStringLiteral("SetKey 64")});
    EXPECT_EQ(presenter.texts, QStringList{kGate});

    model.SetSeqStatus(SOUND_STOP, nullptr);
    model.Settle();
    model.SetSeqKey(SEQKEY_D, nullptr);
    EXPECT_EQ(model.GetSeqKey(), SEQKEY_D);
    EXPECT_EQ(model.player.log.Calls(), QStringList{QStringLiteral("SetKey 66")});
    // The score display is cleared for the new key.
    EXPECT_EQ(model.GetScoreDisp(0), CDataInfo::kScoreHidden);
}

TEST_F(Model, EqualValuesNotifyNobody) {
    model.SetTempo(120, nullptr);
    model.SetBeat(BEAT_4_4, nullptr);
    model.SetDefTimbre(TIM_GRANDPIANO, nullptr);
    model.SetDualTimbre(TIM_NONE, nullptr);
    model.SetReverbOffOn(REVERB_ON, nullptr);
    model.SetBrilliance(BRILL_NORMAL, nullptr);
    model.SetTouchSense(TOUCH_NORMAL, nullptr);
    model.SetTranspose(TRANSPOSE_C, nullptr);
    model.SetSeqKey(SEQKEY_C, nullptr);
    model.SetTuning(TUNING_STANDARD, nullptr);
    model.SetSeqVol(100, nullptr);
    model.SetAudVol(100, nullptr);
    model.SetMetVol(100, nullptr);
    model.SetCompressType(COMPRESS_WMA, nullptr);
    model.SetSeqStatus(SOUND_STOP, nullptr);
    model.SetFrostedStyle(FROSTED_STYLE_DEFAULT);
    EXPECT_TRUE(model.Told().isEmpty());
    EXPECT_EQ(model.frosted.received.size(), 0u);
    EXPECT_EQ(model.engineWindow.received.size(), 0u);
    EXPECT_TRUE(model.piano.log.Calls().isEmpty());
    EXPECT_TRUE(model.recorder.log.Calls().isEmpty());
    EXPECT_TRUE(model.metronome.log.Calls().isEmpty());

    // The metronome window always redraws its character choice.
    model.SetMetroCharType(MET_CHAR_1, nullptr);
    EXPECT_EQ(model.Told(), Names({"MetronomeDlg"}));
}

TEST_F(Model, RejectedValuesAreTracedAndChangeNothing) {
    Trace();
    model.SetBeat(static_cast<E_BEAT>(6), nullptr);
    model.SetDefTimbre(TIM_NONE, nullptr);
    model.SetTranspose(TRANSPOSE_C, nullptr);
    model.SetSeqVol(101, nullptr);
    model.SetMetroCharType(static_cast<E_METROCHARTYPE>(4), nullptr);
    model.SetFrostedStyle(static_cast<FROSTED_STYLE>(-1));
    const QString log = Log();
    for (const char* line :
         {"|SetBeat:第１引数beat入力エラー。BEAT_6_8より大きい\n",
          "|SetDefTimbre第１引数defTimbre入力エラー。メイン音色の入力が負(音色なし含む)\n",
          "|SetTranspose第１引trans数が今の_transposeと同じ\n",
          "|SetSeqVol第１引数vol入力エラー。volが最大値(100)より大\n",
          "|SetMetroCharType第１引数type入力エラー。typeがMET_CHAR_4より大\n",
          "|SetFrostedStype第１引数frostedがFROSTED_STYLE_DEFAULTより小\n"}) {
        EXPECT_TRUE(log.contains(QString::fromUtf8(line))) << line;
    }
    EXPECT_TRUE(log.contains(QStringLiteral("CDataInfo::SetBeat()\n{\n")));
    EXPECT_EQ(model.GetBeat(), BEAT_4_4);
    EXPECT_EQ(model.GetDefTimbre(), TIM_GRANDPIANO);
    EXPECT_EQ(model.GetSeqVol(), 100u);
    EXPECT_EQ(model.GetMetroCharType(), MET_CHAR_1);
    EXPECT_EQ(model.Told(), Names({"MetronomeDlg"}));
}

TEST_F(Model, ChangesMadeOnThePcReachThePianoAndTheRecorder) {
    model.SetDefTimbre(TIM_STRINGS, nullptr);
    EXPECT_EQ(model.piano.log.Calls(), QStringList{QStringLiteral("SetDefTimbre 48")});
    EXPECT_EQ(model.recorder.log.Calls(), QStringList{QStringLiteral("SetDefTimbre 48")});
    EXPECT_EQ(model.Told(), Names({"UserMenu", "Conpane", "Stereo", "TimbreIcon", "DualIcon"}));

    model.Settle();
    model.SetReverbOffOn(REVERB_OFF, nullptr);
    model.SetBrilliance(BRILL_DARK, nullptr);
    model.SetTouchSense(TOUCH_LIGHT, nullptr);
    model.SetTranspose(TRANSPOSE_FS, nullptr);
    EXPECT_EQ(model.piano.log.Calls(),
              (QStringList{QStringLiteral("SetReverbOffOn 0"), QStringLiteral("SetBrilliance 80"),
                           QStringLiteral("SetTouchSense 48"), QStringLiteral("SetTranspose 70")}));
    CWinMsg::PumpMessages();
    ASSERT_NE(model.reverbIcon.Last(WM_DATACHANGE), nullptr);
    EXPECT_EQ(model.reverbIcon.Last(WM_DATACHANGE)->wParam, 0u);
    EXPECT_EQ(model.reverbIcon.Last(WM_DATACHANGE)->lParam, -1);
}

TEST_F(Model, ChangesFromThePianoDoNotEchoBack) {
    void* piano = model.recorder.GetSafeHwnd();
    model.SetDefTimbre(TIM_HARPSICHORD, piano);
    model.SetReverbOffOn(REVERB_OFF, piano);
    model.SetTuning(static_cast<E_TUNING>(70), piano);
    EXPECT_EQ(model.GetDefTimbre(), TIM_HARPSICHORD);
    EXPECT_TRUE(model.piano.log.Calls().isEmpty());
    EXPECT_TRUE(model.recorder.log.Calls().isEmpty());
    EXPECT_TRUE(model.Told().contains(QStringLiteral("Stereo")));

    // A setting found in a file being played is recorded but not sent back to the piano.
    model.Settle();
    model.SetBrilliance(BRILL_BRITE, model.player.GetSafeHwnd());
    EXPECT_TRUE(model.piano.log.Calls().isEmpty());
    EXPECT_EQ(model.recorder.log.Calls(), QStringList{QStringLiteral("SetBrilliance 48")});
}

TEST_F(Model, TheWindowThatMadeAChangeIsNotTold) {
    model.SetBrilliance(BRILL_DARK, &model.conpane);
    EXPECT_EQ(model.Told(), Names({"Stereo"}));
    // A window is not the piano: the change goes out to it.
    EXPECT_EQ(model.piano.log.Calls().size(), 0);
}

TEST_F(Model, TuningReachesThePianoOnlyThroughTheDeferredCommand) {
    model.SetTuning(static_cast<E_TUNING>(70), nullptr);
    model.SetTuning(static_cast<E_TUNING>(71), nullptr);
    model.SetTuning(static_cast<E_TUNING>(72), nullptr);
    EXPECT_TRUE(model.piano.log.Calls().isEmpty());
    CWinMsg::PumpMessages();
    ASSERT_EQ(model.engineWindow.Count(WM_COMMAND), 1);
    EXPECT_EQ(model.engineWindow.Last(WM_COMMAND)->wParam, ID_SPIN_TUNING);
    EXPECT_EQ(model.GetTuning(), 72);
}

// Each kind of deferred command waits on its own: quick changes of one setting collapse into
// one command, but never swallow the command of another setting or a waiting warning.
TEST_F(Model, DeferredCommandsOfDifferentKindsAllArrive) {
    CWinMsg::PostMessage(model.GetSafeHwnd(), WM_COMMAND, 32774, 0); // the channel warning
    model.SetTuning(static_cast<E_TUNING>(70), nullptr);
    model.SetTempo(100, nullptr);
    model.SetTranspose(TRANSPOSE_D, nullptr);
    model.SetTuning(static_cast<E_TUNING>(71), nullptr);
    model.SetTempo(101, nullptr);
    CWinMsg::PumpMessages();
    std::vector<WPARAM> commands;
    for (const auto& received : model.engineWindow.received) {
        if (received.message == WM_COMMAND) {
            commands.push_back(received.wParam);
        }
    }
    // A repeated command keeps the place of its first post.
    EXPECT_EQ(commands,
              (std::vector<WPARAM>{32774, ID_SPIN_TUNING, ID_SPIN_TEMPO, ID_SPIN_TRANSPOSE}));
}

// When the piano reports a dual voice at or below the main voice, the two trade places in the
// model; the new main voice came from the piano too, so it is not sent back.
TEST_F(Model, ATradeReportedByThePianoStaysOffThePiano) {
    model.SetDefTimbre(TIM_VIBRATION, nullptr);
    model.Settle();
    model.SetDualTimbre(TIM_ELECPIANO1, model.recorder.GetSafeHwnd());
    EXPECT_EQ(model.GetDefTimbre(), TIM_ELECPIANO1);
    EXPECT_EQ(model.GetDualTimbre(), TIM_VIBRATION);
    EXPECT_TRUE(model.piano.log.Calls().isEmpty());
    EXPECT_TRUE(model.recorder.log.Calls().isEmpty());
    EXPECT_TRUE(model.Told().contains(QStringLiteral("Stereo")));
}

TEST_F(Model, ADualVoiceBelowTheMainVoiceTradesPlaces) {
    model.SetDefTimbre(TIM_VIBRATION, nullptr);
    model.Settle();
    model.SetDualTimbre(TIM_ELECPIANO1, nullptr);
    EXPECT_EQ(model.GetDefTimbre(), TIM_ELECPIANO1);
    EXPECT_EQ(model.GetDualTimbre(), TIM_VIBRATION);
    EXPECT_EQ(model.piano.log.Calls(),
              (QStringList{QStringLiteral("SetDefTimbre 4"), QStringLiteral("SetDualTimbre 11")}));

    model.SetDualTimbre(TIM_NONE, nullptr);
    model.SetDefTimbre(TIM_VIBRATION, nullptr);
    model.SetDualTimbre(TIM_VIBRATION, nullptr);
    EXPECT_EQ(model.GetDefTimbre(), TIM_VIBRATION);
    EXPECT_EQ(model.GetDualTimbre(), TIM_VIBRATION);
}

TEST_F(Model, DualOffSendsProgram255AndHidesTheDualIcon) {
    model.SetDualTimbre(TIM_STRINGS, nullptr);
    model.Settle();
    model.SetDualTimbre(TIM_NONE, nullptr);
    EXPECT_EQ(model.piano.log.Calls(), QStringList{QStringLiteral("SetDualTimbre 255")});
    CWinMsg::PumpMessages();
    ASSERT_NE(model.dualIcon.Last(WM_DATACHANGE), nullptr);
    EXPECT_EQ(model.dualIcon.Last(WM_DATACHANGE)->wParam, CDataInfo::kIconHidden);
}

TEST_F(Model, VoiceIconsStandWhereTheVoicesSay) {
    const auto place = [](int x, int y) { return static_cast<LPARAM>((y << 16) | x); };
    const auto check = [&](LPARAM main, LPARAM dual) {
        model.Settle();
        model.MoveTimbre();
        CWinMsg::PumpMessages();
        EXPECT_EQ(model.timbreIcon.Last(WM_DATACHANGE)->lParam, main);
        EXPECT_EQ(model.dualIcon.Last(WM_DATACHANGE)->lParam, dual);
    };
    check(place(400, 390), place(400, 330));
    model.SetDefTimbre(TIM_PIPEORGAN, nullptr);
    check(place(400, 330), place(400, 330));
    model.SetDefTimbre(TIM_GRANDPIANO, nullptr);
    model.SetDualTimbre(TIM_STRINGS, nullptr);
    check(place(290, 390), place(510, 390));
    model.SetDualTimbre(TIM_PIPEORGAN, nullptr);
    check(place(290, 390), place(400, 330));
    EXPECT_EQ(model.dualIcon.Last(WM_DATACHANGE)->wParam, static_cast<WPARAM>(TIM_PIPEORGAN));
}

TEST_F(Model, NoteDisplaysCheckTheirInput) {
    model.PostScoreNote(60, 100);
    EXPECT_EQ(model.GetScoreDisp(39), 6u);
    model.PostScoreNote(60, 0);
    EXPECT_EQ(model.GetScoreDisp(39), CDataInfo::kScoreHidden);
    // A fresh model shows 0xFF (nothing), a cleared one 0x7FFFFFFF.
    EXPECT_EQ(model.GetScoreDisp(40), 0xFFu);
    model.PostScoreNote(128, 0);
    EXPECT_EQ(model.GetScoreDisp(40), CDataInfo::kScoreHidden);

    model.Settle();
    model.PostScoreNote(20, 100);
    model.PostScoreNote(109, 100);
    model.PostScoreNote(60, 128);
    model.PostKeyboardNote(20, 1);
    EXPECT_TRUE(model.Told().isEmpty());
    EXPECT_EQ(model.GetScoreDisp(39), CDataInfo::kScoreHidden);

    model.PostKeyboardNote(21, 64);
    model.PostKeyboardNote(108, 1);
    EXPECT_EQ(model.GetKeyboardDisp(0), 1);
    EXPECT_EQ(model.GetKeyboardDisp(87), 1);
    model.PostKeyboardNote(128, 0);
    const auto keys = model.GetAllKeyboardDisp();
    EXPECT_EQ(std::count(keys.begin(), keys.end(), 0), 88);
    EXPECT_EQ(model.Told(), Names({"Keyboard"}));
}

TEST_F(Model, TimeDisplays) {
    model.PostAudTimeDisp(205000);
    EXPECT_EQ(model.GetAudTimeDisp(), QStringLiteral("03 : 25"));
    EXPECT_EQ(model.Told(), Names({"Stereo"}));
    model.Settle();
    model.PostAudTimeDisp(205999);
    model.PostAudTimeDisp(6000000);
    EXPECT_TRUE(model.Told().isEmpty());
    EXPECT_EQ(model.GetAudTimeDisp(), QStringLiteral("03 : 25"));

    model.PostSeqTimeDisp(0, 0, 0);
    EXPECT_EQ(model.GetSeqTimeDisp(), QStringLiteral("001 : 1"));
    model.PostSeqTimeDisp(998, 2, 0);
    EXPECT_EQ(model.GetSeqTimeDisp(), QStringLiteral("999 : 3"));
    model.PostSeqTimeDisp(999, 0, 0);
    model.PostSeqTimeDisp(0xFFFFFFFFu, 0, 0);
    EXPECT_EQ(model.GetSeqTimeDisp(), QStringLiteral("999 : 3"));
}

TEST_F(Model, LevelMeterPacksBothChannels) {
    model.PostAudLevelMeter(static_cast<E_AUDLEVELOUT>(20), static_cast<E_AUDLEVELOUT>(3));
    CWinMsg::PumpMessages();
    ASSERT_NE(model.stereo.Last(WM_AUDLEVEL), nullptr);
    EXPECT_EQ(model.stereo.Last(WM_AUDLEVEL)->wParam, (20u << 16) | 3u);
}

TEST_F(Model, FrostedStyleGoesToThePalette) {
    model.SetFrostedStyle(FROSTED_STYLE_NONE);
    CWinMsg::PumpMessages();
    ASSERT_NE(model.frosted.Last(WM_FROSTEDSTYLE), nullptr);
    EXPECT_EQ(model.frosted.Last(WM_FROSTEDSTYLE)->wParam, 4u);
}

TEST_F(Model, MetronomePosesFollowTheTables) {
    // Each row written out as the cycle reads, character by character.
    const std::vector<std::vector<int>> rows[4] = {
        {{1, 1, 2, 2, 1, 1, 2, 2, 1, 1, 2, 2, 1, 1, 2, 2},
         {1, 1, 2, 2, 1, 1, 2, 2},
         {1, 1, 2, 2, 1, 1, 2, 2, 1, 1, 2, 2},
         {1, 1, 2, 2, 1, 1, 2, 2, 1, 1, 2, 2, 1, 1, 2, 2},
         {1, 1, 2, 2, 1, 1, 2, 2, 1, 1, 2, 2, 1, 1, 2, 2, 1, 1, 2, 2},
         {1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2}},
        {{4, 4, 5, 5, 4, 4, 5, 5, 4, 4, 5, 5, 4, 4, 5, 5},
         {4, 4, 3, 3, 4, 4, 3, 3},
         {4, 4, 5, 5, 3, 3, 4, 4, 5, 5, 3, 3},
         {4, 4, 5, 5, 4, 4, 3, 3, 4, 4, 5, 5, 4, 4, 3, 3},
         {4, 4, 5, 5, 4, 4, 5, 5, 3, 3, 4, 4, 5, 5, 4, 4, 5, 5, 3, 3},
         {4, 5, 4, 5, 4, 3, 4, 5, 4, 5, 4, 3}},
        {{8, 8, 7, 7, 8, 8, 7, 7, 8, 8, 7, 7, 8, 8, 7, 7},
         {6, 6, 7, 7, 6, 6, 7, 7},
         {6, 6, 7, 7, 8, 8, 6, 6, 7, 7, 8, 8},
         {6, 6, 7, 7, 8, 8, 7, 7, 6, 6, 7, 7, 8, 8, 7, 7},
         {6, 6, 7, 7, 8, 8, 7, 7, 8, 8, 6, 6, 7, 7, 8, 8, 7, 7, 8, 8},
         {6, 7, 8, 7, 8, 7, 6, 7, 8, 7, 8, 7}},
        {{11, 11, 9, 9, 11, 11, 9, 9, 11, 11, 9, 9, 11, 11, 9, 9},
         {10, 10, 9, 9, 10, 10, 9, 9},
         {10, 10, 9, 9, 11, 11, 10, 10, 9, 9, 11, 11},
         {10, 10, 9, 9, 11, 11, 9, 9, 10, 10, 9, 9, 11, 11, 9, 9},
         {10, 10, 9, 9, 11, 11, 9, 9, 11, 11, 10, 10, 9, 9, 11, 11, 9, 9, 11, 11},
         {10, 9, 11, 9, 11, 9, 10, 9, 11, 9, 11, 9}},
    };
    const int rest[4] = {0, 3, 8, 9};
    for (int type = 0; type < 4; ++type) {
        model.SetMetroCharType(static_cast<E_METROCHARTYPE>(type), nullptr);
        for (int beat = 0; beat < 6; ++beat) {
            model.SetBeat(static_cast<E_BEAT>(beat), nullptr);
            const auto& row = rows[type][beat];
            ASSERT_EQ(CDataInfo::MetroCycle(static_cast<E_BEAT>(beat)), row.size());
            for (unsigned int count = 0; count < row.size(); ++count) {
                model.Settle();
                model.PostMetroMove(count);
                CWinMsg::PumpMessages();
                const auto* moved = model.metronomeIcon.Last(WM_DATACHANGE);
                ASSERT_NE(moved, nullptr);
                EXPECT_EQ(moved->wParam, 0x50000u | static_cast<WPARAM>(row[count]))
                    << "character " << type << " beat " << beat << " count " << count;
                EXPECT_EQ(moved->lParam, 0x019A02A8);
            }
            model.Settle();
            model.PostMetroMove(CDataInfo::kMetroRest);
            CWinMsg::PumpMessages();
            EXPECT_EQ(model.metronomeIcon.Last(WM_DATACHANGE)->wParam,
                      0x50000u | static_cast<WPARAM>(rest[type]));
        }
    }
}

TEST_F(Model, MetronomeCountsBeyondTheCycleAreRejected) {
    Trace();
    const char* lines[6] = {
        "第１引数が拍子なし時の最大拍数１６以上 : PostMetroMove第１引数エラー",
        "第１引数が拍子2/4時の最大拍数８以上 : PostMetroMove第１引数エラー",
        "第１引数が拍子3/4時の最大拍数１２以上 : PostMetroMove第１引数エラー",
        "第１引数が拍子4/4時の最大拍数１６以上 : PostMetroMove第１引数エラー",
        "第１引数が拍子5/4時の最大拍数２０以上 : PostMetroMove第１引数エラー",
        "第１引数が拍子6/8時の最大拍数１２以上 : PostMetroMove第１引数エラー",
    };
    for (int beat = 0; beat < 6; ++beat) {
        model.SetBeat(static_cast<E_BEAT>(beat), nullptr);
        model.Settle();
        model.PostMetroMove(CDataInfo::MetroCycle(static_cast<E_BEAT>(beat)));
        model.PostMetroMove(0xFFFE);
        CWinMsg::PumpMessages();
        EXPECT_EQ(model.metronomeIcon.Count(WM_DATACHANGE), 0) << beat;
        EXPECT_TRUE(Log().contains(QString::fromUtf8(lines[beat]))) << lines[beat];
    }
}

TEST_F(Model, ChangingTheCharacterShowsItsPose) {
    model.SetMetroCharType(MET_CHAR_3, nullptr);
    CWinMsg::PumpMessages();
    // Stopped: the rest pose, then put at its place.
    ASSERT_EQ(model.metronomeIcon.Count(WM_DATACHANGE), 2);
    EXPECT_EQ(model.metronomeIcon.received[0].wParam, 0x50008u);
    EXPECT_EQ(model.metronomeIcon.received[1].wParam, static_cast<WPARAM>(-1));

    model.metronome.running = true;
    model.metronome.count = 5;
    model.Settle();
    model.SetMetroCharType(MET_CHAR_2, nullptr);
    CWinMsg::PumpMessages();
    EXPECT_EQ(model.metronomeIcon.received[0].wParam, 0x50004u);
}

TEST_F(Model, MetronomeStatusIsWhatTheMetronomeDoes) {
    model.metronome.running = true;
    EXPECT_EQ(model.GetMetStatus(), MET_START);
    model.SetMetStatus(MET_START, nullptr);
    model.metronome.running = false;
    model.Settle();
    model.SetMetStatus(MET_STOP, nullptr);
    EXPECT_EQ(model.Told(), Names({"MetronomeDlg", "MetronomeIcon"}));
    EXPECT_EQ(model.metronomeIcon.Last(WM_DATACHANGE)->wParam, 0x50000u);

    // A status it already knows of changes nothing.
    model.Settle();
    model.SetMetStatus(MET_STOP, nullptr);
    EXPECT_TRUE(model.Told().isEmpty());

    // Told that it runs while it does not, the model believes the metronome.
    model.SetMetStatus(MET_START, nullptr);
    EXPECT_EQ(model.GetMetStatus(), MET_STOP);
}

// Whoever reads the status between the metronome's stop and the announcement (the device watch,
// a window refreshing, the command line) must not swallow the announcement: the windows would
// keep showing a running metronome and the character would keep its last pose.
TEST_F(Model, ReadingTheStatusBeforeItIsAnnouncedDoesNotSwallowTheAnnouncement) {
    model.metronome.running = true;
    model.SetMetStatus(MET_START, nullptr);
    model.Settle();
    model.metronome.running = false;
    EXPECT_EQ(model.GetMetStatus(), MET_STOP);
    model.SetMetStatus(MET_STOP, nullptr);
    EXPECT_EQ(model.Told(), Names({"MetronomeDlg", "MetronomeIcon"}));
    EXPECT_EQ(model.metronomeIcon.Last(WM_DATACHANGE)->wParam, 0x50000u);

    // The same on the way up: a start seen early is still announced.
    model.Settle();
    model.metronome.running = true;
    EXPECT_EQ(model.GetMetStatus(), MET_START);
    model.SetMetStatus(MET_START, nullptr);
    EXPECT_EQ(model.Told(), Names({"MetronomeDlg"}));

    // An announcement the metronome contradicts is not passed on as a change.
    model.Settle();
    model.SetMetStatus(MET_STOP, nullptr);
    EXPECT_TRUE(model.Told().isEmpty());
}

TEST_F(Model, RefreshBringsEveryoneInLine) {
    model.SetDefTimbre(TIM_STRINGS, nullptr);
    model.Settle();
    model.Refresh();
    EXPECT_EQ(model.metronome.log.Calls(),
              (QStringList{QStringLiteral("Refresh"), QStringLiteral("SetBeat 3"),
                           QStringLiteral("SetTempo 120")}));
    EXPECT_EQ(model.player.log.Calls(),
              (QStringList{QStringLiteral("Refresh"),
                           QStringLiteral("SetTempo %1").arg(model.Converter().TempoToWire(120)),
                           QStringLiteral("SetKey 64")}));
    EXPECT_EQ(model.piano.log.Calls(),
              (QStringList{QStringLiteral("SetDefTimbre 48"), QStringLiteral("SetDualTimbre 255"),
                           QStringLiteral("SetReverbOffOn 1"), QStringLiteral("SetBrilliance 64"),
                           QStringLiteral("SetTouchSense 64"), QStringLiteral("SetTranspose 64"),
                           QStringLiteral("SetTuning 64")}));
    EXPECT_EQ(model.recorder.log.Calls().first(), QStringLiteral("Refresh"));
    EXPECT_EQ(model.recorder.log.Calls().size(), 10);
    // RefreshDlg pumps the messages itself.
    for (const char* name : {"MetronomeDlg", "Conpane", "Stereo", "Reverb", "UserMenu"}) {
        bool found = false;
        for (const auto& [windowName, window] : model.Windows()) {
            found = found || (QString::fromLatin1(windowName) == QString::fromLatin1(name) &&
                              window->Count(WM_DATACHANGE) == 1);
        }
        EXPECT_TRUE(found) << name;
    }
}

TEST_F(Model, AccessQueriesFollowTheTakes) {
    EXPECT_EQ(model.IsNotRunning(), 1);
    EXPECT_EQ(model.IsAccessSeq(), 0);
    EXPECT_EQ(model.IsAccessAud(), 0);

    const QString album = MakeTestFolder(QStringLiteral("album"));
    QFile(album + QStringLiteral("/a.mid")).open(QIODevice::WriteOnly);
    EXPECT_EQ(model.SetSeqFileNamePro(album + QStringLiteral("/a.mid")), 1);
    EXPECT_EQ(model.IsAccessSeq(), 1);
    EXPECT_EQ(model.IsSaveSeq(), 0);
    seqTake.Changed();
    EXPECT_EQ(model.IsSaveSeq(), 1);

    model.SetAudStatus(SOUND_PLAY, nullptr);
    EXPECT_EQ(model.IsNotRunning(), 0);
    EXPECT_EQ(model.IsAccessSeq(), 0);
    EXPECT_EQ(model.IsAccessAud(), 1);
    model.SetAudStatus(SOUND_REC, nullptr);
    EXPECT_EQ(model.IsAccessAud(), 1);
}

TEST_F(Model, BackingOutOfTheMidiQuestionLeavesTheAudioTakeAlone) {
    seqTake.MakeFileName();
    audTake.MakeFileName();
    seqTake.answer = 0;
    seqTake.asked = audTake.asked = 0;
    EXPECT_EQ(model.ClearSoundFile(), 0);
    EXPECT_EQ(seqTake.asked, 1);
    EXPECT_EQ(audTake.asked, 0);

    seqTake.answer = 1;
    EXPECT_EQ(model.ClearSoundFile(), 1);
    EXPECT_EQ(audTake.asked, 1);
}

TEST_F(Model, MemoGoesIntoTheFileOrComesBack) {
    const QString album = MakeTestFolder(QStringLiteral("memo"));
    QFile(album + QStringLiteral("/a.mid")).open(QIODevice::WriteOnly);
    model.SetSeqMemo(QStringLiteral("no file yet"), nullptr);
    EXPECT_TRUE(model.GetSeqMemo().isEmpty());

    model.SetSeqFileNamePro(album + QStringLiteral("/a.mid"));
    model.Settle();
    model.SetSeqMemo(QStringLiteral("練習曲"), nullptr);
    EXPECT_EQ(model.GetSeqMemo(), QStringLiteral("練習曲"));
    EXPECT_EQ(model.recorder.log.Calls(), QStringList{QStringLiteral("SetMemo 練習曲")});
    EXPECT_EQ(model.Told(), Names({"Stereo"}));

    // Read from a file being played: only shown.
    model.Settle();
    model.SetSeqMemo(QStringLiteral("from the file"), model.player.GetSafeHwnd());
    EXPECT_TRUE(model.recorder.log.Calls().isEmpty());

    model.recorder.failMemo = true;
    model.SetSeqMemo(QStringLiteral("lost?"), nullptr);
    EXPECT_EQ(model.GetSeqMemo(), QStringLiteral("from the file"));
    EXPECT_EQ(presenter.texts, QStringList{QStringLiteral("MIDIファイルの保存に失敗しました。")});
}

TEST_F(Model, FileRecordsNotifyTheTransportWindows) {
    model.SetSeqFile(&seqTake);
    EXPECT_EQ(model.Told(), Names({"Conpane", "Stereo"}));
    EXPECT_EQ(model.GetSeqFileName(), seqTake.GetFileName());
}

TEST_F(Model, AWorkerThatReplacesAnotherHandsItBack) {
    CLoggingPanel other;
    EXPECT_EQ(model.SetCtrlPanel(&other), static_cast<void*>(&model.piano));
    EXPECT_EQ(model.GetCtrlPanel(), &other);
    EXPECT_EQ(model.SetCtrlPanel(nullptr), static_cast<void*>(&other));
    // Without a control panel the piano is simply not told.
    model.SetDefTimbre(TIM_STRINGS, nullptr);
    EXPECT_EQ(model.GetDefTimbre(), TIM_STRINGS);
    EXPECT_TRUE(other.log.Calls().isEmpty());
}
