#include "CSysinfo.h"

#include "CAudioPlay.h"
#include "CAudioRec.h"
#include "CLast.h"
#include "CMetronome.h"
#include "CScorp.h"
#include "CSequencerPlay.h"
#include "CSequencerRec.h"
#include "CTrace.h"
#include "CWinMsg.h"

namespace {

SOUND_STATUS StatusOf(CSoundFile* file) {
    return file != nullptr ? file->GetSoundStatus() : SOUND_STOP;
}

QString NameOf(CSoundFile* file) {
    return file != nullptr ? file->GetFileName() : QString();
}

} // namespace

CSysinfo::CSysinfo() = default;

CSysinfo::~CSysinfo() = default;

void CSysinfo::SetSeqDefTimbre(unsigned int program, void* source) {
    SetDefTimbre(Converter().ProgramToTimbre(program), source);
}

void CSysinfo::SetSeqDualTimbre(unsigned int program, void* source) {
    SetDualTimbre(Converter().ProgramToDualTimbre(program), source);
}

void CSysinfo::SetSeqBeat(unsigned int timeSig, void* source) {
    SetBeat(Converter().TimeSigToBeat(timeSig), source);
}

void CSysinfo::SetSeqTempo(unsigned int packedTempo, void* source) {
    SetTempo(Converter().WireToTempo(packedTempo), source);
}

void CSysinfo::SetSeqReverb(unsigned int value, void* source) {
    SetReverbOffOn(Converter().WireToReverb(value), source);
}

void CSysinfo::SetSeqBrilliance(unsigned int value, void* source) {
    SetBrilliance(static_cast<E_BRILLIANCE>(Converter().WireToLevel(value)), source);
}

void CSysinfo::SetSeqTouch(unsigned int value, void* source) {
    SetTouchSense(static_cast<E_TOUCHSENSE>(Converter().WireToLevel(value)), source);
}

void CSysinfo::SetSeqTranspose(unsigned int value, void* source) {
    SetTranspose(static_cast<E_TRANSPOSE>(Converter().WireToTranspose(value)), source);
}

void CSysinfo::SetSeqSeqKey(unsigned int value, void* source) {
    SetSeqKey(static_cast<E_SEQKEY>(Converter().WireToTranspose(value)), source);
}

void CSysinfo::SetSeqTuning(unsigned int value, void* source) {
    SetTuning(Converter().WireToTuning(value), source);
}

void CSysinfo::PostStop() {
    PostMsg(GetStereo(), nullptr, WM_STOPFROMMIDDLE, 0, 0);
}

void CSysinfo::StopSeqPlayFromMiddle() {
    const CScorp scope("CSysinfo", "StopSeqPlayFromMiddle", CLast::Trace());
    PostScoreNote(kAllNotes, 0);
    CSequencerPlay* player = GetSequencerPlay();
    SetSeqStatus(SOUND_STOP, player != nullptr ? player->GetSafeHwnd() : nullptr);
    // During a mix the audio recording goes on; the recorder window hears of it when that ends.
    if (StatusOf(GetAudFile()) != SOUND_REC) {
        PostStop();
    }
}

void CSysinfo::StopSeqRecFromMiddle() {
    const CScorp scope("CSysinfo", "StopSeqRecFromMiddle", CLast::Trace());
    PostScoreNote(kAllNotes, 0);
    CSequencerPlay* player = GetSequencerPlay();
    SetSeqStatus(SOUND_STOP, player != nullptr ? player->GetSafeHwnd() : nullptr);
    if (player != nullptr) {
        player->SetFileName(NameOf(GetSeqFile()));
        player->First();
    }
    PostStop();
}

void CSysinfo::StopAudPlayFromMiddle() {
    const CScorp scope("CSysinfo", "StopAudPlayFromMiddle", CLast::Trace());
    SetAudStatus(SOUND_STOP, GetAudioPlay());
    PostAudLevelMeter(AUDLEVELOUT_MIN, AUDLEVELOUT_MIN);
    PostStop();
}

void CSysinfo::StopAudRecFromMiddle() {
    const CScorp scope("CSysinfo", "StopAudRecFromMiddle", CLast::Trace());
    if (StatusOf(GetSeqFile()) == SOUND_PLAY) {
        CSequencerPlay* player = GetSequencerPlay();
        if (player != nullptr) {
            player->Stop();
        }
        SetSeqStatus(SOUND_STOP, player != nullptr ? player->GetSafeHwnd() : nullptr);
    }
    SetAudStatus(SOUND_STOP, GetAudioPlay());
    PostAudLevelMeter(AUDLEVELOUT_MIN, AUDLEVELOUT_MIN);
    if (CAudioPlay* audioPlay = GetAudioPlay()) {
        audioPlay->SetFileName(NameOf(GetAudFile()));
    }
    PostStop();
}

