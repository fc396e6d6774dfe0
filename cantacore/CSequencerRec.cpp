#include "CSequencerRec.h"

#include "CCheckUSBdev.h"
#include "CCtrlPanel.h"
#include "CLast.h"
#include "CMemoCodec.h"
#include "CPrivateAction.h"
#include "CPublicAction.h"
#include "CScorp.h"
#include "CSysinfo.h"
#include "CTrace.h"
#include "Smf.h"
#include "kiromidi.h"

#include <cstring>

namespace {

const QString kDeviceMessage = QStringLiteral("MIDIデバイスを使用することができません。\r\nZQ31本体"
                                              "と正しく接続されているかを確認してください。");

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void Line(const char* text) {
    CLast::Trace().TraceLine() << text << "\n";
}

CSysinfo* Sysinfo() {
    return CLast::HasSysinfo() ? &CLast::Sysinfo() : nullptr;
}

} // namespace

CSequencerRec::CSequencerRec() {
    std::memset(m_sysex, 0, sizeof m_sysex);
    std::memset(m_headers, 0, sizeof m_headers);
}

CSequencerRec::~CSequencerRec() {
    m_threadStop = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
    if (InputIsOpen()) {
        CloseInput();
    }
}

void CSequencerRec::SetMIDIInDev(int device) {
    if (device != -1) {
        m_inDev = device;
    }
}

CVeskError CSequencerRec::Initialize() {
    const CScorp scope("CSequencerRec", "Initialize", CLast::Trace());
    Line("シーケンサ録音初期化");
    SetMIDIInDev(CCheckUSBdev::GetMIDIInDev());
    CVeskError result;
    if (OpenInput() != MMSYSERR_NOERROR) {
        result.SetCode(ERR_VESK_FAILED, kDeviceMessage);
    }
    return result;
}

CVeskError CSequencerRec::Terminate() {
    const CScorp scope("CSequencerRec", "Terminate", CLast::Trace());
    Line("シーケンサ録音終了");
    CloseInput();
    return {};
}

CVeskError CSequencerRec::Refresh() {
    const CScorp scope("CSequencerRec", "Refresh", CLast::Trace());
    const CPublicAction lock("CSequencerRec", "Refresh");
    CloseInput();
    SetMIDIInDev(CCheckUSBdev::GetMIDIInDev());
    CVeskError result;
    if (OpenInput() != MMSYSERR_NOERROR) {
        result.SetCode(ERR_VESK_FAILED, kDeviceMessage);
    } else if (m_recording) {
        // A recording goes on across the new input, whose time stamps start again from 0:
        // they continue from where the recording stands now, counted from its start also
        // when nothing was played yet.
        m_stampOffset = static_cast<std::uint32_t>(NowMs() - m_timeBase);
    }
    return result;
}

MMRESULT CSequencerRec::OpenInput() {
    const CScorp scope("CSequencerRec", "MIDIInOpen", CLast::Trace());
    if (InputIsOpen()) {
        return MMSYSERR_NOERROR;
    }
    HMIDIIN input = nullptr;
    const int device = m_inDev != -1 ? m_inDev.load() : CCheckUSBdev::GetMIDIInDev();
    if (kiromidi::InOpen(&input, static_cast<UINT>(device), reinterpret_cast<DWORD_PTR>(&InputProc),
                         reinterpret_cast<DWORD_PTR>(this),
                         CALLBACK_FUNCTION) != MMSYSERR_NOERROR ||
        input == nullptr) {
        return 13;
    }
    m_input = input;
    for (int i = 0; i < 2; ++i) {
        m_headers[i] = MIDIHDR{};
        m_headers[i].lpData = m_sysex[i];
        m_headers[i].dwBufferLength = sizeof m_sysex[i];
        kiromidi::InPrepareHeader(input, &m_headers[i], sizeof(MIDIHDR));
        kiromidi::InAddBuffer(input, &m_headers[i], sizeof(MIDIHDR));
    }
    m_inputState = InputState::Running;
    m_buffersOut = 2;
    kiromidi::InStart(input);
    {
        const std::lock_guard<std::mutex> guard(m_eventsLock);
        if (m_events.empty()) {
            m_events.assign(kEventWords, 0);
        }
    }
    return MMSYSERR_NOERROR;
}

