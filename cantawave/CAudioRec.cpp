#include "CAudioRec.h"

#include "CLast.h"
#include "CPublicAction.h"
#include "CScorp.h"
#include "kirowave.h"

#include <QFileInfo>
#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

const QString kSaveFailed = QStringLiteral("オーディオファイルの保存に失敗しました。");
const QString kNoDevice = QStringLiteral("オーディオデバイスを使用することができません。\r\n"
                                         "ZQ31本体と正しく接続されているかを確認してください。");
const QString kUnexpected = QStringLiteral("予期せぬエラーが発生しました。(1)");
const QString kDiskFull = QStringLiteral("ハードディスクの空き容量が足りません。");
const QString kLengthLimit =
    QStringLiteral("録音できる長さの上限（約6時間45分）に達したため、録音を終了しました。");

// How the recording thread ended.
enum EEnd : int {
    END_RUNNING = 0,
    END_STOPPED,      // by Stop
    END_DISK_FULL,    // less than the minimum free, or the file system refused more bytes
    END_LENGTH_LIMIT, // the RIFF size limit
    END_WRITE_FAILED, // the file is deleted
    END_NO_DEVICE,    // the device did not start
    END_DEVICE_LOST,  // the device went away: it refused a buffer back
};

static_assert(CAudioRec::kMaxDataBytes % CAudioRec::kBlockAlign == 0 &&
                  CAudioRec::kMaxDataBytes + 38 <= 0xFFFFFFFFull,
              "the RIFF size of the longest recording must fit its 32-bit field");

constexpr int RESULT_OK = 0;
constexpr int RESULT_WRITE_FAILED = 8;

constexpr auto kSizeInterval = std::chrono::seconds(1);
constexpr auto kWakeInterval = std::chrono::milliseconds(250);

void PutLe32(unsigned char* at, std::uint32_t value) {
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
    at[2] = static_cast<unsigned char>(value >> 16);
    at[3] = static_cast<unsigned char>(value >> 24);
}

void PutLe16(unsigned char* at, std::uint16_t value) {
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
}

WAVEFORMATEX RecordingFormat() {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = CAudioRec::kChannels;
    format.nSamplesPerSec = CAudioRec::kSampleRate;
    format.nAvgBytesPerSec = CAudioRec::kBytesPerSecond;
    format.nBlockAlign = CAudioRec::kBlockAlign;
    format.wBitsPerSample = 16;
    // The format record's own size, as the file has always carried it; readers ignore it for
    // PCM.
    format.cbSize = 18;
    return format;
}

std::array<unsigned char, CAudioRec::kHeaderBytes> MakeHeader(std::uint64_t dataBytes) {
    std::array<unsigned char, CAudioRec::kHeaderBytes> header{};
    const WAVEFORMATEX format = RecordingFormat();
    std::memcpy(header.data(), "RIFF", 4);
    PutLe32(header.data() + 4, static_cast<std::uint32_t>(dataBytes + 38));
    std::memcpy(header.data() + 8, "WAVEfmt ", 8);
    PutLe32(header.data() + 16, 18);
    PutLe16(header.data() + 20, format.wFormatTag);
    PutLe16(header.data() + 22, format.nChannels);
    PutLe32(header.data() + 24, format.nSamplesPerSec);
    PutLe32(header.data() + 28, format.nAvgBytesPerSec);
    PutLe16(header.data() + 32, format.nBlockAlign);
    PutLe16(header.data() + 34, format.wBitsPerSample);
    PutLe16(header.data() + 36, format.cbSize);
    std::memcpy(header.data() + 38, "data", 4);
    PutLe32(header.data() + 42, static_cast<std::uint32_t>(dataBytes));
    return header;
}

