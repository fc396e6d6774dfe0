#pragma once

#include "CVirtualPiano.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct _fluid_hashtable_t;
struct _fluid_synth_t;

// The sound of the virtual ZQ31: a General MIDI synthesizer (FluidSynth) that plays the keys it
// is told of with the voices, layering, reverb, brilliance, touch, transpose and tuning of the
// panel it is told of.
//
// Any thread tells it what happens (Post...); one thread at a time renders it (Render), and
// only that thread touches the synthesizer. Telling never waits for rendering.
class CPianoVoice {
public:
    // A sound font to use: the one CANTAVO_SOUNDFONT names (whether or not it is there), else
    // the small TimGM6mb, else FluidR3; empty when there is none, or CANTAVO_SOUNDFONT is "none".
    static std::string FindSoundFont();

    // Loads the sound font for rendering at rate; null with the reason in error when it cannot.
    static std::unique_ptr<CPianoVoice> Create(const std::string& soundFont, unsigned rate,
                                               std::string& error);
    CPianoVoice(const CPianoVoice&) = delete;
    CPianoVoice& operator=(const CPianoVoice&) = delete;
    ~CPianoVoice();

    const std::string& SoundFont() const { return m_soundFont; }

    void PostKey(std::uint8_t key, std::uint8_t velocity); // velocity 0 releases
    void PostAllOff();
    void PostPanel(const CVirtualPiano::Panel& panel);
    // The instrument's own volume, 0..100; 0 is silence.
    void SetLevel(unsigned percent) { m_level = std::min(percent, 100u); }

    // Adds frames of interleaved stereo at rate to out (which the caller has cleared or filled
    // with what is to be heard with it), frame being the first one's number in the caller's
    // stream. A stream that does not go on from the last call (frames were skipped, it started
    // anew, or it was not rendered for a while) starts from the keys held now, not from
    // everything that happened meanwhile.
    void Render(float* out, std::size_t frames, unsigned rate, std::uint64_t frame);

private:
    struct Event {
        enum Kind : std::uint8_t { Key, AllOff, PanelChange } kind;
        std::uint8_t key = 0;
        std::uint8_t velocity = 0;
        CVirtualPiano::Panel panel{};
    };

    CPianoVoice(std::string soundFont, unsigned rate);
    bool Build(unsigned rate, std::string& error);
    void Destroy();
    void Resync(const CVirtualPiano::Panel& panel, const std::array<std::uint8_t, 128>& held);
    void ApplyPanel(const CVirtualPiano::Panel& panel, bool force);
    void Sound(std::uint8_t key, std::uint8_t velocity);
    void Silence(std::uint8_t key);
    std::uint8_t Curve(std::uint8_t velocity) const;

    const std::string m_soundFont;

    // What the posting threads hand over.
    std::mutex m_postLock;
    std::vector<Event> m_pending;
    bool m_overflowed = false;
    CVirtualPiano::Panel m_latestPanel{};
    std::array<std::uint8_t, 128> m_held{}; // velocity of each held key, 0 = up
    std::atomic<unsigned> m_level{100};

    // The rendering thread's own.
    std::mutex m_renderLock;
    _fluid_hashtable_t* m_settings = nullptr;
    _fluid_synth_t* m_synth = nullptr;
    int m_fontId = -1;
    unsigned m_rate = 0;
    unsigned m_failedRate = 0;
    CVirtualPiano::Panel m_applied{};
    std::array<std::int16_t, 128> m_soundingAs{}; // the note each key sounds, -1 = none
    std::chrono::steady_clock::time_point m_lastRender{};
    bool m_rendered = false;
    std::uint64_t m_nextFrame = 0;
    std::vector<float> m_left;
    std::vector<float> m_right;
};