void CSequencerRec::CloseInput() {
    const CScorp scope("CSequencerRec", "MIDIInClose", CLast::Trace());
    HMIDIIN input = m_input;
    if (input == nullptr) {
        return;
    }
    kiromidi::InStop(input);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    m_inputState = InputState::Closing;
    kiromidi::InReset(input);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    for (int i = 0; i < 10 && m_inputState != InputState::Closed; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (m_inputState != InputState::Closed) {
        // A buffer queued again just before closing began: hand it back too.
        kiromidi::InReset(input);
        for (int i = 0; i < 10 && m_inputState != InputState::Closed; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    for (MIDIHDR& header : m_headers) {
        kiromidi::InUnprepareHeader(input, &header, sizeof(MIDIHDR));
    }
    kiromidi::InClose(input);
    m_input = nullptr;
    // What a running recording holds stays until it is written.
    if (!m_recording) {
        const std::lock_guard<std::mutex> guard(m_eventsLock);
        m_events.clear();
        m_events.shrink_to_fit();
        m_fill = 0;
    }
}

void CSequencerRec::InputProc(HMIDIIN, UINT message, DWORD_PTR instance, DWORD_PTR first,
                              DWORD_PTR second) {
    auto* recorder = reinterpret_cast<CSequencerRec*>(instance);
    if (message == MIM_DATA) {
        recorder->OnData(static_cast<DWORD>(first), static_cast<DWORD>(second));
    } else if (message == MIM_LONGDATA) {
        recorder->OnLongData(reinterpret_cast<MIDIHDR*>(first), static_cast<DWORD>(second));
    }
}

std::uint32_t CSequencerRec::NoteTime(DWORD stamp) {
    const std::uint32_t time = static_cast<std::uint32_t>(stamp) + m_stampOffset;
    if (m_firstEvent.exchange(false)) {
        m_timeBase = NowMs() - time;
    }
    m_lastStamp = time;
    return time;
}

void CSequencerRec::OnData(DWORD message, DWORD stamp) {
    const auto status = static_cast<std::uint8_t>(message & 0xFF);
    if (status == 0xFE) {
        return; // active sensing: neither recorded nor decoded
    }
    if (m_recording) {
        const std::uint32_t time = NoteTime(stamp);
        const std::uint8_t bytes[3] = {status, static_cast<std::uint8_t>((message >> 8) & 0xFF),
                                       static_cast<std::uint8_t>((message >> 16) & 0xFF)};
        switch (status) {
        case 0x80:
        case 0x90:
        case 0xB0:
        case 0xE0:
            AddEvent(time, bytes, 3);
            break;
        case 0xC0:
            AddEvent(time, bytes, 2);
            break;
        default:
            break; // other kinds and other channels are not recorded
        }
    }
    if (CSysinfo* sysinfo = Sysinfo()) {
        if (CCtrlPanel* panel = sysinfo->GetCtrlPanel()) {
            panel->Ev2SysShortMsg(message, GetSafeHwnd());
        }
    }
}

void CSequencerRec::OnLongData(MIDIHDR* header, DWORD stamp) {
    if (m_inputState == InputState::Closing) {
        if (--m_buffersOut <= 0) {
            m_inputState = InputState::Closed;
        }
        return;
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(header->lpData);
    const std::size_t length =
        std::min<std::size_t>(header->dwBytesRecorded, header->dwBufferLength);
    if (m_recording && length > 0) {
        const std::uint32_t time = NoteTime(stamp);
        if (length < 254 && bytes[0] == 0xF0) {
            // In the file's form: F0, the length of the rest, the rest.
            std::uint8_t event[256];
            event[0] = 0xF0;
            event[1] = static_cast<std::uint8_t>(length - 1);
            std::memcpy(event + 2, bytes + 1, length - 1);
            std::size_t size = length + 1;
            if (length - 1 >= 0x80) {
                event[1] = static_cast<std::uint8_t>(0x80 | ((length - 1) >> 7));
                event[2] = static_cast<std::uint8_t>((length - 1) & 0x7F);
                std::memcpy(event + 3, bytes + 1, length - 1);
                size = length + 2;
            }
            AddEvent(time, event, size);
        }
    }
    if (length > 0) {
        if (CSysinfo* sysinfo = Sysinfo()) {
            if (CCtrlPanel* panel = sysinfo->GetCtrlPanel()) {
                panel->Ev2SysLongMsg(bytes, length, GetSafeHwnd());
            }
        }
    }
    HMIDIIN input = m_input;
    if (input != nullptr && m_inputState == InputState::Running) {
        kiromidi::InPrepareHeader(input, header, sizeof(MIDIHDR));
        kiromidi::InAddBuffer(input, header, sizeof(MIDIHDR));
    }
}

void CSequencerRec::AddEvent(std::uint32_t time, const std::uint8_t* bytes, std::size_t length) {
    if (!m_recording) {
        return;
    }
    const std::lock_guard<std::mutex> guard(m_eventsLock);
    const std::size_t words = 3 + length / 4;
    if (m_events.size() < kEventWords || m_fill + words >= kEventWords) {
        return; // the list is full: further events are dropped
    }
    m_events[m_fill] = time;
    m_events[m_fill + 1] = static_cast<std::uint32_t>(length);
    std::memcpy(&m_events[m_fill + 2], bytes, length);
    m_fill += words;
}

std::uint32_t CSequencerRec::Elapsed() const {
    return m_elapsed;
}

void CSequencerRec::SetFileName(const QString& path) {
    const std::lock_guard<std::mutex> guard(m_nameLock);
    m_fileName = path;
}

CVeskError CSequencerRec::Start() {
    const CScorp scope("CSequencerRec", "Start", CLast::Trace());
    const CPublicAction lock("CSequencerRec", "Start");
    Line("シーケンサ録音開始");
    CVeskError result;
    // One recording at a time: a second start would throw the running one away, and must not
    // touch its times either.
    if (m_recording || m_thread.joinable()) {
        Line("録音中なので開始しない");
        result.SetCode(ERR_VESK_FAILED, QStringLiteral("予期せぬエラーが発生しました。(31)"));
        return result;
    }
    if (CSysinfo* sysinfo = Sysinfo()) {
        sysinfo->PostSeqTimeDisp(0, 0, 0);
    }
    m_elapsed = 0;
    m_lastStamp = 0;
    m_timeBase = 0;
    m_lastBar = -1;
    m_lastBeat = -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (!InputIsOpen() && OpenInput() != MMSYSERR_NOERROR) {
        result.SetCode(ERR_VESK_FAILED, kDeviceMessage);
        return result;
    }
    {
        const std::lock_guard<std::mutex> guard(m_nameLock);
        if (m_fileName.isEmpty()) {
            result.SetCode(ERR_VESK_FAILED, QStringLiteral("予期せぬエラーが発生しました。(1)"));
            return result;
        }
    }
    // The input starts again first, so the time stamps count from the start of the recording.
    kiromidi::InStop(m_input);
    kiromidi::InStart(m_input);
    {
        const std::lock_guard<std::mutex> guard(m_eventsLock);
        m_fill = 0;
    }
    m_firstEvent = true;
    m_stampOffset = 0;
    m_memoPlaced = false;
    {
        const std::lock_guard<std::mutex> guard(m_memoLock);
        m_hasLateMemo = false;
    }
    m_timeBase = NowMs();
    m_recording = true;
    RefreshOut();
    m_threadStop = false;
    m_threadRuns = false;
    m_thread = std::thread([this] { RecThreadFunc(); });
    while (!m_threadRuns) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return result;
}

void CSequencerRec::RecThreadFunc() {
    m_threadRuns = true;
    while (!m_threadStop) {
        if (!m_firstEvent) {
            const auto elapsed = static_cast<std::uint32_t>(NowMs() - m_timeBase);
            m_elapsed = elapsed;
            if (elapsed != m_lastStamp) {
                SetRecBeat(elapsed);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void CSequencerRec::SetRecBeat(std::uint32_t milliseconds) {
    const unsigned int packed = m_tempo;
    const unsigned int microseconds =
        ((packed & 0xFF) << 16) | (((packed >> 8) & 0xFF) << 8) | ((packed >> 16) & 0xFF);
    const unsigned int numerator = m_beat & 0xFF;
    if (microseconds == 0 || numerator == 0) {
        return;
    }
    const std::uint64_t beats = static_cast<std::uint64_t>(milliseconds) * 1000 / microseconds;
    const auto bar = static_cast<int>(beats / numerator);
    const auto beat = static_cast<int>(beats % numerator);
    if (bar != m_lastBar || beat != m_lastBeat) {
        m_lastBar = bar;
        m_lastBeat = beat;
        if (CSysinfo* sysinfo = Sysinfo()) {
            sysinfo->PostSeqTimeDisp(static_cast<unsigned int>(bar),
                                     static_cast<unsigned int>(beat), 0);
        }
    }
}

CVeskError CSequencerRec::Stop() {
    const CScorp scope("CSequencerRec", "Stop", CLast::Trace());
    const CPublicAction lock("CSequencerRec", "Stop");
    Line("シーケンサ録音終了");
    if (m_thread.joinable()) {
        m_threadStop = true;
        m_thread.join();
    }
    m_elapsed = 0;
    m_lastStamp = 0;
    CVeskError result;
    // What was recorded is written even when the input has gone meanwhile; the device error
    // is still reported.
    const bool inputOpen = InputIsOpen();
    if (m_recording.exchange(false)) {
        QString path;
        {
            const std::lock_guard<std::mutex> guard(m_nameLock);
            path = m_fileName;
        }
        std::vector<std::uint32_t> events;
        {
            const std::lock_guard<std::mutex> guard(m_eventsLock);
            events.assign(m_events.begin(), m_events.begin() + static_cast<std::ptrdiff_t>(m_fill));
        }
        const unsigned int tempo = Sysinfo() != nullptr ? Sysinfo()->GetTempo() : 120;
        if (SmfWriteRecording(events.data(), events.size(), path, 0.0, tempo) != SMF_RESULT_OK) {
            result.SetCode(ERR_VESK_MIDI_SAVE,
                           QStringLiteral("MIDIファイルの保存に失敗しました。"));
        } else {
            const std::lock_guard<std::mutex> guard(m_memoLock);
            if (m_hasLateMemo &&
                SmfWriteMemo(path, m_lateMemo.constData(),
                             static_cast<std::size_t>(m_lateMemo.size())) != SMF_RESULT_OK) {
                result.SetCode(ERR_VESK_MIDI_SAVE,
                               QStringLiteral("MIDIファイルの保存に失敗しました。"));
            }
            m_hasLateMemo = false;
        }
    }
    if (!inputOpen) {
        {
            const std::lock_guard<std::mutex> guard(m_eventsLock);
            m_events.clear();
            m_events.shrink_to_fit();
            m_fill = 0;
        }
        if (result == 0) {
            result.SetCode(ERR_VESK_FAILED, kDeviceMessage);
        }
    }
    return result;
}

CVeskError CSequencerRec::Save() {
    const CScorp scope("CSequencerRec", "Save", CLast::Trace());
    const CPublicAction lock("CSequencerRec", "Save");
    Line("シーケンサ録音ファイル保存");
    return {};
}

CVeskError CSequencerRec::SetMemo(const QString& memo) {
    const CScorp scope("CSequencerRec", "SetMemo", CLast::Trace());
    Line("シーケンサ録音");
    CVeskError result;
    QByteArray text = CMemoCodec::ToFile(memo);
    if (m_recording) {
        text.truncate(static_cast<qsizetype>(kMemoLimit));
        std::vector<std::uint8_t> event{0xFF, 0x01};
        std::size_t length = static_cast<std::size_t>(text.size()) + 2;
        std::vector<std::uint8_t> quantity;
        do {
            quantity.insert(quantity.begin(), static_cast<std::uint8_t>(length & 0x7F));
            length >>= 7;
        } while (length > 0);
        for (std::size_t i = 0; i + 1 < quantity.size(); ++i) {
            quantity[i] |= 0x80;
        }
        event.insert(event.end(), quantity.begin(), quantity.end());
        event.insert(event.end(), text.begin(), text.end());
        event.insert(event.end(), {0x00, 0xF0});
        if (!m_memoPlaced.exchange(true)) {
            AddEvent(0, event.data(), event.size());
            return result;
        }
        // The recording's events have moved on from time 0: a memo given now is written into
        // the file when the recording stops, where the memo lookup finds it.
        const std::lock_guard<std::mutex> guard(m_memoLock);
        m_lateMemo = text;
        m_hasLateMemo = true;
        return result;
    }
    CSysinfo* sysinfo = Sysinfo();
    const QString path = sysinfo != nullptr ? sysinfo->GetSeqFileName() : QString();
    CCtrlPanel* panel = sysinfo != nullptr ? sysinfo->GetCtrlPanel() : nullptr;
    const QString current = panel != nullptr ? panel->GetMemo(path) : QString();
    if (current != memo && SmfWriteMemo(path, text.constData(),
                                        static_cast<std::size_t>(text.size())) != SMF_RESULT_OK) {
        result.SetCode(ERR_VESK_FAILED, QStringLiteral("予期せぬエラーが発生しました。(1)"));
    }
    return result;
}

void CSequencerRec::RefreshOut() {
    const CPublicAction lock("CSequencerRec", "RefreshOut");
    if (CSysinfo* sysinfo = Sysinfo()) {
        const CConverter& c = sysinfo->Converter();
        m_dual = c.DualTimbreToProgram(sysinfo->GetDualTimbre());
        m_program = c.TimbreToProgram(sysinfo->GetDefTimbre());
        m_reverb = c.ReverbToWire(sysinfo->GetReverbOffOn());
    }
    SetTempo(m_tempo);
    SetBeat(m_beat);
    SetMemo(QString::fromLatin1(m_memo));
    SetDefTimbre(m_program);
    SetDualTimbre(m_dual);
    SetReverbOffOn(m_reverb);
}

void CSequencerRec::SetBeat(unsigned int timeSig) {
    m_beat = timeSig;
    const std::uint8_t event[7] = {0xFF,
                                   0x58,
                                   0x04,
                                   static_cast<std::uint8_t>(timeSig & 0xFF),
                                   static_cast<std::uint8_t>((timeSig >> 8) & 0xFF),
                                   0x18,
                                   0x08};
    AddEvent(Elapsed(), event, sizeof event);
}

void CSequencerRec::SetTempo(unsigned int packedTempo) {
    m_tempo = packedTempo;
    const std::uint8_t event[6] = {0xFF,
                                   0x51,
                                   0x03,
                                   static_cast<std::uint8_t>(packedTempo & 0xFF),
                                   static_cast<std::uint8_t>((packedTempo >> 8) & 0xFF),
                                   static_cast<std::uint8_t>((packedTempo >> 16) & 0xFF)};
    AddEvent(Elapsed(), event, sizeof event);
}

void CSequencerRec::SetDefTimbre(unsigned int program) {
    m_program = program;
    const std::uint8_t event[2] = {0xC0, static_cast<std::uint8_t>(program & 0x7F)};
    AddEvent(Elapsed(), event, sizeof event);
}

void CSequencerRec::SetDualTimbre(unsigned int program) {
    m_dual = program;
    if (program == 255) {
        return; // dual off is not recorded
    }
    const std::uint8_t event[14] = {0xF0,
                                    0x0C,
                                    0x50,
                                    0x2C,
                                    0x05,
                                    0x00,
                                    0x1F,
                                    0x02,
                                    0x10,
                                    0x00,
                                    0x00,
                                    0x00,
                                    static_cast<std::uint8_t>(program & 0x7F),
                                    0xF7};
    AddEvent(Elapsed(), event, sizeof event);
}

void CSequencerRec::SetReverbOffOn(unsigned int value) {
    m_reverb = value;
    const std::uint8_t event[12] = {0xF0,
                                    0x0A,
                                    0x50,
                                    0x2C,
                                    0x05,
                                    0x00,
                                    0x1F,
                                    0x00,
                                    0x01,
                                    0x00,
                                    static_cast<std::uint8_t>(value != 0 ? 1 : 0),
                                    0xF7};
    AddEvent(Elapsed(), event, sizeof event);
}

void CSequencerRec::SetBrilliance(unsigned int value) {
    m_brilliance = value;
}

void CSequencerRec::SetTouchSense(unsigned int value) {
    m_touch = value;
}

void CSequencerRec::SetTranspose(unsigned int value) {
    m_transpose = value;
}

void CSequencerRec::SetTuning(unsigned int value) {
    m_tuning = value;
}

void CSequencerRec::SetSeqVol(unsigned int volume) {
    m_volume = volume;
}
