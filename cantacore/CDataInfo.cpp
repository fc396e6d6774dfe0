#include "CDataInfo.h"

#include "CAudioPlay.h"
#include "CAudioRec.h"
#include "CCtrlPanel.h"
#include "CFusion.h"
#include "CLast.h"
#include "CMetronome.h"
#include "CPrivateAction.h"
#include "CScorp.h"
#include "CSequencerPlay.h"
#include "CSequencerRec.h"
#include "CTrace.h"
#include "CWinMsg.h"

#include <chrono>
#include <thread>

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

const QString kCaption = QStringLiteral("メッセージ");
constexpr unsigned int kMetStatusSlot = 95;
constexpr LPARAM kKeepPlace = -1;
constexpr WPARAM kKeepFrame = static_cast<WPARAM>(-1);

// The metronome characters' poses: per character, one row per time signature (one entry per
// eighth-note count of a two-bar cycle) and the rest pose.
constexpr unsigned int kCycle[6] = {16, 8, 12, 16, 20, 12};
constexpr unsigned char kPoses[4][6][20] = {
    {
        {1, 1, 2, 2, 1, 1, 2, 2, 1, 1, 2, 2, 1, 1, 2, 2},
        {1, 1, 2, 2, 1, 1, 2, 2},
        {1, 1, 2, 2, 1, 1, 2, 2, 1, 1, 2, 2},
        {1, 1, 2, 2, 1, 1, 2, 2, 1, 1, 2, 2, 1, 1, 2, 2},
        {1, 1, 2, 2, 1, 1, 2, 2, 1, 1, 2, 2, 1, 1, 2, 2, 1, 1, 2, 2},
        {1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2},
    },
    {
        {4, 4, 5, 5, 4, 4, 5, 5, 4, 4, 5, 5, 4, 4, 5, 5},
        {4, 4, 3, 3, 4, 4, 3, 3},
        {4, 4, 5, 5, 3, 3, 4, 4, 5, 5, 3, 3},
        {4, 4, 5, 5, 4, 4, 3, 3, 4, 4, 5, 5, 4, 4, 3, 3},
        {4, 4, 5, 5, 4, 4, 5, 5, 3, 3, 4, 4, 5, 5, 4, 4, 5, 5, 3, 3},
        {4, 5, 4, 5, 4, 3, 4, 5, 4, 5, 4, 3},
    },
    {
        {8, 8, 7, 7, 8, 8, 7, 7, 8, 8, 7, 7, 8, 8, 7, 7},
        {6, 6, 7, 7, 6, 6, 7, 7},
        {6, 6, 7, 7, 8, 8, 6, 6, 7, 7, 8, 8},
        {6, 6, 7, 7, 8, 8, 7, 7, 6, 6, 7, 7, 8, 8, 7, 7},
        {6, 6, 7, 7, 8, 8, 7, 7, 8, 8, 6, 6, 7, 7, 8, 8, 7, 7, 8, 8},
        {6, 7, 8, 7, 8, 7, 6, 7, 8, 7, 8, 7},
    },
    {
        {11, 11, 9, 9, 11, 11, 9, 9, 11, 11, 9, 9, 11, 11, 9, 9},
        {10, 10, 9, 9, 10, 10, 9, 9},
        {10, 10, 9, 9, 11, 11, 10, 10, 9, 9, 11, 11},
        {10, 10, 9, 9, 11, 11, 9, 9, 10, 10, 9, 9, 11, 11, 9, 9},
        {10, 10, 9, 9, 11, 11, 9, 9, 11, 11, 10, 10, 9, 9, 11, 11, 9, 9, 11, 11},
        {10, 9, 11, 9, 11, 9, 10, 9, 11, 9, 11, 9},
    },
};
constexpr unsigned char kRestPose[4] = {0, 3, 8, 9};

constexpr const char* kCountTooLarge[6] = {
    "第１引数が拍子なし時の最大拍数１６以上 : PostMetroMove第１引数エラー",
    "第１引数が拍子2/4時の最大拍数８以上 : PostMetroMove第１引数エラー",
    "第１引数が拍子3/4時の最大拍数１２以上 : PostMetroMove第１引数エラー",
    "第１引数が拍子4/4時の最大拍数１６以上 : PostMetroMove第１引数エラー",
    "第１引数が拍子5/4時の最大拍数２０以上 : PostMetroMove第１引数エラー",
    "第１引数が拍子6/8時の最大拍数１２以上 : PostMetroMove第１引数エラー",
};

void Line(const char* text) {
    CLast::Trace().TraceLine() << text << "\n";
}

} // namespace

// Writes the line for a value equal to the current one or out of range; true when the
// setter may go on. A null text means the bound cannot be crossed.
bool CDataInfo::Accept(long long value, long long current, long long least, long long most,
                       const char* same, const char* tooSmall, const char* tooLarge) {
    if (value == current) {
        Line(same);
        return false;
    }
    if (value < least) {
        Line(tooSmall != nullptr ? tooSmall : tooLarge);
        return false;
    }
    if (value > most) {
        Line(tooLarge);
        return false;
    }
    return true;
}

namespace {

LPARAM Place(int x, int y) {
    return static_cast<LPARAM>((static_cast<unsigned int>(y) << 16) | static_cast<unsigned int>(x));
}

} // namespace

CDataInfo::CDataInfo() {
    for (auto& entry : m_scoreDisp) {
        entry = 0xFF;
    }
    for (auto& entry : m_keyboardDisp) {
        entry = 0;
    }
}

CDataInfo::~CDataInfo() = default;

// ---------------------------------------------------------------------------------------------
// Getters

QString CDataInfo::GetSeqMemo() const {
    const Lock lock(m_lock);
    return m_seqMemo;
}

QString CDataInfo::GetAudTimeDisp() const {
    const Lock lock(m_lock);
    return m_audTimeDisp;
}

QString CDataInfo::GetSeqTimeDisp() const {
    const Lock lock(m_lock);
    return m_seqTimeDisp;
}

QString CDataInfo::GetSeqFileName() const {
    const Lock lock(m_lock);
    CSoundFile* file = m_seqFile;
    return file != nullptr ? file->GetFileName() : QString();
}

