#include "CPostingAccess.h"

#include "CCtrlPanel.h"
#include "CFusion.h"
#include "CLast.h"
#include "CMessageMap.h"
#include "CScorp.h"
#include "CSequencerPlay.h"
#include "CTrace.h"

CPostingAccess::CPostingAccess() = default;

CPostingAccess::~CPostingAccess() = default;

void CPostingAccess::Create(QObject* parent) {
    setParent(parent);
}

LRESULT CPostingAccess::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    static const CMessageMap<CPostingAccess> map{{WM_COMMAND, &CPostingAccess::OnCommand}};
    return map.Dispatch(this, message, wParam, lParam);
}

LRESULT CPostingAccess::OnCommand(WPARAM command, LPARAM) {
    switch (command & 0xFFFF) {
    case ID_BASIC_CHANNEL:
        OnPamBasicChannel();
        break;
    case ID_SPIN_TEMPO:
        OnPamSetTempo();
        break;
    case ID_SPIN_TRANSPOSE:
        OnPamSetTrans();
        break;
    case ID_SPIN_TUNING:
        OnPamSetTuning();
        break;
    case ID_SPIN_BEAT:
        OnPamSetBeat();
        break;
    case ID_DISK_FULL:
        OnPamDiskFull();
        break;
    case ID_AUDIO_LENGTH_LIMIT:
        OnPamAudioLengthLimit();
        break;
    case ID_AUDIO_SAVE_FAILED:
        OnPamAudioSaveFailed();
        break;
    default:
        break;
    }
    return 0;
}

void CPostingAccess::OnPamBasicChannel() {
    const CScorp scope("CPostingAccess", "OnPamBasicChannel", CLast::Trace());
    CLast::Fusion().ShowMessage(
        QStringLiteral("ベーシックチャンネルを１以外に設定することはできません。"), MB_OK,
        QStringLiteral("メッセージ"));
}

void CPostingAccess::OnPamDiskFull() {
    const CScorp scope("CPostingAccess", "OnPamDiskFull", CLast::Trace());
    CLast::Fusion().ShowMessage(QStringLiteral("ハードディスクの空き容量が足りません。"), MB_OK,
                                QStringLiteral("メッセージ"));
}

void CPostingAccess::OnPamAudioLengthLimit() {
    const CScorp scope("CPostingAccess", "OnPamAudioLengthLimit", CLast::Trace());
    CLast::Fusion().ShowMessage(
        QStringLiteral("録音できる長さの上限（約6時間45分）に達したため、録音を終了しました。"),
        MB_OK, QStringLiteral("メッセージ"));
}

// A recording whose file could not be written ended by itself; its file is gone.
void CPostingAccess::OnPamAudioSaveFailed() {
    const CScorp scope("CPostingAccess", "OnPamAudioSaveFailed", CLast::Trace());
    CLast::Fusion().ShowMessage(QStringLiteral("オーディオファイルの保存に失敗しました。"), MB_OK,
                                QStringLiteral("メッセージ"));
}

// The spin settings are applied with the value current when the command runs, so a burst of
// clicks sends one message.
void CPostingAccess::OnPamSetTempo() {
    const CScorp scope("CPostingAccess", "OnPamSetTempo", CLast::Trace());
    if (CSequencerPlay* player = GetSequencerPlay()) {
        player->SetTempo(Converter().TempoToWire(GetTempo()));
    }
}

void CPostingAccess::OnPamSetBeat() {
    const CScorp scope("CPostingAccess", "OnPamSetBeat", CLast::Trace());
}

void CPostingAccess::OnPamSetTrans() {
    const CScorp scope("CPostingAccess", "OnPamSetTrans", CLast::Trace());
    SendToPiano(nullptr, [this](CCtrlPanel& piano) {
        piano.SetTranspose(Converter().TransposeToWire(GetTranspose()));
    });
}

void CPostingAccess::OnPamSetTuning() {
    const CScorp scope("CPostingAccess", "OnPamSetTuning", CLast::Trace());
    SendToPiano(nullptr, [this](CCtrlPanel& piano) {
        piano.SetTuning(Converter().TuningToWire(GetTuning()));
    });
}
