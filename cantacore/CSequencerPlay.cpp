#include "CSequencerPlay.h"

#include "CCheckUSBdev.h"
#include "CCtrlPanel.h"
#include "CLast.h"
#include "CMemoCodec.h"
#include "CPendingInserts.h"
#include "CPianoSender.h"
#include "CPrivateAction.h"
#include "CPublicAction.h"
#include "CScorp.h"
#include "CSysinfo.h"
#include "CTrace.h"
#include "CVeskToy.h"
#include "kiromidi.h"

#include <QDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace {

const QString kDeviceMessage = QStringLiteral("MIDIデバイスを使用することができません。\r\nZQ31本体"
                                              "と正しく接続されているかを確認してください。");
const QString kNoFileMessage = QStringLiteral("アルバムからMIDIファイルを選んでください。");

constexpr unsigned int kStopperSlot = 35;
constexpr DWORD kFastest = 200000;  // 300 beats per minute
constexpr DWORD kSlowest = 1500000; // 40 beats per minute

void Line(const char* text) {
    CLast::Trace().TraceLine() << text << "\n";
}

CSysinfo* Sysinfo() {
    return CLast::HasSysinfo() ? &CLast::Sysinfo() : nullptr;
}

CCtrlPanel* Panel() {
    CSysinfo* sysinfo = Sysinfo();
    return sysinfo != nullptr ? sysinfo->GetCtrlPanel() : nullptr;
}

void Sleep(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

} // namespace

CSequencerPlay::CSequencerPlay() = default;

CSequencerPlay::~CSequencerPlay() {
    midi_play_stop();
    CloseSeq();
}

void CSequencerPlay::SetMIDIOutDev(int device) {
    if (device != -1) {
        m_outDev = device;
        CPianoSender::SetMIDIOutDev(device);
    }
}

void CSequencerPlay::ChooseDevice() {
    SetMIDIOutDev(CCheckUSBdev::GetMIDIOutDev());
    if (CCtrlPanel* panel = Panel()) {
        panel->SetMbch(1);
    }
}

CVeskError CSequencerPlay::Initialize() {
    const CScorp scope("CSequencerPlay", "Initialize", CLast::Trace());
    Line("シーケンサ再生初期化");
    ChooseDevice();
    return {};
}

CVeskError CSequencerPlay::Terminate() {
    const CScorp scope("CSequencerPlay", "Terminate", CLast::Trace());
    const CPublicAction lock("CSequencerPlay", "Terminate");
    Line("シーケンサ再生終了");
    midi_play_stop();
    CloseSeq();
    return {};
}

CVeskError CSequencerPlay::Refresh() {
    const CScorp scope("CSequencerPlay", "Refresh", CLast::Trace());
    Line("シーケンサ再生");
    ChooseDevice();
    return {};
}

CVeskError CSequencerPlay::OpenError() const {
    const std::lock_guard<std::mutex> guard(m_nameLock);
    return m_openError;
}

void CSequencerPlay::SetFileName(const QString& path) {
    const CScorp scope("CSequencerPlay", "SetFileName", CLast::Trace());
    const CPublicAction lock("CSequencerPlay", "SetFileName");
    // The sequence is replaced: a playback still running ends first.
    midi_play_stop();
    CCtrlPanel::SetPStatDefTimbre(-1);
    CCtrlPanel::SetPStatReverbOffOn(-1);
    CCtrlPanel::SetPStatBrilliance(-1);
    CCtrlPanel::SetPStatTranspose(-1);
    CCtrlPanel::SetPStatTouchSense(-1);
    CCtrlPanel::SetPStatTuning(-1);
    CloseSeq();
    {
        const std::lock_guard<std::mutex> guard(m_nameLock);
        m_fileName = path;
        m_openError = CVeskError();
    }
    CSysinfo* sysinfo = Sysinfo();
    if (sysinfo != nullptr) {
        sysinfo->SetSeqMemo(QString(), GetSafeHwnd());
        sysinfo->SetSeqKey(SEQKEY_C, GetSafeHwnd());
    }
    SetKey(64);
    m_position = 0;
    if (path.isEmpty()) {
        return;
    }
    if (OpenSeq(path) != MMSYSERR_NOERROR) {
        return;
    }
    m_ratio = 1.0;
    if (sysinfo != nullptr) {
        sysinfo->SetTempo(m_fileTempo, GetSafeHwnd());
        sysinfo->SetSeqBeat(m_beatWord, GetSafeHwnd());
    }
}

