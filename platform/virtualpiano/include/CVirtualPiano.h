#pragma once

#include "CMidiParser.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

class CPianoSpeaker;
class CPianoVoice;

// A model of the ZQ31 digital piano as the PC sees it over USB: a MIDI output (the PC's MIDI
// input), a MIDI input (the PC's MIDI output), an audio output (the PC's wave input) and an
// audio input (the PC's wave output).
//
// Its panel follows what arrives on its MIDI input, byte for byte as the instrument's control
// protocol defines it; a malformed message changes nothing. It can be played and operated
// like the instrument: keys and panel changes go out on its MIDI output in the instrument's
// own messages, and while something listens it sends active sensing. Each of its four
// functions can be plugged in and pulled out on its own. Everything it receives, and everything
// its MIDI output hands to a listener, is kept with its time for tests.
class CVirtualPiano {
public:
    using Clock = std::chrono::steady_clock;
    using MidiSink = std::function<void(const std::uint8_t* bytes, std::size_t length)>;

    // The four functions, named from the PC's side.
    enum Function : unsigned {
        kMidiIn = 1,  // the PC's MIDI input: what the piano sends
        kMidiOut = 2, // the PC's MIDI output: what the piano receives
        kWaveIn = 4,  // the PC's wave input: the piano's sound
        kWaveOut = 8, // the PC's wave output: what the piano plays
        kAll = 15,
    };

    static constexpr const char* kMidiInName = "Tolvarine USB MIDI IN 1";
    static constexpr const char* kMidiOutName = "Tolvarine USB MIDI OUT 1";
    static constexpr const char* kWaveInName = "Tolvarine USB Audio In";
    static constexpr const char* kWaveOutName = "Tolvarine USB Audio Out";

    // The panel, as the instrument holds it, in wire values.
    struct Panel {
        std::uint8_t program = 0;     // main voice
        std::uint8_t dual = 255;      // dual voice; 255 = off
        std::uint8_t reverb = 1;      // 1 on, 0 off
        std::uint8_t brilliance = 64; // 48..80
        std::uint8_t touch = 64;      // 48..80
        std::uint8_t transpose = 64;  // 64 + semitones
        std::uint8_t tuningMsb = 64;  // Master Fine Tuning
        std::uint8_t tuningLsb = 0;
        std::uint8_t basicChannel = 1; // 1..16
        std::uint16_t volume = 0;      // 14 bits, two data bytes

        bool operator==(const Panel&) const = default;
    };

    // The logs keep the newest this much of each (about six minutes of CD audio), so that hours
    // of use in the program hold no more memory than minutes; the count of the audio bytes goes
    // on regardless.
    static constexpr std::size_t kMostKeptAudioBytes = std::size_t{64} << 20;
    static constexpr std::size_t kMostKeptMidi = 100000;

    struct ReceivedMidi {
        Clock::time_point time;
        std::vector<std::uint8_t> bytes;
    };

    // A message as the MIDI output handed it to the listener; time is taken just before the
    // listener is called, so it is never later than any time the listener takes on hearing it.
    struct SentMidi {
        Clock::time_point time;
        std::vector<std::uint8_t> bytes;
    };

    struct ReceivedAudio {
        Clock::time_point time;
        std::vector<std::uint8_t> bytes;
        unsigned channels;
        unsigned rate;
        unsigned bits;
    };

    // What the piano's audio output carries.
    enum class Signal {
        OwnSound, // a 440 Hz tone at a quarter of full scale
        Silence,
        Sine, // a sine of the given frequency and amplitude (0..1)
        Ramp, // each sample holds its frame number (wrapping), for checking continuity
        // What is played on the piano and what it receives on MIDI, sounded by its voice
        // (EnableVoice) as its panel says; the own sound while it has no voice.
        Voice,
    };

    // Plugged in, with active sensing every 300 ms while something listens.
    CVirtualPiano();
    CVirtualPiano(const CVirtualPiano&) = delete;
    CVirtualPiano& operator=(const CVirtualPiano&) = delete;
    ~CVirtualPiano();

    void Plug(unsigned functions = kAll);
    void Unplug(unsigned functions = kAll);
    unsigned Plugged() const { return m_plugged; }
    bool IsPlugged(Function function) const { return (m_plugged & function) != 0; }
    // Called on the plugging thread after every Plug or Unplug that changed what is plugged, as
    // a USB host announces a device; it must return quickly. RemovePlugListener returns only
    // when the listener is no longer running.
    int AddPlugListener(std::function<void()> listener);
    void RemovePlugListener(int id);

    // What the PC sends: any bytes of a MIDI stream (whole messages or parts of them).
    void Receive(const std::uint8_t* bytes, std::size_t length);
    Panel GetPanel() const;
    std::vector<ReceivedMidi> Received() const;
    std::set<int> SoundingNotes() const;
    void ClearReceived();

