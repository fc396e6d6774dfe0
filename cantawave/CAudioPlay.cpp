#include "CAudioPlay.h"

#include "CLast.h"
#include "CMpegDecoder.h"
#include "CPrivateAction.h"
#include "CPublicAction.h"
#include "CScorp.h"
#include "CSimplePlayer.h"
#include "CTrace.h"
#include "CWaveLayout.h"
#include "kirowave.h"

#include <QFile>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const QString CAudioPlay::kUnexpected = QStringLiteral("予期せぬエラーが発生しました。(1)");
const QString CAudioPlay::kNoFile =
    QStringLiteral("アルバムからオーディオファイルを選んでください。");
const QString CAudioPlay::kFormatMessage =
    QStringLiteral("このオーディオファイルフォーマットは再生可能な形式ではありません。");
const QString CAudioPlay::kDeviceMessage =
    QStringLiteral("オーディオデバイスを使用することができません。\r\nZQ31本体と正しく接続されて"
                   "いるかを確認してください。");
const QString CAudioPlay::kThreadMessage = QStringLiteral("beginthread AudioThreadCall failed.");

namespace {

constexpr unsigned int kPlayerSlot = 2;   // the WMA player's callbacks
constexpr unsigned int kCallbackSlot = 5; // the wave-output callback
constexpr unsigned int kPositionSlot = 14;
constexpr unsigned int kQueueSlot = 46;

// A device that hands no buffer back for this long after playback ended is reset, and given
// up on after three times as long, so that the thread always ends.
constexpr auto kRingOut = std::chrono::seconds(3);

void Sleep(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void Line(const char* text) {
    CLast::Trace().TraceLine() << text << "\n";
}

CVeskError Error(E_ERR_VESK code, const QString& text) {
    CVeskError error;
    error.SetCode(code, text);
    return error;
}

// The file of a path as the file system names it: any characters, spaces included. Only a
// regular file: a FIFO would hold the caller until some writer came, a device node never
// ends, and a folder reads as nothing. Opened without waiting, then checked.
std::FILE* OpenForReading(const QString& path) {
    if (path.isEmpty()) {
        return nullptr;
    }
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    struct stat info {};
    const int flags = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || flags < 0 ||
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "rb");
    if (file == nullptr) {
        ::close(fd);
    }
    return file;
}

} // namespace

CAudioPlay::CAudioPlay() = default;

CAudioPlay::~CAudioPlay() {
    Terminate();
}

CVeskError CAudioPlay::Initialize() {
    const CScorp scope("CAudioPlay", "Initialize", CLast::Trace());
    return {};
}

CVeskError CAudioPlay::Terminate() {
    const CScorp scope("CAudioPlay", "Terminate", CLast::Trace());
    if (!m_terminated) {
        Stop();
        CollectThread();
        CloseDevice();
        m_terminated = true;
    }
    return {};
}

QString CAudioPlay::GetFileName() const {
    return m_fileName;
}

// ---------------------------------------------------------------------------------------------
// The file and the position

CVeskError CAudioPlay::SetFileName(const QString& path) {
    CScorp scope("CAudioPlay", "SetFileName", CLast::Trace());
    const CPublicAction lock("CAudioPlay", "SetFileName");
    m_fileName = path;
    m_duration = MeasureDuration(path);
    const CVeskError result = First();
    scope.GetTrace().TraceEnd(result);
    return result;
}

unsigned int CAudioPlay::MeasureDuration(const QString& path) {
    std::FILE* file = OpenForReading(path);
    if (file == nullptr) {
        return 0;
    }
    const CWaveLayout layout = CWaveLayout::Read(file);
    std::fclose(file);
    if (layout.Kind() == CWaveLayout::kNotRiff) {
        return MeasurePlayerDuration(path);
    }
    return layout.DurationMs();
}

CVeskError CAudioPlay::First() {
    CScorp scope("CAudioPlay", "First", CLast::Trace());
    const CPublicAction lock("CAudioPlay", "First");
    {
        const CPrivateAction position(kPositionSlot, "CAudioPlay", "Mmtime_tmp");
        m_position = 0;
        ReportPosition(0);
    }
    const CVeskError result;
    scope.GetTrace().TraceEnd(result);
    return result;
}

