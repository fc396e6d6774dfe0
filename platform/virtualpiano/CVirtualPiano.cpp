#include "CVirtualPiano.h"

#include "CPianoSpeaker.h"
#include "CPianoVoice.h"
#include "MidiBytes.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace MidiBytes;

namespace {

// Writes the voice's next frames in the given format; the rendering happens right here, on the
// caller's thread, with no lock of the piano held.
void RenderVoice(CPianoVoice& voice, std::uint8_t* out, std::size_t length, unsigned channels,
                 unsigned rate, unsigned bits, std::uint64_t frame) {
    const unsigned bytesPerSample = bits / 8;
    const std::size_t frameSize = static_cast<std::size_t>(bytesPerSample) * channels;
    std::memset(out, bits == 8 ? 0x80 : 0, length);
    if (frameSize == 0 || rate == 0 || (bits != 8 && bits != 16)) {
        std::memset(out, 0, length);
        return;
    }
    const std::size_t frames = length / frameSize;
    std::vector<float> stereo(frames * 2, 0.0f);
    voice.Render(stereo.data(), frames, rate, frame);
    for (std::size_t i = 0; i < frames; ++i) {
        for (unsigned c = 0; c < channels; ++c) {
            const float value =
                channels == 1 ? 0.5f * (stereo[2 * i] + stereo[2 * i + 1]) : stereo[2 * i + c % 2];
            const float clipped = std::clamp(value, -1.0f, 1.0f);
            std::uint8_t* sample = out + i * frameSize + c * bytesPerSample;
            if (bits == 8) {
                sample[0] = static_cast<std::uint8_t>(std::lround(clipped * 127.0f) + 128);
            } else {
                const auto s = static_cast<std::int16_t>(std::lround(clipped * 32767.0f));
                sample[0] = static_cast<std::uint8_t>(s & 0xFF);
                sample[1] = static_cast<std::uint8_t>((s >> 8) & 0xFF);
            }
        }
    }
    const std::size_t whole = frames * frameSize;
    if (whole < length) {
        std::memset(out + whole, 0, length - whole);
    }
}

constexpr auto kSensingInterval = std::chrono::milliseconds(300);
// The instrument's own controller for brilliance.
constexpr std::uint8_t kBrillianceController = 0x4A;

// Whether bytes begin with prefix and have exactly length bytes, ending in F7.
bool Matches(const std::uint8_t* bytes, std::size_t length,
             std::initializer_list<std::uint8_t> prefix, std::size_t wanted) {
    if (length != wanted || prefix.size() > length || bytes[length - 1] != kSysexEnd) {
        return false;
    }
    return std::equal(prefix.begin(), prefix.end(), bytes);
}

std::uint8_t Channel(const CVirtualPiano::Panel& panel) {
    return static_cast<std::uint8_t>((panel.basicChannel - 1) & 0x0F);
}

} // namespace

CVirtualPiano::CVirtualPiano() : m_senseThread([this] { SenseLoop(); }) {
    m_noteChannel.fill(-1);
}

CVirtualPiano::~CVirtualPiano() {
    {
        const std::lock_guard<std::mutex> guard(m_senseLock);
        m_stop = true;
    }
    m_senseWake.notify_all();
    m_senseThread.join();
}

void CVirtualPiano::Plug(unsigned functions) {
    const unsigned before = m_plugged.fetch_or(functions & kAll);
    if ((before | (functions & kAll)) != before) {
        PlugChanged();
    }
}

void CVirtualPiano::Unplug(unsigned functions) {
    const unsigned before = m_plugged.fetch_and(~functions);
    if ((before & ~functions) != before) {
        PlugChanged();
    }
}

int CVirtualPiano::AddPlugListener(std::function<void()> listener) {
    const std::lock_guard<std::mutex> guard(m_plugListenLock);
    const int id = m_nextPlugListener++;
    m_plugListeners[id] = std::move(listener);
    return id;
}

void CVirtualPiano::RemovePlugListener(int id) {
    const std::lock_guard<std::mutex> guard(m_plugListenLock);
    m_plugListeners.erase(id);
}

