#include "EngineDoubles.h"

#include "CWinMsg.h"

int CRecordingWindow::Count(UINT message) const {
    int count = 0;
    for (const Received& r : received) {
        count += r.message == message ? 1 : 0;
    }
    return count;
}

const CRecordingWindow::Received* CRecordingWindow::Last(UINT message) const {
    for (auto it = received.rbegin(); it != received.rend(); ++it) {
        if (it->message == message) {
            return &*it;
        }
    }
    return nullptr;
}

LRESULT CRecordingWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    received.push_back({message, wParam, lParam});
    return 0;
}

void CCallLog::Add(const QString& call) {
    const std::lock_guard<std::mutex> guard(m_lock);
    m_calls.push_back(call);
}

QStringList CCallLog::Calls() const {
    const std::lock_guard<std::mutex> guard(m_lock);
    return m_calls;
}

void CCallLog::Clear() {
    const std::lock_guard<std::mutex> guard(m_lock);
    m_calls.clear();
}

namespace {
QString Call(const char* name, long long value) {
    return QStringLiteral("%1 %2").arg(QString::fromLatin1(name)).arg(value);
}
} // namespace

void CLoggingPanel::SetDefTimbre(unsigned int v) {
    log.Add(Call("SetDefTimbre", v));
}
void CLoggingPanel::SetDualTimbre(unsigned int v) {
    log.Add(Call("SetDualTimbre", v));
}
void CLoggingPanel::SetReverbOffOn(unsigned int v) {
    log.Add(Call("SetReverbOffOn", v));
}
void CLoggingPanel::SetBrilliance(unsigned int v) {
    log.Add(Call("SetBrilliance", v));
}
void CLoggingPanel::SetTouchSense(unsigned int v) {
    log.Add(Call("SetTouchSense", v));
}
void CLoggingPanel::SetTranspose(unsigned int v) {
    log.Add(Call("SetTranspose", v));
}
void CLoggingPanel::SetTuning(unsigned int v) {
    log.Add(Call("SetTuning", v));
}

CVeskError CLoggingRecorder::Refresh() {
    log.Add(QStringLiteral("Refresh"));
    return {};
}
CVeskError CLoggingRecorder::Stop() {
    log.Add(QStringLiteral("Stop"));
    return {};
}
CVeskError CLoggingRecorder::SetMemo(const QString& memo) {
    log.Add(QStringLiteral("SetMemo ") + memo);
    CVeskError error;
    if (failMemo) {
        error.SetCode(ERR_VESK_MIDI_SAVE, QStringLiteral("disk full"));
    }
    return error;
}
void CLoggingRecorder::SetBeat(unsigned int v) {
    log.Add(Call("SetBeat", v));
}
void CLoggingRecorder::SetTempo(unsigned int v) {
    log.Add(Call("SetTempo", v));
}
void CLoggingRecorder::SetDefTimbre(unsigned int v) {
    log.Add(Call("SetDefTimbre", v));
}
void CLoggingRecorder::SetDualTimbre(unsigned int v) {
    log.Add(Call("SetDualTimbre", v));
}
void CLoggingRecorder::SetReverbOffOn(unsigned int v) {
    log.Add(Call("SetReverbOffOn", v));
}
void CLoggingRecorder::SetBrilliance(unsigned int v) {
    log.Add(Call("SetBrilliance", v));
}
void CLoggingRecorder::SetTouchSense(unsigned int v) {
    log.Add(Call("SetTouchSense", v));
}
void CLoggingRecorder::SetTranspose(unsigned int v) {
    log.Add(Call("SetTranspose", v));
}
void CLoggingRecorder::SetTuning(unsigned int v) {
    log.Add(Call("SetTuning", v));
}
void CLoggingRecorder::SetSeqVol(unsigned int v) {
    log.Add(Call("SetSeqVol", v));
}

CVeskError CLoggingPlayer::Refresh() {
    log.Add(QStringLiteral("Refresh"));
    return {};
}
CVeskError CLoggingPlayer::Stop() {
    log.Add(QStringLiteral("Stop"));
    return {};
}
CVeskError CLoggingPlayer::First() {
    log.Add(QStringLiteral("First"));
    return {};
}
void CLoggingPlayer::SetFileName(const QString& path) {
    log.Add(QStringLiteral("SetFileName ") + path);
}
void CLoggingPlayer::SetTempo(unsigned int v) {
    log.Add(Call("SetTempo", v));
}
void CLoggingPlayer::SetKey(int v) {
    log.Add(Call("SetKey", v));
}