MMRESULT CSequencerPlay::OpenSeq(const QString& path) {
    const CScorp scope("CSequencerPlay", "OpenSeq", CLast::Trace());
    auto song = std::make_unique<CSeqSong>();
    const QString temp = CVeskToy().TempPath();
    QDir().mkpath(temp);
    const int loaded = song->Load(path, temp + QStringLiteral("/midi.dat"));
    if (loaded != CSeqSong::kOk) {
        CLast::Trace().TraceLine() << "OpenSeq: " << loaded << "\n";
        const std::lock_guard<std::mutex> guard(m_nameLock);
        m_openError.SetCode(ERR_VESK_FAILED, CSeqSong::ResultText(loaded));
        return kGeneralFailure;
    }
    m_fileTempo = song->FileTempo();
    m_lastTempo = song->FileTempoMicroseconds();
    m_beatWord = song->BeatWord();
    m_songLength = song->LengthTicks();
    m_factor = song->Factor();
    if (song->HasMemo()) {
        if (CSysinfo* sysinfo = Sysinfo()) {
            sysinfo->SetSeqMemo(CMemoCodec::FromFile(song->Memo()), GetSafeHwnd());
        }
    }
    {
        const std::lock_guard<std::mutex> guard(m_fillLock);
        m_song = std::move(song);
    }
    const MMRESULT made = SetSeq();
    if (made != MMSYSERR_NOERROR) {
        const std::lock_guard<std::mutex> guard(m_nameLock);
        m_openError.SetCode(ERR_VESK_FAILED, kDeviceMessage);
        return made;
    }
    // A dry run of the device: it opens, starts and stops once before anything is played.
    if (PrerollSeq(-1, 0) == MMSYSERR_NOERROR) {
        kiromidi::StreamRestart(m_stream);
        CloseStream();
    } else {
        Line("OpenSeq: ストリームを開けない");
    }
    return MMSYSERR_NOERROR;
}

MMRESULT CSequencerPlay::SetSeq() {
    if (!m_buffers) {
        m_buffers = std::make_unique<std::array<std::array<std::uint8_t, kBufferSize>, kBuffers>>();
    }
    m_queued = 0;
    m_endOfData = false;
    m_state = kStopped;
    return MMSYSERR_NOERROR;
}

void CSequencerPlay::CloseSeq() {
    if (m_state == kNoSequence) {
        return;
    }
    CloseStream();
    m_state = kNoSequence;
    const std::lock_guard<std::mutex> guard(m_fillLock);
    m_translator.reset();
    m_song.reset();
}

void CSequencerPlay::TempoConvert(DWORD* event) {
    if (event == nullptr || MEVT_EVENTTYPE(*event) != MEVT_TEMPO) {
        return;
    }
    const DWORD old = MEVT_EVENTPARM(*event);
    m_lastTempo = old;
    const double ratio = m_ratio;
    double scaled = ratio > 0 ? std::round(static_cast<double>(old) / ratio) : old;
    scaled = std::clamp(scaled, static_cast<double>(kFastest), static_cast<double>(kSlowest));
    *event = static_cast<DWORD>(MEVT_TEMPO) << 24 | static_cast<DWORD>(scaled);
}

