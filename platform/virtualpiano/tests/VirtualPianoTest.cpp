#include "CVirtualPiano.h"

#include <atomic>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace {

using Bytes = std::vector<std::uint8_t>;

void Send(CVirtualPiano& piano, const Bytes& bytes) {
    piano.Receive(bytes.data(), bytes.size());
}

Bytes Volume(std::uint16_t value, bool goodChecksum = true) {
    Bytes message{0xF0,
                  0x50,
                  0x2C,
                  0x01,
                  0x2D,
                  0x13,
                  0x01,
                  0x00,
                  0x00,
                  0x00,
                  0x00,
                  0x01,
                  static_cast<std::uint8_t>(value & 0x7F),
                  static_cast<std::uint8_t>(value >> 8),
                  0x00,
                  0x00,
                  0xF7};
    unsigned sum = 0;
    for (std::size_t i = 1; i <= 14; ++i) {
        sum += message[i];
    }
    message[15] = static_cast<std::uint8_t>((128 - sum % 128) % 128);
    if (!goodChecksum) {
        message[15] = static_cast<std::uint8_t>((message[15] + 1) & 0x7F);
    }
    return message;
}

// Collects what the piano sends.
struct Listener {
    std::mutex lock;
    std::vector<Bytes> messages;
    void Attach(CVirtualPiano& piano) {
        piano.SetMidiSink([this](const std::uint8_t* bytes, std::size_t length) {
            const std::lock_guard<std::mutex> guard(lock);
            messages.emplace_back(bytes, bytes + length);
        });
    }
    std::vector<Bytes> Taken() {
        const std::lock_guard<std::mutex> guard(lock);
        std::vector<Bytes> kept;
        for (const Bytes& message : messages) {
            if (message != Bytes{0xFE}) {
                kept.push_back(message);
            }
        }
        return kept;
    }
};

} // namespace

TEST(VirtualPiano, PanelFollowsEverySettingMessage) {
    CVirtualPiano piano;
    Send(piano, {0xC0, 48});
    Send(piano, {0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x02, 0x10, 0x00, 0x00, 0x00, 0x0B, 0xF7});
    Send(piano, {0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x00, 0x01, 0x00, 0x00, 0xF7});
    Send(piano, {0xB0, 0x4A, 80});
    Send(piano, {0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x02, 0x00, 0x00, 48, 0xF7});
    Send(piano, {0xF0, 0x7F, 0x7F, 0x04, 0x04, 0x00, 66, 0xF7});
    Send(piano, {0xF0, 0x7F, 0x7F, 0x04, 0x03, 0x40, 65, 0xF7});
    Send(piano, Volume(291));
    const CVirtualPiano::Panel panel = piano.GetPanel();
    EXPECT_EQ(panel.program, 48);
    EXPECT_EQ(panel.dual, 11);
    EXPECT_EQ(panel.reverb, 0);
    EXPECT_EQ(panel.brilliance, 80);
    EXPECT_EQ(panel.touch, 48);
    EXPECT_EQ(panel.transpose, 66);
    EXPECT_EQ(panel.tuningMsb, 65);
    EXPECT_EQ(panel.tuningLsb, 0x40);
    EXPECT_EQ(panel.volume, 291);
    EXPECT_EQ(piano.Received().size(), 8u);

    // A program change chooses the voice and ends dual play.
    Send(piano, {0xC0, 0});
    EXPECT_EQ(piano.GetPanel().dual, 255);
}

