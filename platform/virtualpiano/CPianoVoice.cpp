#include "CPianoVoice.h"

#include "CFluidLibrary.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>

namespace {

// The layers: the main voice on one channel, the dual voice on another.
constexpr int kMainChannel = 0;
constexpr int kDualChannel = 1;
constexpr std::uint8_t kDualOff = 255;
// The controllers of General MIDI's effect sends.
constexpr int kReverbSend = 91;
constexpr int kChorusSend = 93;
constexpr int kReverbOnSend = 64;
// Too many changes while nobody renders: from then on only where they led counts.
constexpr std::size_t kMostPending = 4096;
// A stream not rendered for longer than this was stopped, though its frames run on; what
// happened meanwhile is not played out in a burst when it starts again.
constexpr auto kIdleGap = std::chrono::seconds(1);
// FluidSynth's gain at full volume: ten notes of a piano voice stay clear of clipping.
constexpr float kFullGain = 0.8f;

const CFluidLibrary& Fluid() {
    return CFluidLibrary::Installed();
}

// Whether a file begins as a SoundFont 2 (or 3) bank does, and is as long as it says. Anything
// else would go on to the synthesizer's other loaders, which fill standard error with
// complaints about it.
bool IsSoundFont(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    unsigned char head[12] = {};
    if (!file.read(reinterpret_cast<char*>(head), sizeof head)) {
        return false;
    }
    const std::uint64_t length = static_cast<std::uint64_t>(head[4]) | (head[5] << 8) |
                                 (head[6] << 16) | (static_cast<std::uint64_t>(head[7]) << 24);
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    return !error && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "sfbk", 4) == 0 &&
           length + 8 <= size;
}

bool IsFile(const std::string& path) {
    std::error_code error;
    return !path.empty() && std::filesystem::is_regular_file(path, error);
}

} // namespace

std::string CPianoVoice::FindSoundFont() {
    const char* chosen = std::getenv("CANTAVO_SOUNDFONT");
    if (chosen != nullptr && std::string(chosen) == "none") {
        return {};
    }
    if (chosen != nullptr && *chosen != '\0') {
        // The user's choice, even one that is not there: loading it says why it cannot be
        // used, where another font in its place would leave the user wondering. A relative
        // name is taken from the current folder now: a program moves to its own folder, and
        // the font may be loaded (or heard) later.
        std::error_code error;
        const std::filesystem::path absolute = std::filesystem::absolute(chosen, error);
        return error ? std::string(chosen) : absolute.string();
    }
    for (const char* path :
         {"/usr/share/sounds/sf2/TimGM6mb.sf2", "/usr/share/sounds/sf2/FluidR3_GM.sf2",
          "/usr/share/sounds/sf3/FluidR3_GM.sf3"}) {
        if (IsFile(path)) {
            return path;
        }
    }
    return {};
}

std::unique_ptr<CPianoVoice> CPianoVoice::Create(const std::string& soundFont, unsigned rate,
                                                 std::string& error) {
    if (!IsFile(soundFont)) {
        error = soundFont.empty() ? "no General MIDI sound font is installed or chosen"
                                  : "the sound font " + soundFont + " is not a file";
        return nullptr;
    }
    if (!IsSoundFont(soundFont)) {
        error = "the sound font " + soundFont + " is not a SoundFont 2 file";
        return nullptr;
    }
    if (const CFluidLibrary& fluid = Fluid(); !fluid.IsLoaded()) {
        error = fluid.Error();
        return nullptr;
    }
    std::unique_ptr<CPianoVoice> voice(new CPianoVoice(soundFont, rate));
    if (!voice->Build(rate, error)) {
        return nullptr;
    }
    return voice;
}

CPianoVoice::CPianoVoice(std::string soundFont, unsigned rate)
    : m_soundFont(std::move(soundFont)), m_rate(rate) {
    m_soundingAs.fill(-1);
}

CPianoVoice::~CPianoVoice() {
    Destroy();
}