QString CDataInfo::GetAudFileName() const {
    const Lock lock(m_lock);
    CSoundFile* file = m_audFile;
    return file != nullptr ? file->GetFileName() : QString();
}

std::array<std::int32_t, CDataInfo::kKeys> CDataInfo::GetAllKeyboardDisp() const {
    std::array<std::int32_t, kKeys> keys{};
    for (int i = 0; i < kKeys; ++i) {
        keys[i] = m_keyboardDisp[i];
    }
    return keys;
}

std::int32_t CDataInfo::GetKeyboardDisp(unsigned int index) const {
    return index < kKeys ? m_keyboardDisp[index].load() : 0;
}

std::array<std::uint32_t, CDataInfo::kKeys> CDataInfo::GetAllScoreDisp() const {
    std::array<std::uint32_t, kKeys> score{};
    for (int i = 0; i < kKeys; ++i) {
        score[i] = m_scoreDisp[i];
    }
    return score;
}

std::uint32_t CDataInfo::GetScoreDisp(unsigned int index) const {
    return index < kKeys ? m_scoreDisp[index].load() : kScoreHidden;
}

E_METSTATUS CDataInfo::GetMetStatus() {
    const CPrivateAction guard(kMetStatusSlot, "CDataInfo", "SetMetStatus");
    CMetronome* metronome = GetMetronome();
    // Only read here: m_metStatus is what the windows were last told, and SetMetStatus alone
    // moves it, so a reader between the metronome's stop and its announcement cannot swallow it.
    return (metronome == nullptr || metronome->IsStop()) ? MET_STOP : MET_START;
}

// ---------------------------------------------------------------------------------------------
// Delivery

void CDataInfo::PostMsg(QObject* target, void* originator, UINT message, WPARAM wParam,
                        LPARAM lParam) {
    if (target == nullptr || static_cast<void*>(target) == originator) {
        return;
    }
    CWinMsg::PostMessage(target, message, wParam, lParam);
}

void CDataInfo::PeekPostMsg(QObject* target, void* originator, UINT message, WPARAM wParam,
                            LPARAM lParam) {
    if (target == nullptr || static_cast<void*>(target) == originator) {
        return;
    }
    CWinMsg::ReplaceMessage(target, message, wParam, lParam);
}

void CDataInfo::Notify(QObject* window, void* originator) {
    PostMsg(window, originator, WM_DATACHANGE, 0, 0);
}

CSequencerRec* CDataInfo::RecorderFor(void* originator) const {
    CSequencerRec* recorder = GetSequencerRec();
    return recorder != nullptr && recorder->GetSafeHwnd() != originator ? recorder : nullptr;
}

CSequencerPlay* CDataInfo::PlayerFor(void* originator) const {
    CSequencerPlay* player = GetSequencerPlay();
    return player != nullptr && player->GetSafeHwnd() != originator ? player : nullptr;
}

CMetronome* CDataInfo::MetronomeFor(void* originator) const {
    CMetronome* metronome = GetMetronome();
    return metronome != nullptr && metronome->GetSafeHwnd() != originator ? metronome : nullptr;
}

// Only what was changed on the PC goes to the piano: what came from the piano or from a file
// being played would otherwise echo back.
CCtrlPanel* CDataInfo::PianoFor(void* originator) const {
    return originator == nullptr ? GetCtrlPanel() : nullptr;
}

bool CDataInfo::FromPianoOrFile(void* originator) const {
    CSequencerRec* recorder = GetSequencerRec();
    CSequencerPlay* player = GetSequencerPlay();
    return originator != nullptr &&
           ((recorder != nullptr && originator == recorder->GetSafeHwnd()) ||
            (player != nullptr && originator == player->GetSafeHwnd()));
}

// Without a MIDI take record nothing can be running.
SOUND_STATUS CDataInfo::SeqStatus() const {
    CSoundFile* file = m_seqFile;
    return file != nullptr ? file->GetSoundStatus() : SOUND_STOP;
}

void CDataInfo::ShowGateMessage() {
    CLast::Fusion().ShowMessage(QStringLiteral("現在このパラメータは変更できません。"), MB_OK,
                                kCaption);
}

// What the piano is sent goes out one message at a time, each with the model's value at that
// moment: whatever the order of stores from the window thread, the device watch and the
// piano's own reports, the last value the piano gets from the PC is never older than the
// model's. The model's lock is never held here, so a slow device blocks no one who only
// stores.
void CDataInfo::SendToPiano(void* originator, const std::function<void(CCtrlPanel&)>& send) {
    CCtrlPanel* piano = PianoFor(originator);
    if (piano == nullptr) {
        return;
    }
    const std::lock_guard<std::mutex> guard(m_sendLock);
    send(*piano);
}

// ---------------------------------------------------------------------------------------------
// Setters

void CDataInfo::SetBeat(E_BEAT beat, void* originator) {
    const CScorp scope("CDataInfo", "SetBeat", CLast::Trace());
    if (!Accept(beat, m_beat, BEAT_NONE, BEAT_6_8,
                "SetBeat:第１引数beatが、今の_beatと同じ値なので何もしない",
                "SetBeat:第１引数beat入力エラー。BEAT_NONEより小さい",
                "SetBeat:第１引数beat入力エラー。BEAT_6_8より大きい")) {
        return;
    }
    bool gated = false;
    {
        const Lock lock(m_lock);
        gated = SeqStatus() != SOUND_STOP;
        if (!gated) {
            m_beat = beat;
        }
    }
    const E_BEAT current = m_beat;
    Notify(GetMetronomeDlg(), originator);
    Notify(GetStereo(), originator);
    if (CMetronome* metronome = MetronomeFor(originator)) {
        metronome->SetBeat(current);
    }
    if (CSequencerRec* recorder = RecorderFor(originator)) {
        recorder->SetBeat(m_converter.BeatToTimeSig(current));
    }
    if (CMetronome* metronome = MetronomeFor(originator)) {
        if (GetMetStatus() == MET_START) {
            metronome->Stop();
            metronome->Reset();
            metronome->Start();
        } else {
            metronome->Reset();
        }
    }
    if (gated) {
        ShowGateMessage();
    }
}