TEST(VirtualPiano, MalformedMessagesChangeNothing) {
    CVirtualPiano piano;
    const CVirtualPiano::Panel before = piano.GetPanel();
    Send(piano, Volume(291, false));                                               // bad checksum
    Send(piano, {0xF0, 0x7F, 0x7F, 0x04, 0x04, 0x00, 0xF7});                       // too short
    Send(piano, {0xF0, 0x7F, 0x7F, 0x04, 0x04, 0x00, 66, 0x00, 0xF7});             // too long
    Send(piano, {0xF0, 0x51, 0x2C, 0x05, 0x00, 0x1F, 0x02, 0x00, 0x00, 48, 0xF7}); // maker
    Send(piano, {0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x02, 0x00, 0x00, 48, 0xC0, 5}); // cut
    Send(piano, {0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x00, 0x10, 0x00, 0x00, 0xF7});  // channel 0
    Send(piano, {0xC1, 7});  // another channel
    Send(piano, {0x4A, 70}); // data without status
    CVirtualPiano::Panel expected = before;
    expected.program = 5; // the status byte that cut the message short starts a message
    EXPECT_EQ(piano.GetPanel(), expected);
}

TEST(VirtualPiano, ListensOnItsBasicChannel) {
    CVirtualPiano piano;
    Send(piano, {0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x00, 0x10, 0x00, 0x02, 0xF7});
    EXPECT_EQ(piano.GetPanel().basicChannel, 2);
    Send(piano, {0xC0, 6});
    EXPECT_EQ(piano.GetPanel().program, 0);
    Send(piano, {0xC1, 6});
    EXPECT_EQ(piano.GetPanel().program, 6);
}

TEST(VirtualPiano, NotesSoundUntilReleased) {
    CVirtualPiano piano;
    Send(piano, {0x90, 60, 100, 64, 90});
    EXPECT_EQ(piano.SoundingNotes(), (std::set<int>{60, 64}));
    Send(piano, {0x80, 60, 0, 0x90, 64, 0});
    EXPECT_TRUE(piano.SoundingNotes().empty());
    // A note started before the basic channel changed ends with its release on the channel it
    // came on; other notes there still change nothing.
    Send(piano, {0x90, 60, 100, 0x90, 64, 90});
    Send(piano, {0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x00, 0x10, 0x00, 0x02, 0xF7});
    Send(piano, {0x90, 67, 100, 0x80, 67, 0});
    EXPECT_EQ(piano.SoundingNotes(), (std::set<int>{60, 64}));
    Send(piano, {0x80, 60, 0, 0x90, 64, 0});
    EXPECT_TRUE(piano.SoundingNotes().empty());
}

TEST(VirtualPiano, PanelPressesGoOutInTheInstrumentsOwnMessages) {
    CVirtualPiano piano;
    piano.SetActiveSensing(false);
    Listener listener;
    listener.Attach(piano);
    piano.PressKey(60, 100);
    piano.ReleaseKey(60);
    piano.PressVoice(48);
    piano.PressDual(11);
    piano.PressReverb(false);
    piano.PressBrilliance(72);
    piano.PressTouch(56);
    piano.PressTranspose(66);
    piano.PressTuning(65, 0x40);
    piano.PressBasicChannel(2);
    EXPECT_EQ(listener.Taken(),
              (std::vector<Bytes>{
                  {0x90, 60, 100},
                  {0x80, 60, 0x40},
                  {0xC0, 48},
                  {0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x02, 0x10, 0x00, 0x00, 0x00, 11, 0xF7},
                  {0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x00, 0x01, 0x00, 0x00, 0xF7},
                  {0xB0, 0x4A, 72},
                  {0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x02, 0x00, 0x00, 56, 0xF7},
                  {0xF0, 0x7F, 0x7F, 0x04, 0x04, 0x00, 66, 0xF7},
                  {0xF0, 0x7F, 0x7F, 0x04, 0x03, 0x40, 65, 0xF7},
                  {0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x00, 0x10, 0x00, 0x02, 0xF7},
              }));
    const CVirtualPiano::Panel panel = piano.GetPanel();
    EXPECT_EQ(panel.program, 48);
    EXPECT_EQ(panel.dual, 11);
    EXPECT_EQ(panel.basicChannel, 2);
    piano.SetMidiSink(nullptr);
}