void CVirtualPiano::PlugChanged() {
    // Held while the listeners run, so a removed listener is never called afterwards.
    const std::lock_guard<std::mutex> guard(m_plugListenLock);
    for (const auto& [id, listener] : m_plugListeners) {
        listener();
    }
}

void CVirtualPiano::Receive(const std::uint8_t* bytes, std::size_t length) {
    if (bytes == nullptr || length == 0 || !IsPlugged(kMidiOut)) {
        return;
    }
    const std::lock_guard<std::mutex> guard(m_stateLock);
    m_received.push_back({Clock::now(), std::vector<std::uint8_t>(bytes, bytes + length)});
    if (m_received.size() > kMostKeptMidi) {
        m_received.pop_front();
    }
    m_parser.Feed(bytes, length, [this](const std::uint8_t* message, std::size_t size) {
        // Each change reaches the voice in its place among the notes: a program change before
        // a note sounds that note with the new voice.
        const Panel before = m_panel;
        Apply(message, size);
        if (!(m_panel == before)) {
            VoicePanelLocked();
        }
    });
}

void CVirtualPiano::VoicePanelLocked() {
    if (m_voice) {
        m_voice->PostPanel(m_panel);
    }
    if (m_speaker) {
        m_speaker->Voice().PostPanel(m_panel);
    }
}

void CVirtualPiano::VoiceKeyLocked(std::uint8_t key, std::uint8_t velocity) {
    if (m_voice) {
        m_voice->PostKey(key, velocity);
    }
    if (m_speaker) {
        m_speaker->Voice().PostKey(key, velocity);
    }
}

void CVirtualPiano::VoiceAllOffLocked() {
    if (m_voice) {
        m_voice->PostAllOff();
    }
    if (m_speaker) {
        m_speaker->Voice().PostAllOff();
    }
}

void CVirtualPiano::Apply(const std::uint8_t* bytes, std::size_t length) {
    const std::uint8_t status = bytes[0];
    if (status == kSysexStart) {
        ApplySysex(bytes, length);
        return;
    }
    if (!IsChannelStatus(status)) {
        return;
    }
    const bool release = KindOf(status) == kNoteOff || (KindOf(status) == kNoteOn && bytes[2] == 0);
    if (ChannelOf(status) != m_panel.basicChannel - 1) {
        // A note started before the basic channel changed still ends with its release.
        if (release && m_noteChannel[bytes[1] & 0x7F] == ChannelOf(status)) {
            m_sounding.erase(bytes[1]);
            m_noteChannel[bytes[1] & 0x7F] = -1;
            VoiceKeyLocked(bytes[1], 0);
        }
        return;
    }
    switch (KindOf(status)) {
    case kNoteOff:
    case kNoteOn:
        if (release) {
            m_sounding.erase(bytes[1]);
            m_noteChannel[bytes[1] & 0x7F] = -1;
        } else {
            m_sounding.insert(bytes[1]);
            m_noteChannel[bytes[1] & 0x7F] = static_cast<std::int8_t>(ChannelOf(status));
        }
        VoiceKeyLocked(bytes[1], release ? 0 : bytes[2]);
        break;
    case kControlChange:
        if (bytes[1] == kBrillianceController) {
            m_panel.brilliance = bytes[2];
        } else if (bytes[1] == kAllNotesOff || bytes[1] == kAllSoundOff) {
            m_sounding.clear();
            m_noteChannel.fill(-1);
            VoiceAllOffLocked();
        }
        break;
    case kProgramChange:
        // A program change chooses the main voice and ends dual play.
        m_panel.program = bytes[1];
        m_panel.dual = 255;
        break;
    default:
        break;
    }
}