// Peaks of the left and right channels of 16-bit little-endian stereo frames.
std::pair<unsigned, unsigned> Peaks(const char* data, std::size_t length) {
    unsigned left = 0;
    unsigned right = 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    for (std::size_t at = 0; at + 4 <= length; at += 4) {
        const auto l = static_cast<std::int16_t>(bytes[at] | (bytes[at + 1] << 8));
        const auto r = static_cast<std::int16_t>(bytes[at + 2] | (bytes[at + 3] << 8));
        left = std::max(left, static_cast<unsigned>(std::abs(static_cast<int>(l))));
        right = std::max(right, static_cast<unsigned>(std::abs(static_cast<int>(r))));
    }
    return {left, right};
}
} // namespace

struct CAudioRec::CState {
    QString fileName;

    // The buffers, allocated at the first Start and kept.
    std::unique_ptr<char[]> blocks;
    std::array<WAVEHDR, kBufferCount> headers{};

    // Set before the thread starts and cleared after it has been joined.
    HWAVEIN device = nullptr;
    int fd = -1;
    QString path;
    QString folder;
    struct stat identity {};

    // Finished headers: the callback appends, the thread takes. The counts only grow, so a
    // ring holding all 50 headers is told apart from an empty one.
    std::array<std::atomic<WAVEHDR*>, kBufferCount> ring{};
    std::atomic<std::uint64_t> completed{0};
    std::uint64_t taken = 0; // the thread's
    std::atomic<int> outstanding{0};

    // Held while a header is given back to the device and while Stop ends the recording, so
    // no header is queued after the device was reset.
    std::mutex queueLock;
    std::atomic<bool> recording{false};

    std::mutex wakeLock;
    std::condition_variable wake;

    std::thread thread;
    std::atomic<int> threadState{0}; // 0 starting, 1 recording, 2 ended
    std::atomic<int> result{RESULT_OK};
    std::atomic<int> ended{END_RUNNING};
    std::atomic<std::uint64_t> written{0};

    // The recording a notice is about, and the last one the user stopped.
    std::atomic<std::uint64_t> generation{0};
    std::atomic<std::uint64_t> userStopped{0};
    // Whoever reports a failed write first (Stop or the notice) reports it alone.
    std::atomic<bool> failureReported{false};