TEST(VirtualPiano, UnpluggedFunctionsAreSilent) {
    CVirtualPiano piano;
    Listener listener;
    listener.Attach(piano);
    piano.Unplug(CVirtualPiano::kMidiIn | CVirtualPiano::kMidiOut);
    EXPECT_EQ(piano.Plugged(), unsigned{CVirtualPiano::kWaveIn | CVirtualPiano::kWaveOut});
    piano.PressKey(60, 1);
    Send(piano, {0xC0, 9});
    EXPECT_TRUE(listener.Taken().empty());
    EXPECT_EQ(piano.GetPanel().program, 0);
    EXPECT_TRUE(piano.Received().empty());
    piano.Plug(CVirtualPiano::kMidiOut);
    Send(piano, {0xC0, 9});
    EXPECT_EQ(piano.GetPanel().program, 9);
    piano.SetMidiSink(nullptr);
}

TEST(VirtualPiano, SendsActiveSensingWhileSomethingListens) {
    CVirtualPiano piano;
    std::atomic<int> sensed{0};
    piano.SetMidiSink([&sensed](const std::uint8_t* bytes, std::size_t length) {
        if (length == 1 && bytes[0] == 0xFE) {
            ++sensed;
        }
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (sensed < 2 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    piano.SetMidiSink(nullptr);
    EXPECT_GE(sensed.load(), 2);
}

TEST(VirtualPiano, ItsSoundIsTheSameForTheSameFrames) {
    CVirtualPiano piano;
    Bytes first(4000), second(4000), joined(8000);
    piano.ProduceAudio(first.data(), first.size(), 2, 44100, 16, 0);
    piano.ProduceAudio(second.data(), second.size(), 2, 44100, 16, 1000);
    piano.ProduceAudio(joined.data(), joined.size(), 2, 44100, 16, 0);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), joined.begin()));
    EXPECT_TRUE(std::equal(second.begin(), second.end(), joined.begin() + 4000));
    // The own sound is not silence, and at most a quarter of full scale.
    int peak = 0;
    for (std::size_t i = 0; i + 1 < joined.size(); i += 2) {
        const auto sample = static_cast<std::int16_t>(joined[i] | (joined[i + 1] << 8));
        peak = std::max(peak, std::abs(static_cast<int>(sample)));
    }
    EXPECT_GT(peak, 8000);
    EXPECT_LE(peak, 8192);

    piano.SetSignal(CVirtualPiano::Signal::Ramp);
    Bytes ramp(8);
    piano.ProduceAudio(ramp.data(), ramp.size(), 2, 8000, 16, 300);
    EXPECT_EQ(ramp, (Bytes{0x2C, 0x01, 0x2C, 0x01, 0x2D, 0x01, 0x2D, 0x01}));
}

TEST(VirtualPiano, KeepsWhatItIsGivenToPlay) {
    CVirtualPiano piano;
    const Bytes audio(1000, 0x11);
    piano.ConsumeAudio(audio.data(), audio.size(), 2, 44100, 16);
    EXPECT_EQ(piano.ReceivedAudioBytes(), 1000u);
    piano.Unplug(CVirtualPiano::kWaveOut);
    piano.ConsumeAudio(audio.data(), audio.size(), 2, 44100, 16);
    EXPECT_EQ(piano.ReceivedAudioBytes(), 1000u);
}