void CDataInfo::SetTempo(unsigned int tempo, void* originator) {
    const CScorp scope("CDataInfo", "SetTempo", CLast::Trace());
    if (tempo == m_tempo) {
        Line("SetTempo第１引数tempoが、今の_tempoと同じ値なので何もしない");
        return;
    }
    bool gated = false;
    {
        const Lock lock(m_lock);
        gated = SeqStatus() == SOUND_REC;
        if (!gated) {
            unsigned int stored = tempo;
            if (tempo > 300) {
                Line("SetTempo第１引数tempo入力エラー。最大値(300)より大");
                stored = 300;
            } else if (tempo < 40) {
                Line("SetTempo第１引数tempo入力エラー。最小値(40)より小");
                stored = 40;
            }
            m_tempo = stored;
        }
    }
    const unsigned int current = m_tempo;
    Notify(GetMetronomeDlg(), originator);
    Notify(GetStereo(), originator);
    if (CMetronome* metronome = MetronomeFor(originator)) {
        metronome->SetTempo(current);
    }
    if (CSequencerRec* recorder = RecorderFor(originator)) {
        recorder->SetTempo(m_converter.TempoToWire(current));
    }
    PostSpinDataOut(SPINOUT_TEMPO);
    if (gated) {
        ShowGateMessage();
    }
}

void CDataInfo::SetDefTimbre(E_TIMBRE timbre, void* originator) {
    const CScorp scope("CDataInfo", "SetDefTimbre", CLast::Trace());
    if (!Store(m_defTimbre, timbre, TIM_GRANDPIANO, TIM_PIPEORGAN,
               "SetDefTimbre第１引数defTimbreが今の_defTimbreと同じ",
               "SetDefTimbre第１引数defTimbre入力エラー。メイン音色の入力が負(音色なし含む)",
               "SetDefTimbre第１引数defTimbre入力エラー。メイン音色の入力が範囲(最大)より大")) {
        return;
    }
    Notify(GetStereo(), originator);
    Notify(GetConpane(), originator);
    SendToPiano(originator, [this](CCtrlPanel& piano) {
        piano.SetDefTimbre(m_converter.TimbreToProgram(m_defTimbre));
    });
    if (CSequencerRec* recorder = RecorderFor(originator)) {
        recorder->SetDefTimbre(m_converter.TimbreToProgram(timbre));
    }
    MoveTimbre();
    Notify(GetUserMenu(), originator);
}

void CDataInfo::SetDualTimbre(E_TIMBRE timbre, void* originator) {
    const CScorp scope("CDataInfo", "SetDualTimbre", CLast::Trace());
    if (!Accept(
            timbre, m_dualTimbre, TIM_NONE, TIM_PIPEORGAN,
            "SetDualTimbre第１引数daulTimbreが今の_dualTimbreと同じ",
            "SetDualTimbre第１引数dualTimbre入力エラー。デュアル音色の入力がTIM_NONEより小",
            "SetDualTimbre第１引数dualTimbre入力エラー。デュアル音色の入力が範囲(最大)より大")) {
        return;
    }
    // With two voices the main voice always has the lower number: a dual voice at or below
    // the main voice trades places with it.
    bool trade = false;
    E_TIMBRE dual = timbre;
    {
        const Lock lock(m_lock);
        if (timbre != TIM_NONE && timbre <= m_defTimbre) {
            dual = m_defTimbre;
            trade = true;
        }
        m_dualTimbre = dual;
    }
    // The new main voice comes from where the dual voice came from: a trade reported by the
    // piano is not sent back to it.
    if (trade) {
        SetDefTimbre(timbre, originator);
    }
    Notify(GetStereo(), originator);
    Notify(GetConpane(), originator);
    SendToPiano(originator, [this](CCtrlPanel& piano) {
        piano.SetDualTimbre(m_converter.DualTimbreToProgram(m_dualTimbre));
    });
    if (CSequencerRec* recorder = RecorderFor(originator)) {
        recorder->SetDualTimbre(m_converter.DualTimbreToProgram(dual));
    }
    MoveTimbre();
    Notify(GetUserMenu(), originator);
}

void CDataInfo::SetReverbOffOn(E_REVERB reverb, void* originator) {
    const CScorp scope("CDataInfo", "SetReverbOffOn", CLast::Trace());
    if (!Store(m_reverb, reverb, REVERB_ON, REVERB_OFF,
               "SetReverbOffOn第１引数rev_off_onが今の_rev_off_onと同じ",
               "SetReverbOffOn第１引数rev_off_on入力エラー。rev_off_onがREVERB_ONより小",
               "SetReverbOffOn第１引数rev_off_on入力エラー。rev_off_onがREVERB_OFFより大")) {
        return;
    }
    PostMsg(GetReverbIcon(), originator, WM_DATACHANGE, reverb == REVERB_ON ? 1 : 0, kKeepPlace);
    Notify(GetConpane(), originator);
    Notify(GetReverb(), originator);
    SendToPiano(originator, [this](CCtrlPanel& piano) {
        piano.SetReverbOffOn(m_converter.ReverbToWire(m_reverb));
    });
    if (CSequencerRec* recorder = RecorderFor(originator)) {
        recorder->SetReverbOffOn(m_converter.ReverbToWire(reverb));
    }
    Notify(GetUserMenu(), originator);
}

void CDataInfo::SetBrilliance(E_BRILLIANCE brilliance, void* originator) {
    const CScorp scope("CDataInfo", "SetBrilliance", CLast::Trace());
    if (!Store(m_brilliance, brilliance, BRILL_BRITE, BRILL_DARK,
               "SetBrilliance第１引数brillが今の_brillianceと同じ",
               "SetBrilliance第１引数brill入力エラー。brillがBRILL_BRITEより小",
               "SetBrilliance第１引数brill入力エラー。brillがBRILL_DARKより大")) {
        return;
    }
    Notify(GetStereo(), originator);
    Notify(GetConpane(), originator);
    SendToPiano(originator, [this](CCtrlPanel& piano) {
        piano.SetBrilliance(m_converter.LevelToWire(m_brilliance));
    });
    if (CSequencerRec* recorder = RecorderFor(originator)) {
        recorder->SetBrilliance(m_converter.LevelToWire(brilliance));
    }
}