MMRESULT CSequencerPlay::PrerollSeq(std::int64_t from, std::int64_t to) {
    const CScorp scope("CSequencerPlay", "PrerollSeq", CLast::Trace());
    (void)to;
    const int state = m_state;
    if (state == kNoSequence || !m_song) {
        return kGeneralFailure;
    }
    if (state != kStopped && state != kPrerolled) {
        return kWrongState;
    }
    if (m_stream.load() != nullptr) {
        m_state = kResetting;
        CloseStream();
    }
    HMIDISTRM stream = nullptr;
    UINT device =
        static_cast<UINT>(m_outDev != -1 ? m_outDev.load() : CCheckUSBdev::GetMIDIOutDev());
    MMRESULT result =
        kiromidi::StreamOpen(&stream, &device, 1, reinterpret_cast<DWORD_PTR>(&StreamProc),
                             reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION);
    if (result != MMSYSERR_NOERROR || stream == nullptr) {
        m_state = kStopped;
        return result != MMSYSERR_NOERROR ? result : kGeneralFailure;
    }
    m_stream = stream;
    const auto convert = [this](DWORD us) {
        DWORD event = static_cast<DWORD>(MEVT_TEMPO) << 24 | us;
        TempoConvert(&event);
        return MEVT_EVENTPARM(event);
    };
    MIDIPROPTIMEDIV division{sizeof(MIDIPROPTIMEDIV), static_cast<DWORD>(m_song->Division())};
    MIDIPROPTEMPO tempo{sizeof(MIDIPROPTEMPO), convert(m_song->FileTempoMicroseconds())};
    if (kiromidi::StreamProperty(stream, reinterpret_cast<BYTE*>(&division),
                                 MIDIPROP_SET | MIDIPROP_TIMEDIV) != MMSYSERR_NOERROR ||
        kiromidi::StreamProperty(stream, reinterpret_cast<BYTE*>(&tempo),
                                 MIDIPROP_SET | MIDIPROP_TEMPO) != MMSYSERR_NOERROR) {
        CloseStream();
        m_state = kStopped;
        return kPropertyRefused;
    }
    m_state = kFilling;
    m_endOfData = false;
    m_queued = 0;
    CPendingInserts::Instance().Open();
    for (MIDIHDR& header : m_headers) {
        header = MIDIHDR{};
    }
    if (from < 0) {
        // The dry run: the stream is opened, nothing is queued.
        m_state = kPrerolled;
        return MMSYSERR_NOERROR;
    }
    bool chased = true;
    {
        const std::lock_guard<std::mutex> guard(m_fillLock);
        m_translator = std::make_unique<CSeqTranslator>(*m_song);
        m_startPosition = from;
        m_pauseTicks = 0;
        if (from > 0) {
            const auto fileTick = std::llround(static_cast<double>(from) / m_song->Factor());
            m_translator->Seek(fileTick, CSeqTranslator::Overrides::FromPanel());
            CSeqTranslator::Buffer first((*m_buffers)[0].data(), kBufferSize);
            first.Claim(CPendingInserts::Instance().MoveInto(first.End(), first.Room()));
            chased = m_translator->WriteChase(first, convert);
            m_pauseTicks = std::max(1, m_song->Division() / 2);
            m_translator->Fill(first, CSeqTranslator::Overrides::FromPanel(), m_keyShift, convert);
            m_headers[0].dwBytesRecorded = static_cast<DWORD>(first.Used());
            m_endOfData = m_translator->Ended();
        }
    }
    if (!chased) {
        m_state = kPrerolled;
        CloseStream();
        return kChaseTooLarge;
    }
    for (int i = 0; i < kBuffers; ++i) {
        if (i > 0 || from == 0) {
            const std::lock_guard<std::mutex> guard(m_fillLock);
            if (m_endOfData) {
                break;
            }
            FillBuffer(i);
        }
        if (m_headers[static_cast<std::size_t>(i)].dwBytesRecorded == 0 || !QueueBuffer(i)) {
            break;
        }
    }
    m_state = kPrerolled;
    return MMSYSERR_NOERROR;
}

std::size_t CSequencerPlay::FillBuffer(int i) {
    const auto index = static_cast<std::size_t>(i);
    CSeqTranslator::Buffer buffer((*m_buffers)[index].data(), kBufferSize);
    buffer.Claim(CPendingInserts::Instance().MoveInto(buffer.End(), buffer.Room()));
    if (m_translator) {
        const auto convert = [this](DWORD us) {
            DWORD event = static_cast<DWORD>(MEVT_TEMPO) << 24 | us;
            TempoConvert(&event);
            return MEVT_EVENTPARM(event);
        };
        m_translator->Fill(buffer, CSeqTranslator::Overrides::FromPanel(), m_keyShift, convert);
        if (m_translator->Ended()) {
            m_endOfData = true;
        }
    }
    m_headers[index].dwBytesRecorded = static_cast<DWORD>(buffer.Used());
    return buffer.Used();
}

bool CSequencerPlay::QueueBuffer(int i) {
    HMIDISTRM stream = m_stream;
    MIDIHDR& header = m_headers[static_cast<std::size_t>(i)];
    header.lpData = reinterpret_cast<LPSTR>((*m_buffers)[static_cast<std::size_t>(i)].data());
    header.dwBufferLength = kBufferSize;
    header.dwUser = static_cast<DWORD_PTR>(i);
    header.dwFlags = 0;
    auto* out = reinterpret_cast<HMIDIOUT>(stream);
    ++m_queued;
    if (kiromidi::OutPrepareHeader(out, &header, sizeof header) != MMSYSERR_NOERROR ||
        kiromidi::StreamOut(stream, &header, sizeof header) != MMSYSERR_NOERROR) {
        --m_queued;
        return false;
    }
    return true;
}