CVeskError CAudioPlay::Rewind() {
    CScorp scope("CAudioPlay", "Rewind", CLast::Trace());
    const CPublicAction lock("CAudioPlay", "Rewind");
    {
        const CPrivateAction position(kPositionSlot, "CAudioPlay", "Mmtime_tmp");
        const unsigned int now = m_position;
        m_position = now > 1000 ? now - 1000 : 0;
        ReportPosition(m_position);
    }
    const CVeskError result;
    scope.GetTrace().TraceEnd(result);
    return result;
}

CVeskError CAudioPlay::Forward() {
    CScorp scope("CAudioPlay", "Forward", CLast::Trace());
    const CPublicAction lock("CAudioPlay", "Forward");
    CVeskError result;
    {
        const CPrivateAction position(kPositionSlot, "CAudioPlay", "Mmtime_tmp");
        // Counted wide: a position near the top must not wrap round to a small one.
        const unsigned long long next = static_cast<unsigned long long>(m_position) + 1000;
        if (next > m_duration) {
            m_position = m_duration.load();
            result = Error(ERR_VESK_PAST_END, kUnexpected);
        } else {
            m_position = static_cast<unsigned int>(next);
        }
        ReportPosition(m_position);
    }
    scope.GetTrace().TraceEnd(result);
    return result;
}

CVeskError CAudioPlay::Refresh() {
    const CScorp scope("CAudioPlay", "Refresh", CLast::Trace());
    const CPublicAction lock("CAudioPlay", "Refresh");
    return {};
}

void CAudioPlay::ReportPosition(unsigned int milliseconds) {
    CLast::Dummy().PostAudTimeDisp(milliseconds);
}

// ---------------------------------------------------------------------------------------------
// Starting

CVeskError CAudioPlay::Start() {
    CScorp scope("CAudioPlay", "Start", CLast::Trace());
    const CPublicAction lock("CAudioPlay", "Start");
    if (m_terminated || m_mode.load() != kIdle) {
        const CVeskError result = Error(ERR_VESK_FAILED, kUnexpected);
        scope.GetTrace().TraceEnd(result);
        return result;
    }
    // A thread that ended by itself is collected before another starts.
    CollectThread();
    m_hasOutFormat = false;
    m_mode = kIdle;
    m_threadError = CVeskError();
    CVeskError result;
    m_file = OpenForReading(m_fileName);
    if (m_file == nullptr) {
        result = Error(ERR_VESK_FAILED, kNoFile);
    } else {
        const CWaveLayout layout = CWaveLayout::Read(m_file);
        if (layout.Kind() == CWaveLayout::kNotRiff) {
            std::fclose(m_file);
            m_file = nullptr;
            result = StartPlayer();
        } else {
            result = StartRiff(layout);
        }
    }
    if (result == ERR_VESK_OK) {
        // The caller shows "playing" once the device has sound to play.
        Sleep(200);
    } else {
        First();
    }
    scope.GetTrace().TraceEnd(result);
    return result;
}

CVeskError CAudioPlay::StartRiff(const CWaveLayout& layout) {
    CVeskError result = Error(ERR_VESK_REFUSED, kFormatMessage);
    if (layout.Kind() == CWaveLayout::kPcm) {
        const WAVEFORMATEX& format = layout.Format();
        const CPrivateAction position(kPositionSlot, "CAudioPlay", "Mmtime_tmp");
        auto startSample =
            static_cast<std::uint64_t>(format.nSamplesPerSec * 0.001 * m_position.load());
        if (startSample * 4 >= layout.DataSize()) {
            startSample = 0;
            m_position = 0;
        }
        const std::uint64_t offset = startSample * 4;
        if (std::fseek(m_file, static_cast<long>(offset), SEEK_CUR) == 0) {
            m_startSample = startSample;
            m_remaining = static_cast<std::uint32_t>(layout.DataSize() - offset);
            m_outFormat = format;
            m_hasOutFormat = true;
            m_mode = kPcm;
            result = CVeskError();
        }
    } else if (layout.Kind() == CWaveLayout::kMpegLayer3) {
        result = StartMpegLayer3(layout);
    }
    if (result == ERR_VESK_OK) {
        result = OpenDevice();
    }
    if (result != ERR_VESK_OK) {
        m_mode = kIdle;
        std::fclose(m_file);
        m_file = nullptr;
        CloseDevice();
        CloseDecoder();
        return result;
    }
    m_sampleRate = m_outFormat.nSamplesPerSec;
    m_keepGoing = 1;
    m_done = 0;
    m_outstanding = 0;
    m_started = 0;
    // Cleared here, not by the thread: a stop that comes before the thread runs still counts.
    m_stopRequested = 0;
    try {
        m_streaming = m_mode;
        m_thread = std::thread([this] { ThreadMain(); });
    } catch (const std::system_error&) {
        m_keepGoing = 0;
        m_done = 1;
        m_mode = kIdle;
        std::fclose(m_file);
        m_file = nullptr;
        CloseDevice();
        CloseDecoder();
        return Error(ERR_VESK_THREAD_START, kThreadMessage);
    }
    return result;
}