void CDataInfo::SetTouchSense(E_TOUCHSENSE touch, void* originator) {
    const CScorp scope("CDataInfo", "SetTouchSense", CLast::Trace());
    if (!Store(m_touch, touch, TOUCH_LIGHT, TOUCH_HEAVY,
               "SetTouchSense第１引数touchが今の_touchと同じ",
               "SetTouchSense第１引数touch入力エラー。touchがTOUCH_LIGHTより小",
               "SetTouchSense第１引数touch入力エラー。touchがTOUCH_HEAVYより大")) {
        return;
    }
    Notify(GetStereo(), originator);
    Notify(GetConpane(), originator);
    SendToPiano(originator, [this](CCtrlPanel& piano) {
        piano.SetTouchSense(m_converter.LevelToWire(m_touch));
    });
    if (CSequencerRec* recorder = RecorderFor(originator)) {
        recorder->SetTouchSense(m_converter.LevelToWire(touch));
    }
}

void CDataInfo::SetTranspose(E_TRANSPOSE transpose, void* originator) {
    const CScorp scope("CDataInfo", "SetTranspose", CLast::Trace());
    if (!Store(m_transpose, transpose, TRANSPOSE_G, TRANSPOSE_FS,
               "SetTranspose第１引trans数が今の_transposeと同じ",
               "SetTranspose第１引数trans入力エラー。transがTRANSPOSE_Gより小",
               "SetTranspose第１引数trans入力エラー。transがTRANSPOSE_FSより大")) {
        return;
    }
    Notify(GetStereo(), originator);
    Notify(GetConpane(), originator);
    SendToPiano(originator, [this](CCtrlPanel& piano) {
        piano.SetTranspose(m_converter.TransposeToWire(m_transpose));
    });
    if (CSequencerRec* recorder = RecorderFor(originator)) {
        recorder->SetTranspose(m_converter.TransposeToWire(transpose));
    }
    // The deferred command sends the transpose to the piano: not when it came from there.
    if (!FromPianoOrFile(originator)) {
        PostSpinDataOut(SPINOUT_TRANSPOSE);
    }
}

void CDataInfo::SetSeqKey(E_SEQKEY key, void* originator) {
    const CScorp scope("CDataInfo", "SetSeqKey", CLast::Trace());
    if (!Accept(key, m_seqKey, SEQKEY_G, SEQKEY_FS, "SetSeqKey第１引数keyが今の_seqkeyと同じ",
                "SetSeqKey第１引数key入力エラー。keyがSEQKEY_Gより小",
                "SetSeqKey第１引数key入力エラー。keyがSEQKEY_FSより大")) {
        return;
    }
    bool gated = false;
    {
        const Lock lock(m_lock);
        gated = SeqStatus() == SOUND_REC;
        if (!gated) {
            m_seqKey = key;
            PostScoreNote(kAllNotes, 0);
        }
    }
    Notify(GetStereo(), originator);
    if (CSequencerPlay* player = PlayerFor(originator)) {
        player->SetKey(static_cast<int>(m_converter.TransposeToWire(m_seqKey)));
    }
    if (gated) {
        ShowGateMessage();
    }
}

void CDataInfo::SetTuning(E_TUNING tuning, void* originator) {
    const CScorp scope("CDataInfo", "SetTuning", CLast::Trace());
    if (!Accept(tuning, m_tuning, TUNING_1, TUNING_2, "SetTuning第１引数tuningが今の_tuningと同じ",
                "SetTuning第１引数tuning入力エラー。tuningがTUNING_1より小",
                "SetTuning第１引数tuning入力エラー。tuningがTUNING_2(仮)より大")) {
        return;
    }
    Line("tuning設定用enum宣言で、最大enumが現時点ではTUNING_2。仕様要確認");
    {
        const Lock lock(m_lock);
        m_tuning = tuning;
    }
    Notify(GetStereo(), originator);
    Notify(GetConpane(), originator);
    if (CSequencerRec* recorder = RecorderFor(originator)) {
        recorder->SetTuning(m_converter.TuningToWire(tuning));
    }
    // The piano hears of it through the deferred command, so a held spin button sends only
    // the value it stops at; a tuning that came from the piano or a file is not sent back.
    if (!FromPianoOrFile(originator)) {
        PostSpinDataOut(SPINOUT_TUNING);
    }
}

void CDataInfo::SetMetroCharType(E_METROCHARTYPE type, void* originator) {
    const CScorp scope("CDataInfo", "SetMetroCharType", CLast::Trace());
    if (!Accept(type, m_metCharType, MET_CHAR_1, MET_CHAR_4,
                "SetMetroCharType第１引数typeが今の_metchartypeと同じ",
                "SetMetroCharType第１引数type入力エラー。typeがMET_CHAR_1より小",
                "SetMetroCharType第１引数type入力エラー。typeがMET_CHAR_4より大")) {
        Notify(GetMetronomeDlg(), originator);
        return;
    }
    {
        const Lock lock(m_lock);
        m_metCharType = type;
    }
    if (GetMetStatus() == MET_STOP) {
        PostMetroMove(kMetroRest);
    } else if (CMetronome* metronome = MetronomeFor(originator)) {
        PostMetroMove(metronome->GetMetroBeatCount());
    }
    // Lets the character settle in its new pose before it is put at its place.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    MoveMetronome();
    Notify(GetMetronomeDlg(), originator);
}

void CDataInfo::SetSeqVol(unsigned int volume, void* originator) {
    const CScorp scope("CDataInfo", "SetSeqVol", CLast::Trace());
    if (!Accept(volume, m_seqVol, 0, 100, "SetSeqVol第１引数volが今の_seqvolと同じ", nullptr,
                "SetSeqVol第１引数vol入力エラー。volが最大値(100)より大")) {
        return;
    }
    {
        const Lock lock(m_lock);
        m_seqVol = volume;
    }
    Notify(GetStereo(), originator);
    if (CSequencerRec* recorder = RecorderFor(originator)) {
        recorder->SetSeqVol(volume);
    }
}

void CDataInfo::SetAudVol(unsigned int volume, void* originator) {
    const CScorp scope("CDataInfo", "SetAudVol", CLast::Trace());
    if (!Accept(volume, m_audVol, 0, 100, "SetAudVol第１引数volが今の_audvolと同じ", nullptr,
                "SetAudVol第１引数vol入力エラー。volが最大値(100)より大")) {
        return;
    }
    {
        const Lock lock(m_lock);
        m_audVol = volume;
    }
    Notify(GetStereo(), originator);
}