void CSequencerPlay::StreamProc(HMIDIOUT, UINT message, DWORD_PTR instance, DWORD_PTR first,
                                DWORD_PTR) {
    if (message == MOM_DONE) {
        reinterpret_cast<CSequencerPlay*>(instance)->OnBufferDone(
            reinterpret_cast<MIDIHDR*>(first));
    }
}

void CSequencerPlay::OnBufferDone(MIDIHDR* header) {
    const int state = m_state;
    if (state == kPlaying) {
        ReportEvents(*header);
    }
    const auto i = static_cast<int>(header->dwUser);
    bool queued = false;
    // Only a playing stream is fed; a stopping or resetting one gives its buffers back.
    if (state == kPlaying && !m_endOfData && i >= 0 && i < kBuffers) {
        const std::lock_guard<std::mutex> guard(m_fillLock);
        if (m_state != kPlaying) {
            --m_queued; // stopping began meanwhile: the buffer stays with the player
            return;
        }
        HMIDISTRM stream = m_stream;
        kiromidi::OutUnprepareHeader(reinterpret_cast<HMIDIOUT>(stream), header, sizeof *header);
        if (FillBuffer(i) > 0) {
            queued = QueueBuffer(i);
            if (!queued) {
                m_state = kStopping; // the device failed: the player thread ends playback
            }
        }
    }
    --m_queued;
    (void)queued;
}

void CSequencerPlay::ReportEvents(const MIDIHDR& header) {
    CCtrlPanel* panel = Panel();
    if (panel == nullptr) {
        return;
    }
    const auto* data = reinterpret_cast<const std::uint8_t*>(header.lpData);
    const std::size_t size = std::min<std::size_t>(header.dwBytesRecorded, kBufferSize);
    CPendingInserts::ForEach(
        data, size,
        [&](DWORD event) {
            const unsigned int kind = event & 0xF0;
            if (kind == 0x80 || kind == 0x90 || kind == 0xB0 || kind == 0xC0) {
                panel->Ev2SysShortMsg(event & 0xFFFFFF, GetSafeHwnd());
            }
        },
        [&](const std::uint8_t* bytes, std::size_t length) {
            if (length > 0 && bytes[0] == 0xF0) {
                panel->Ev2SysLongMsg(bytes, length, GetSafeHwnd());
            }
        });
}

void CSequencerPlay::StreamStoperProc(HMIDISTRM stream) {
    const CPrivateAction lock(kStopperSlot, "CSequencerPlay", "StreamStoperProc");
    kiromidi::StreamStop(stream);
}

void CSequencerPlay::CloseStream() {
    HMIDISTRM stream = m_stream;
    if (stream == nullptr) {
        return;
    }
    const int before = m_state;
    m_state = kStopping;
    {
        // A refill under way queues its buffer before the stream stops, never after.
        const std::lock_guard<std::mutex> guard(m_fillLock);
    }
    std::thread stopper([stream] { StreamStoperProc(stream); });
    stopper.join();
    // Every buffer comes back through the callback; a callback thread that is gone (the
    // device vanished) must not hold the engine forever.
    for (int i = 0; i < 500 && m_queued > 0; ++i) {
        Sleep(10);
    }
    if (m_queued > 0) {
        Line("CloseStream: バッファが戻らない");
    }
    auto* out = reinterpret_cast<HMIDIOUT>(stream);
    for (MIDIHDR& header : m_headers) {
        if ((mmxHeaderFlags(header.dwFlags) & MHDR_PREPARED) != 0) {
            kiromidi::OutUnprepareHeader(out, &header, sizeof header);
        }
    }
    const std::vector<std::uint8_t> left = CPendingInserts::Instance().Close();
    kiromidi::StreamClose(stream);
    m_stream = nullptr;
    m_queued = 0;
    m_state = before == kNoSequence ? kNoSequence : kStopped;
    // What the panel sent while the stream was closing still reaches the piano.
    CPendingInserts::ForEach(
        left.data(), left.size(), [](DWORD event) { CPianoSender::SendPianoShortMsg(event); },
        [](const std::uint8_t* bytes, std::size_t length) {
            CPianoSender::SendPianoLongMsg(bytes, length);
        });
}