CVeskError CAudioPlay::OpenDevice() {
    HWAVEOUT device = nullptr;
    const UINT id = CLast::Dummy().GetWaveOutDev();
    const MMRESULT opened =
        kirowave::OutOpen(&device, id, &m_outFormat, reinterpret_cast<DWORD_PTR>(&WaveOutProc),
                          reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION);
    if (opened != MMSYSERR_NOERROR || device == nullptr) {
        return Error(ERR_VESK_FAILED, kDeviceMessage);
    }
    const std::lock_guard<std::mutex> guard(m_deviceLock);
    m_device = device;
    m_positionDevice = device;
    return {};
}

void CAudioPlay::CloseDevice() {
    const std::lock_guard<std::mutex> guard(m_deviceLock);
    if (HWAVEOUT device = m_device; device != nullptr) {
        {
            const CPrivateAction position(kPositionSlot, "CAudioPlay", "Mmtime_tmp");
            m_positionDevice = nullptr;
        }
        kirowave::OutClose(device);
        m_device = nullptr;
    }
}

void CAudioPlay::CollectThread() {
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) {
        m_thread.join();
    }
}

// ---------------------------------------------------------------------------------------------
// Stopping

CVeskError CAudioPlay::Stop() {
    CScorp scope("CAudioPlay", "Stop", CLast::Trace());
    const CPublicAction lock("CAudioPlay", "Stop");
    m_stopRequested = 1;
    if (m_thread.joinable()) {
        if (m_streaming == kPlayer) {
            StopPlayer();
        } else {
            m_keepGoing = 0;
            while (m_done.load() != 1) {
                Sleep(10);
            }
            Sleep(10);
            // The buffers still queued come back at once.
            const std::lock_guard<std::mutex> guard(m_deviceLock);
            if (HWAVEOUT device = m_device; device != nullptr) {
                kirowave::OutReset(device);
            }
        }
        CollectThread();
    }
    m_mode = kIdle;
    const CVeskError result;
    scope.GetTrace().TraceEnd(result);
    return result;
}

void CAudioPlay::StopFromMiddle() {
    const CScorp scope("CAudioPlay", "StopFromMiddle", CLast::Trace());
    m_mode = kIdle;
    CLast::Dummy().StopAudPlayFromMiddle();
}

void CAudioPlay::BackToStart() {
    const CPrivateAction position(kPositionSlot, "CAudioPlay", "Mmtime_tmp");
    m_startSample = 0;
    m_position = 0;
    ReportPosition(0);
}

// ---------------------------------------------------------------------------------------------
// The playback thread

struct CAudioPlay::Block {
    WAVEHDR header;
    // The sound follows the header in the same allocation.
};

void CAudioPlay::ThreadMain() {
    const CScorp scope("CAudioPlay", "AudioThreadCall", CLast::Trace());
    // What the thread plays was fixed before it started: the mode itself may already have gone
    // back to idle by the time it runs, if the file ended at once.
    if (m_streaming == kPlayer) {
        PlayerLoop();
    } else {
        StreamLoop();
    }
}

void CAudioPlay::StreamLoop() {
    if (!PrepareChunks()) {
        m_threadError = Error(ERR_VESK_REFUSED, kFormatMessage);
    }
    while (m_keepGoing.load() == 1 && m_threadError == ERR_VESK_OK) {
        Sleep(10);
        m_started = 1;
        const std::uint8_t* data = nullptr;
        const std::size_t length = NextChunk(data);
        if (length == 0 || !Feed(data, length)) {
            break;
        }
        UpdatePosition();
        ReclaimBuffers();
        Sleep(100);
        while (m_outstanding.load() >= kMaxAhead) {
            Sleep(10);
            if (m_keepGoing.load() != 1) {
                break;
            }
            UpdatePosition();
            ReclaimBuffers();
            Sleep(100);
        }
    }
    UpdatePosition();
    m_done = 1;
    std::fclose(m_file);
    m_file = nullptr;

    // A failed device keeps nothing worth hearing: what it holds comes back at once.
    if (m_threadError != ERR_VESK_OK) {
        const std::lock_guard<std::mutex> guard(m_deviceLock);
        if (HWAVEOUT device = m_device; device != nullptr) {
            kirowave::OutReset(device);
        }
    }
    DrainBuffers();
    if (m_stopRequested.load() == 0) {
        BackToStart();
        StopFromMiddle();
    }
    if (m_device.load() != nullptr) {
        Sleep(100);
        CloseDevice();
    }
    m_chunk.reset();
    CloseDecoder();
}

