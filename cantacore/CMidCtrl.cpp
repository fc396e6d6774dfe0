#include "CMidCtrl.h"

CMidCtrl::~CMidCtrl() = default;

void* CMidCtrl::SetSequencerPlay(CSequencerPlay* worker) {
    return GetAndSet(m_sequencerPlay, worker);
}
void* CMidCtrl::SetSequencerRec(CSequencerRec* worker) {
    return GetAndSet(m_sequencerRec, worker);
}
void* CMidCtrl::SetAudioPlay(CAudioPlay* worker) {
    return GetAndSet(m_audioPlay, worker);
}
void* CMidCtrl::SetAudioRec(CAudioRec* worker) {
    return GetAndSet(m_audioRec, worker);
}
void* CMidCtrl::SetCtrlPanel(CCtrlPanel* worker) {
    return GetAndSet(m_ctrlPanel, worker);
}
void* CMidCtrl::SetMetronome(CMetronome* worker) {
    return GetAndSet(m_metronome, worker);
}