MMRESULT CSequencerPlay::StartSeq() {
    if (m_state != kPrerolled || m_stream.load() == nullptr) {
        return kWrongState;
    }
    m_state = kPlaying;
    const MMRESULT result = kiromidi::StreamRestart(m_stream);
    m_restartNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
                      std::chrono::steady_clock::now().time_since_epoch())
                      .count();
    if (result != MMSYSERR_NOERROR) {
        CloseStream();
        return result;
    }
    return midi_play_start();
}

MMRESULT CSequencerPlay::StopSeq() {
    if (m_state == kNoSequence) {
        return kGeneralFailure;
    }
    CloseStream();
    return MMSYSERR_NOERROR;
}

MMRESULT CSequencerPlay::midi_play_start() {
    m_runRequest = 1;
    m_startResult = -1;
    m_threadState = 1;
    try {
        m_playThread = std::thread([this] { PlayThreadFunc(); });
    } catch (const std::system_error&) {
        m_threadState = 0;
        CloseStream();
        return kGeneralFailure;
    }
    while (m_startResult == -1) {
        Sleep(1);
    }
    return MMSYSERR_NOERROR;
}

void CSequencerPlay::midi_play_stop() {
    if (!m_playThread.joinable()) {
        return;
    }
    m_runRequest = 0;
    m_playThread.join();
    m_threadState = 0;
}

unsigned int CSequencerPlay::TicksPerBeat() const {
    return ((m_beatWord >> 8) & 0xFF) == 3 ? 48 : 96;
}

unsigned int CSequencerPlay::BeatsPerBar() const {
    const unsigned int numerator = m_beatWord & 0xFF;
    return numerator >= 1 && numerator <= 16 ? numerator : 4;
}

void CSequencerPlay::MoveTo(std::int64_t position) {
    m_position = position;
    if (CSysinfo* sysinfo = Sysinfo()) {
        const std::int64_t b = TicksPerBeat();
        const std::int64_t n = BeatsPerBar();
        const std::int64_t q = position / b;
        sysinfo->PostSeqTimeDisp(static_cast<unsigned int>(q / n), static_cast<unsigned int>(q % n),
                                 static_cast<unsigned int>(position % b));
    }
}

void CSequencerPlay::PlayThreadFunc() {
    const std::int64_t start = m_startPosition;
    const std::int64_t length = m_songLength;
    const double factor = m_factor;
    const std::int64_t pause = m_pauseTicks;
    std::int64_t reported = start;
    std::int64_t lastTicks = 0;
    bool ended = false;
    m_startResult = 0;
    while (m_runRequest == 1 && !ended) {
        for (int i = 0; i < 10 && m_runRequest == 1; ++i) {
            Sleep(10);
        }
        if (m_state == kStopping) {
            break; // the device refused a buffer
        }
        MMTIME time{};
        time.wType = TIME_TICKS;
        if (kiromidi::StreamPosition(m_stream, &time, sizeof time) != MMSYSERR_NOERROR) {
            break;
        }
        const std::int64_t ticks = time.u.ticks;
        if (ticks < lastTicks) {
            ended = true; // the stream was stopped under us
            break;
        }
        lastTicks = ticks;
        const std::int64_t position =
            start +
            std::llround(static_cast<double>(std::max<std::int64_t>(0, ticks - pause)) * factor);
        if (position >= length || (m_endOfData && m_queued == 0)) {
            ended = true;
        }
        if (position > start && position >= reported + 12) {
            reported = std::min(position, length) / 12 * 12;
            MoveTo(reported);
        }
    }
    StopSeq();
    AllNotesOff(true);
    m_position = ended ? 0 : reported;
    m_threadState = 2;
    if (ended) {
        MoveTo(0);
        if (CSysinfo* sysinfo = Sysinfo()) {
            sysinfo->StopSeqPlayFromMiddle();
        }
    }
}