void CAudioPlay::DrainBuffers() {
    auto since = std::chrono::steady_clock::now();
    int seen = m_outstanding;
    bool reset = false;
    while (m_outstanding.load() > 0) {
        if (m_stopRequested.load() == 0) {
            UpdatePosition();
        }
        ReclaimBuffers();
        if (m_outstanding.load() != seen) {
            seen = m_outstanding;
            since = std::chrono::steady_clock::now();
        }
        const auto waited = std::chrono::steady_clock::now() - since;
        if (!reset && waited > kRingOut) {
            const std::lock_guard<std::mutex> guard(m_deviceLock);
            if (HWAVEOUT device = m_device; device != nullptr) {
                kirowave::OutReset(device);
            }
            reset = true;
        } else if (reset && waited > 3 * kRingOut) {
            // The blocks stay with the device rather than be freed under it.
            Line("オーディオデバイスがバッファを返さないので待つのをやめる");
            break;
        }
        Sleep(100);
    }
}

bool CAudioPlay::PrepareChunks() {
    if (m_streaming == kMpegLayer3) {
        return PrepareDecoderChunks();
    }
    m_chunk.reset(new (std::nothrow) std::uint8_t[kBufferBytes]);
    m_chunkCapacity = kBufferBytes;
    return m_chunk != nullptr;
}

std::size_t CAudioPlay::NextChunk(const std::uint8_t*& data) {
    if (m_streaming == kMpegLayer3) {
        return NextDecodedChunk(data);
    }
    data = m_chunk.get();
    const std::size_t want = std::min<std::size_t>(m_chunkCapacity, m_remaining);
    const std::size_t got = want > 0 ? std::fread(m_chunk.get(), 1, want, m_file) : 0;
    // A file cut short ends here; only whole frames go to the device.
    const std::size_t length = got - got % 4;
    m_remaining -= static_cast<std::uint32_t>(got);
    if (got < want) {
        m_remaining = 0;
    }
    return length;
}