void CVirtualPiano::ApplySysex(const std::uint8_t* b, std::size_t n) {
    if (Matches(b, n, {0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x02, 0x10, 0x00, 0x00, 0x00}, 13)) {
        m_panel.dual = b[11];
    } else if (Matches(b, n, {0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x00, 0x01, 0x00}, 11)) {
        if (b[9] <= 1) {
            m_panel.reverb = b[9];
        }
    } else if (Matches(b, n, {0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x02, 0x00, 0x00}, 11)) {
        m_panel.touch = b[9];
    } else if (Matches(b, n, {0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x00, 0x10, 0x00}, 11)) {
        if (b[9] >= 1 && b[9] <= 16) {
            m_panel.basicChannel = b[9];
        }
    } else if (Matches(b, n, {0xF0, 0x7F, 0x7F, 0x04, 0x04, 0x00}, 8)) {
        m_panel.transpose = b[6];
    } else if (Matches(b, n, {0xF0, 0x7F, 0x7F, 0x04, 0x03}, 8)) {
        m_panel.tuningLsb = b[5];
        m_panel.tuningMsb = b[6];
    } else if (Matches(b, n,
                       {0xF0, 0x50, 0x2C, 0x01, 0x2D, 0x13, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01},
                       17)) {
        // Bytes 1 to 15 must add up to a multiple of 128.
        unsigned sum = 0;
        for (std::size_t i = 1; i <= 15; ++i) {
            sum += b[i];
        }
        if (sum % 128 == 0 && b[14] == 0) {
            m_panel.volume = static_cast<std::uint16_t>(b[12] | (b[13] << 8));
        }
    }
}

CVirtualPiano::Panel CVirtualPiano::GetPanel() const {
    const std::lock_guard<std::mutex> guard(m_stateLock);
    return m_panel;
}

std::vector<CVirtualPiano::ReceivedMidi> CVirtualPiano::Received() const {
    const std::lock_guard<std::mutex> guard(m_stateLock);
    return {m_received.begin(), m_received.end()};
}

std::set<int> CVirtualPiano::SoundingNotes() const {
    const std::lock_guard<std::mutex> guard(m_stateLock);
    return m_sounding;
}

void CVirtualPiano::ClearReceived() {
    const std::lock_guard<std::mutex> guard(m_stateLock);
    m_received.clear();
    m_audio.clear();
    m_audioBytes = 0;
    m_keptAudioBytes = 0;
}

void CVirtualPiano::SetMidiSink(MidiSink sink) {
    const std::lock_guard<std::mutex> guard(m_sinkLock);
    m_sink = std::move(sink);
}

bool CVirtualPiano::HasMidiSink() const {
    const std::lock_guard<std::mutex> guard(m_sinkLock);
    return static_cast<bool>(m_sink);
}

void CVirtualPiano::Send(const std::vector<std::uint8_t>& bytes) {
    if (!IsPlugged(kMidiIn)) {
        return;
    }
    const std::lock_guard<std::mutex> guard(m_sinkLock);
    if (m_sink) {
        const Clock::time_point time = Clock::now();
        m_sink(bytes.data(), bytes.size());
        // Logged under the sink's lock, so the log's order is the order the listener heard.
        const std::lock_guard<std::mutex> sent(m_sentLock);
        m_sent.push_back({time, bytes});
        if (m_sent.size() > kMostKeptMidi) {
            m_sent.pop_front();
        }
    }
}

std::vector<CVirtualPiano::SentMidi> CVirtualPiano::Sent() const {
    const std::lock_guard<std::mutex> guard(m_sentLock);
    return {m_sent.begin(), m_sent.end()};
}

void CVirtualPiano::ClearSent() {
    const std::lock_guard<std::mutex> guard(m_sentLock);
    m_sent.clear();
}

void CVirtualPiano::SendRaw(const std::vector<std::uint8_t>& bytes) {
    Send(bytes);
}

void CVirtualPiano::PressKey(std::uint8_t note, std::uint8_t velocity) {
    std::uint8_t channel = 0;
    {
        const std::lock_guard<std::mutex> guard(m_stateLock);
        channel = Channel(m_panel);
        m_sounding.insert(note & 0x7F);
        m_noteChannel[note & 0x7F] = -1;
        VoiceKeyLocked(note & 0x7F, velocity & 0x7F);
    }
    Send({static_cast<std::uint8_t>(kNoteOn | channel), static_cast<std::uint8_t>(note & 0x7F),
          static_cast<std::uint8_t>(velocity & 0x7F)});
}