bool CPianoVoice::Build(unsigned rate, std::string& error) {
    Destroy();
    m_settings = Fluid().new_fluid_settings();
    if (m_settings == nullptr) {
        error = "the synthesizer's settings could not be made";
        return false;
    }
    Fluid().fluid_settings_setnum(m_settings, "synth.sample-rate", rate);
    // Only the rendering thread calls the synthesizer, so it needs no lock of its own; one core
    // and no extra threads keep it out of the audio clock's way.
    Fluid().fluid_settings_setint(m_settings, "synth.threadsafe-api", 0);
    Fluid().fluid_settings_setint(m_settings, "synth.cpu-cores", 1);
    Fluid().fluid_settings_setint(m_settings, "synth.polyphony", 128);
    Fluid().fluid_settings_setint(m_settings, "synth.reverb.active", 1);
    Fluid().fluid_settings_setint(m_settings, "synth.chorus.active", 0);
    Fluid().fluid_settings_setint(m_settings, "synth.dynamic-sample-loading", 0);
    m_synth = Fluid().new_fluid_synth(m_settings);
    if (m_synth == nullptr) {
        error = "the synthesizer could not be started";
        Destroy();
        return false;
    }
    m_fontId = Fluid().fluid_synth_sfload(m_synth, m_soundFont.c_str(), 1);
    if (m_fontId == FLUID_FAILED) {
        error = "the sound font " + m_soundFont + " could not be loaded";
        Destroy();
        return false;
    }
    m_rate = rate;
    Fluid().fluid_synth_set_gain(m_synth, kFullGain);
    m_soundingAs.fill(-1);
    ApplyPanel(m_applied, true);
    return true;
}

void CPianoVoice::Destroy() {
    if (m_synth != nullptr) {
        Fluid().delete_fluid_synth(m_synth);
        m_synth = nullptr;
    }
    if (m_settings != nullptr) {
        Fluid().delete_fluid_settings(m_settings);
        m_settings = nullptr;
    }
}

void CPianoVoice::PostKey(std::uint8_t key, std::uint8_t velocity) {
    key &= 0x7F;
    velocity &= 0x7F;
    const std::lock_guard<std::mutex> guard(m_postLock);
    m_held[key] = velocity;
    if (m_pending.size() >= kMostPending) {
        m_overflowed = true;
        m_pending.clear();
    }
    if (!m_overflowed) {
        m_pending.push_back({Event::Key, key, velocity, {}});
    }
}

void CPianoVoice::PostAllOff() {
    const std::lock_guard<std::mutex> guard(m_postLock);
    m_held.fill(0);
    if (!m_overflowed) {
        m_pending.push_back({Event::AllOff, 0, 0, {}});
    }
}

void CPianoVoice::PostPanel(const CVirtualPiano::Panel& panel) {
    const std::lock_guard<std::mutex> guard(m_postLock);
    m_latestPanel = panel;
    if (m_pending.size() >= kMostPending) {
        m_overflowed = true;
        m_pending.clear();
    }
    if (!m_overflowed) {
        m_pending.push_back({Event::PanelChange, 0, 0, panel});
    }
}

std::uint8_t CPianoVoice::Curve(std::uint8_t velocity) const {
    if (velocity == 0) {
        return 0;
    }
    // Touch 48 (light) to 80 (heavy): a light touch sounds soft playing louder, a heavy one
    // needs a firmer stroke for the same loudness.
    const double exponent = std::exp2((static_cast<int>(m_applied.touch) - 64) / 16.0);
    const double scaled = 127.0 * std::pow(velocity / 127.0, std::clamp(exponent, 0.25, 4.0));
    return static_cast<std::uint8_t>(std::clamp(std::lround(scaled), 1L, 127L));
}

void CPianoVoice::ApplyPanel(const CVirtualPiano::Panel& panel, bool force) {
    const CVirtualPiano::Panel before = m_applied;
    m_applied = panel;
    if (force || panel.program != before.program) {
        Fluid().fluid_synth_program_change(m_synth, kMainChannel, panel.program & 0x7F);
    }
    if ((force || panel.dual != before.dual) && panel.dual != kDualOff) {
        Fluid().fluid_synth_program_change(m_synth, kDualChannel, panel.dual & 0x7F);
    }
    if (panel.dual == kDualOff && before.dual != kDualOff) {
        // Dual play ends: its layer stops with it, as on the instrument.
        Fluid().fluid_synth_all_notes_off(m_synth, kDualChannel);
    }
    // Brilliance 48 (bright) to 80 (dark) moves the filter's cutoff two octaves either way;
    // master fine tuning is a 14-bit value around 0x2000 spanning a semitone either way.
    const float cutoff = (64.0f - static_cast<float>(panel.brilliance)) * 150.0f;
    const int fine = panel.tuningMsb * 128 + panel.tuningLsb - 0x2000;
    const float cents = static_cast<float>(fine) * 100.0f / 8192.0f;
    for (const int channel : {kMainChannel, kDualChannel}) {
        if (force || panel.reverb != before.reverb) {
            Fluid().fluid_synth_cc(m_synth, channel, kReverbSend,
                                   panel.reverb != 0 ? kReverbOnSend : 0);
            Fluid().fluid_synth_cc(m_synth, channel, kChorusSend, 0);
        }
        if (force || panel.brilliance != before.brilliance) {
            Fluid().fluid_synth_set_gen(m_synth, channel, GEN_FILTERFC, cutoff);
        }
        if (force || panel.tuningMsb != before.tuningMsb || panel.tuningLsb != before.tuningLsb) {
            Fluid().fluid_synth_set_gen(m_synth, channel, GEN_FINETUNE, cents);
        }
    }
}