void CDataInfo::SetMetVol(unsigned int volume, void* originator) {
    const CScorp scope("CDataInfo", "SetMetVol", CLast::Trace());
    if (!Accept(volume, m_metVol, 0, 100, "SetMetVol第１引数volが今の_metvolと同じ", nullptr,
                "SetMetVol第１引数vol入力エラー。volが最大値(100)より大")) {
        return;
    }
    {
        const Lock lock(m_lock);
        m_metVol = volume;
    }
    Notify(GetMetronomeDlg(), originator);
    Notify(GetConpane(), originator);
}

void CDataInfo::SetSeqPlayPos(unsigned int position, void* originator) {
    const CScorp scope("CDataInfo", "SetSeqPlayPos", CLast::Trace());
    if (!Accept(position, m_seqPlayPos, 0, 100, "SetSeqPlayPos第１引数posが今の_seqplayposと同じ",
                nullptr, "SetSeqPlayPos第１引数pos入力エラー。posが最大値(100)より大")) {
        return;
    }
    {
        const Lock lock(m_lock);
        m_seqPlayPos = position;
    }
    Notify(GetStereo(), originator);
}

void CDataInfo::SetAudPlayPos(unsigned int position, void* originator) {
    const CScorp scope("CDataInfo", "SetAudPlayPos", CLast::Trace());
    if (!Accept(position, m_audPlayPos, 0, 100, "SetAudPlayPos第１引数posが今の_audplayposと同じ",
                nullptr, "SetAudPlayPos第１引数pos入力エラー。posが最大値(100)より大")) {
        return;
    }
    {
        const Lock lock(m_lock);
        m_audPlayPos = position;
    }
    Notify(GetStereo(), originator);
}

void CDataInfo::SetCompressType(E_COMPRESS_TYPE type, void* originator) {
    const CScorp scope("CDataInfo", "SetCompressType", CLast::Trace());
    if (!Accept(type, m_compressType, COMPRESS_WMA, COMPRESS_MP3,
                "SetCompressType第１引数typeが今の_compress_typeと同じ",
                "SetCompressType第１引数type入力エラー。typeがCOMPRESS_WMAより小",
                "SetCompressType第１引数type入力エラー。typeがCOMPRESS_MP3より大")) {
        return;
    }
    {
        const Lock lock(m_lock);
        m_compressType = type;
    }
    Notify(GetUserMenu(), originator);
}

void CDataInfo::SetSeqStatus(SOUND_STATUS status, void* originator) {
    const CScorp scope("CDataInfo", "SetSeqStatus", CLast::Trace());
    CSoundFile* file = m_seqFile;
    if (file == nullptr) {
        Line("SetSeqStatus:シーケンサファイルがないので何もしない");
        return;
    }
    if (!Accept(status, file->GetSoundStatus(), SOUND_PLAY, SOUND_STOP,
                "SetSeqStatus第１引数statusが今のシーケンサ状態と同じ",
                "SetSeqStatus第１引数status入力エラー。statusがSOUND_PLAYより小",
                "SetSeqStatus第１引数status入力エラー。statusがSOUND_STOPより大")) {
        return;
    }
    {
        const Lock lock(m_lock);
        file->SetSoundStatus(status);
    }
    Notify(GetStereo(), originator);
    Notify(GetConpane(), originator);
    Notify(GetUserMenu(), originator);
}

void CDataInfo::SetAudStatus(SOUND_STATUS status, void* originator) {
    const CScorp scope("CDataInfo", "SetAudStatus", CLast::Trace());
    CSoundFile* file = m_audFile;
    if (file == nullptr) {
        Line("SetAudStatus:オーディオファイルがないので何もしない");
        return;
    }
    if (!Accept(status, file->GetSoundStatus(), SOUND_PLAY, SOUND_STOP,
                "SetAudStatus第１引数statusが今のオーディオ状態と同じ",
                "SetAudStatus第１引数status入力エラー。statusがSOUND_PLAYより小",
                "SetAudStatus第１引数status入力エラー。statusがSOUND_STOPより大")) {
        return;
    }
    {
        const Lock lock(m_lock);
        file->SetSoundStatus(status);
    }
    Notify(GetStereo(), originator);
    Notify(GetConpane(), originator);
    Notify(GetUserMenu(), originator);
}

void CDataInfo::SetMetStatus(E_METSTATUS status, void* originator) {
    const CScorp scope("CDataInfo", "SetMetStatus", CLast::Trace());
    const char* same = "SetMetStatus第１引数statusが今の_metstatusと同じ";
    // The argument is only checked for its range: whether anything changed is judged by the
    // metronome itself against what the windows were last told.
    if (!Accept(status, -1, MET_STOP, MET_START, same,
                "SetMetStatus第１引数status入力エラー。statusがMET_STOPより小",
                "SetMetStatus第１引数status入力エラー。statusがMET_STARTより大")) {
        return;
    }
    const CPrivateAction guard(kMetStatusSlot, "CDataInfo", "SetMetStatus");
    // What counts is what the metronome really does, not what the caller believes.
    const E_METSTATUS actual = GetMetStatus();
    if (m_metStatus.exchange(actual) == actual) {
        Line(same);
        return;
    }
    if (actual == MET_STOP) {
        PostMetroMove(kMetroRest);
    }
    Notify(GetMetronomeDlg(), originator);
}

void CDataInfo::SetDemoStatus(E_DEMOSTATUS status, void* originator) {
    const CScorp scope("CDataInfo", "SetDemoStatus", CLast::Trace());
    if (!Accept(status, m_demoStatus, DEMO_STOP, DEMO_START,
                "SetDemoStatus第１引数statusが今の_demostatusと同じ",
                "SetDemoStatus第１引数status入力エラー。statusがDEMO_STOPより小",
                "SetDemoStatus第１引数status入力エラー。statusがDEMO_STARTより大")) {
        return;
    }
    {
        const Lock lock(m_lock);
        m_demoStatus = status;
    }
    Notify(GetStereo(), originator);
    Notify(GetConpane(), originator);
    Notify(GetMetronomeDlg(), originator);
}