TEST(VirtualPiano, LogsWhatItSentWithTheTimeItWasHandedOver) {
    CVirtualPiano piano;
    piano.SetActiveSensing(false);
    // Nobody listens: nothing was sent.
    piano.PressKey(60, 90);
    EXPECT_TRUE(piano.Sent().empty());

    std::mutex lock;
    std::vector<std::pair<CVirtualPiano::Clock::time_point, Bytes>> heard;
    piano.SetMidiSink([&](const std::uint8_t* bytes, std::size_t length) {
        const std::lock_guard<std::mutex> guard(lock);
        heard.emplace_back(CVirtualPiano::Clock::now(), Bytes(bytes, bytes + length));
    });
    const auto before = CVirtualPiano::Clock::now();
    piano.PressKey(60, 90);
    piano.ReleaseKey(60);
    piano.PressVoice(5);
    piano.Unplug(CVirtualPiano::kMidiIn);
    piano.PressKey(62, 90); // unplugged: not sent
    piano.Plug(CVirtualPiano::kMidiIn);
    piano.PressReverb(false);
    piano.SetMidiSink(nullptr);

    const std::vector<CVirtualPiano::SentMidi> sent = piano.Sent();
    const std::lock_guard<std::mutex> guard(lock);
    ASSERT_EQ(sent.size(), heard.size());
    const std::vector<Bytes> expected{
        {0x90, 60, 90},
        {0x80, 60, 0x40},
        {0xC0, 5},
        {0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x00, 0x01, 0x00, 0x00, 0xF7}};
    ASSERT_EQ(sent.size(), expected.size());
    auto previous = before;
    for (std::size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(sent[i].bytes, expected[i]) << i;
        EXPECT_EQ(heard[i].second, expected[i]) << i;
        // Stamped as it was handed over: after the one before, never after the listener saw it.
        EXPECT_GE(sent[i].time, previous) << i;
        EXPECT_LE(sent[i].time, heard[i].first) << i;
        previous = sent[i].time;
    }

    piano.ClearSent();
    EXPECT_TRUE(piano.Sent().empty());
}

// Hours of use in the program keep its logs to their bounds: the newest are kept, the count of
// what it was given goes on.
TEST(VirtualPiano, ItsLogsKeepTheNewestWithinTheirBounds) {
    CVirtualPiano piano;
    piano.SetActiveSensing(false);
    piano.SetMidiSink([](const std::uint8_t*, std::size_t) {});
    const Bytes block(1 << 20, 0x11);
    const std::size_t blocks = CVirtualPiano::kMostKeptAudioBytes / block.size() + 3;
    for (std::size_t i = 0; i < blocks; ++i) {
        piano.ConsumeAudio(block.data(), block.size(), 2, 44100, 16);
    }
    const Bytes last{0x01, 0x02, 0x03, 0x04};
    piano.ConsumeAudio(last.data(), last.size(), 2, 44100, 16);
    EXPECT_EQ(piano.ReceivedAudioBytes(), blocks * block.size() + last.size());
    const auto kept = piano.ReceivedAudioBlocks();
    std::size_t keptBytes = 0;
    for (const auto& audio : kept) {
        keptBytes += audio.bytes.size();
    }
    EXPECT_LE(keptBytes, CVirtualPiano::kMostKeptAudioBytes);
    EXPECT_GE(keptBytes, CVirtualPiano::kMostKeptAudioBytes - block.size());
    EXPECT_EQ(kept.back().bytes, last);

    for (std::size_t i = 0; i < CVirtualPiano::kMostKeptMidi + 10; ++i) {
        const auto note = static_cast<std::uint8_t>(i % 128);
        Send(piano, {0x90, note, 0});
        piano.ReleaseKey(note);
    }
    Send(piano, {0x90, 0x3C, 0x40});
    piano.PressKey(0x3D, 0x41);
    const auto received = piano.Received();
    const auto sent = piano.Sent();
    EXPECT_EQ(received.size(), CVirtualPiano::kMostKeptMidi);
    EXPECT_EQ(sent.size(), CVirtualPiano::kMostKeptMidi);
    EXPECT_EQ(received.back().bytes, (Bytes{0x90, 0x3C, 0x40}));
    EXPECT_EQ(sent.back().bytes, (Bytes{0x90, 0x3D, 0x41}));
    EXPECT_EQ(piano.SoundingNotes(), (std::set<int>{0x3C, 0x3D}));
}
