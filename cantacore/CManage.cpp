#include "CManage.h"

#include "CAudioCodec.h"
#include "CAudioPlay.h"
#include "CAudioRec.h"
#include "CCheckUSBdev.h"
#include "CCtrlPanel.h"
#include "CFusion.h"
#include "CLast.h"
#include "CMetronome.h"
#include "CScorp.h"
#include "CSequencerPlay.h"
#include "CSequencerRec.h"
#include "CTrace.h"
#include "CWinMsg.h"

#include <QFileInfo>
#include <algorithm>
#include <cstdint>

namespace {

const QString kCaption = QStringLiteral("メッセージ");
const QString kBusyAudio = QStringLiteral("予期せぬエラーが発生しました。(2)");
const QString kBusyMidi = QStringLiteral("予期せぬエラーが発生しました。(6)");
const QString kChooseMidi = QStringLiteral("アルバムからMIDIファイルを選んでください。");
const QString kChooseAudio = QStringLiteral("アルバムからオーディオファイルを選んでください。");
const QString kReplaceTake =
    QStringLiteral("現在の録音内容は保存されていませんが、\r\n新しく録音をはじめますか？");
const QString kNotNow = QStringLiteral("録音／再生中は、この操作はできません。");
const QString kSeqSaveFailed = QStringLiteral("MIDIファイルの保存に失敗しました。");
const QString kAudSaveFailed = QStringLiteral("オーディオファイルの保存に失敗しました。");
const QString kMemoToFile = QStringLiteral("メモの内容をファイルに保存します。");
const QString kNoAudioDevice =
    QStringLiteral("オーディオデバイスを使用することができません。\r\nZQ31本体"
                   "と正しく接続されているかを確認してください。");
const QString kVersionLow = QStringLiteral("予期せぬエラーが発生しました。(19)");
const QString kVersionHigh = QStringLiteral("予期せぬエラーが発生しました。(20)");

void Line(const char* text) {
    CLast::Trace().TraceLine() << text << "\n";
}

// The result written to the trace as every operation ends.
class CResultTrace {
public:
    explicit CResultTrace(const CVeskError& result) : m_result(result) {}
    CResultTrace(const CResultTrace&) = delete;
    CResultTrace& operator=(const CResultTrace&) = delete;
    ~CResultTrace() {
        CLast::Trace().TraceLine() << "result " << static_cast<int>(m_result.GetCode()) << " "
                                   << m_result.GetStr() << "\n";
    }

private:
    const CVeskError& m_result;
};

CVeskError Error(E_ERR_VESK code, const QString& text) {
    CVeskError error;
    error.SetCode(code, text);
    return error;
}

bool EndsWith(const QString& name, std::initializer_list<const char*> extensions) {
    for (const char* extension : extensions) {
        if (name.right(4).compare(QLatin1String(extension), Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

// The audio workers' steps. A worker that is not there fails as a missing device does.
CVeskError NoAudioDevice() {
    return Error(ERR_VESK_FAILED, kNoAudioDevice);
}

CVeskError PlayerStart(CAudioPlay* player) {
    return player != nullptr ? player->Start() : NoAudioDevice();
}

CVeskError PlayerStop(CAudioPlay* player) {
    return player != nullptr ? player->Stop() : NoAudioDevice();
}

CVeskError PlayerFirst(CAudioPlay* player) {
    return player != nullptr ? player->First() : NoAudioDevice();
}

CVeskError PlayerRewind(CAudioPlay* player) {
    return player != nullptr ? player->Rewind() : NoAudioDevice();
}

CVeskError PlayerForward(CAudioPlay* player) {
    return player != nullptr ? player->Forward() : NoAudioDevice();
}

void PlayerSetFileName(CAudioPlay* player, const QString& path) {
    if (player != nullptr) {
        player->SetFileName(path);
    }
}

CVeskError RecorderStart(CAudioRec* recorder, const QString& path) {
    if (recorder == nullptr) {
        return NoAudioDevice();
    }
    const CVeskError named = recorder->SetFileName(path);
    if (named != ERR_VESK_OK) {
        return named;
    }
    return recorder->Start();
}

CVeskError RecorderStop(CAudioRec* recorder) {
    return recorder != nullptr ? recorder->Stop() : NoAudioDevice();
}

} // namespace

CManage::CManage() = default;

CManage::~CManage() {
    // A manager that goes without an orderly Terminate still ends its threads before the
    // model they report to.
    if (m_watch != nullptr) {
        delete m_watch;
        m_watch = nullptr;
        DestroyWorkers();
    }
}

// ---------------------------------------------------------------------------------------------
// Start and end

CVeskError CManage::Initialize() {
    const CScorp scope("CManage", "Initialize", CLast::Trace());
    CVeskError result;
    const CResultTrace trace(result);
    if (m_watch != nullptr) {
        return result;
    }
    m_watch = new CCheckUSBdev;

    auto* panel = new CCtrlPanel;
    SetCtrlPanel(panel);
    if (GetCtrlPanel() != nullptr) {
        GetCtrlPanel()->Initialize();
    }
    auto* player = new CSequencerPlay;
    SetSequencerPlay(player);
    if (GetSequencerPlay() != nullptr) {
        GetSequencerPlay()->Initialize();
    }
    auto* recorder = new CSequencerRec;
    SetSequencerRec(recorder);
    if (GetSequencerRec() != nullptr) {
        GetSequencerRec()->Initialize();
    }
    auto* audioPlay = new CAudioPlay;
    SetAudioPlay(audioPlay);
    if (GetAudioPlay() != nullptr) {
        GetAudioPlay()->Initialize();
    }
    auto* audioRec = new CAudioRec;
    SetAudioRec(audioRec);
    if (GetAudioRec() != nullptr) {
        GetAudioRec()->Initialize();
    }
    auto* metronome = new CMetronome;
    SetMetronome(metronome);
    if (GetMetronome() != nullptr) {
        GetMetronome()->Initialize();
    }
    PostSeqTimeDisp(0, 0, 0);
    PostAudTimeDisp(0);
    return result;
}

CVeskError CManage::Terminate() {
    const CScorp scope("CManage", "Terminate", CLast::Trace());
    CVeskError result;
    const CResultTrace trace(result);
    // A take is written only when its recording stops: ended first, so the question below is
    // about what was played and no worker is torn down in the middle of a take.
    if (AudState() == SOUND_REC) {
        MixStop();
    }
    if (SeqState() == SOUND_REC) {
        SeqStop();
    }
    if (ClearSoundFile() != 1) {
        result.SetCode(ERR_VESK_REFUSED, QString());
        return result;
    }
    delete m_watch;
    m_watch = nullptr;
    DestroyWorkers();
    return result;
}

void CManage::DestroyWorkers() {
    if (CCtrlPanel* panel = GetCtrlPanel()) {
        panel->Terminate();
        SetCtrlPanel(nullptr);
        delete panel;
    }
    if (CSequencerPlay* player = GetSequencerPlay()) {
        player->Terminate();
        SetSequencerPlay(nullptr);
        delete player;
    }
    if (CSequencerRec* recorder = GetSequencerRec()) {
        recorder->Terminate();
        SetSequencerRec(nullptr);
        delete recorder;
    }
    if (CAudioPlay* audioPlay = GetAudioPlay()) {
        audioPlay->Terminate();
        SetAudioPlay(nullptr);
        delete audioPlay;
    }
    if (CAudioRec* audioRec = GetAudioRec()) {
        audioRec->Terminate();
        SetAudioRec(nullptr);
        delete audioRec;
    }
    if (CMetronome* metronome = GetMetronome()) {
        metronome->Terminate();
        SetMetronome(nullptr);
        delete metronome;
    }
}

// ---------------------------------------------------------------------------------------------
// Helpers

SOUND_STATUS CManage::SeqState() const {
    CSoundFile* file = GetSeqFile();
    return file != nullptr ? file->GetSoundStatus() : SOUND_STOP;
}

SOUND_STATUS CManage::AudState() const {
    CSoundFile* file = GetAudFile();
    return file != nullptr ? file->GetSoundStatus() : SOUND_STOP;
}

bool CManage::SeqNameOk() const {
    CSoundFile* file = GetSeqFile();
    return file != nullptr && EndsWith(file->GetFileName(), {".mid"});
}

bool CManage::AudNameOk() const {
    CSoundFile* file = GetAudFile();
    return file != nullptr && EndsWith(file->GetFileName(), {".wav", ".mp3", ".wma"});
}

void CManage::RefreshRecorder() {
    if (QObject* stereo = GetStereo()) {
        CWinMsg::PostMessage(stereo, WM_DATACHANGE, 0, 0);
    }
}

void CManage::ClearNotes() {
    PostScoreNote(kAllNotes, 0);
}

void CManage::Show(const QString& text) {
    CLast::Fusion().ShowMessage(text, MB_OK, kCaption);
}

bool CManage::Failed(const CVeskError& result) {
    if (result.GetCode() == ERR_VESK_OK) {
        return false;
    }
    Show(result.GetStr());
    return true;
}

CVeskError CManage::StopMetronome() {
    CVeskError result;
    CMetronome* metronome = GetMetronome();
    if (metronome == nullptr || GetMetStatus() != MET_START) {
        return result;
    }
    result = metronome->Stop();
    if (Failed(result)) {
        return result;
    }
    SetMetStatus(MET_STOP, nullptr);
    result = metronome->Reset();
    Failed(result);
    return result;
}

CVeskError CManage::AskReplace(CSoundFile* take) {
    CVeskError result;
    if (take->GetFileFlag() != MODIFIED_DIRTY) {
        return result;
    }
    const QString name = take->GetFileName();
    if (CLast::Fusion().ShowMessage(kReplaceTake, MB_YESNO, kCaption) != IDYES) {
        result.SetCode(ERR_VESK_REFUSED, kReplaceTake);
        return result;
    }
    // The window loop runs under the question: by the answer a transport may have started or
    // another file may have become the take. Nothing is deleted then, and nothing starts.
    if (SeqState() != SOUND_STOP || AudState() != SOUND_STOP) {
        Show(kNotNow);
        result.SetCode(ERR_VESK_REFUSED, kNotNow);
        return result;
    }
    if (take->GetFileName() != name || take->GetFileFlag() != MODIFIED_DIRTY) {
        result.SetCode(ERR_VESK_REFUSED, kReplaceTake);
        return result;
    }
    // A take that could not be deleted is kept; the user was told why.
    if (take->DeleteFileA() != 1) {
        result.SetCode(ERR_VESK_REFUSED, kReplaceTake);
    }
    return result;
}

// ---------------------------------------------------------------------------------------------
// The MIDI take

CVeskError CManage::SeqRec() {
    const CScorp scope("CManage", "SeqRec", CLast::Trace());
    CVeskError result;
    const CResultTrace trace(result);
    CSoundFile* take = GetSeqFile();
    CSequencerRec* recorder = GetSequencerRec();
    if (SeqState() != SOUND_STOP) {
        RefreshRecorder();
        return result;
    }
    if (AudState() != SOUND_STOP) {
        Show(kBusyAudio);
        RefreshRecorder();
        result.SetCode(ERR_VESK_REFUSED, kBusyAudio);
        return result;
    }
    if (take == nullptr || recorder == nullptr) {
        result = Error(ERR_VESK_NO_DATA, QStringLiteral("no data failed."));
        return result;
    }
    ClearNotes();
    result = AskReplace(take);
    if (result != ERR_VESK_OK) {
        return result;
    }
    const QString name = take->MakeFileName();
    if (name.isEmpty()) {
        // The previous take is still there and unsaved: recording now would lose it.
        result.SetCode(ERR_VESK_REFUSED, kReplaceTake);
        return result;
    }
    recorder->SetFileName(name);
    SetSeqMemo(QString(), nullptr);
    result = recorder->Start();
    if (Failed(result)) {
        take->DeleteFileA();
        RefreshRecorder();
        return result;
    }
    SetSeqStatus(SOUND_REC, nullptr);
    RefreshRecorder();
    return result;
}

CVeskError CManage::SeqStop() {
    const CScorp scope("CManage", "SeqStop", CLast::Trace());
    CVeskError result;
    const CResultTrace trace(result);
    CSoundFile* take = GetSeqFile();
    if (!SeqNameOk() || AudState() != SOUND_STOP) {
        RefreshRecorder();
        return result;
    }
    ClearNotes();
    CSequencerPlay* player = GetSequencerPlay();
    if (SeqState() == SOUND_REC) {
        CSequencerRec* recorder = GetSequencerRec();
        if (recorder != nullptr) {
            result = recorder->Stop();
        }
        if (result == ERR_VESK_MIDI_SAVE) {
            SetSeqStatus(SOUND_STOP, nullptr);
            take->DeleteFileA();
            PostSeqTimeDisp(0, 0, 0);
            RefreshRecorder();
            return result;
        }
        if (Failed(result)) {
            return result;
        }
        SetSeqStatus(SOUND_STOP, nullptr);
        if (player != nullptr) {
            player->SetFileName(take->GetFileName());
            result = player->First();
            if (Failed(result)) {
                return result;
            }
        }
    } else if (SeqState() == SOUND_PLAY) {
        if (player != nullptr) {
            result = player->Stop();
            if (Failed(result)) {
                return result;
            }
        }
        SetSeqStatus(SOUND_STOP, nullptr);
    }
    RefreshRecorder();
    return result;
}

CVeskError CManage::SeqPlay() {
    const CScorp scope("CManage", "SeqPlay", CLast::Trace());
    CVeskError result;
    const CResultTrace trace(result);
    if (!SeqNameOk()) {
        Show(kChooseMidi);
        result.SetCode(ERR_VESK_REFUSED, kChooseMidi);
        return result;
    }
    if (AudState() != SOUND_STOP) {
        Show(kBusyAudio);
        result.SetCode(ERR_VESK_REFUSED, kBusyAudio);
        return result;
    }
    if (SeqState() != SOUND_STOP) {
        return result;
    }
    result = StopMetronome();
    if (result != ERR_VESK_OK) {
        return result;
    }
    CSequencerPlay* player = GetSequencerPlay();
    if (player == nullptr) {
        result = Error(ERR_VESK_NO_DATA, QStringLiteral("no data failed."));
        return result;
    }
    result = player->Start();
    if (Failed(result)) {
        return result;
    }
    SetSeqStatus(SOUND_PLAY, nullptr);
    return result;
}

CVeskError CManage::SeqFirst() {
    const CScorp scope("CManage", "SeqFirst", CLast::Trace());
    CVeskError result;
    const CResultTrace trace(result);
    if (!SeqNameOk()) {
        PostSeqTimeDisp(0, 0, 0);
        return result;
    }
    if (AudState() != SOUND_STOP || SeqState() == SOUND_REC) {
        return result;
    }
    CSequencerPlay* player = GetSequencerPlay();
    if (player == nullptr) {
        result = Error(ERR_VESK_NO_DATA, QStringLiteral("no data failed."));
        return result;
    }
    ClearNotes();
    if (SeqState() == SOUND_PLAY) {
        result = player->Stop();
        if (Failed(result)) {
            return result;
        }
        SetSeqStatus(SOUND_STOP, nullptr);
        result = player->First();
        if (Failed(result)) {
            return result;
        }
        result = player->Start();
        if (Failed(result)) {
            return result;
        }
        SetSeqStatus(SOUND_PLAY, nullptr);
    } else {
        result = player->First();
        Failed(result);
    }
    return result;
}

CVeskError CManage::SeqRewind() {
    const CScorp scope("CManage", "SeqRewind", CLast::Trace());
    CVeskError result;
    const CResultTrace trace(result);
    if (!SeqNameOk() || AudState() != SOUND_STOP || SeqState() == SOUND_REC) {
        return result;
    }
    CSequencerPlay* player = GetSequencerPlay();
    if (player == nullptr) {
        return result;
    }
    ClearNotes();
    if (SeqState() == SOUND_PLAY) {
        result = player->Stop();
        if (Failed(result)) {
            return result;
        }
        SetSeqStatus(SOUND_STOP, nullptr);
        PostStop();
    }
    result = player->Rewind();
    Failed(result);
    return result;
}

CVeskError CManage::SeqForward() {
    const CScorp scope("CManage", "SeqForward", CLast::Trace());
    CVeskError result;
    const CResultTrace trace(result);
    if (!SeqNameOk() || AudState() != SOUND_STOP || SeqState() == SOUND_REC) {
        return result;
    }
    CSequencerPlay* player = GetSequencerPlay();
    if (player == nullptr) {
        return result;
    }
    ClearNotes();
    if (SeqState() == SOUND_PLAY) {
        result = player->Stop();
        if (Failed(result)) {
            return result;
        }
        SetSeqStatus(SOUND_STOP, nullptr);
        PostStop();
    }
    result = player->Forward();
    Failed(result);
    return result;
}

// ---------------------------------------------------------------------------------------------
// The audio take

CVeskError CManage::AudRec() {
    const CScorp scope("CManage", "AudRec", CLast::Trace());
    CVeskError result;
    const CResultTrace trace(result);
    CSoundFile* take = GetAudFile();
    if (SeqState() != SOUND_STOP) {
        Show(kBusyMidi);
        RefreshRecorder();
        result.SetCode(ERR_VESK_REFUSED, kBusyMidi);
        return result;
    }
    if (AudState() != SOUND_STOP) {
        RefreshRecorder();
        return result;
    }
    if (take == nullptr) {
        result = Error(ERR_VESK_NO_DATA, QStringLiteral("no data failed."));
        return result;
    }
    result = AskReplace(take);
    if (result != ERR_VESK_OK) {
        return result;
    }
    result = StopMetronome();
    if (result != ERR_VESK_OK) {
        return result;
    }
    const QString name = take->MakeFileName();
    if (name.isEmpty()) {
        result.SetCode(ERR_VESK_REFUSED, kReplaceTake);
        return result;
    }
    result = RecorderStart(GetAudioRec(), name);
    if (Failed(result)) {
        take->DeleteFileA();
        RefreshRecorder();
        return result;
    }
    SetAudStatus(SOUND_REC, nullptr);
    RefreshRecorder();
    return result;
}

CVeskError CManage::AudStop() {
    const CScorp scope("CManage", "AudStop", CLast::Trace());
    CVeskError result;
    const CResultTrace trace(result);
    if (!AudNameOk() || SeqState() != SOUND_STOP) {
        RefreshRecorder();
        return result;
    }
    if (AudState() == SOUND_REC) {
        result = RecorderStop(GetAudioRec());
        if (Failed(result)) {
            return result;
        }
        SetAudStatus(SOUND_STOP, nullptr);
        PlayerSetFileName(GetAudioPlay(), GetAudFile()->GetFileName());
        PostAudLevelMeter(AUDLEVELOUT_MIN, AUDLEVELOUT_MIN);
    } else if (AudState() == SOUND_PLAY) {
        result = PlayerStop(GetAudioPlay());
        if (Failed(result)) {
            return result;
        }
        SetAudStatus(SOUND_STOP, nullptr);
        PostAudLevelMeter(AUDLEVELOUT_MIN, AUDLEVELOUT_MIN);
    }
    RefreshRecorder();
    return result;
}

CVeskError CManage::AudPlay() {
    const CScorp scope("CManage", "AudPlay", CLast::Trace());
    CVeskError result;
    const CResultTrace trace(result);
    if (!AudNameOk()) {
        Show(kChooseAudio);
        result.SetCode(ERR_VESK_REFUSED, kChooseAudio);
        return result;
    }
    if (SeqState() != SOUND_STOP || AudState() != SOUND_STOP) {
        return result;
    }
    result = StopMetronome();
    if (result != ERR_VESK_OK) {
        return result;
    }
    result = PlayerStart(GetAudioPlay());
    if (Failed(result)) {
        return result;
    }
    SetAudStatus(SOUND_PLAY, nullptr);
    return result;
}

CVeskError CManage::AudFirst() {
    const CScorp scope("CManage", "AudFirst", CLast::Trace());
    CVeskError result;
    const CResultTrace trace(result);
    if (!AudNameOk()) {
        PostAudTimeDisp(0);
        return result;
    }
    if (SeqState() != SOUND_STOP || AudState() == SOUND_REC) {
        return result;
    }
    CAudioPlay* player = GetAudioPlay();
    if (AudState() == SOUND_PLAY) {
        result = PlayerStop(player);
        if (Failed(result)) {
            return result;
        }
        SetAudStatus(SOUND_STOP, nullptr);
        result = PlayerFirst(player);
        if (Failed(result)) {
            return result;
        }
        result = PlayerStart(player);
        if (Failed(result)) {
            return result;
        }
        SetAudStatus(SOUND_PLAY, nullptr);
    } else {
        result = PlayerFirst(player);
        if (Failed(result)) {
            return result;
        }
    }
    PostAudLevelMeter(AUDLEVELOUT_MIN, AUDLEVELOUT_MIN);
    return result;
}

CVeskError CManage::AudRewind() {
    const CScorp scope("CManage", "AudRewind", CLast::Trace());
    CVeskError result;
    const CResultTrace trace(result);
    if (!AudNameOk() || SeqState() != SOUND_STOP || AudState() == SOUND_REC) {
        return result;
    }
    CAudioPlay* player = GetAudioPlay();
    if (AudState() == SOUND_PLAY) {
        result = PlayerStop(player);
        if (Failed(result)) {
            return result;
        }
        SetAudStatus(SOUND_STOP, nullptr);
        PostAudLevelMeter(AUDLEVELOUT_MIN, AUDLEVELOUT_MIN);
        PostStop();
    }
    result = PlayerRewind(player);
    Failed(result);
    return result;
}

CVeskError CManage::AudForward() {
    const CScorp scope("CManage", "AudForward", CLast::Trace());
    CVeskError result;
    const CResultTrace trace(result);
    if (!AudNameOk() || SeqState() != SOUND_STOP || AudState() == SOUND_REC) {
        return result;
    }
    CAudioPlay* player = GetAudioPlay();
    if (AudState() == SOUND_PLAY) {
        result = PlayerStop(player);
        if (Failed(result)) {
            return result;
        }
        SetAudStatus(SOUND_STOP, nullptr);
        PostAudLevelMeter(AUDLEVELOUT_MIN, AUDLEVELOUT_MIN);
        PostStop();
    }
    result = PlayerForward(player);
    // Clamped at the end: the position is valid, nothing to tell.
    if (result != ERR_VESK_PAST_END) {
        Failed(result);
    }
    return result;
}

// ---------------------------------------------------------------------------------------------
// The mix: the piano's sound recorded while a MIDI file plays into it

CVeskError CManage::MixRec() {
    const CScorp scope("CManage", "MixRec", CLast::Trace());
    CVeskError result;
    const CResultTrace trace(result);
    if (!SeqNameOk()) {
        Show(kChooseMidi);
        RefreshRecorder();
        result.SetCode(ERR_VESK_REFUSED, kChooseMidi);
        return result;
    }
    if (SeqState() != SOUND_STOP || AudState() != SOUND_STOP) {
        RefreshRecorder();
        return result;
    }
    CSoundFile* take = GetAudFile();
    CSequencerPlay* player = GetSequencerPlay();
    if (take == nullptr || player == nullptr) {
        result = Error(ERR_VESK_NO_DATA, QStringLiteral("no data failed."));
        return result;
    }
    ClearNotes();
    result = AskReplace(take);
    if (result != ERR_VESK_OK) {
        return result;
    }
    result = StopMetronome();
    if (result != ERR_VESK_OK) {
        return result;
    }
    result = player->First();
    if (Failed(result)) {
        return result;
    }
    const QString name = take->MakeFileName();
    if (name.isEmpty()) {
        result.SetCode(ERR_VESK_REFUSED, kReplaceTake);
        return result;
    }
    // The recorder runs before the first note, so the mix holds the whole song.
    result = RecorderStart(GetAudioRec(), name);
    if (Failed(result)) {
        take->DeleteFileA();
        RefreshRecorder();
        return result;
    }
    SetAudStatus(SOUND_REC, nullptr);
    result = player->Start();
    if (Failed(result)) {
        // The audio recording goes on; MixStop ends it and keeps what it holds.
        return result;
    }
    SetSeqStatus(SOUND_PLAY, nullptr);
    RefreshRecorder();
    return result;
}

CVeskError CManage::MixStop() {
    const CScorp scope("CManage", "MixStop", CLast::Trace());
    CVeskError result;
    const CResultTrace trace(result);
    const SOUND_STATUS seq = SeqState();
    const SOUND_STATUS aud = AudState();
    if (!AudNameOk()) {
        RefreshRecorder();
        return result;
    }
    if (seq == SOUND_REC) {
        Line("MixStop内でエラー検出：シーケンサが録音中");
        RefreshRecorder();
        return result;
    }
    if (seq == SOUND_PLAY && aud != SOUND_REC) {
        Line("MixStop内でエラー検出：シーケンサ再生中にオーディオが録音されていない");
        RefreshRecorder();
        return result;
    }
    if (seq == SOUND_STOP && aud == SOUND_STOP) {
        RefreshRecorder();
        return result;
    }
    ClearNotes();
    if (seq == SOUND_PLAY) {
        if (CSequencerPlay* player = GetSequencerPlay()) {
            result = player->Stop();
            if (Failed(result)) {
                return result;
            }
        }
        SetSeqStatus(SOUND_STOP, nullptr);
    }
    if (aud == SOUND_REC) {
        result = RecorderStop(GetAudioRec());
        if (Failed(result)) {
            return result;
        }
        SetAudStatus(SOUND_STOP, nullptr);
        PostAudLevelMeter(AUDLEVELOUT_MIN, AUDLEVELOUT_MIN);
        PlayerSetFileName(GetAudioPlay(), GetAudFile()->GetFileName());
    } else if (aud == SOUND_PLAY) {
        result = PlayerStop(GetAudioPlay());
        if (Failed(result)) {
            return result;
        }
        SetAudStatus(SOUND_STOP, nullptr);
        PostAudLevelMeter(AUDLEVELOUT_MIN, AUDLEVELOUT_MIN);
    }
    RefreshRecorder();
    return result;
}

// ---------------------------------------------------------------------------------------------
// The metronome

CVeskError CManage::MetroStartStop() {
    const CScorp scope("CManage", "MetroStart", CLast::Trace());
    CVeskError result;
    const CResultTrace trace(result);
    if (AudState() != SOUND_STOP) {
        Show(kNotNow);
        result.SetCode(ERR_VESK_REFUSED, kNotNow);
        return result;
    }
    CMetronome* metronome = GetMetronome();
    if (metronome == nullptr) {
        result = Error(ERR_VESK_NO_DATA, QStringLiteral("no data failed."));
        return result;
    }
    if (GetMetStatus() == MET_STOP) {
        result = metronome->Start();
        if (Failed(result)) {
            return result;
        }
        SetMetStatus(MET_START, nullptr);
    } else {
        result = StopMetronome();
    }
    return result;
}

CVeskError CManage::MetroStart() {
    const CScorp scope("CManage", "MetroStart", CLast::Trace());
    CVeskError result;
    const CResultTrace trace(result);
    CMetronome* metronome = GetMetronome();
    if (AudState() != SOUND_STOP || metronome == nullptr || GetMetStatus() != MET_STOP) {
        return result;
    }
    result = metronome->Start();
    if (Failed(result)) {
        return result;
    }
    SetMetStatus(MET_START, nullptr);
    return result;
}

CVeskError CManage::MetroStop() {
    const CScorp scope("CManage", "MetroStop", CLast::Trace());
    CVeskError result;
    const CResultTrace trace(result);
    if (AudState() != SOUND_STOP) {
        return result;
    }
    result = StopMetronome();
    return result;
}

// ---------------------------------------------------------------------------------------------
// Saving takes and choosing files

CVeskError CManage::SeqSave() {
    const CScorp scope("CManage", "SeqSave", CLast::Trace());
    CVeskError result;
    const CResultTrace trace(result);
    CSoundFile* take = GetSeqFile();
    // Saving moves the file its recorder is still writing.
    if (SeqState() == SOUND_REC) {
        Show(kNotNow);
        result.SetCode(ERR_VESK_REFUSED, kNotNow);
        return result;
    }
    if (take != nullptr && take->SaveFileDefine(1) != 0) {
        SetSeqFileName(take->GetFileName());
    } else {
        result.SetCode(ERR_VESK_FAILED, kSeqSaveFailed);
    }
    RefreshRecorder();
    return result;
}

CVeskError CManage::AudSave() {
    const CScorp scope("CManage", "AudSave", CLast::Trace());
    CVeskError result;
    const CResultTrace trace(result);
    CSoundFile* take = GetAudFile();
    // Saving moves the file its recorder is still writing.
    if (AudState() == SOUND_REC) {
        Show(kNotNow);
        result.SetCode(ERR_VESK_REFUSED, kNotNow);
        return result;
    }
    if (take != nullptr && take->SaveFileDefine(1) != 0) {
        SetAudFileName(take->GetFileName());
    } else {
        result.SetCode(ERR_VESK_FAILED, kAudSaveFailed);
    }
    RefreshRecorder();
    return result;
}

int CManage::SetSeqFileName(const QString& path) {
    const CScorp scope("CManage", "SetSeqFileName", CLast::Trace());
    SeqStop();
    SeqFirst();
    PostStop();
    const int taken = SetSeqFileNamePro(path);
    if (taken == 1) {
        if (CSequencerPlay* player = GetSequencerPlay()) {
            player->SetFileName(path);
        }
        if (CSequencerRec* recorder = GetSequencerRec()) {
            recorder->SetFileName(path);
        }
    }
    return taken;
}

int CManage::SetAudFileName(const QString& path) {
    const CScorp scope("CManage", "SetAudFileName", CLast::Trace());
    AudStop();
    AudFirst();
    PostAudLevelMeter(AUDLEVELOUT_MIN, AUDLEVELOUT_MIN);
    PostStop();
    const int taken = SetAudFileNamePro(path);
    if (taken == 1) {
        PlayerSetFileName(GetAudioPlay(), path);
        if (CAudioRec* recorder = GetAudioRec()) {
            recorder->SetFileName(path);
        }
    }
    return taken;
}

QString CManage::GetAlbumSMFMemo(const QString& path) {
    const CScorp scope("CManage", "GetAlbumSMFMemo", CLast::Trace());
    CCtrlPanel* panel = GetCtrlPanel();
    return panel != nullptr ? panel->GetMemo(path) : QString();
}

CVeskError CManage::WhatAllStop(int show, int rewind) {
    const CScorp scope("CManage", "WhatAllStop", CLast::Trace());
    CVeskError result;
    const CResultTrace trace(result);
    if (GetSeqFile() == nullptr || GetAudFile() == nullptr) {
        return result;
    }
    if (SeqState() == SOUND_STOP && AudState() == SOUND_STOP) {
        if (rewind != 0) {
            SeqFirst();
            AudFirst();
        }
        return result;
    }
    if (show == 1) {
        Show(kNotNow);
    }
    result.SetCode(ERR_VESK_REFUSED, kNotNow);
    return result;
}

int CManage::SetMemo(const QString& memo) {
    const CScorp scope("CManage", "SetMemo", CLast::Trace());
    if (memo == GetSeqMemo()) {
        return 1;
    }
    CSoundFile* take = GetSeqFile();
    // A saved take gets the memo written into its album file: the user is told so first.
    if (take != nullptr && !take->GetFileName().isEmpty() &&
        take->GetFileFlag() == MODIFIED_CLEAN) {
        Show(kMemoToFile);
    }
    SetSeqMemo(memo, nullptr);
    return 1;
}

// ---------------------------------------------------------------------------------------------
// Compression

CVeskError CManage::CompressEncode(const QString& path, QWidget* owner) {
    const CScorp scope("CManage", "CompressEncode", CLast::Trace());
    CVeskError result;
    const CResultTrace trace(result);
    CFusion& fusion = CLast::Fusion();
    if (path.isEmpty()) {
        const QString text = QStringLiteral("予期せぬエラーが発生しました。(18)");
        Show(text);
        result.SetCode(ERR_VESK_REFUSED, text);
        return result;
    }
    if (fusion.ShowMessage(
            QStringLiteral(
                "オーディオファイルを圧縮します。\r\n（処理に時間がかかることがあります。）"),
            MB_OKCANCEL, kCaption) != IDOK) {
        // Declined: nothing was compressed, which the caller must not take for success.
        result.SetCode(ERR_VESK_REFUSED, QString());
        return result;
    }
    if (!EndsWith(path, {".wav"})) {
        const QString text = QStringLiteral("予期せぬエラーが発生しました。(11)");
        Show(text);
        result.SetCode(ERR_VESK_REFUSED, text);
        return result;
    }
    QString base = path.left(path.size() - 4);
    // Only a slash ends a folder here; a backslash is part of the name.
    base = base.mid(base.lastIndexOf(QLatin1Char('/')) + 1);
    QString extension = QStringLiteral(".wma");
    if (GetCompressType() == COMPRESS_MP3) {
        extension = QStringLiteral(".mp3");
    } else if (GetCompressType() != COMPRESS_WMA) {
        Line("CompressEncode::圧縮タイプエラー");
    }
    const QString target = CVeskToy().DataFile(base + extension);
    if (QFileInfo::exists(target) &&
        fusion.ShowMessage(
            QStringLiteral(
                "既に同じ名前のファイルがあります。\r\n上書き保存してもよろしいですか？"),
            MB_YESNO, kCaption) != IDYES) {
        result.SetCode(ERR_VESK_REFUSED, QString());
        return result;
    }
    fusion.ShowWaiting(owner, true);
    {
        CAudioCodec codec;
        m_codec = &codec;
        result = codec.AudioCompress(path, target);
        m_codec = nullptr;
    }
    fusion.ShowWaiting(owner, false);
    // The waiting window takes no texts here, so the outcome is told in a message of its own.
    Show(result == ERR_VESK_OK ? QStringLiteral("ファイル圧縮が正常に終了しました。")
                               : QStringLiteral("ファイル圧縮処理でエラーが発生しました。"));
    return result;
}

double CManage::CompressProgress() const {
    return m_codec != nullptr ? m_codec->GetProgress() : -1.0;
}

// ---------------------------------------------------------------------------------------------
// Favourites

CVeskError CManage::SaveVeskFile(VESK_DATA* data) {
    const CScorp scope("CManage", "SaveVeskFile", CLast::Trace());
    CVeskError result;
    const CResultTrace trace(result);
    if (data == nullptr) {
        return result;
    }
    const CConverter& convert = Converter();
    data->version = VESK_DATA::kVersion;
    data->mainVoice = convert.TimbreToProgram(GetDefTimbre());
    data->dualVoice = convert.DualTimbreToProgram(GetDualTimbre());
    data->timeSig = convert.BeatToTimeSig(GetBeat());
    data->tempo = convert.TempoToWire(GetTempo());
    data->reverb = convert.ReverbToWire(GetReverbOffOn());
    data->brilliance = convert.LevelToWire(GetBrilliance());
    data->touchSense = convert.LevelToWire(GetTouchSense());
    data->transpose = convert.TransposeToWire(GetTranspose());
    data->seqKey = convert.TransposeToWire(GetSeqKey());
    data->tuning = convert.TuningToWire(GetTuning());
    data->metroCharType = static_cast<std::uint32_t>(GetMetroCharType());
    data->compressType = static_cast<std::uint32_t>(GetCompressType());
    data->frostedStyle = static_cast<std::uint32_t>(GetFrostedStyle());
    return result;
}

CVeskError CManage::LoadVeskFile(VESK_DATA* data) {
    const CScorp scope("CManage", "LoadVeskFile", CLast::Trace());
    CVeskError result;
    const CResultTrace trace(result);
    if (data == nullptr) {
        result = Error(ERR_VESK_NO_DATA, QStringLiteral("no data failed."));
        return result;
    }
    // A version that does not compare (NaN) counts as too old.
    if (!(data->version >= VESK_DATA::kVersion)) {
        Show(kVersionLow);
        result.SetCode(ERR_VESK_REFUSED, kVersionLow);
        return result;
    }
    if (data->version > VESK_DATA::kVersion) {
        Show(kVersionHigh);
        result.SetCode(ERR_VESK_REFUSED, kVersionHigh);
        return result;
    }
    const CConverter& convert = Converter();
    const auto raw = [](std::uint32_t value) { return static_cast<std::int32_t>(value); };
    SetDefTimbre(convert.ProgramToTimbre(data->mainVoice), nullptr);
    SetDualTimbre(convert.ProgramToDualTimbre(data->dualVoice), nullptr);
    SetBeat(convert.TimeSigToBeat(data->timeSig), nullptr);
    SetTempo(convert.WireToTempo(data->tempo), nullptr);
    SetReverbOffOn(convert.WireToReverb(data->reverb), nullptr);
    SetBrilliance(static_cast<E_BRILLIANCE>(convert.WireToLevel(data->brilliance)), nullptr);
    SetTouchSense(static_cast<E_TOUCHSENSE>(convert.WireToLevel(data->touchSense)), nullptr);
    SetTranspose(static_cast<E_TRANSPOSE>(convert.WireToTranspose(data->transpose)), nullptr);
    SetSeqKey(static_cast<E_SEQKEY>(convert.WireToTranspose(data->seqKey)), nullptr);
    SetTuning(convert.WireToTuning(data->tuning), nullptr);
    SetMetroCharType(static_cast<E_METROCHARTYPE>(raw(data->metroCharType)), nullptr);
    SetCompressType(static_cast<E_COMPRESS_TYPE>(raw(data->compressType)), nullptr);
    SetFrostedStyle(static_cast<FROSTED_STYLE>(raw(data->frostedStyle)));
    return result;
}