void CDataInfo::SetSeqMemo(const QString& memo, void* originator) {
    const CScorp scope("CDataInfo", "SetSeqMemo", CLast::Trace());
    if (memo == GetSeqMemo()) {
        Line("SetSeqMemo第１引数memoが今の_seqmemoと同じ");
        return;
    }
    CSoundFile* file = m_seqFile;
    if (file == nullptr || file->GetFileName().isEmpty()) {
        Line("SetSeqMemo:シーケンサファイルがないので何もしない");
        return;
    }
    QString previous;
    {
        const Lock lock(m_lock);
        previous = m_seqMemo;
        m_seqMemo = memo;
    }

    CSequencerPlay* player = GetSequencerPlay();
    CSequencerRec* recorder = GetSequencerRec();
    const bool fromFile =
        originator != nullptr && ((player != nullptr && originator == player->GetSafeHwnd()) ||
                                  (recorder != nullptr && originator == recorder->GetSafeHwnd()));
    if (fromFile) {
        // Read from or written into the file already: only the display changes.
        Notify(GetStereo(), originator);
        return;
    }
    Notify(GetStereo(), originator);
    if (recorder != nullptr) {
        // The file is written and a failure shown without the model's lock: the piano goes on
        // reporting settings while the message is open.
        CVeskError error = recorder->SetMemo(memo);
        if (error != 0) {
            {
                const Lock lock(m_lock);
                if (m_seqMemo == memo) {
                    m_seqMemo = previous;
                }
            }
            Notify(GetStereo(), originator);
            error.SetCode(ERR_VESK_FAILED, QStringLiteral("MIDIファイルの保存に失敗しました。"));
            CLast::Fusion().ShowMessage(error.GetStr(), MB_OK, kCaption);
        }
    }
    if (file->GetFileFlag() == MODIFIED_CLEAN) {
        file->SaveFileDefine(1);
    }
}

void CDataInfo::SetAudTimeDisp(const QString& text, void*) {
    const CScorp scope("CDataInfo", "SetAudTimeDisp", CLast::Trace());
    const Lock lock(m_lock);
    if (text == m_audTimeDisp) {
        Line("SetAudTimeDisp第１引数timeが今の_audtimedispと同じ");
        return;
    }
    m_audTimeDisp = text;
}

void CDataInfo::SetSeqTimeDisp(const QString& text, void*) {
    const CScorp scope("CDataInfo", "SetSeqTimeDisp", CLast::Trace());
    const Lock lock(m_lock);
    if (text == m_seqTimeDisp) {
        Line("SetSeqTimeDisp第１引数timeが今の_seqtimedispと同じ");
        return;
    }
    m_seqTimeDisp = text;
}

void CDataInfo::SetFrostedStyle(FROSTED_STYLE style) {
    const CScorp scope("CDataInfo", "SetFrostedStyle", CLast::Trace());
    if (!Accept(style, m_frosted, FROSTED_STYLE_DEFAULT, FROSTED_STYLE_NONE,
                "SetFrostedStype第１引数frostedが今の_frostedと同じ",
                "SetFrostedStype第１引数frostedがFROSTED_STYLE_DEFAULTより小",
                "SetFrostedStype第１引数frostedがFROSTED_STYLE_NONEより大")) {
        return;
    }
    {
        const Lock lock(m_lock);
        m_frosted = style;
    }
    PostMsg(GetFrosted(), nullptr, WM_FROSTEDSTYLE, static_cast<WPARAM>(style), 0);
}

void CDataInfo::SetSeqFile(CSoundFile* file) {
    const CScorp scope("CDataInfo", "SetSeqFile", CLast::Trace());
    {
        const Lock lock(m_lock);
        m_seqFile = file;
    }
    Notify(GetStereo(), nullptr);
    Notify(GetConpane(), nullptr);
}

void CDataInfo::SetAudFile(CSoundFile* file) {
    const CScorp scope("CDataInfo", "SetAudFile", CLast::Trace());
    {
        const Lock lock(m_lock);
        m_audFile = file;
    }
    Notify(GetStereo(), nullptr);
    Notify(GetConpane(), nullptr);
}

// ---------------------------------------------------------------------------------------------
// Posting operations

unsigned int CDataInfo::MetroCycle(E_BEAT beat) {
    return beat >= BEAT_NONE && beat <= BEAT_6_8 ? kCycle[beat] : 0;
}

int CDataInfo::MetroPose(E_METROCHARTYPE type, E_BEAT beat, unsigned int count) {
    if (type < MET_CHAR_1 || type > MET_CHAR_4) {
        return -1;
    }
    if (count == kMetroRest) {
        return kRestPose[type];
    }
    if (count >= MetroCycle(beat)) {
        return -1;
    }
    return kPoses[type][beat][count];
}

void CDataInfo::PostMetroMove(unsigned int count) {
    const CScorp scope("CDataInfo", "PostMetroMove", CLast::Trace());
    const E_BEAT beat = m_beat;
    if (beat < BEAT_NONE || beat > BEAT_6_8) {
        Line("拍子変数_beatが範囲外 : CDataInfo内部変数_beatエラー");
        return;
    }
    // Every time signature, 5/4 included, is held to the counts of its row, so nothing
    // outside a row is ever read.
    if (count != kMetroRest && count >= MetroCycle(beat)) {
        Line(kCountTooLarge[beat]);
        return;
    }
    const Lock lock(m_lock);
    E_METROCHARTYPE type = m_metCharType;
    if (type < MET_CHAR_1 || type > MET_CHAR_4) {
        Line("キャラ：メトロノームキャラクタタイプ変数異常：_metchartypeを初期化しました");
        type = MET_CHAR_1;
        m_metCharType = type;
    }
    const int pose = MetroPose(type, beat, count);
    PostMsg(GetMetronomeIcon(), nullptr, WM_DATACHANGE, 0x50000 | static_cast<WPARAM>(pose),
            kMetronomePlace);
}

void CDataInfo::WakeUpMetro() {
    const CScorp scope("CDataInfo", "WakeUpMetro", CLast::Trace());
    if (GetMetStatus() == MET_STOP) {
        PostMetroMove(kMetroRest);
    } else if (CMetronome* metronome = GetMetronome()) {
        PostMetroMove(metronome->GetMetroBeatCount());
    }
}