void CSequencerPlay::AllNotesOff(bool fully) {
    if (CSysinfo* sysinfo = Sysinfo(); sysinfo != nullptr && fully) {
        sysinfo->PostScoreNote(CDataInfo::kAllNotes, 0);
    }
    const auto each = [](DWORD controller) {
        for (DWORD channel = 0; channel < 16; ++channel) {
            CPianoSender::SendPianoShortMsg(0xB0 | channel | controller);
        }
    };
    if (!fully && CPendingInserts::Instance().IsOpen()) {
        // In the stream, right after what is queued: the notes of the old key end there.
        for (DWORD channel = 0; channel < 16; ++channel) {
            CPendingInserts::Instance().AddShort(0xB0 | channel | 0x7B << 8);
        }
        return;
    }
    each(0x7B << 8);
    if (!fully) {
        return;
    }
    Sleep(200);
    each(0x78 << 8);
    each(0x79 << 8);
    each(0x07 << 8 | 100 << 16);
}

CVeskError CSequencerPlay::Start() {
    const CScorp scope("CSequencerPlay", "Start", CLast::Trace());
    const CPublicAction lock("CSequencerPlay", "Start");
    CVeskError result;
    QString name;
    {
        const std::lock_guard<std::mutex> guard(m_nameLock);
        name = m_fileName;
        if (!name.isEmpty() && m_openError != ERR_VESK_OK) {
            return m_openError; // a file that cannot be played is said so, not "played"
        }
    }
    if (name.isEmpty()) {
        result.SetCode(ERR_VESK_FAILED, kNoFileMessage);
        return result;
    }
    if (m_state == kNoSequence) {
        return result;
    }
    if (m_threadState == 1) {
        return result; // playing already
    }
    midi_play_stop(); // a playback that ended by itself is collected
    if (PrerollSeq(m_position, m_songLength) != MMSYSERR_NOERROR ||
        StartSeq() != MMSYSERR_NOERROR) {
        result.SetCode(ERR_VESK_FAILED, kDeviceMessage);
    }
    return result;
}

CVeskError CSequencerPlay::Stop() {
    const CScorp scope("CSequencerPlay", "Stop", CLast::Trace());
    const CPublicAction lock("CSequencerPlay", "Stop");
    midi_play_stop();
    return {};
}

CVeskError CSequencerPlay::Rewind() {
    const CScorp scope("CSequencerPlay", "Rewind", CLast::Trace());
    const CPublicAction lock("CSequencerPlay", "Rewind");
    Line("シーケンサ再生巻戻し");
    const std::int64_t bar = static_cast<std::int64_t>(TicksPerBeat()) * BeatsPerBar();
    const std::int64_t current = m_position / bar * bar;
    MoveTo(current - bar >= 0 ? current - bar : current);
    return {};
}

CVeskError CSequencerPlay::Forward() {
    const CScorp scope("CSequencerPlay", "Forward", CLast::Trace());
    const CPublicAction lock("CSequencerPlay", "Forward");
    Line("シーケンサ再生早送り");
    const std::int64_t bar = static_cast<std::int64_t>(TicksPerBeat()) * BeatsPerBar();
    const std::int64_t current = m_position / bar * bar;
    MoveTo(current + bar >= m_songLength ? current : current + bar);
    return {};
}

CVeskError CSequencerPlay::First() {
    const CScorp scope("CSequencerPlay", "First", CLast::Trace());
    const CPublicAction lock("CSequencerPlay", "First");
    Line("シーケンサ再生頭出し");
    MoveTo(0);
    return {};
}

void CSequencerPlay::SetTempo(unsigned int packedTempo) {
    const CScorp scope("CSequencerPlay", "SetTempo", CLast::Trace());
    const CPublicAction lock("CSequencerPlay", "SetTempo");
    const unsigned int microseconds = ((packedTempo & 0xFF) << 16) |
                                      (((packedTempo >> 8) & 0xFF) << 8) |
                                      ((packedTempo >> 16) & 0xFF);
    if (microseconds == 0) {
        return;
    }
    const unsigned int bpm = 60000000u / microseconds;
    const unsigned int fileTempo = m_fileTempo != 0 ? m_fileTempo.load() : 120;
    m_ratio = static_cast<double>(bpm) / fileTempo;
    if (CPendingInserts::Instance().IsOpen()) {
        DWORD event = static_cast<DWORD>(MEVT_TEMPO) << 24 | m_lastTempo.load();
        TempoConvert(&event);
        CPendingInserts::Instance().AddTempo(MEVT_EVENTPARM(event));
    }
}

void CSequencerPlay::SetKey(int key) {
    const CScorp scope("CSequencerPlay", "SetKey", CLast::Trace());
    const CPublicAction lock("CSequencerPlay", "SetKey");
    m_keyShift = key - 64;
    AllNotesOff(false);
}