CVeskError CLoggingMetronome::Start() {
    log.Add(QStringLiteral("Start"));
    running = true;
    return {};
}
CVeskError CLoggingMetronome::Stop() {
    log.Add(QStringLiteral("Stop"));
    running = false;
    return {};
}
CVeskError CLoggingMetronome::Reset() {
    log.Add(QStringLiteral("Reset"));
    count = 0;
    return {};
}
void CLoggingMetronome::Refresh() {
    log.Add(QStringLiteral("Refresh"));
}
void CLoggingMetronome::SetTempo(unsigned int tempo) {
    log.Add(Call("SetTempo", tempo));
}
void CLoggingMetronome::SetBeat(E_BEAT beat) {
    log.Add(Call("SetBeat", beat));
}

CVeskError CLoggingAudioPlay::Refresh() {
    log.Add(QStringLiteral("Refresh"));
    return {};
}
CVeskError CLoggingAudioPlay::Stop() {
    log.Add(QStringLiteral("Stop"));
    return {};
}
CVeskError CLoggingAudioPlay::SetFileName(const QString& path) {
    log.Add(QStringLiteral("SetFileName ") + path);
    return {};
}
CVeskError CLoggingAudioRec::Refresh() {
    log.Add(QStringLiteral("Refresh"));
    return {};
}
CVeskError CLoggingAudioRec::Stop() {
    log.Add(QStringLiteral("Stop"));
    return {};
}

CEngineRig::CEngineRig(CDataInfo& model) : m_model(model) {
    model.SetUserMenu(&userMenu);
    model.SetReverb(&reverb);
    model.SetConpane(&conpane);
    model.SetMetronomeDlg(&metronomeDlg);
    model.SetStereo(&stereo);
    model.SetTimbreIcon(&timbreIcon);
    model.SetDualIcon(&dualIcon);
    model.SetReverbIcon(&reverbIcon);
    model.SetStereoIcon(&stereoIcon);
    model.SetMetronomeIcon(&metronomeIcon);
    model.SetKeyboard(&keyboard);
    model.SetDancingNote(&dancingNote);
    model.SetFrosted(&frosted);
    model.SetCtrlPanel(&piano);
    model.SetSequencerRec(&recorder);
    model.SetSequencerPlay(&player);
    model.SetMetronome(&metronome);
    model.SetAudioPlay(&audioPlay);
    model.SetAudioRec(&audioRec);
}

CEngineRig::~CEngineRig() {
    m_model.SetCtrlPanel(nullptr);
    m_model.SetSequencerRec(nullptr);
    m_model.SetSequencerPlay(nullptr);
    m_model.SetMetronome(nullptr);
    m_model.SetAudioPlay(nullptr);
    m_model.SetAudioRec(nullptr);
}

std::vector<std::pair<const char*, CRecordingWindow*>> CEngineRig::Windows() {
    return {{"UserMenu", &userMenu},     {"Reverb", &reverb},
            {"Conpane", &conpane},       {"MetronomeDlg", &metronomeDlg},
            {"Stereo", &stereo},         {"TimbreIcon", &timbreIcon},
            {"DualIcon", &dualIcon},     {"ReverbIcon", &reverbIcon},
            {"StereoIcon", &stereoIcon}, {"MetronomeIcon", &metronomeIcon},
            {"Keyboard", &keyboard},     {"DancingNote", &dancingNote},
            {"Frosted", &frosted}};
}

QStringList CEngineRig::Told() {
    CWinMsg::PumpMessages();
    QStringList told;
    for (const auto& [name, window] : Windows()) {
        if (window->Count(WM_DATACHANGE) > 0) {
            told.push_back(QString::fromLatin1(name));
        }
    }
    return told;
}

void CEngineRig::Settle() {
    CWinMsg::PumpMessages();
    Forget();
    for (const auto& [name, window] : Windows()) {
        window->received.clear();
    }
    piano.log.Clear();
    recorder.log.Clear();
    player.log.Clear();
    metronome.log.Clear();
    audioPlay.log.Clear();
    audioRec.log.Clear();
}
