#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class CPianoVoice;
struct _snd_pcm;

// The virtual ZQ31's loudspeaker: the PC's own audio output (ALSA), fed by a voice of its own
// and by what the PC plays to the piano. Its thread renders the voice in step with the sound
// card and never waits for anyone else.
class CPianoSpeaker {
public:
    static constexpr unsigned kRate = 44100;

    // Opens the device and starts playing; null with the reason in error when it cannot.
    static std::unique_ptr<CPianoSpeaker> Open(std::unique_ptr<CPianoVoice> voice,
                                               const std::string& device, std::string& error);
    CPianoSpeaker(const CPianoSpeaker&) = delete;
    CPianoSpeaker& operator=(const CPianoSpeaker&) = delete;
    ~CPianoSpeaker();

    CPianoVoice& Voice() { return *m_voice; }
    // What the PC plays to the piano, heard with its voice. Any PCM of 8 or 16 bits.
    void Mix(const std::uint8_t* bytes, std::size_t length, unsigned channels, unsigned rate,
             unsigned bits);
    // How many frames have gone to the device.
    std::uint64_t Frames() const { return m_frames; }
    // Whether the device went away (it is heard no more).
    bool Ended() const { return m_ended; }

private:
    CPianoSpeaker(std::unique_ptr<CPianoVoice> voice, _snd_pcm* pcm);
    void Run();

    std::unique_ptr<CPianoVoice> m_voice;
    _snd_pcm* m_pcm;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_ended{false};
    std::atomic<std::uint64_t> m_frames{0};
    // What the PC played, as stereo frames at kRate, waiting to be heard.
    std::mutex m_mixLock;
    std::deque<float> m_mix;
    double m_phase = 0.0; // where resampling stands between blocks
    std::thread m_thread;
};