void CVirtualPiano::ReleaseKey(std::uint8_t note) {
    std::uint8_t channel = 0;
    {
        const std::lock_guard<std::mutex> guard(m_stateLock);
        channel = Channel(m_panel);
        m_sounding.erase(note & 0x7F);
        m_noteChannel[note & 0x7F] = -1;
        VoiceKeyLocked(note & 0x7F, 0);
    }
    Send({static_cast<std::uint8_t>(kNoteOff | channel), static_cast<std::uint8_t>(note & 0x7F),
          0x40});
}

void CVirtualPiano::PressVoice(std::uint8_t program) {
    std::uint8_t channel = 0;
    {
        const std::lock_guard<std::mutex> guard(m_stateLock);
        m_panel.program = program & 0x7F;
        m_panel.dual = 255;
        channel = Channel(m_panel);
        VoicePanelLocked();
    }
    Send({static_cast<std::uint8_t>(kProgramChange | channel),
          static_cast<std::uint8_t>(program & 0x7F)});
}

void CVirtualPiano::PressDual(std::uint8_t program) {
    {
        const std::lock_guard<std::mutex> guard(m_stateLock);
        m_panel.dual = program & 0x7F;
        VoicePanelLocked();
    }
    Send({0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x02, 0x10, 0x00, 0x00, 0x00,
          static_cast<std::uint8_t>(program & 0x7F), 0xF7});
}

void CVirtualPiano::PressReverb(bool on) {
    {
        const std::lock_guard<std::mutex> guard(m_stateLock);
        m_panel.reverb = on ? 1 : 0;
        VoicePanelLocked();
    }
    Send({0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x00, 0x01, 0x00,
          static_cast<std::uint8_t>(on ? 1 : 0), 0xF7});
}

void CVirtualPiano::PressBrilliance(std::uint8_t value) {
    std::uint8_t channel = 0;
    {
        const std::lock_guard<std::mutex> guard(m_stateLock);
        m_panel.brilliance = value & 0x7F;
        channel = Channel(m_panel);
        VoicePanelLocked();
    }
    Send({static_cast<std::uint8_t>(kControlChange | channel), kBrillianceController,
          static_cast<std::uint8_t>(value & 0x7F)});
}

void CVirtualPiano::PressTouch(std::uint8_t value) {
    {
        const std::lock_guard<std::mutex> guard(m_stateLock);
        m_panel.touch = value & 0x7F;
        VoicePanelLocked();
    }
    Send({0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x02, 0x00, 0x00,
          static_cast<std::uint8_t>(value & 0x7F), 0xF7});
}

void CVirtualPiano::PressTranspose(std::uint8_t value) {
    {
        const std::lock_guard<std::mutex> guard(m_stateLock);
        m_panel.transpose = value & 0x7F;
        VoicePanelLocked();
    }
    Send({0xF0, 0x7F, 0x7F, 0x04, 0x04, 0x00, static_cast<std::uint8_t>(value & 0x7F), 0xF7});
}

void CVirtualPiano::PressTuning(std::uint8_t msb, std::uint8_t lsb) {
    {
        const std::lock_guard<std::mutex> guard(m_stateLock);
        m_panel.tuningMsb = msb & 0x7F;
        m_panel.tuningLsb = lsb & 0x7F;
        VoicePanelLocked();
    }
    Send({0xF0, 0x7F, 0x7F, 0x04, 0x03, static_cast<std::uint8_t>(lsb & 0x7F),
          static_cast<std::uint8_t>(msb & 0x7F), 0xF7});
}

void CVirtualPiano::PressBasicChannel(std::uint8_t channel) {
    if (channel < 1 || channel > 16) {
        return;
    }
    {
        const std::lock_guard<std::mutex> guard(m_stateLock);
        m_panel.basicChannel = channel;
        VoicePanelLocked();
    }
    Send({0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x00, 0x10, 0x00, channel, 0xF7});
}

