#include "CSimplePlayer.h"

#include "CMediaDecoder.h"

#include <chrono>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Buffers of 200 ms, up to 2 s ahead of the device.
constexpr unsigned kBufferMs = 200;
constexpr std::size_t kBufferCount = 10;
// How often the feeder looks whether the device is still there.
constexpr auto kPresenceInterval = std::chrono::milliseconds(100);
// A device that hands back nothing for this long past its due time counts as failed.
constexpr auto kDeviceSilenceLimit = std::chrono::seconds(5);

WAVEFORMATEX Stereo16(unsigned rate) {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = rate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = rate * 4;
    format.cbSize = 0;
    return format;
}

} // namespace

// The feeder's buffers and the device's returns, shared with the device callback.
struct CSimplePlayer::Buffers {
    struct Buffer {
        WAVEHDR header{};
        std::vector<std::uint8_t> data;
        bool queued = false;
    };
    std::vector<Buffer> buffers;
    std::mutex lock;
    std::condition_variable returned;
    std::vector<WAVEHDR*> done; // handed back by the device, not yet taken by the feeder
};

CSimplePlayer::CSimplePlayer(HRESULT* result, void* instance, WMAWAVEOUTCALLBACK bufferCallback,
                             WMAPLAYEOFCALLBACK eofCallback)
    : m_instance(instance), m_bufferCallback(bufferCallback), m_eofCallback(eofCallback),
      m_buffers(std::make_unique<Buffers>()) {
    if (result != nullptr) {
        *result = S_OK;
    }
}

CSimplePlayer::~CSimplePlayer() {
    StopPlay();
    const std::lock_guard<std::mutex> guard(m_controlLock);
    CloseDevice();
}

void CSimplePlayer::CloseDevice() {
    if (HWAVEOUT device = m_device.exchange(nullptr); device != nullptr) {
        waveOutReset(device);
        waveOutClose(device);
    }
    m_formatValid = false;
}

void CSimplePlayer::DeviceProc(HWAVEOUT, UINT message, DWORD_PTR instance, DWORD_PTR first,
                               DWORD_PTR) {
    if (message != WOM_DONE) {
        return;
    }
    auto* buffers = reinterpret_cast<Buffers*>(instance);
    {
        const std::lock_guard<std::mutex> guard(buffers->lock);
        buffers->done.push_back(reinterpret_cast<WAVEHDR*>(first));
    }
    buffers->returned.notify_all();
}

HRESULT CSimplePlayer::StartPlay(const char* path, DWORD startMs, DWORD flags,
                                 std::shared_ptr<CPlayEvent> finished, HRESULT* result,
                                 UINT deviceId) {
    const HRESULT started = Start(path, startMs, flags, std::move(finished), deviceId);
    if (result != nullptr) {
        *result = started;
    }
    return started;
}

HRESULT CSimplePlayer::Start(const char* path, DWORD startMs, DWORD flags,
                             std::shared_ptr<CPlayEvent> finished, UINT deviceId) {
    if (path == nullptr || flags != 0) {
        return E_INVALIDARG;
    }
    const std::lock_guard<std::mutex> guard(m_controlLock);
    if (m_thread.joinable()) {
        if (!m_threadEnded) {
            return WMACONV_E_BUSY;
        }
        m_thread.join();
    }
    CloseDevice();
    HRESULT opened = S_OK;
    std::unique_ptr<CMediaDecoder> decoder = CMediaDecoder::Open(path, &opened);
    if (decoder == nullptr) {
        return opened;
    }
    // 16-bit stereo at the file's own rate if the device takes it, else at the usual ones.
    HWAVEOUT device = nullptr;
    WAVEFORMATEX format{};
    for (const unsigned rate : {decoder->SourceRate(), 44100u, 48000u}) {
        format = Stereo16(rate);
        if (waveOutOpen(&device, deviceId, &format, reinterpret_cast<DWORD_PTR>(&DeviceProc),
                        reinterpret_cast<DWORD_PTR>(m_buffers.get()),
                        CALLBACK_FUNCTION) == MMSYSERR_NOERROR) {
            break;
        }
        device = nullptr;
    }
    if (device == nullptr) {
        return WMACONV_E_NODEVICE;
    }
    if (FAILED(decoder->SetOutputRate(format.nSamplesPerSec)) || FAILED(decoder->Seek(startMs))) {
        waveOutClose(device);
        return WMACONV_E_FORMAT;
    }
    WAVEOUTCAPS caps{};
    m_deviceName.clear();
    if (waveOutGetDevCaps(deviceId, &caps, sizeof(caps)) == MMSYSERR_NOERROR) {
        m_deviceName.assign(caps.szPname, strnlen(caps.szPname, sizeof(caps.szPname)));
    }
    const std::size_t bytes = format.nAvgBytesPerSec / 1000 * kBufferMs;
    m_buffers->buffers.assign(kBufferCount, Buffers::Buffer{});
    for (Buffers::Buffer& buffer : m_buffers->buffers) {
        buffer.data.assign(bytes, 0);
    }
    m_buffers->done.clear();
    m_decoder = std::move(decoder);
    m_format = format;
    m_formatValid = true;
    m_deviceId = deviceId;
    m_finished = std::move(finished);
    m_stopRequested = false;
    m_threadEnded = false;
    m_playResult = S_FALSE;
    m_device = device;
    m_thread = std::thread([this] { Feed(); });
    return S_OK;
}

