#include "CAlsaPcmStream.h"

#include <algorithm>
#include <cerrno>
#include <ctime>

namespace {

constexpr unsigned kBufferMicroseconds = 200000;
constexpr unsigned kPeriodMicroseconds = 10000;

MMRESULT ResultOf(int error) {
    switch (-error) {
    case EBUSY:
    case EAGAIN:
        return MMSYSERR_ALLOCATED;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return MMSYSERR_BADDEVICEID;
    case ENOMEM:
        return MMSYSERR_NOMEM;
    default:
        return MMSYSERR_ERROR;
    }
}

double MonotonicSeconds(const snd_htimestamp_t& stamp) {
    return static_cast<double>(stamp.tv_sec) + static_cast<double>(stamp.tv_nsec) / 1e9;
}

} // namespace

MMRESULT CAlsaPcmStream::Open(const std::string& name, bool capture, const WAVEFORMATEX& format,
                              std::unique_ptr<CMmBackend::WaveStream>& stream) {
    stream.reset();
    snd_pcm_t* pcm = nullptr;
    // Non-blocking, so that a card held by a sound server refuses at once instead of waiting.
    const int opened =
        snd_pcm_open(&pcm, name.c_str(), capture ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK,
                     SND_PCM_NONBLOCK);
    if (opened < 0) {
        return ResultOf(opened);
    }
    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    unsigned rate = format.nSamplesPerSec;
    unsigned buffer = kBufferMicroseconds;
    unsigned period = kPeriodMicroseconds;
    const bool formatTaken =
        snd_pcm_hw_params_any(pcm, hw) >= 0 &&
        snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) >= 0 &&
        snd_pcm_hw_params_set_format(
            pcm, hw, format.wBitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE) >= 0 &&
        snd_pcm_hw_params_set_channels(pcm, hw, format.nChannels) >= 0 &&
        snd_pcm_hw_params_set_rate(pcm, hw, rate, 0) >= 0;
    if (!formatTaken) {
        snd_pcm_close(pcm);
        return WAVERR_BADFORMAT;
    }
    snd_pcm_hw_params_set_buffer_time_near(pcm, hw, &buffer, nullptr);
    snd_pcm_hw_params_set_period_time_near(pcm, hw, &period, nullptr);
    if (const int set = snd_pcm_hw_params(pcm, hw); set < 0) {
        snd_pcm_close(pcm);
        return set == -EINVAL ? WAVERR_BADFORMAT : ResultOf(set);
    }
    const bool canPause = snd_pcm_hw_params_can_pause(hw) != 0;
    snd_pcm_uframes_t bufferFrames = 0;
    snd_pcm_uframes_t periodFrames = 0;
    snd_pcm_hw_params_get_buffer_size(hw, &bufferFrames);
    snd_pcm_hw_params_get_period_size(hw, &periodFrames, nullptr);

    snd_pcm_sw_params_t* sw = nullptr;
    snd_pcm_sw_params_alloca(&sw);
    snd_pcm_sw_params_current(pcm, sw);
    // Output starts with the first frames written; the handle writes all it has at once.
    snd_pcm_sw_params_set_start_threshold(pcm, sw, capture ? bufferFrames * 2 : 1);
    snd_pcm_sw_params_set_avail_min(pcm, sw, std::max<snd_pcm_uframes_t>(1, periodFrames));
    snd_pcm_sw_params_set_tstamp_mode(pcm, sw, SND_PCM_TSTAMP_ENABLE);
    snd_pcm_sw_params_set_tstamp_type(pcm, sw, SND_PCM_TSTAMP_TYPE_MONOTONIC);
    snd_pcm_sw_params(pcm, sw);
    if (const int prepared = snd_pcm_prepare(pcm); prepared < 0) {
        snd_pcm_close(pcm);
        return ResultOf(prepared);
    }
    stream.reset(new CAlsaPcmStream(pcm, capture, rate, canPause));
    return MMSYSERR_NOERROR;
}

CAlsaPcmStream::CAlsaPcmStream(snd_pcm_t* pcm, bool capture, unsigned rate, bool canPause)
    : m_pcm(pcm), m_capture(capture), m_rate(rate), m_canPause(canPause) {
    const int count = snd_pcm_poll_descriptors_count(m_pcm);
    m_fds.resize(static_cast<std::size_t>(std::max(0, count)));
    const int filled =
        snd_pcm_poll_descriptors(m_pcm, m_fds.data(), static_cast<unsigned>(m_fds.size()));
    m_fds.resize(static_cast<std::size_t>(std::max(0, filled)));
}

CAlsaPcmStream::~CAlsaPcmStream() {
    // The handle closes only once every buffer has been played: what a plugin still holds
    // (a file plugin's last block) is let out rather than dropped.
    if (!m_capture && !m_gone) {
        snd_pcm_nonblock(m_pcm, 0);
        snd_pcm_drain(m_pcm);
    }
    snd_pcm_drop(m_pcm);
    snd_pcm_close(m_pcm);
}