void CVirtualPiano::SetActiveSensing(bool on) {
    m_sensing = on;
}

void CVirtualPiano::SenseLoop() {
    std::unique_lock<std::mutex> lock(m_senseLock);
    while (!m_stop) {
        m_senseWake.wait_for(lock, kSensingInterval);
        if (m_stop) {
            break;
        }
        if (m_sensing) {
            lock.unlock();
            Send({kActiveSensing});
            lock.lock();
        }
    }
}

void CVirtualPiano::ConsumeAudio(const std::uint8_t* bytes, std::size_t length, unsigned channels,
                                 unsigned rate, unsigned bits) {
    if (bytes == nullptr || length == 0 || !IsPlugged(kWaveOut)) {
        return;
    }
    const std::lock_guard<std::mutex> guard(m_stateLock);
    m_audio.push_back(
        {Clock::now(), std::vector<std::uint8_t>(bytes, bytes + length), channels, rate, bits});
    m_audioBytes += length;
    m_keptAudioBytes += length;
    while (m_keptAudioBytes > kMostKeptAudioBytes) {
        m_keptAudioBytes -= m_audio.front().bytes.size();
        m_audio.pop_front();
    }
    if (m_speaker) {
        m_speaker->Mix(bytes, length, channels, rate, bits);
    }
}

std::vector<CVirtualPiano::ReceivedAudio> CVirtualPiano::ReceivedAudioBlocks() const {
    const std::lock_guard<std::mutex> guard(m_stateLock);
    return {m_audio.begin(), m_audio.end()};
}

std::size_t CVirtualPiano::ReceivedAudioBytes() const {
    const std::lock_guard<std::mutex> guard(m_stateLock);
    return m_audioBytes;
}

void CVirtualPiano::SetSignal(Signal signal, double frequency, double amplitude) {
    const std::lock_guard<std::mutex> guard(m_stateLock);
    m_signal = signal;
    m_frequency = frequency;
    m_amplitude = std::clamp(amplitude, 0.0, 1.0);
}

void CVirtualPiano::ProduceAudio(std::uint8_t* out, std::size_t length, unsigned channels,
                                 unsigned rate, unsigned bits, std::uint64_t frame) const {
    if (out == nullptr || length == 0) {
        return;
    }
    Signal signal;
    double frequency;
    double amplitude;
    std::shared_ptr<CPianoVoice> voice;
    {
        const std::lock_guard<std::mutex> guard(m_stateLock);
        signal = m_signal;
        frequency = m_frequency;
        amplitude = m_amplitude;
        voice = m_voice;
    }
    if (signal == Signal::Voice && voice) {
        RenderVoice(*voice, out, length, channels, rate, bits, frame);
        return;
    }
    if (signal == Signal::OwnSound || signal == Signal::Voice) {
        frequency = 440.0;
        amplitude = 0.25;
    }
    const unsigned bytesPerSample = bits / 8;
    const unsigned frameSize = bytesPerSample * channels;
    if (frameSize == 0 || rate == 0 || (bits != 8 && bits != 16)) {
        std::memset(out, 0, length);
        return;
    }
    constexpr double kTwoPi = 6.283185307179586;
    for (std::size_t offset = 0; offset + frameSize <= length; offset += frameSize, ++frame) {
        double value = 0.0; // -1..1
        switch (signal) {
        case Signal::Silence:
            break;
        case Signal::Ramp:
            value = static_cast<double>(static_cast<std::int16_t>(frame & 0xFFFF)) / 32768.0;
            break;
        default: {
            // The phase is taken modulo the period in whole frames' time, so long runs keep
            // their precision.
            const double t =
                static_cast<double>(frame % (static_cast<std::uint64_t>(rate) * 1000)) /
                static_cast<double>(rate);
            value = amplitude * std::sin(kTwoPi * frequency * t);
            break;
        }
        }
        for (unsigned c = 0; c < channels; ++c) {
            std::uint8_t* sample = out + offset + c * bytesPerSample;
            if (bits == 8) {
                sample[0] = static_cast<std::uint8_t>(std::lround(value * 127.0) + 128);
            } else {
                const auto s = static_cast<std::int16_t>(
                    signal == Signal::Ramp ? static_cast<std::int16_t>(frame & 0xFFFF)
                                           : std::lround(value * 32767.0));
                sample[0] = static_cast<std::uint8_t>(s & 0xFF);
                sample[1] = static_cast<std::uint8_t>((s >> 8) & 0xFF);
            }
        }
    }
    const std::size_t whole = length - length % frameSize;
    if (whole < length) {
        std::memset(out + whole, 0, length - whole);
    }
}

