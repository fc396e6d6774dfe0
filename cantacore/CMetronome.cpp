#include "CMetronome.h"

#include "CCheckUSBdev.h"
#include "CLast.h"
#include "CPrivateAction.h"
#include "CPublicAction.h"
#include "CRtThread.h"
#include "CScorp.h"
#include "CSysinfo.h"
#include "CTrace.h"
#include "CVeskToy.h"
#include "kirowave.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>
#include <system_error>

namespace {

constexpr unsigned int kCountSlot = 3;    // the count
constexpr unsigned int kQueueSlot = 4;    // the done queue
constexpr unsigned int kCallbackSlot = 5; // the wave-output callback
constexpr unsigned int kStopSlot = 7;     // the stop test

const QString kDeviceMessage =
    QStringLiteral("オーディオデバイスを使用することができません。\r\nZ"
                   "Q31本体と正しく接続されているかを確認してください。");
const QString kNotRunning = QStringLiteral("予期せぬエラーが発生しました。(13)");
const QString kRunning = QStringLiteral("予期せぬエラーが発生しました。(14)");
const QString kNoThread = QStringLiteral("メトロノームを開始できません。");

constexpr unsigned int kCycle[] = {16, 8, 12, 16, 20, 12};

const char* const kCountTooLarge[] = {
    "拍子なし時のカウンタが16より大 : MetroClickOut第1引数エラー",
    "拍子2/4時のカウンタが8より大 : MetroClickOut第1引数エラー",
    "拍子3/4時のカウンタが12より大 : MetroClickOut第1引数エラー",
    "拍子4/4時のカウンタが16より大 : MetroClickOut第1引数エラー",
    "拍子5/4時のカウンタが20より大 : MetroClickOut第1引数エラー",
    "拍子6/8時のカウンタが12より大 : MetroClickOut第1引数エラー",
};
constexpr const char* kSilentCount = "範囲外のカウンタは音の出力処理をしない";
constexpr const char* kNoDing =
    "WaveBufp_firstがOpen出来なかったとき,waveOutOpenに失敗したときは何も処理しない";
constexpr const char* kNoClick =
    "WaveBufp_evenがOpen出来なかったとき,waveOutOpenに失敗したときは何も処理しない";

// The one format of both sounds and of the device.
constexpr WAVEFORMATEX kFormat{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
// A device that hands nothing back for this long while stopping is reset, and given up on
// after three times as long.
constexpr auto kRingOut = std::chrono::seconds(1);

void Line(const char* text) {
    CLast::Trace().TraceLine() << text << "\n";
}

std::uint32_t Le32(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return u[0] | (u[1] << 8) | (u[2] << 16) | (static_cast<std::uint32_t>(u[3]) << 24);
}

std::uint16_t Le16(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return static_cast<std::uint16_t>(u[0] | (u[1] << 8));
}

// The samples of a RIFF image: "RIFF", "WAVE", a "fmt " chunk of 16-bit stereo PCM at 44100 Hz
// and right after it the "data" chunk, all within the image. Anything else gives nothing.
struct Samples {
    const char* bytes = nullptr;
    std::size_t length = 0;
};

Samples SamplesOf(const QByteArray& image) {
    const char* p = image.constData();
    const auto size = static_cast<std::size_t>(image.size());
    if (size < 20 || std::memcmp(p, "RIFF", 4) != 0 || std::memcmp(p + 8, "WAVE", 4) != 0 ||
        std::memcmp(p + 12, "fmt ", 4) != 0) {
        return {};
    }
    const std::size_t fmtSize = Le32(p + 16);
    if (fmtSize < 16 || fmtSize > size - 20) {
        return {};
    }
    const char* fmt = p + 20;
    if (Le16(fmt) != WAVE_FORMAT_PCM || Le16(fmt + 2) != kFormat.nChannels ||
        Le32(fmt + 4) != kFormat.nSamplesPerSec || Le16(fmt + 14) != kFormat.wBitsPerSample) {
        return {};
    }
    const std::size_t data = 20 + fmtSize + (fmtSize & 1);
    if (data > size || size - data < 8 || std::memcmp(p + data, "data", 4) != 0) {
        return {};
    }
    const std::size_t length = Le32(p + data + 4);
    if (length > size - data - 8) {
        return {};
    }
    return {p + data + 8, length};
}

// The heap copy of a sound: the whole RIFF file as its header gives its size.
QByteArray CopyOf(const QByteArray& image) {
    if (image.size() < 8 || !image.startsWith("RIFF")) {
        return {};
    }
    const std::size_t size = std::size_t{Le32(image.constData() + 4)} + 8;
    if (size > static_cast<std::size_t>(image.size())) {
        return {};
    }
    return QByteArray(image.constData(), static_cast<qsizetype>(size));
}

} // namespace

CMetronome::CMetronome() : m_clock(&m_ownClock) {}

CMetronome::CMetronome(CMetronomeClock& clock) : m_clock(&clock) {}

CMetronome::~CMetronome() {
    EndThread();
}

unsigned int CMetronome::CycleLength(E_BEAT beat) {
    return beat >= BEAT_NONE && beat <= BEAT_6_8 ? kCycle[beat] : 0;
}

unsigned int CMetronome::NextCount(E_BEAT beat, unsigned int count) {
    const unsigned int next = count + 1;
    return next < CycleLength(beat) ? next : 0;
}

CMetronome::ESound CMetronome::SoundAt(E_BEAT beat, unsigned int count) {
    const unsigned int cycle = CycleLength(beat);
    if (count >= cycle) {
        return ESound::None;
    }
    if (beat == BEAT_NONE) {
        return count % 2 == 0 ? ESound::Click : ESound::None;
    }
    if (count == 0 || count == cycle / 2) {
        return ESound::Ding;
    }
    if (beat == BEAT_6_8) {
        return ESound::Click;
    }
    return count % 2 == 0 ? ESound::Click : ESound::None;
}

CVeskError CMetronome::Initialize() {
    CScorp scope("CMetronome", "Initialize", CLast::Trace());
    CVeskError result;
    if (m_thread.joinable()) {
        // The thread reads the sounds: they stay as they are while it runs.
        scope.GetTrace().TraceEnd(result);
        return result;
    }
    const CVeskToy toy;
    m_clickSound = toy.GetWaveResource(QStringLiteral("CLICK"), QStringLiteral("cantacore"));
    m_dingSound = toy.GetWaveResource(QStringLiteral("DING"), QStringLiteral("cantacore"));
    m_outstanding = 0;
    m_done = 1;
    // A first open wakes the device up, so the first count later is not late.
    if (OpenDevice()) {
        CloseDevice();
    }
    m_clickCopy = CopyOf(m_clickSound);
    m_dingCopy = CopyOf(m_dingSound);
    scope.GetTrace().TraceEnd(result);
    return result;
}

CVeskError CMetronome::Terminate() {
    CScorp scope("CMetronome", "Terminate", CLast::Trace());
    EndThread();
    m_clickCopy.clear();
    m_dingCopy.clear();
    CVeskError result;
    scope.GetTrace().TraceEnd(result);
    return result;
}

CVeskError CMetronome::Start() {
    CScorp scope("CMetronome", "Start", CLast::Trace());
    const CPublicAction lock("CMetronome", "Start");
    CVeskError result;
    if (m_running == 1) {
        result.SetCode(ERR_VESK_FAILED, kDeviceMessage);
        scope.GetTrace().TraceEnd(result);
        return result;
    }
    // A thread that ended by itself (its device was gone) is collected first.
    EndThread();
    m_state = 2;
    m_state = OpenDevice() ? 0 : 3;
    if (m_state == 3) {
        result.SetCode(ERR_VESK_FAILED, kDeviceMessage);
        scope.GetTrace().TraceEnd(result);
        return result;
    }
    // Running before the thread exists: whoever asks right after the start hears that it
    // runs, and a second start is refused.
    m_running = 1;
    try {
        m_thread = std::thread([this] { ThreadMain(); });
    } catch (const std::system_error&) {
        m_running = 0;
        CloseDevice();
        result.SetCode(ERR_VESK_THREAD_START, kNoThread);
    }
    scope.GetTrace().TraceEnd(result);
    return result;
}

CVeskError CMetronome::Stop() {
    CScorp scope("CMetronome", "Stop", CLast::Trace());
    const CPublicAction lock("CMetronome", "Stop");
    CVeskError result;
    if (m_running != 1) {
        EndThread();
        result.SetCode(ERR_VESK_OK, kNotRunning);
    } else if (EndThread() != 0) {
        result.SetCode(ERR_VESK_OK, kNotRunning);
    }
    scope.GetTrace().TraceEnd(result);
    return result;
}

CVeskError CMetronome::Reset() {
    CScorp scope("CMetronome", "Reset", CLast::Trace());
    const CPublicAction lock("CMetronome", "Reset");
    CVeskError result;
    if (m_running == 1) {
        result.SetCode(ERR_VESK_OK, kRunning);
    } else {
        const CPrivateAction count(kCountSlot, "CMetronome", "MetroCount");
        m_count = 0;
    }
    scope.GetTrace().TraceEnd(result);
    return result;
}

void CMetronome::Refresh() {
    const CScorp scope("CMetronome", "Refresh", CLast::Trace());
    const CPublicAction lock("CMetronome", "Refresh");
}

void CMetronome::SetTempo(unsigned int tempo) {
    const CScorp scope("CMetronome", "SetTempo", CLast::Trace());
    const CPublicAction lock("CMetronome", "SetTempo");
    if (tempo == m_tempo) {
        return;
    }
    m_tempo = tempo > kMaxTempo ? kMaxTempo : tempo < kMinTempo ? kMinTempo : tempo;
}

void CMetronome::SetBeat(E_BEAT beat) {
    const CScorp scope("CMetronome", "SetBeat", CLast::Trace());
    const CPublicAction lock("CMetronome", "SetBeat");
    if (beat == m_beat) {
        return;
    }
    m_beat = beat < BEAT_NONE || beat > BEAT_6_8 ? BEAT_4_4 : beat;
}

unsigned int CMetronome::GetMetroBeatCount() {
    const CPublicAction lock("CMetronome", "GetMetroBeatCount");
    return m_count;
}

int CMetronome::IsStop() {
    const CPrivateAction lock(kStopSlot, "CMetronome", "IsStop");
    return m_running == 0 ? 1 : 0;
}

// ---------------------------------------------------------------------------------------------
// The thread

void CMetronome::ThreadMain() {
    CRtThread::Name("metronome");
    CRtThread::Promote();
    const CScorp scope("CMetronome", "MetroThreadProc", CLast::Trace());
    m_state = OpenDevice() ? 0 : 3;
    const double start = m_clock->Now();
    if (m_device.load() == nullptr) {
        m_running = 0;
    }
    m_nextTick = start;
    auto previousTarget = static_cast<std::uint32_t>(static_cast<std::int64_t>(start));
    while (m_running == 1) {
        const double t0 = m_clock->Now();
        {
            const CPrivateAction count(kCountSlot, "CMetronome", "MetroCount");
            SoundCount(m_count);
        }
        const double t1 = m_clock->Now();
        {
            const CPrivateAction count(kCountSlot, "CMetronome", "MetroCount");
            if (CLast::HasSysinfo()) {
                CLast::Sysinfo().PostMetroMove(m_count);
            }
        }
        const double t2 = m_clock->Now();
        const auto ms = [](double t) { return static_cast<std::int64_t>(t); };
        CLast::Trace().TraceLine()
            << QString::asprintf(
                   "%4d %4d %4d",
                   static_cast<int>(ms(t0) - static_cast<std::int64_t>(previousTarget)),
                   static_cast<int>(ms(t1) - ms(t0)), static_cast<int>(ms(t2) - ms(t1)))
            << "\n";
        previousTarget = WaitNextCount();
        {
            const CPrivateAction count(kCountSlot, "CMetronome", "MetroCount");
            m_count = NextCount(m_beat, m_count);
        }
    }
    m_state = m_device.load() != nullptr ? 0 : 3;
}

std::uint32_t CMetronome::WaitNextCount() {
    // The tempo is read afresh for every interval, so a change takes effect at the next one.
    m_nextTick += 30000.0 / m_tempo;
    m_clock->WaitUntil(m_nextTick, m_running);
    // Only the reported target moves on after a long hold-up; the ideal time keeps its value,
    // so the counts that were missed follow at once until the schedule is met again.
    auto target = static_cast<std::uint32_t>(static_cast<std::int64_t>(m_nextTick + 0.5));
    const auto now = static_cast<std::uint32_t>(static_cast<std::int64_t>(m_clock->Now()));
    while (static_cast<std::int32_t>(now - target) > 2000) {
        target += 2000;
    }
    return target;
}

void CMetronome::SoundCount(unsigned int count) {
    const E_BEAT beat = m_beat;
    if (count >= CycleLength(beat)) {
        if (beat >= BEAT_NONE && beat <= BEAT_6_8) {
            Line(kCountTooLarge[beat]);
        }
        return;
    }
    switch (SoundAt(beat, count)) {
    case ESound::Ding:
        Play(m_dingCopy, kNoDing);
        break;
    case ESound::Click:
        Play(m_clickCopy, kNoClick);
        break;
    case ESound::None:
        if (beat != BEAT_NONE) {
            Line(kSilentCount);
        }
        break;
    }
}

void CMetronome::Play(const QByteArray& image, const char* failureLine) {
    const CScorp scope("CMetronome", "MetroClickOut", CLast::Trace());
    if (image.isEmpty()) {
        Line(failureLine);
        return;
    }
    const Samples samples = SamplesOf(image);
    if (samples.bytes == nullptr) {
        Line("サウンドの形式が違うので何も処理しない");
        return;
    }
    if (!OpenDevice()) {
        Line(failureLine);
        return;
    }
    HWAVEOUT device = m_device;
    // Whatever still sounds stops here: counts never mix.
    kirowave::OutReset(device);
    m_keepGoing = 1;
    m_done = 0;
    std::size_t offset = 0;
    while (m_keepGoing == 1 && offset < samples.length) {
        const std::size_t chunk = std::min<std::size_t>(kBufferBytes, samples.length - offset);
        // One block: the header, then its bytes.
        void* block = std::malloc(sizeof(WAVEHDR) + chunk);
        if (block == nullptr) {
            break;
        }
        auto* header = new (block) WAVEHDR{};
        header->lpData = static_cast<char*>(block) + sizeof(WAVEHDR);
        std::memcpy(header->lpData, samples.bytes + offset, chunk);
        header->dwBufferLength = static_cast<DWORD>(chunk);
        header->dwBytesRecorded = static_cast<DWORD>(chunk);
        if (kirowave::OutPrepareHeader(device, header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
            std::free(block);
            break;
        }
        ++m_outstanding;
        if (kirowave::OutWrite(device, header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
            kirowave::OutUnprepareHeader(device, header, sizeof(WAVEHDR));
            std::free(block);
            --m_outstanding;
            break;
        }
        offset += chunk;
    }
    m_done = 1;
    ReclaimBuffers();
}

// ---------------------------------------------------------------------------------------------
// The device

void CMetronome::WaveOutProc(HWAVEOUT, UINT message, DWORD_PTR instance, DWORD_PTR first,
                             DWORD_PTR) {
    if (message != WOM_DONE) {
        return;
    }
    auto* metronome = reinterpret_cast<CMetronome*>(instance);
    auto* header = reinterpret_cast<WAVEHDR*>(first);
    const CPrivateAction callback(kCallbackSlot, "CMetronome", "WaveOutProc");
    header->dwUser = 0;
    const CPrivateAction queue(kQueueSlot, "CMetronome", "lpQue");
    if (metronome->m_doneTail != nullptr) {
        metronome->m_doneTail->dwUser = reinterpret_cast<DWORD_PTR>(header);
    } else {
        metronome->m_doneHead = header;
    }
    metronome->m_doneTail = header;
}

void CMetronome::ReclaimBuffers() {
    for (;;) {
        WAVEHDR* header = nullptr;
        {
            const CPrivateAction queue(kQueueSlot, "CMetronome", "lpQue");
            header = m_doneHead;
            if (header == nullptr) {
                break;
            }
            m_doneHead = reinterpret_cast<WAVEHDR*>(header->dwUser);
            if (m_doneHead == nullptr) {
                m_doneTail = nullptr;
            }
        }
        if (HWAVEOUT device = m_device; device != nullptr) {
            kirowave::OutUnprepareHeader(device, header, sizeof(WAVEHDR));
        }
        header->~WAVEHDR();
        std::free(header);
        --m_outstanding;
    }
    const CPrivateAction queue(kQueueSlot, "CMetronome", "lpQue");
    if (m_doneHead != nullptr && m_outstanding == 0) {
        m_doneHead = nullptr;
        m_doneTail = nullptr;
        Line(" ... nothing as delete buffer failed.");
        Line(" ... unsettled system unexpected failed.");
    }
}

bool CMetronome::OpenDevice() {
    if (m_device.load() != nullptr) {
        return true;
    }
    // Only the piano's own output: without the piano there is nothing to open, rather than
    // the system's default output.
    const int id = CCheckUSBdev::GetWaveOutDev();
    if (id < 0) {
        return false;
    }
    HWAVEOUT device = nullptr;
    if (kirowave::OutOpen(
            &device, static_cast<UINT>(id), &kFormat, reinterpret_cast<DWORD_PTR>(&WaveOutProc),
            reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION) != MMSYSERR_NOERROR ||
        device == nullptr) {
        return false;
    }
    m_device = device;
    return true;
}

void CMetronome::CloseDevice() {
    HWAVEOUT device = m_device;
    if (device == nullptr) {
        return;
    }
    // The last sound rings out. A device that stops handing buffers back is reset, and given
    // up on in the end, so that closing never waits for ever.
    const auto since = std::chrono::steady_clock::now();
    bool reset = false;
    for (;;) {
        ReclaimBuffers();
        if (m_outstanding == 0) {
            break;
        }
        const auto waited = std::chrono::steady_clock::now() - since;
        if (!reset && waited > kRingOut) {
            kirowave::OutReset(device);
            reset = true;
        } else if (waited > 3 * kRingOut) {
            Line("オーディオデバイスがバッファを返さないので待つのをやめる");
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kirowave::OutClose(device);
    m_device = nullptr;
}

int CMetronome::EndThread() {
    if (!m_thread.joinable()) {
        CloseDevice();
        return m_state;
    }
    m_running = 0;
    m_state = 2;
    m_keepGoing = 0;
    m_clock->Wake();
    m_thread.join();
    CloseDevice();
    return m_state;
}