bool CAlsaPcmStream::RecoverLocked(int error) {
    if (error == -EPIPE && m_capture) {
        // An overrun: what arrived after the buffer filled is lost, and counted as taken in,
        // from the moment the device stopped.
        snd_pcm_status_t* status = nullptr;
        snd_pcm_status_alloca(&status);
        if (snd_pcm_status(m_pcm, status) >= 0) {
            snd_htimestamp_t stopped{};
            snd_pcm_status_get_trigger_htstamp(status, &stopped);
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            const double seconds =
                MonotonicSeconds({now.tv_sec, now.tv_nsec}) - MonotonicSeconds(stopped);
            if (stopped.tv_sec != 0 && seconds > 0 && seconds < 3600) {
                m_lost += static_cast<std::uint64_t>(seconds * m_rate);
            }
        }
    }
    // Underruns (output ran dry: all that was written has been played), overruns and
    // suspends alike come back through the library's own recovery.
    if (snd_pcm_recover(m_pcm, error, 1) < 0) {
        m_gone = true;
        return false;
    }
    if (m_capture && m_running) {
        snd_pcm_start(m_pcm);
    }
    return true;
}

void CAlsaPcmStream::Wait(std::chrono::milliseconds timeout) {
    std::vector<pollfd> fds;
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        if (m_gone) {
            return;
        }
        const snd_pcm_sframes_t avail = snd_pcm_avail_update(m_pcm);
        if (avail != 0) {
            return; // room or data now, or an xrun for Transfer to recover
        }
        fds = m_fds;
    }
    if (!fds.empty()) {
        poll(fds.data(), fds.size(), static_cast<int>(timeout.count()));
    }
}

long CAlsaPcmStream::Transfer(std::uint8_t* bytes, std::size_t frames) {
    const std::lock_guard<std::mutex> guard(m_lock);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (m_gone) {
            return -1;
        }
        const snd_pcm_sframes_t done =
            m_capture ? snd_pcm_readi(m_pcm, bytes, frames) : snd_pcm_writei(m_pcm, bytes, frames);
        if (done >= 0) {
            m_transferred += static_cast<std::uint64_t>(done);
            return static_cast<long>(done);
        }
        if (done == -EAGAIN) {
            return 0;
        }
        if (!RecoverLocked(static_cast<int>(done))) {
            return -1;
        }
    }
    return 0;
}

std::uint64_t CAlsaPcmStream::Frames() {
    const std::lock_guard<std::mutex> guard(m_lock);
    if (m_capture) {
        return m_transferred + m_lost;
    }
    snd_pcm_sframes_t delay = 0;
    const snd_pcm_state_t state = snd_pcm_state(m_pcm);
    if (state == SND_PCM_STATE_XRUN || state == SND_PCM_STATE_PREPARED ||
        snd_pcm_delay(m_pcm, &delay) < 0) {
        // Ran dry, or not started: nothing written is still waiting to be played... unless
        // the device is held before its start, when nothing has been played.
        delay = state == SND_PCM_STATE_PREPARED ? static_cast<snd_pcm_sframes_t>(m_transferred) : 0;
    }
    const auto queued = static_cast<std::uint64_t>(std::max<snd_pcm_sframes_t>(0, delay));
    const std::uint64_t played = m_transferred - std::min(m_transferred, queued);
    m_played = std::max(m_played, played);
    return m_played;
}

void CAlsaPcmStream::Pause(bool paused) {
    const std::lock_guard<std::mutex> guard(m_lock);
    if (m_gone || m_capture) {
        return;
    }
    const snd_pcm_state_t state = snd_pcm_state(m_pcm);
    if (paused && state == SND_PCM_STATE_RUNNING) {
        if (!m_canPause || snd_pcm_pause(m_pcm, 1) < 0) {
            // A card that cannot hold: what it had queued is dropped, and counts as played so
            // the buffers holding it come back.
            snd_pcm_drop(m_pcm);
            snd_pcm_prepare(m_pcm);
            m_played = m_transferred;
        }
    } else if (!paused && state == SND_PCM_STATE_PAUSED) {
        snd_pcm_pause(m_pcm, 0);
    }
}

void CAlsaPcmStream::Start() {
    const std::lock_guard<std::mutex> guard(m_lock);
    if (m_gone || !m_capture || m_running) {
        return;
    }
    if (snd_pcm_state(m_pcm) != SND_PCM_STATE_PREPARED) {
        snd_pcm_prepare(m_pcm);
    }
    m_running = snd_pcm_start(m_pcm) >= 0;
}

void CAlsaPcmStream::Stop() {
    const std::lock_guard<std::mutex> guard(m_lock);
    if (m_gone || !m_capture) {
        return;
    }
    m_running = false;
    snd_pcm_drop(m_pcm);
    snd_pcm_prepare(m_pcm);
}

void CAlsaPcmStream::Drop() {
    const std::lock_guard<std::mutex> guard(m_lock);
    if (!m_gone) {
        snd_pcm_drop(m_pcm);
        snd_pcm_prepare(m_pcm);
    }
    m_transferred = 0;
    m_lost = 0;
    m_played = 0;
}