bool CAudioPlay::Feed(const std::uint8_t* data, std::size_t length) {
    void* memory = std::malloc(sizeof(Block) + length);
    if (memory == nullptr) {
        m_threadError = Error(ERR_VESK_REFUSED, kFormatMessage);
        return false;
    }
    auto* block = new (memory) Block{};
    WAVEHDR* header = &block->header;
    header->lpData = static_cast<char*>(memory) + sizeof(Block);
    std::memcpy(header->lpData, data, length);
    header->dwBufferLength = static_cast<DWORD>(length);
    header->dwBytesRecorded = static_cast<DWORD>(length);
    HWAVEOUT device = m_device;
    if (device != nullptr &&
        kirowave::OutPrepareHeader(device, header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
        std::free(memory);
        m_threadError = Error(ERR_VESK_REFUSED, kFormatMessage);
        return false;
    }
    ++m_outstanding;
    if (device != nullptr &&
        kirowave::OutWrite(device, header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
        kirowave::OutUnprepareHeader(device, header, sizeof(WAVEHDR));
        std::free(memory);
        --m_outstanding;
        m_threadError = Error(ERR_VESK_REFUSED, kFormatMessage);
        return false;
    }
    return true;
}

void CAudioPlay::UpdatePosition() {
    const CPrivateAction position(kPositionSlot, "CAudioPlay", "Mmtime_tmp");
    HWAVEOUT device = m_positionDevice;
    const unsigned int rate = m_sampleRate;
    if (device == nullptr || rate == 0) {
        return;
    }
    MMTIME time{};
    time.wType = TIME_SAMPLES;
    if (kirowave::OutGetPosition(device, &time, sizeof time) != MMSYSERR_NOERROR) {
        return;
    }
    const std::uint64_t sample = m_startSample + time.u.sample;
    m_position = static_cast<unsigned int>(sample / (rate * 0.001));
    ReportPosition(m_position);
}

void CAudioPlay::WaveOutProc(HWAVEOUT, UINT message, DWORD_PTR instance, DWORD_PTR first,
                             DWORD_PTR) {
    if (message != WOM_DONE) {
        return;
    }
    auto* player = reinterpret_cast<CAudioPlay*>(instance);
    auto* header = reinterpret_cast<WAVEHDR*>(first);
    const CPrivateAction callback(kCallbackSlot, "CAudioPlay", "WaveOutProc");
    player->ReportLevels(header->lpData, header->dwBufferLength);
    header->dwUser = 0;
    const CPrivateAction queue(kQueueSlot, "CAudioPlay", "lpQue");
    if (player->m_doneTail != nullptr) {
        player->m_doneTail->dwUser = reinterpret_cast<DWORD_PTR>(header);
    } else {
        player->m_doneHead = header;
    }
    player->m_doneTail = header;
}

void CAudioPlay::ReclaimBuffers() {
    for (;;) {
        WAVEHDR* header = nullptr;
        {
            const CPrivateAction queue(kQueueSlot, "CAudioPlay", "lpQue");
            if (m_doneHead == nullptr) {
                return;
            }
            if (m_outstanding.load() == 0) {
                m_doneHead = nullptr;
                m_doneTail = nullptr;
                Line(" ... nothing as delete buffer failed.");
                Line(" ... unsettled system unexpected failed.");
                return;
            }
            header = m_doneHead;
            m_doneHead = reinterpret_cast<WAVEHDR*>(header->dwUser);
            if (m_doneHead == nullptr) {
                m_doneTail = nullptr;
            }
        }
        if (HWAVEOUT device = m_device; device != nullptr) {
            kirowave::OutUnprepareHeader(device, header, sizeof(WAVEHDR));
        }
        auto* block = reinterpret_cast<Block*>(header);
        block->~Block();
        std::free(block);
        --m_outstanding;
    }
}

// ---------------------------------------------------------------------------------------------
// The level meter

E_AUDLEVELOUT CAudioPlay::LevelOfPeak(unsigned int peak) {
    const double clamped = std::min(peak, 32768u);
    return static_cast<E_AUDLEVELOUT>(
        static_cast<unsigned int>(21.0 * std::sqrt(clamped) / (std::sqrt(32768.0) + 1.0)));
}

void CAudioPlay::MeasureLevels(const void* bytes, std::size_t length, E_AUDLEVELOUT& left,
                               E_AUDLEVELOUT& right) {
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    unsigned int peaks[2] = {0, 0};
    for (std::size_t i = 0; p != nullptr && i + 4 <= length; i += 4) {
        for (int channel = 0; channel < 2; ++channel) {
            const auto sample =
                static_cast<std::int16_t>(p[i + 2 * channel] | (p[i + 2 * channel + 1] << 8));
            const unsigned int magnitude =
                static_cast<unsigned int>(std::abs(static_cast<int>(sample)));
            peaks[channel] = std::max(peaks[channel], magnitude);
        }
    }
    left = LevelOfPeak(peaks[0]);
    right = LevelOfPeak(peaks[1]);
}

void CAudioPlay::ReportLevels(const void* bytes, std::size_t length) {
    E_AUDLEVELOUT left = AUDLEVELOUT_MIN;
    E_AUDLEVELOUT right = AUDLEVELOUT_MIN;
    MeasureLevels(bytes, length, left, right);
    if (m_stopRequested.load() == 0) {
        CLast::Dummy().PostAudLevelMeter(left, right);
    }
}

// ---------------------------------------------------------------------------------------------
// MPEG Layer-3 in RIFF

CVeskError CAudioPlay::StartMpegLayer3(const CWaveLayout& layout) {
    const WAVEFORMATEX& format = layout.Format();
    const double bytesPerMs = format.nAvgBytesPerSec * 0.001;
    {
        const CPrivateAction position(kPositionSlot, "CAudioPlay", "Mmtime_tmp");
        auto offset = static_cast<std::uint64_t>(bytesPerMs * m_position.load());
        if (offset >= layout.DataSize()) {
            offset = 0;
        }
        m_position = static_cast<unsigned int>(offset / bytesPerMs);
        m_startSample = static_cast<std::uint64_t>(format.nSamplesPerSec * 0.001 * m_position);
        if (std::fseek(m_file, static_cast<long>(offset), SEEK_CUR) != 0) {
            return Error(ERR_VESK_REFUSED, kFormatMessage);
        }
        m_remaining = static_cast<std::uint32_t>(layout.DataSize() - offset);
    }
    MPEGLAYER3WAVEFORMAT source{};
    static_assert(sizeof source == CWaveLayout::kMpegFormatSize);
    std::memcpy(&source, layout.MpegFormat().data(), sizeof source);
    m_decoder = std::make_unique<CMpegDecoder>();
    const bool opened = m_decoder->Open(source);
    const WAVEFORMATEX& output = m_decoder->Output();
    if (!opened || output.wFormatTag != WAVE_FORMAT_PCM || output.wBitsPerSample != 16 ||
        output.nChannels != 2) {
        CloseDecoder();
        return Error(ERR_VESK_FAILED, kUnexpected);
    }
    m_outFormat = output;
    m_hasOutFormat = true;
    m_pending = 0;
    m_mode = kMpegLayer3;
    return {};
}

bool CAudioPlay::PrepareDecoderChunks() {
    return m_decoder && m_decoder->Prepare(kBufferBytes);
}

std::size_t CAudioPlay::NextDecodedChunk(const std::uint8_t*& data) {
    // Rounds in a row in which the decoder took nothing, gave nothing and no byte could be read
    // for it; a few are allowed, since a decoder may skip frames that decode to nothing.
    constexpr int kMaxFruitlessRounds = 16;
    CMpegDecoder& decoder = *m_decoder;
    int fruitless = 0;
    for (;;) {
        // A stop does not wait for a file that decodes to nothing for a long stretch.
        if (m_keepGoing.load() != 1) {
            return 0;
        }
        std::size_t got = 0;
        if (m_remaining > 0 && m_pending < decoder.SourceSize()) {
            const std::size_t want =
                std::min<std::size_t>(decoder.SourceSize() - m_pending, m_remaining);
            got = std::fread(decoder.Source() + m_pending, 1, want, m_file);
            m_remaining -= static_cast<std::uint32_t>(got);
            if (got < want) {
                m_remaining = 0;
            }
            m_pending += got;
        }
        const long decoded = decoder.Convert(m_pending);
        if (decoded < 0) {
            m_threadError = Error(ERR_VESK_REFUSED, kFormatMessage);
            return 0;
        }
        const std::size_t used = decoder.Used();
        std::memmove(decoder.Source(), decoder.Source() + used, m_pending - used);
        m_pending -= used;
        if (decoded > 0) {
            // Only whole frames go to the device.
            data = decoder.Decoded();
            return static_cast<std::size_t>(decoded) - static_cast<std::size_t>(decoded) % 4;
        }
        // The decoder waits for more than the file has: nothing more will come.
        if (m_remaining == 0 && (used == 0 || m_pending == 0)) {
            return 0;
        }
        // A full source block the decoder will not take from, with nothing coming out, stays
        // so: the file cannot be played on.
        fruitless = used == 0 && got == 0 ? fruitless + 1 : 0;
        if (fruitless > kMaxFruitlessRounds) {
            m_threadError = Error(ERR_VESK_REFUSED, kFormatMessage);
            return 0;
        }
    }
}

void CAudioPlay::CloseDecoder() {
    m_decoder.reset();
}

// ---------------------------------------------------------------------------------------------
// Every other file: the general player, which opens the device itself

unsigned int CAudioPlay::MeasurePlayerDuration(const QString& path) {
    HRESULT created = E_FAIL;
    CSimplePlayer player(&created, nullptr, nullptr, nullptr);
    DWORD milliseconds = 0;
    if (FAILED(created) ||
        FAILED(player.GetDuration(QFile::encodeName(path).constData(), &milliseconds))) {
        return 0;
    }
    return milliseconds;
}

CVeskError CAudioPlay::StartPlayer() {
    auto finished = std::make_shared<CPlayEvent>();
    HRESULT created = E_FAIL;
    auto owned = std::make_unique<CSimplePlayer>(&created, this, &WmaWaveoutCallback, &WmaPlayEof);
    if (FAILED(created)) {
        return Error(ERR_VESK_FAILED, kUnexpected);
    }
    unsigned int from = 0;
    {
        const CPrivateAction position(kPositionSlot, "CAudioPlay", "Mmtime_tmp");
        from = m_position;
    }
    // A short file may end before StartPlay has returned: its end must find the playing state
    // already in place, and waits for the thread (started below) to see it.
    m_stopRequested = 0;
    m_keepGoing = 1;
    m_done = 0;
    m_started = 0;
    m_finished = finished;
    m_mode = kPlayer;
    CSimplePlayer* player = owned.release();
    m_player = player;
    HRESULT result = S_OK;
    const HRESULT started = player->StartPlay(QFile::encodeName(m_fileName).constData(), from, 0,
                                              finished, &result, CLast::Dummy().GetWaveOutDev());
    if (FAILED(started)) {
        // A player that failed to start holds nothing and never calls back.
        delete m_player.exchange(nullptr);
        m_keepGoing = 0;
        m_done = 1;
        m_finished.reset();
        m_mode = kIdle;
        if (started == WMACONV_E_NODEVICE) {
            return Error(ERR_VESK_FAILED, kDeviceMessage);
        }
        // Without its codec module no file plays; the file itself is not to blame.
        return started == WMACONV_E_NOCODEC ? Error(ERR_VESK_FAILED, kUnexpected)
                                            : Error(ERR_VESK_REFUSED, kFormatMessage);
    }
    const WAVEFORMATEX* format = player->Get_wfx();
    {
        const CPrivateAction position(kPositionSlot, "CAudioPlay", "Mmtime_tmp");
        m_outFormat = format != nullptr ? *format : WAVEFORMATEX{};
        m_startSample = static_cast<std::uint64_t>(m_outFormat.nSamplesPerSec * 0.001 * from);
        m_sampleRate = m_outFormat.nSamplesPerSec;
        m_positionDevice = player->Get_hwo();
    }
    try {
        m_streaming = kPlayer;
        m_thread = std::thread([this] { ThreadMain(); });
    } catch (const std::system_error&) {
        // No end notice, and an end in progress stops waiting for the thread.
        m_stopRequested = 1;
        m_keepGoing = 0;
        m_done = 1;
        player->StopPlay();
        {
            const CPrivateAction position(kPositionSlot, "CAudioPlay", "Mmtime_tmp");
            m_positionDevice = nullptr;
        }
        delete m_player.exchange(nullptr);
        m_finished.reset();
        m_mode = kIdle;
        return Error(ERR_VESK_THREAD_START, kThreadMessage);
    }
    return {};
}

void CAudioPlay::StopPlayer() {
    {
        // The playback thread deletes the player only under this lock.
        const std::lock_guard<std::mutex> guard(m_playerLock);
        if (CSimplePlayer* player = m_player; player != nullptr) {
            player->StopPlay();
        }
    }
    m_keepGoing = 0;
    while (m_done.load() != 1) {
        Sleep(10);
    }
}

void CAudioPlay::PlayerLoop() {
    while (m_keepGoing.load() == 1) {
        Sleep(10);
        m_started = 1;
        if (m_player.load() == nullptr) {
            break;
        }
        if (m_stopRequested.load() == 0) {
            UpdatePosition();
        }
        Sleep(100);
    }
    m_done = 1;
    // The player sets the event last, once its own thread has let go of everything.
    if (m_finished) {
        m_finished->Wait();
        m_finished.reset();
    }
    {
        const CPrivateAction position(kPositionSlot, "CAudioPlay", "Mmtime_tmp");
        m_positionDevice = nullptr;
    }
    const std::lock_guard<std::mutex> guard(m_playerLock);
    delete m_player.exchange(nullptr);
}

void CAudioPlay::WmaWaveoutCallback(void* instance, WAVEHDR* header) {
    auto* player = static_cast<CAudioPlay*>(instance);
    const CPrivateAction callback(kPlayerSlot, "CAudioPlay", "WMAWaveoutCallback");
    if (header != nullptr) {
        player->ReportLevels(header->lpData, header->dwBytesRecorded);
    }
}

void CAudioPlay::WmaPlayEof(void* instance) {
    auto* player = static_cast<CAudioPlay*>(instance);
    const CPrivateAction callback(kPlayerSlot, "CAudioPlay", "WMAPlayEof");
    player->m_keepGoing = 0;
    while (player->m_done.load() != 1) {
        Sleep(10);
    }
    // A stop that began meanwhile wins: a stopped file tells nobody of its end.
    if (player->m_stopRequested.load() == 0) {
        player->BackToStart();
        player->StopFromMiddle();
    }
}
