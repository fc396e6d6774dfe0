#pragma once

#include "CMmBackend.h"

#include <alsa/asoundlib.h>
#include <mutex>
#include <poll.h>
#include <string>
#include <vector>

// An open ALSA PCM, for one wave handle: interleaved 8- or 16-bit PCM at the handle's format
// (the "plug" layer converts where the card needs it), a 200 ms buffer of 10 ms periods. The
// position is the device's: frames written less those still queued (output), frames read plus
// those an overrun lost (input). Underruns and overruns are recovered on the spot without
// losing the count.
class CAlsaPcmStream final : public CMmBackend::WaveStream {
public:
    // Opens the PCM named pcm; MMSYSERR_ALLOCATED when another program (a sound server) holds
    // the card, MMSYSERR_BADDEVICEID when it has gone, WAVERR_BADFORMAT when the card cannot
    // take the format.
    static MMRESULT Open(const std::string& pcm, bool capture, const WAVEFORMATEX& format,
                         std::unique_ptr<CMmBackend::WaveStream>& stream);
    ~CAlsaPcmStream() override;

    void Wait(std::chrono::milliseconds timeout) override;
    long Transfer(std::uint8_t* bytes, std::size_t frames) override;
    std::uint64_t Frames() override;
    void Pause(bool paused) override;
    void Start() override;
    void Stop() override;
    void Drop() override;

private:
    CAlsaPcmStream(snd_pcm_t* pcm, bool capture, unsigned rate, bool canPause);
    // Brings the device back after an xrun or a suspend; false when it has gone.
    bool RecoverLocked(int error);

    std::mutex m_lock;
    snd_pcm_t* m_pcm;
    bool m_capture;
    unsigned m_rate;
    bool m_canPause;
    std::vector<pollfd> m_fds;
    bool m_gone = false;
    bool m_running = false; // input: started
    std::uint64_t m_transferred = 0;
    std::uint64_t m_lost = 0;   // input: frames an overrun lost
    std::uint64_t m_played = 0; // output: the highest count given, so it never goes back
};