std::string CVirtualPiano::EnableVoice(const std::string& soundFont) {
    const std::string font = soundFont.empty() ? CPianoVoice::FindSoundFont() : soundFont;
    std::string error;
    // The sound font loads with no lock held: the piano goes on meanwhile.
    std::shared_ptr<CPianoVoice> voice = CPianoVoice::Create(font, 44100, error);
    if (!voice) {
        return error;
    }
    // The knob is read with the lock held: turned while the font loaded (the window program
    // loads it on a thread of its own), its new place reaches this voice or finds it in place.
    const std::lock_guard<std::mutex> guard(m_stateLock);
    voice->SetLevel(m_knob);
    voice->PostPanel(m_panel);
    for (const int note : m_sounding) {
        voice->PostKey(static_cast<std::uint8_t>(note), 80);
    }
    m_voice = std::move(voice);
    m_signal = Signal::Voice;
    return {};
}

std::string CVirtualPiano::FindSoundFont() {
    return CPianoVoice::FindSoundFont();
}

std::string CVirtualPiano::SoundFont() const {
    const std::lock_guard<std::mutex> guard(m_stateLock);
    return m_voice ? m_voice->SoundFont() : std::string();
}

void CVirtualPiano::SetVolumeKnob(unsigned percent) {
    m_knob = std::min(percent, 100u);
    const std::lock_guard<std::mutex> guard(m_stateLock);
    if (m_voice) {
        m_voice->SetLevel(m_knob);
    }
    if (m_speaker) {
        m_speaker->Voice().SetLevel(m_knob);
    }
}

std::string CVirtualPiano::Hear(const std::string& device) {
    std::string font;
    std::unique_ptr<CPianoSpeaker> gone;
    {
        const std::lock_guard<std::mutex> guard(m_stateLock);
        if (m_speaker && !m_speaker->Ended()) {
            return {};
        }
        // A loudspeaker whose device went away makes room for a new one.
        gone = std::move(m_speaker);
        font = m_voice ? m_voice->SoundFont() : CPianoVoice::FindSoundFont();
    }
    std::string error;
    std::unique_ptr<CPianoVoice> voice = CPianoVoice::Create(font, CPianoSpeaker::kRate, error);
    if (!voice) {
        return error;
    }
    voice->SetLevel(m_knob);
    std::unique_ptr<CPianoSpeaker> speaker = CPianoSpeaker::Open(std::move(voice), device, error);
    if (!speaker) {
        return error;
    }
    const std::lock_guard<std::mutex> guard(m_stateLock);
    if (!m_speaker) {
        // Read again with the lock held, for a knob turned while the device opened.
        speaker->Voice().SetLevel(m_knob);
        speaker->Voice().PostPanel(m_panel);
        for (const int note : m_sounding) {
            speaker->Voice().PostKey(static_cast<std::uint8_t>(note), 80);
        }
        m_speaker = std::move(speaker);
    }
    return {};
}

void CVirtualPiano::StopHearing() {
    std::unique_ptr<CPianoSpeaker> speaker;
    {
        const std::lock_guard<std::mutex> guard(m_stateLock);
        speaker = std::move(m_speaker);
    }
    // Its thread ends with no lock of the piano held.
}

bool CVirtualPiano::IsHearing() const {
    const std::lock_guard<std::mutex> guard(m_stateLock);
    return m_speaker != nullptr && !m_speaker->Ended();
}