    // Notices of recordings that ended by themselves; joined once they are done.
    struct CNotice {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::vector<CNotice> notices;
};

CAudioRec::CAudioRec() : m_state(std::make_unique<CState>()) {}

CAudioRec::~CAudioRec() {
    CAudioRec::Terminate();
    // A notice may still wait for the public lock; it needs this object until it is done.
    for (CState::CNotice& notice : m_state->notices) {
        if (notice.thread.joinable()) {
            notice.thread.join();
        }
    }
}

CVeskError CAudioRec::SetFileName(const QString& path) {
    const CScorp scope("CAudioRec", "SetFileName", CLast::Trace());
    m_state->fileName = path;
    return {};
}

QString CAudioRec::GetFileName() const {
    return m_state->fileName;
}

CVeskError CAudioRec::Initialize() {
    const CScorp scope("CAudioRec", "Initialize", CLast::Trace());
    return {};
}

CVeskError CAudioRec::Terminate() {
    const CScorp scope("CAudioRec", "Terminate", CLast::Trace());
    return CAudioRec::Stop();
}

CVeskError CAudioRec::Refresh() {
    const CScorp scope("CAudioRec", "Refresh", CLast::Trace());
    const CPublicAction lock("CAudioRec", "Refresh");
    return {};
}

CVeskError CAudioRec::Save() {
    const CScorp scope("CAudioRec", "Save", CLast::Trace());
    const CPublicAction lock("CAudioRec", "Save");
    return {};
}

CVeskError CAudioRec::StopFromMiddle() {
    const CScorp scope("CAudioRec", "StopFromMiddle", CLast::Trace());
    const CPublicAction lock("CAudioRec", "StopFromMiddle");
    CLast::Dummy().StopAudRecFromMiddle();
    return {};
}

CVeskError CAudioRec::ErrorMessageFromMiddle() {
    const CScorp scope("CAudioRec", "ErrorMessageFromMiddle", CLast::Trace());
    CVeskError error;
    error.SetCode(ERR_VESK_FAILED, kDiskFull);
    CLast::Dummy().ErrorMessageFromMiddle(error);
    return {};
}

void CAudioRec::PostAudLevelMeter(E_AUDLEVELOUT left, E_AUDLEVELOUT right) {
    CLast::Dummy().PostAudLevelMeter(left, right);
}

bool CAudioRec::IsRecording() const {
    return m_state->device != nullptr && m_state->threadState.load() != 2;
}

std::uint64_t CAudioRec::WrittenBytes() const {
    return m_state->written.load();
}

E_AUDLEVELOUT CAudioRec::LevelStep(unsigned peak) {
    const double step =
        21.0 * std::sqrt(static_cast<double>(std::min(peak, 32768u))) / (std::sqrt(32768.0) + 1.0);
    return static_cast<E_AUDLEVELOUT>(std::min(20u, static_cast<unsigned>(step)));
}

std::optional<std::uint64_t> CAudioRec::FreeBytes(const QString& folder) {
    struct statvfs info {};
    if (::statvfs(QFile::encodeName(folder).constData(), &info) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
}

long CAudioRec::WriteFile(int fd, const void* bytes, std::size_t length, std::uint64_t offset) {
    return static_cast<long>(::pwrite(fd, bytes, length, static_cast<off_t>(offset)));
}

// ---- the device callback -------------------------------------------------------------------

struct CAudioRecAccess {
    static void WaveInProc(HWAVEIN, UINT message, DWORD_PTR instance, DWORD_PTR first, DWORD_PTR) {
        if (message == WIM_DATA) {
            reinterpret_cast<CAudioRec*>(instance)->BufferDone(reinterpret_cast<void*>(first));
        }
    }
};

// Runs on the device's callback thread. The level is taken before the header is handed to
// the recording thread, which may give it back to the device at once.
void CAudioRec::BufferDone(void* buffer) {
    CState& s = *m_state;
    auto* header = static_cast<WAVEHDR*>(buffer);
    const auto [left, right] = Peaks(header->lpData, header->dwBytesRecorded);
    if (s.recording.load()) {
        PostAudLevelMeter(LevelStep(left), LevelStep(right));
    }
    const std::uint64_t count = s.completed.load(std::memory_order_relaxed);
    s.ring[count % kBufferCount].store(header, std::memory_order_relaxed);
    {
        const std::lock_guard<std::mutex> guard(s.wakeLock);
        s.completed.store(count + 1, std::memory_order_release);
        s.outstanding.fetch_sub(1);
    }
    s.wake.notify_all();
}

// ---- starting and stopping -----------------------------------------------------------------

CVeskError CAudioRec::Start() {
    const CScorp scope("CAudioRec", "Start", CLast::Trace());
    const CPublicAction lock("CAudioRec", "Start");
    CState& s = *m_state;
    CVeskError error;
    if (s.fileName.isEmpty()) {
        error.SetCode(ERR_VESK_FAILED, kSaveFailed);
        return error;
    }
    if (s.device != nullptr) {
        if (s.threadState.load() != 2) {
            error.SetCode(ERR_VESK_FAILED, kUnexpected);
            return error;
        }
        // The last recording ended by itself and nobody stopped it: close it now.
        if (s.thread.joinable()) {
            s.thread.join();
        }
        CloseDevice();
    }
    Retire();

    if (!s.blocks) {
        s.blocks.reset(new (std::nothrow) char[std::size_t{kBufferCount} * kBufferBytes]);
        if (!s.blocks) {
            error.SetCode(ERR_VESK_FAILED, kUnexpected);
            return error;
        }
    }
    for (unsigned i = 0; i < kBufferCount; ++i) {
        s.headers[i] = WAVEHDR{};
        s.headers[i].lpData = s.blocks.get() + std::size_t{i} * kBufferBytes;
        s.headers[i].dwBufferLength = kBufferBytes;
    }
    s.completed.store(0);
    s.taken = 0;
    s.outstanding.store(0);
    s.recording.store(false);
    s.written.store(0);
    s.result.store(RESULT_OK);
    s.ended.store(END_RUNNING);
    s.threadState.store(0);
    s.failureReported.store(false);
    s.generation.fetch_add(1);

    const WAVEFORMATEX format = RecordingFormat();
    HWAVEIN device = nullptr;
    if (kirowave::InOpen(&device, CLast::Dummy().GetWaveInDev(), &format,
                         reinterpret_cast<DWORD_PTR>(&CAudioRecAccess::WaveInProc),
                         reinterpret_cast<DWORD_PTR>(this),
                         CALLBACK_FUNCTION) != MMSYSERR_NOERROR ||
        device == nullptr) {
        error.SetCode(ERR_VESK_FAILED, kNoDevice);
        return error;
    }
    s.device = device;

    s.path = s.fileName;
    const QByteArray path = QFile::encodeName(s.path);
    s.fd = ::open(path.constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    const bool known = s.fd >= 0 && ::fstat(s.fd, &s.identity) == 0;
    // A FIFO or a device node under the name would take the samples where nobody finds them;
    // it is not the recorder's to delete either.
    if (!known || !S_ISREG(s.identity.st_mode)) {
        if (s.fd >= 0) {
            ::close(s.fd);
            if (!known) {
                ::unlink(path.constData());
            }
            s.fd = -1;
        }
        CloseDevice();
        error.SetCode(ERR_VESK_FAILED, kSaveFailed);
        return error;
    }
    s.folder = QFileInfo(s.path).absolutePath();

    s.recording.store(true);
    bool queued = true;
    for (WAVEHDR& header : s.headers) {
        if (kirowave::InPrepareHeader(s.device, &header, sizeof header) != MMSYSERR_NOERROR) {
            queued = false;
            break;
        }
        s.outstanding.fetch_add(1);
        if (kirowave::InAddBuffer(s.device, &header, sizeof header) != MMSYSERR_NOERROR) {
            s.outstanding.fetch_sub(1);
            queued = false;
            break;
        }
    }
    const auto giveUp = [&](const QString& text) {
        s.recording.store(false);
        ::close(s.fd);
        s.fd = -1;
        RemoveOurFile();
        CloseDevice();
        error.SetCode(ERR_VESK_FAILED, text);
        return error;
    };
    if (!queued) {
        return giveUp(kNoDevice);
    }

    try {
        s.thread = std::thread([this] { Record(); });
    } catch (const std::system_error&) {
        return giveUp(kUnexpected);
    }
    // The thread writes the header and starts the device; it fails only before recording.
    {
        std::unique_lock<std::mutex> guard(s.wakeLock);
        s.wake.wait(guard, [&] { return s.threadState.load() != 0; });
    }
    if (s.threadState.load() == 2) {
        s.thread.join();
        const bool noDevice = s.ended.load() == END_NO_DEVICE;
        CloseDevice();
        s.failureReported.store(true);
        error.SetCode(ERR_VESK_FAILED, noDevice ? kNoDevice : kSaveFailed);
        return error;
    }
    return error;
}

CVeskError CAudioRec::Stop() {
    const CScorp scope("CAudioRec", "Stop", CLast::Trace());
    const CPublicAction lock("CAudioRec", "Stop");
    CState& s = *m_state;
    CVeskError error;
    if (s.device == nullptr) {
        return error;
    }
    const bool running = s.threadState.load() != 2;
    if (running) {
        int expected = END_RUNNING;
        s.ended.compare_exchange_strong(expected, END_STOPPED);
        if (kirowave::InStop(s.device) == MMSYSERR_NODRIVER) {
            // The device went away before the user stopped: the take is cut short all the same.
            expected = END_STOPPED;
            s.ended.compare_exchange_strong(expected, END_DEVICE_LOST);
        }
        {
            const std::lock_guard<std::mutex> guard(s.queueLock);
            s.recording.store(false);
        }
        // Every queued header comes back; the one being filled kept its samples at InStop.
        kirowave::InReset(s.device);
        s.wake.notify_all();
    }
    if (s.thread.joinable()) {
        s.thread.join();
    }
    CloseDevice();
    if (s.result.load() != RESULT_OK && !s.failureReported.exchange(true)) {
        error.SetCode(ERR_VESK_FAILED, kSaveFailed);
    } else if (s.ended.load() == END_DEVICE_LOST) {
        // The take is cut short: its caller must not take it for a whole one. The notice shows
        // the message.
        error.SetCode(ERR_VESK_FAILED, kNoDevice);
    }
    // Only a Stop that succeeded brought the engine to a stop: after a failed one, the notice
    // still tells the engine (the public lock keeps it waiting until Stop has returned).
    if (running && error == ERR_VESK_OK) {
        s.userStopped.store(s.generation.load());
    }
    return error;
}

// Gives every header back, waits for the callback to have seen them, and closes the device.
void CAudioRec::CloseDevice() {
    CState& s = *m_state;
    if (s.device == nullptr) {
        return;
    }
    {
        const std::lock_guard<std::mutex> guard(s.queueLock);
        s.recording.store(false);
    }
    kirowave::InReset(s.device);
    while (s.outstanding.load() > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    for (WAVEHDR& header : s.headers) {
        if ((mmxHeaderFlags(header.dwFlags) & WHDR_PREPARED) != 0) {
            kirowave::InUnprepareHeader(s.device, &header, sizeof header);
        }
    }
    kirowave::InClose(s.device);
    s.device = nullptr;
}

// Joins the notices that are done; the others keep waiting for the public lock, which the
// caller holds, and are joined later.
void CAudioRec::Retire() {
    auto& notices = m_state->notices;
    for (auto it = notices.begin(); it != notices.end();) {
        if (it->done->load()) {
            it->thread.join();
            it = notices.erase(it);
        } else {
            ++it;
        }
    }
}

// ---- the recording thread ------------------------------------------------------------------

bool CAudioRec::WriteAll(const void* bytes, std::size_t length, std::uint64_t offset, int* error) {
    const auto* data = static_cast<const char*>(bytes);
    std::size_t done = 0;
    while (done < length) {
        const long put = WriteFile(m_state->fd, data + done, length - done, offset + done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            *error = put < 0 ? errno : ENOSPC;
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
}

// Brings the two size fields up to the samples written; those must be on the file first, so
// that the sizes never count bytes a power loss could take away.
bool CAudioRec::WriteSizes(std::uint64_t dataBytes) {
    const auto header = MakeHeader(dataBytes);
    int error = 0;
    if (::fdatasync(m_state->fd) != 0 && errno != EINVAL) {
        return false;
    }
    return WriteAll(header.data() + 4, 4, 4, &error) && WriteAll(header.data() + 42, 4, 42, &error);
}

// False when the file's name no longer leads to the file being written (its folder or the
// file itself was removed or replaced): writes then still succeed, but into nothing the user
// can find.
bool CAudioRec::StillOurFile() const {
    struct stat now {};
    if (::stat(QFile::encodeName(m_state->path).constData(), &now) != 0) {
        return false;
    }
    return now.st_dev == m_state->identity.st_dev && now.st_ino == m_state->identity.st_ino;
}

void CAudioRec::RemoveOurFile() const {
    if (StillOurFile()) {
        ::unlink(QFile::encodeName(m_state->path).constData());
    }
}

// Ends the recording from the thread: no more headers go to the device, and the device hands
// back the ones it holds (their samples are written only when the device was lost, since they
// are then the last it captured).
void CAudioRec::EndBySelf(int reason) {
    CState& s = *m_state;
    // The first reason stands; a user's Stop at the same moment does not hide it, so the disk
    // message is still shown.
    int current = s.ended.load();
    while ((current == END_RUNNING || current == END_STOPPED) &&
           !s.ended.compare_exchange_weak(current, reason)) {
    }
    {
        const std::lock_guard<std::mutex> guard(s.queueLock);
        s.recording.store(false);
    }
    kirowave::InReset(s.device);
}

void CAudioRec::Record() {
    CState& s = *m_state;
    const std::uint64_t generation = s.generation.load();
    int error = 0;
    const auto header = MakeHeader(0);
    bool started = false;
    if (!WriteAll(header.data(), header.size(), 0, &error)) {
        s.result.store(RESULT_WRITE_FAILED);
        s.ended.store(END_WRITE_FAILED);
    } else if (kirowave::InStart(s.device) != MMSYSERR_NOERROR) {
        s.result.store(RESULT_WRITE_FAILED);
        s.ended.store(END_NO_DEVICE);
    } else {
        started = true;
    }
    if (!started) {
        {
            const std::lock_guard<std::mutex> guard(s.wakeLock);
            s.threadState.store(2);
        }
        s.wake.notify_all();
        ::close(s.fd);
        s.fd = -1;
        RemoveOurFile();
        return;
    }
    {
        const std::lock_guard<std::mutex> guard(s.wakeLock);
        s.threadState.store(1);
    }
    s.wake.notify_all();

    const std::uint64_t limit = std::min(MaxDataBytes(), kMaxDataBytes) / kBlockAlign * kBlockAlign;
    std::uint64_t written = 0;
    std::uint64_t sizesWritten = 0;
    auto sizesDue = Clock::now() + kSizeInterval;
    bool writing = true; // false once the recording ended by itself

    for (;;) {
        const std::uint64_t completed = s.completed.load(std::memory_order_acquire);
        while (s.taken < completed) {
            auto* buffer = s.ring[s.taken % kBufferCount].load(std::memory_order_relaxed);
            ++s.taken;
            if (writing) {
                std::uint64_t bytes = buffer->dwBytesRecorded / kBlockAlign * kBlockAlign;
                const std::optional<std::uint64_t> free =
                    s.recording.load() ? FreeBytes(s.folder) : std::nullopt;
                int reason = END_RUNNING;
                if (free && *free < kMinFreeBytes) {
                    reason = END_DISK_FULL; // this buffer is still written
                }
                if (bytes >= limit - written) {
                    bytes = limit - written;
                    reason = END_LENGTH_LIMIT;
                }
                if (bytes > 0 && !WriteAll(buffer->lpData, bytes, kHeaderBytes + written, &error)) {
                    // A full file system keeps what is written; any other failure loses the
                    // file.
                    if (error == ENOSPC || error == EDQUOT) {
                        reason = END_DISK_FULL;
                        // A partly written buffer is cut off at the last whole buffer.
                        if (::ftruncate(s.fd, static_cast<off_t>(kHeaderBytes + written)) != 0) {
                            s.result.store(RESULT_WRITE_FAILED);
                            reason = END_WRITE_FAILED;
                        }
                    } else {
                        s.result.store(RESULT_WRITE_FAILED);
                        reason = END_WRITE_FAILED;
                    }
                    bytes = 0;
                }
                written += bytes;
                s.written.store(written);
                if (reason != END_RUNNING) {
                    writing = false;
                    EndBySelf(reason);
                }
            }
            bool refused = false;
            {
                const std::lock_guard<std::mutex> guard(s.queueLock);
                if (s.recording.load()) {
                    s.outstanding.fetch_add(1);
                    if (kirowave::InAddBuffer(s.device, buffer, sizeof(WAVEHDR)) !=
                        MMSYSERR_NOERROR) {
                        s.outstanding.fetch_sub(1);
                        refused = true;
                    }
                }
            }
            if (refused) {
                // A device that takes no buffer back is gone (pulled out). The buffers it still
                // hands back hold what it really captured, so writing goes on until they are
                // all in the file.
                EndBySelf(END_DEVICE_LOST);
            }
        }

        if (writing && written != sizesWritten && Clock::now() >= sizesDue) {
            if (!WriteSizes(written) || !StillOurFile()) {
                s.result.store(RESULT_WRITE_FAILED);
                writing = false;
                EndBySelf(END_WRITE_FAILED);
            }
            sizesWritten = written;
            sizesDue = Clock::now() + kSizeInterval;
        }
        if (s.recording.load()) {
            MMTIME position{};
            position.wType = TIME_SAMPLES;
            if (kirowave::InGetPosition(s.device, &position, sizeof position) == MMSYSERR_NOERROR) {
                CLast::Dummy().PostAudTimeDisp(
                    static_cast<unsigned>(position.u.sample / (kSampleRate * 0.001)));
            }
        }

        std::unique_lock<std::mutex> guard(s.wakeLock);
        const bool drained = s.taken == s.completed.load(std::memory_order_acquire);
        if (!s.recording.load() && s.outstanding.load() == 0 && drained) {
            break;
        }
        s.wake.wait_for(guard, kWakeInterval, [&] {
            return s.completed.load(std::memory_order_acquire) != s.taken ||
                   (!s.recording.load() && s.outstanding.load() == 0);
        });
    }

    // The exact header of a finished recording, then the file's name checked once more.
    if (s.result.load() == RESULT_OK && (!WriteSizes(written) || !StillOurFile())) {
        s.result.store(RESULT_WRITE_FAILED);
        int expected = END_RUNNING;
        s.ended.compare_exchange_strong(expected, END_WRITE_FAILED);
        if (s.ended.load() == END_DISK_FULL || s.ended.load() == END_LENGTH_LIMIT) {
            s.ended.store(END_WRITE_FAILED);
        }
    }
    if (::close(s.fd) != 0 && s.result.load() == RESULT_OK) {
        s.result.store(RESULT_WRITE_FAILED);
    }
    s.fd = -1;
    if (s.result.load() != RESULT_OK) {
        RemoveOurFile();
    }

    const int ended = s.ended.load();
    if (ended == END_DISK_FULL || ended == END_LENGTH_LIMIT || ended == END_WRITE_FAILED ||
        ended == END_DEVICE_LOST) {
        auto done = std::make_shared<std::atomic<bool>>(false);
        try {
            std::thread notice([this, generation, ended, done] {
                Notify(generation, ended);
                done->store(true);
            });
            s.notices.push_back({std::move(notice), done});
        } catch (const std::system_error&) {
            // Without a thread of its own the notice cannot wait for the public lock; the
            // failed write is still reported by Stop.
        }
    }
    {
        const std::lock_guard<std::mutex> guard(s.wakeLock);
        s.threadState.store(2);
    }
    s.wake.notify_all();
}

// ---- the notice of a recording that ended by itself ----------------------------------------

void CAudioRec::Notify(std::uint64_t generation, int ended) {
    const CPublicAction lock("CAudioRec", "Notify");
    CState& s = *m_state;
    // A user's Stop (or a new recording) already brought the engine to a stop.
    if (s.generation.load() == generation && s.userStopped.load() != generation) {
        StopFromMiddle();
    }
    CVeskError error;
    switch (ended) {
    case END_DISK_FULL:
        ErrorMessageFromMiddle();
        return;
    case END_LENGTH_LIMIT:
        error.SetCode(ERR_VESK_FAILED, kLengthLimit);
        break;
    case END_DEVICE_LOST:
        // Shown here even when a Stop already returned it: the device watch stops the
        // recorder when the piano goes and does not show what Stop returns.
        if (s.generation.load() != generation) {
            return;
        }
        if (s.result.load() == RESULT_OK) {
            error.SetCode(ERR_VESK_FAILED, kNoDevice);
        } else if (s.failureReported.exchange(true)) {
            return;
        } else {
            error.SetCode(ERR_VESK_FAILED, kSaveFailed);
        }
        break;
    default:
        if (s.generation.load() != generation || s.failureReported.exchange(true)) {
            return;
        }
        error.SetCode(ERR_VESK_FAILED, kSaveFailed);
        break;
    }
    CLast::Dummy().ErrorMessageFromMiddle(error);
}