void CSysinfo::ErrorMessageFromMiddle(CVeskError error) {
    const CScorp scope("CSysinfo", "ErrorMessageFromMiddle", CLast::Trace());
    const QString text = error.GetStr();
    if (text == QStringLiteral("ベーシックチャンネルを１以外に設定することはできません。")) {
        CWinMsg::PostMessage(GetSafeHwnd(), WM_COMMAND, ID_BASIC_CHANNEL, 0);
    } else if (text == QStringLiteral("ハードディスクの空き容量が足りません。")) {
        CWinMsg::PostMessage(GetSafeHwnd(), WM_COMMAND, ID_DISK_FULL, 0);
    } else if (text ==
               QStringLiteral(
                   "録音できる長さの上限（約6時間45分）に達したため、録音を終了しました。")) {
        CWinMsg::PostMessage(GetSafeHwnd(), WM_COMMAND, ID_AUDIO_LENGTH_LIMIT, 0);
    } else if (text == QStringLiteral("オーディオファイルの保存に失敗しました。")) {
        CWinMsg::PostMessage(GetSafeHwnd(), WM_COMMAND, ID_AUDIO_SAVE_FAILED, 0);
    }
}

void CSysinfo::MainBodyConnected() {
    const CScorp scope("CSysinfo", "MainBodyConnected", CLast::Trace());
    MainBodyConnectionChange();
}

void CSysinfo::MainBodyDisconnected() {
    const CScorp scope("CSysinfo", "MainBodyDisconnected", CLast::Trace());
    MainBodyConnectionChange();
}

void CSysinfo::MainBodyConnectionChange() {
    const CScorp scope("CSysinfo", "MainBodyConnectionChange", CLast::Trace());
    CSequencerPlay* player = GetSequencerPlay();
    CSequencerRec* recorder = GetSequencerRec();
    CAudioPlay* audioPlay = GetAudioPlay();
    CAudioRec* audioRec = GetAudioRec();
    const SOUND_STATUS audio = StatusOf(GetAudFile());
    const SOUND_STATUS midi = StatusOf(GetSeqFile());

    const auto stopMidiPlay = [&] {
        PostScoreNote(kAllNotes, 0);
        if (player != nullptr) {
            player->Stop();
        }
        SetSeqStatus(SOUND_STOP, nullptr);
        PostStop();
    };
    const auto stopAudioRecording = [&] {
        if (audioRec != nullptr) {
            audioRec->Stop();
        }
        if (audioPlay != nullptr) {
            audioPlay->SetFileName(NameOf(GetAudFile()));
        }
        SetAudStatus(SOUND_STOP, nullptr);
        PostAudLevelMeter(AUDLEVELOUT_MIN, AUDLEVELOUT_MIN);
        PostStop();
    };

    if (audio == SOUND_STOP && midi == SOUND_PLAY) {
        stopMidiPlay();
    } else if (audio == SOUND_STOP && midi == SOUND_REC) {
        PostScoreNote(kAllNotes, 0);
        if (recorder != nullptr) {
            recorder->Stop();
        }
        if (player != nullptr) {
            player->SetFileName(NameOf(GetSeqFile()));
        }
        SetSeqStatus(SOUND_STOP, nullptr);
        PostStop();
    } else if (audio == SOUND_PLAY && midi == SOUND_STOP) {
        if (audioPlay != nullptr) {
            audioPlay->Stop();
        }
        SetAudStatus(SOUND_STOP, nullptr);
        PostAudLevelMeter(AUDLEVELOUT_MIN, AUDLEVELOUT_MIN);
        PostStop();
    } else if (audio == SOUND_REC && midi == SOUND_STOP) {
        stopAudioRecording();
    } else if (audio == SOUND_REC && midi == SOUND_PLAY) {
        stopAudioRecording();
        stopMidiPlay();
    }

    if (GetMetStatus() == MET_START) {
        if (CMetronome* metronome = GetMetronome()) {
            metronome->Stop();
            SetMetStatus(MET_STOP, nullptr);
            metronome->Reset();
        }
    }
}

void CSysinfo::IsExistFile() {
    const CScorp scope("CSysinfo", "IsExistFile", CLast::Trace());
    if (CSoundFile* audio = GetAudFile()) {
        audio->IsExist();
    }
    if (CSoundFile* midi = GetSeqFile()) {
        midi->IsExist();
    }
}