    // The PC's MIDI input listens here while it is open; null stops listening.
    void SetMidiSink(MidiSink sink);
    bool HasMidiSink() const;
    // What the MIDI output handed to a listener, in order; what found none is not in it.
    std::vector<SentMidi> Sent() const;
    void ClearSent();

    // Playing and operating the piano. Each changes the panel like the instrument does and
    // reports the change on the MIDI output, in the instrument's own message.
    void PressKey(std::uint8_t note, std::uint8_t velocity);
    void ReleaseKey(std::uint8_t note);
    void PressVoice(std::uint8_t program);
    void PressDual(std::uint8_t program);
    void PressReverb(bool on);
    void PressBrilliance(std::uint8_t value);
    void PressTouch(std::uint8_t value);
    void PressTranspose(std::uint8_t value);
    void PressTuning(std::uint8_t msb, std::uint8_t lsb);
    void PressBasicChannel(std::uint8_t channel);
    // Sends raw bytes on the MIDI output, as a misbehaving instrument could.
    void SendRaw(const std::vector<std::uint8_t>& bytes);
    void SetActiveSensing(bool on);

    // What the PC plays: consumed as it comes.
    void ConsumeAudio(const std::uint8_t* bytes, std::size_t length, unsigned channels,
                      unsigned rate, unsigned bits);
    std::vector<ReceivedAudio> ReceivedAudioBlocks() const;
    std::size_t ReceivedAudioBytes() const;

    // The piano's sound: fills length bytes of PCM in the given format, starting at frame.
    // Apart from the voice, the same arguments always give the same bytes; the voice goes on
    // from where the last call left it, and is rendered by the caller's thread.
    void SetSignal(Signal signal, double frequency = 440.0, double amplitude = 0.5);
    void ProduceAudio(std::uint8_t* out, std::size_t length, unsigned channels, unsigned rate,
                      unsigned bits, std::uint64_t frame) const;

    // Gives the piano its voice from a General MIDI sound font (an installed one when empty)
    // and makes it the audio output. Gives the reason when it cannot; the output then stays
    // as it was.
    std::string EnableVoice(const std::string& soundFont = {});
    // The sound font EnableVoice takes when given none, as a full path: the user's choice
    // (CANTAVO_SOUNDFONT, "none" for none) or an installed one; empty when there is none.
    static std::string FindSoundFont();
    // The sound font the voice uses; empty while it has none.
    std::string SoundFont() const;
    // The instrument's volume knob, 0..100 (100 at first); 0 silences its voice, both in its
    // audio output and on its loudspeaker.
    void SetVolumeKnob(unsigned percent);
    unsigned VolumeKnob() const { return m_knob; }
    // Its loudspeaker: the PC's audio output (an ALSA device) sounds its voice together with
    // what the PC plays to it. Gives the reason when it cannot; the audio output renders as
    // before either way.
    std::string Hear(const std::string& device = "default");
    void StopHearing();
    bool IsHearing() const;

private:
    void Apply(const std::uint8_t* bytes, std::size_t length);
    // Tell the voices what the panel and the keys are now; m_stateLock is held.
    void VoicePanelLocked();
    void VoiceKeyLocked(std::uint8_t key, std::uint8_t velocity);
    void VoiceAllOffLocked();
    void ApplySysex(const std::uint8_t* bytes, std::size_t length);
    void Send(const std::vector<std::uint8_t>& bytes);
    void SenseLoop();

    mutable std::mutex m_stateLock;
    Panel m_panel;
    std::set<int> m_sounding;
    std::deque<ReceivedMidi> m_received;
    std::deque<ReceivedAudio> m_audio;
    std::size_t m_audioBytes = 0;
    std::size_t m_keptAudioBytes = 0;
    // The channel each sounding note came on, -1 for none: its release ends it even after the
    // basic channel changed.
    std::array<std::int8_t, 128> m_noteChannel;
    CMidiParser m_parser;
    Signal m_signal = Signal::OwnSound;
    double m_frequency = 440.0;
    double m_amplitude = 0.5;
    std::shared_ptr<CPianoVoice> m_voice;
    std::unique_ptr<CPianoSpeaker> m_speaker;
    std::atomic<unsigned> m_knob{100};

    std::atomic<unsigned> m_plugged{kAll};
    void PlugChanged();
    std::mutex m_plugListenLock;
    std::map<int, std::function<void()>> m_plugListeners;
    int m_nextPlugListener = 1;

    // Held while the sink is called, so a listener that goes away never hears from the piano
    // afterwards.
    mutable std::mutex m_sinkLock;
    MidiSink m_sink;
    // Its own lock, so reading the log never waits for a listener.
    mutable std::mutex m_sentLock;
    std::deque<SentMidi> m_sent;

    std::atomic<bool> m_sensing{true};
    std::mutex m_senseLock;
    std::condition_variable m_senseWake;
    bool m_stop = false;
    std::thread m_senseThread;
};