HRESULT CSimplePlayer::StopPlay() {
    m_stopRequested = true;
    m_buffers->returned.notify_all();
    // Called from a callback of this player: the feeder ends by itself after the callback.
    if (std::this_thread::get_id() == m_feederId.load()) {
        return S_OK;
    }
    const std::lock_guard<std::mutex> guard(m_controlLock);
    if (m_thread.joinable()) {
        m_thread.join();
    }
    return S_OK;
}

HRESULT CSimplePlayer::GetDuration(const char* path, DWORD* durationMs) {
    if (durationMs == nullptr) {
        return E_POINTER;
    }
    *durationMs = 0;
    HRESULT opened = S_OK;
    const std::unique_ptr<CMediaDecoder> decoder = CMediaDecoder::Open(path, &opened);
    if (decoder == nullptr) {
        return opened;
    }
    *durationMs = decoder->DurationMs();
    return *durationMs > 0 ? S_OK : S_FALSE;
}

HWAVEOUT CSimplePlayer::Get_hwo() const {
    return m_device.load();
}

const WAVEFORMATEX* CSimplePlayer::Get_wfx() const {
    return m_formatValid ? &m_format : nullptr;
}

HRESULT CSimplePlayer::GetPlayResult() const {
    return m_playResult.load();
}

bool CSimplePlayer::DevicePresent() const {
    if (m_deviceId == WAVE_MAPPER || m_deviceName.empty()) {
        return true;
    }
    // A device that went away leaves its number empty or to another device.
    WAVEOUTCAPS caps{};
    return waveOutGetDevCaps(m_deviceId, &caps, sizeof(caps)) == MMSYSERR_NOERROR &&
           m_deviceName == std::string(caps.szPname, strnlen(caps.szPname, sizeof(caps.szPname)));
}

std::size_t CSimplePlayer::TakeReturned(bool report) {
    std::vector<WAVEHDR*> done;
    {
        const std::lock_guard<std::mutex> guard(m_buffers->lock);
        done.swap(m_buffers->done);
    }
    const HWAVEOUT device = m_device.load();
    for (WAVEHDR* header : done) {
        if (report && !m_stopRequested && m_bufferCallback != nullptr) {
            m_bufferCallback(m_instance, header);
        }
        waveOutUnprepareHeader(device, header, sizeof(WAVEHDR));
        for (Buffers::Buffer& buffer : m_buffers->buffers) {
            if (&buffer.header == header) {
                buffer.queued = false;
            }
        }
    }
    return done.size();
}

std::size_t CSimplePlayer::Queued() const {
    std::size_t queued = 0;
    for (const Buffers::Buffer& buffer : m_buffers->buffers) {
        queued += buffer.queued ? 1 : 0;
    }
    return queued;
}