void CDataInfo::MoveMetronome() {
    PostMsg(GetMetronomeIcon(), nullptr, WM_DATACHANGE, kKeepFrame, kMetronomePlace);
}

void CDataInfo::MoveTimbre() {
    const Lock lock(m_lock);
    const E_TIMBRE main = m_defTimbre;
    const E_TIMBRE dual = m_dualTimbre;
    LPARAM mainPlace = Place(400, 390);
    LPARAM dualPlace = Place(400, 330);
    if (dual == TIM_NONE) {
        if (main == TIM_PIPEORGAN) {
            mainPlace = Place(400, 330);
        }
    } else {
        mainPlace = Place(290, 390);
        dualPlace = dual == TIM_PIPEORGAN ? Place(400, 330) : Place(510, 390);
    }
    PostMsg(GetTimbreIcon(), nullptr, WM_DATACHANGE, static_cast<WPARAM>(main), mainPlace);
    PostMsg(GetDualIcon(), nullptr, WM_DATACHANGE,
            dual == TIM_NONE ? kIconHidden : static_cast<WPARAM>(dual), dualPlace);
}

void CDataInfo::PostScoreNote(unsigned int note, unsigned int velocity) {
    if (note != kAllNotes && (note < kLowestNote || note >= kLowestNote + kKeys)) {
        CLast::Trace().TraceLine() << "ERROR noteNo = [" << note << "]"
                                   << "\n";
        return;
    }
    if (velocity > 127) {
        CLast::Trace().TraceLine() << "ERROR velocity = [" << velocity << "]"
                                   << "\n";
        return;
    }
    {
        const Lock lock(m_lock);
        if (note == kAllNotes) {
            for (auto& entry : m_scoreDisp) {
                entry = kScoreHidden;
            }
        } else {
            m_scoreDisp[note - kLowestNote] = velocity > 0 ? velocity / 16 : kScoreHidden;
        }
    }
    PeekPostMsg(GetDancingNote(), nullptr, WM_DATACHANGE, 0, 0);
}

void CDataInfo::PostKeyboardNote(unsigned int note, unsigned int velocity) {
    if (note != kAllNotes && (note < kLowestNote || note >= kLowestNote + kKeys)) {
        CLast::Trace().TraceLine() << "ERROR noteNo = [" << note << "]"
                                   << "\n";
        return;
    }
    {
        const Lock lock(m_lock);
        if (note == kAllNotes) {
            for (auto& entry : m_keyboardDisp) {
                entry = 0;
            }
        } else {
            m_keyboardDisp[note - kLowestNote] = velocity > 0 ? 1 : 0;
        }
    }
    PeekPostMsg(GetKeyboard(), nullptr, WM_DATACHANGE, 0, 0);
}

void CDataInfo::PostSeqMemo(const QString& memo) {
    SetSeqMemo(memo, nullptr);
    Notify(GetStereo(), nullptr);
}

void CDataInfo::InputSeqMemo(const QString& memo) {
    SetSeqMemo(memo, nullptr);
}

void CDataInfo::PostAudLevelMeter(E_AUDLEVELOUT left, E_AUDLEVELOUT right) {
    unsigned int packed = 0;
    m_toy.ConbineMessage(left, right, packed);
    PostMsg(GetStereo(), nullptr, WM_AUDLEVEL, packed, 0);
}

void CDataInfo::PostAudTimeDisp(unsigned int milliseconds) {
    const unsigned int minutes = milliseconds / 60000;
    const unsigned int seconds = (milliseconds / 1000) % 60;
    if (minutes > 99) {
        return;
    }
    const QString text = QString::asprintf("%.2u : %.2u", minutes, seconds);
    if (text == GetAudTimeDisp()) {
        return;
    }
    SetAudTimeDisp(text, nullptr);
    Notify(GetStereo(), nullptr);
}

void CDataInfo::PostSeqTimeDisp(unsigned int measure, unsigned int beat, unsigned int) {
    // Counted in 64 bits: a measure at the very top must not wrap round to a small one.
    const unsigned long long shownMeasure = static_cast<unsigned long long>(measure) + 1;
    const unsigned long long shownBeat = static_cast<unsigned long long>(beat) + 1;
    if (shownMeasure > 999) {
        return;
    }
    const QString text = QString::asprintf("%.3llu : %.1llu", shownMeasure, shownBeat);
    if (text == GetSeqTimeDisp()) {
        return;
    }
    SetSeqTimeDisp(text, nullptr);
    Notify(GetStereo(), nullptr);
}

void CDataInfo::PostSpinDataOut(E_SPINOUT_TYPE type) {
    WPARAM command = 0;
    switch (type) {
    case SPINOUT_TEMPO:
        command = ID_SPIN_TEMPO;
        break;
    case SPINOUT_BEAT:
        command = ID_SPIN_BEAT;
        break;
    case SPINOUT_TUNING:
        command = ID_SPIN_TUNING;
        break;
    case SPINOUT_TRANSPOSE:
        command = ID_SPIN_TRANSPOSE;
        break;
    default:
        return;
    }
    // Only the latest command of each kind waits: its handler reads the value current when it
    // runs. Commands of other kinds (another setting, a warning) stay in the queue.
    if (QObject* window = GetSafeHwnd()) {
        CWinMsg::ReplaceMessageById(window, WM_COMMAND, command, 0);
    }
}

// ---------------------------------------------------------------------------------------------
// Whole-state pushes

void CDataInfo::RefreshDlg() {
    const CScorp scope("CDataInfo", "RefreshDlg", CLast::Trace());
    Notify(GetMetronomeDlg(), nullptr);
    Notify(GetConpane(), nullptr);
    Notify(GetStereo(), nullptr);
    Notify(GetReverb(), nullptr);
    PostMsg(GetReverbIcon(), nullptr, WM_DATACHANGE, m_reverb == REVERB_ON ? 1 : 0, kKeepPlace);
    Notify(GetUserMenu(), nullptr);
    PostMetroMove(kMetroRest);
    MoveTimbre();
    MoveMetronome();
    PostKeyboardNote(kAllNotes, 0);
    PostScoreNote(kAllNotes, 0);
    m_toy.PumpMessages();
}