void CPianoVoice::Sound(std::uint8_t key, std::uint8_t velocity) {
    Silence(key);
    const int note = key + (static_cast<int>(m_applied.transpose) - 64);
    if (note < 0 || note > 127) {
        return;
    }
    const std::uint8_t strength = Curve(velocity);
    Fluid().fluid_synth_noteon(m_synth, kMainChannel, note, strength);
    if (m_applied.dual != kDualOff) {
        Fluid().fluid_synth_noteon(m_synth, kDualChannel, note, strength);
    }
    m_soundingAs[key] = static_cast<std::int16_t>(note);
}

void CPianoVoice::Silence(std::uint8_t key) {
    // The note a key sounds is the one it started with, whatever the transpose is now.
    const int note = m_soundingAs[key];
    if (note < 0) {
        return;
    }
    Fluid().fluid_synth_noteoff(m_synth, kMainChannel, note);
    Fluid().fluid_synth_noteoff(m_synth, kDualChannel, note);
    m_soundingAs[key] = -1;
}

void CPianoVoice::Resync(const CVirtualPiano::Panel& panel,
                         const std::array<std::uint8_t, 128>& held) {
    Fluid().fluid_synth_all_sounds_off(m_synth, -1);
    m_soundingAs.fill(-1);
    ApplyPanel(panel, true);
    for (std::size_t key = 0; key < held.size(); ++key) {
        if (held[key] != 0) {
            Sound(static_cast<std::uint8_t>(key), held[key]);
        }
    }
}

void CPianoVoice::Render(float* out, std::size_t frames, unsigned rate, std::uint64_t frame) {
    if (out == nullptr || frames == 0 || rate == 0) {
        return;
    }
    const std::lock_guard<std::mutex> render(m_renderLock);
    std::vector<Event> events;
    CVirtualPiano::Panel panel;
    std::array<std::uint8_t, 128> held{};
    bool overflowed = false;
    {
        const std::lock_guard<std::mutex> guard(m_postLock);
        events.swap(m_pending);
        panel = m_latestPanel;
        held = m_held;
        overflowed = std::exchange(m_overflowed, false);
    }
    const auto now = std::chrono::steady_clock::now();
    bool resync =
        overflowed || !m_rendered || frame != m_nextFrame || now - m_lastRender > kIdleGap;
    m_nextFrame = frame + frames;
    if (rate != m_rate || m_synth == nullptr) {
        // A stream at another rate needs a synthesizer made for it; one that cannot be made
        // leaves that stream silent, and is not tried again for every block.
        std::string error;
        if (rate == m_failedRate || !Build(rate, error)) {
            m_failedRate = rate;
            return;
        }
        resync = true;
    }
    m_rendered = true;
    m_lastRender = now;
    if (resync) {
        Resync(panel, held);
    } else {
        for (const Event& event : events) {
            switch (event.kind) {
            case Event::Key:
                if (event.velocity == 0) {
                    Silence(event.key);
                } else {
                    Sound(event.key, event.velocity);
                }
                break;
            case Event::AllOff:
                for (std::size_t key = 0; key < m_soundingAs.size(); ++key) {
                    Silence(static_cast<std::uint8_t>(key));
                }
                break;
            case Event::PanelChange:
                ApplyPanel(event.panel, false);
                break;
            }
        }
    }
    const unsigned level = m_level.load();
    m_left.assign(frames, 0.0f);
    m_right.assign(frames, 0.0f);
    // The synthesizer runs on at its own gain even when nothing is to be heard (a voice it
    // hears as silent it would end), so a volume turned up again finds the notes where they are.
    Fluid().fluid_synth_write_float(m_synth, static_cast<int>(frames), m_left.data(), 0, 1,
                                    m_right.data(), 0, 1);
    if (level == 0) {
        return;
    }
    const float gain = static_cast<float>(level) / 100.0f;
    for (std::size_t i = 0; i < frames; ++i) {
        out[2 * i] += gain * m_left[i];
        out[2 * i + 1] += gain * m_right[i];
    }
}