void CSimplePlayer::Feed() {
    m_feederId = std::this_thread::get_id();
    const HWAVEOUT device = m_device.load();
    HRESULT outcome = S_OK;
    bool atEnd = false;
    auto lastCheck = Clock::now();
    auto lastReturn = Clock::now();
    // Feeding: every free buffer is filled and queued until the file ends or something fails.
    while (!m_stopRequested && !atEnd && outcome == S_OK) {
        if (TakeReturned(true) > 0) {
            lastReturn = Clock::now();
        }
        Buffers::Buffer* free = nullptr;
        for (Buffers::Buffer& buffer : m_buffers->buffers) {
            if (!buffer.queued) {
                free = &buffer;
                break;
            }
        }
        if (Clock::now() - lastCheck >= kPresenceInterval) {
            lastCheck = Clock::now();
            if (!DevicePresent()) {
                outcome = WMACONV_E_DEVICEFAILED;
                break;
            }
        }
        if (free == nullptr) {
            if (Clock::now() - lastReturn >
                kDeviceSilenceLimit + std::chrono::milliseconds(kBufferMs * kBufferCount)) {
                outcome = WMACONV_E_DEVICEFAILED;
                break;
            }
            std::unique_lock<std::mutex> lock(m_buffers->lock);
            m_buffers->returned.wait_for(lock, kPresenceInterval, [this] {
                return !m_buffers->done.empty() || m_stopRequested;
            });
            continue;
        }
        std::size_t produced = 0;
        const HRESULT read = m_decoder->Read(free->data.data(), free->data.size(), &produced);
        if (FAILED(read)) {
            outcome = read;
            break;
        }
        if (produced == 0) {
            atEnd = true;
            break;
        }
        free->header = WAVEHDR{};
        free->header.lpData = reinterpret_cast<LPSTR>(free->data.data());
        free->header.dwBufferLength = static_cast<DWORD>(produced);
        free->header.dwBytesRecorded = static_cast<DWORD>(produced);
        if (waveOutPrepareHeader(device, &free->header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
            outcome = WMACONV_E_DEVICEFAILED;
            break;
        }
        free->queued = true;
        if (waveOutWrite(device, &free->header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
            free->queued = false;
            waveOutUnprepareHeader(device, &free->header, sizeof(WAVEHDR));
            outcome = WMACONV_E_DEVICEFAILED;
            break;
        }
        if (Queued() == 1) {
            lastReturn = Clock::now(); // the device starts from an empty queue
        }
    }
    // The file has been fed: what is queued plays out, unless playing is stopped or failed.
    while (atEnd && !m_stopRequested && Queued() > 0) {
        if (TakeReturned(true) > 0) {
            lastReturn = Clock::now();
            continue;
        }
        if (Clock::now() - lastCheck >= kPresenceInterval) {
            lastCheck = Clock::now();
            if (!DevicePresent()) {
                outcome = WMACONV_E_DEVICEFAILED;
                break;
            }
        }
        if (Clock::now() - lastReturn >
            kDeviceSilenceLimit + std::chrono::milliseconds(kBufferMs * kBufferCount)) {
            outcome = WMACONV_E_DEVICEFAILED;
            break;
        }
        std::unique_lock<std::mutex> lock(m_buffers->lock);
        m_buffers->returned.wait_for(lock, kPresenceInterval, [this] {
            return !m_buffers->done.empty() || m_stopRequested;
        });
    }
    // Whatever is still queued comes back now. The device stays open for positions, which
    // stand at the end after a file that played through.
    if (Queued() > 0) {
        waveOutReset(device);
    }
    const auto deadline = Clock::now() + kDeviceSilenceLimit;
    while (Queued() > 0 && Clock::now() < deadline) {
        TakeReturned(false);
        std::unique_lock<std::mutex> lock(m_buffers->lock);
        m_buffers->returned.wait_for(lock, std::chrono::milliseconds(10),
                                     [this] { return !m_buffers->done.empty(); });
    }
    m_decoder.reset();
    m_playResult = outcome;
    if (!m_stopRequested && m_eofCallback != nullptr) {
        m_eofCallback(m_instance);
    }
    if (m_finished) {
        m_finished->Set();
    }
    m_feederId = std::thread::id();
    m_threadEnded = true;
}