void CDataInfo::RefreshMiddle() {
    const CScorp scope("CDataInfo", "RefreshMiddle", CLast::Trace());
    CMetronome* metronome = GetMetronome();
    CSequencerPlay* player = GetSequencerPlay();
    CSequencerRec* recorder = GetSequencerRec();
    if (metronome != nullptr) {
        metronome->Refresh();
    }
    if (CAudioPlay* audioPlay = GetAudioPlay()) {
        audioPlay->Refresh();
    }
    if (CAudioRec* audioRec = GetAudioRec()) {
        audioRec->Refresh();
    }
    if (player != nullptr) {
        player->Refresh();
    }
    if (recorder != nullptr) {
        recorder->Refresh();
    }

    // Everyone, the piano included, is brought in line with the model, whoever changed what.
    // The piano gets the values current when each message goes out, so a change made
    // meanwhile on the PC is never overtaken by an older value.
    const CConverter& c = m_converter;
    const E_BEAT beat = m_beat;
    const unsigned int tempo = m_tempo;
    const unsigned int main = c.TimbreToProgram(m_defTimbre);
    const unsigned int dual = c.DualTimbreToProgram(m_dualTimbre);
    const unsigned int reverb = c.ReverbToWire(m_reverb);
    const unsigned int brilliance = c.LevelToWire(m_brilliance);
    const unsigned int touch = c.LevelToWire(m_touch);
    const unsigned int transpose = c.TransposeToWire(m_transpose);
    const unsigned int tuning = c.TuningToWire(m_tuning);
    if (metronome != nullptr) {
        metronome->SetBeat(beat);
    }
    if (recorder != nullptr) {
        recorder->SetBeat(c.BeatToTimeSig(beat));
    }
    if (metronome != nullptr) {
        metronome->SetTempo(tempo);
    }
    if (player != nullptr) {
        player->SetTempo(c.TempoToWire(tempo));
    }
    if (recorder != nullptr) {
        recorder->SetTempo(c.TempoToWire(tempo));
    }
    SendToPiano(nullptr, [this](CCtrlPanel& p) {
        p.SetDefTimbre(m_converter.TimbreToProgram(m_defTimbre));
    });
    if (recorder != nullptr) {
        recorder->SetDefTimbre(main);
    }
    SendToPiano(nullptr, [this](CCtrlPanel& p) {
        p.SetDualTimbre(m_converter.DualTimbreToProgram(m_dualTimbre));
    });
    if (recorder != nullptr) {
        recorder->SetDualTimbre(dual);
    }
    SendToPiano(nullptr,
                [this](CCtrlPanel& p) { p.SetReverbOffOn(m_converter.ReverbToWire(m_reverb)); });
    if (recorder != nullptr) {
        recorder->SetReverbOffOn(reverb);
    }
    SendToPiano(nullptr,
                [this](CCtrlPanel& p) { p.SetBrilliance(m_converter.LevelToWire(m_brilliance)); });
    if (recorder != nullptr) {
        recorder->SetBrilliance(brilliance);
    }
    SendToPiano(nullptr,
                [this](CCtrlPanel& p) { p.SetTouchSense(m_converter.LevelToWire(m_touch)); });
    if (recorder != nullptr) {
        recorder->SetTouchSense(touch);
    }
    SendToPiano(nullptr, [this](CCtrlPanel& p) {
        p.SetTranspose(m_converter.TransposeToWire(m_transpose));
    });
    if (recorder != nullptr) {
        recorder->SetTranspose(transpose);
    }
    if (player != nullptr) {
        player->SetKey(static_cast<int>(c.TransposeToWire(m_seqKey)));
    }
    SendToPiano(nullptr,
                [this](CCtrlPanel& p) { p.SetTuning(m_converter.TuningToWire(m_tuning)); });
    if (recorder != nullptr) {
        recorder->SetTuning(tuning);
    }
}

void CDataInfo::Refresh() {
    const CScorp scope("CDataInfo", "Refresh", CLast::Trace());
    RefreshDlg();
    RefreshMiddle();
}

// ---------------------------------------------------------------------------------------------
// The takes

int CDataInfo::SetSeqFileNamePro(const QString& path) {
    CSoundFile* file = m_seqFile;
    return file != nullptr ? file->SetFileName(path) : 0;
}

int CDataInfo::SetAudFileNamePro(const QString& path) {
    CSoundFile* file = m_audFile;
    return file != nullptr ? file->SetFileName(path) : 0;
}

int CDataInfo::ClearSoundFile() {
    const CScorp scope("CDataInfo", "ClearSoundFile", CLast::Trace());
    CSoundFile* seq = m_seqFile;
    if (seq != nullptr && seq->SaveFileDefine(0) == 0) {
        return 0;
    }
    CSoundFile* aud = m_audFile;
    if (aud != nullptr && aud->SaveFileDefine(0) == 0) {
        return 0;
    }
    return 1;
}

int CDataInfo::IsNotRunning() {
    const Lock lock(m_lock);
    CSoundFile* seq = m_seqFile;
    if (seq != nullptr && seq->GetSoundStatus() != SOUND_STOP) {
        return 0;
    }
    CSoundFile* aud = m_audFile;
    if (aud == nullptr) {
        return 1;
    }
    return aud->GetSoundStatus() == SOUND_STOP ? 1 : 0;
}

int CDataInfo::IsAccessSeq() {
    const Lock lock(m_lock);
    CSoundFile* seq = m_seqFile;
    return IsNotRunning() && seq != nullptr && !seq->GetFileName().isEmpty() ? 1 : 0;
}

int CDataInfo::IsAccessAud() {
    const Lock lock(m_lock);
    CSoundFile* aud = m_audFile;
    if (IsNotRunning() && aud != nullptr) {
        return aud->GetFileName().isEmpty() ? 0 : 1;
    }
    return 1;
}

int CDataInfo::IsSaveSeq() {
    const Lock lock(m_lock);
    CSoundFile* seq = m_seqFile;
    return IsAccessSeq() && seq->GetFileFlag() == MODIFIED_DIRTY ? 1 : 0;
}

int CDataInfo::IsSaveAud() {
    const Lock lock(m_lock);
    CSoundFile* aud = m_audFile;
    return IsAccessAud() && aud != nullptr && aud->GetFileFlag() == MODIFIED_DIRTY ? 1 : 0;
}
