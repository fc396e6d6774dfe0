#include "CVirtualPiano.h"
#include "FrequencyAnalysis.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <thread>
#include <unistd.h>

// The virtual ZQ31's voice, rendered on the test's own thread: every key and panel change
// lands exactly between two blocks of its audio output.

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr unsigned kRate = 44100;
const std::vector<int> kScale{60, 62, 64, 65, 67, 69, 71, 72};
constexpr std::size_t kNoteFrames = kRate * 4 / 10;   // 0.4 s
constexpr std::size_t kHeldFrames = kRate * 35 / 100; // held for 0.35 s of it
constexpr std::size_t kBlockFrames = kRate / 100;     // the audio clock's 10 ms

class Voiced : public testing::Test {
protected:
    void SetUp() override {
        piano.SetActiveSensing(false);
        const std::string error = piano.EnableVoice();
        if (!error.empty()) {
            GTEST_SKIP() << "no voice here: " << error;
        }
    }

    // The next frames of the audio output, in 10 ms blocks as the wave input takes them.
    void Record(Bytes& into, std::size_t frames) {
        for (std::size_t done = 0; done < frames; done += kBlockFrames) {
            const std::size_t count = std::min(kBlockFrames, frames - done);
            const std::size_t at = into.size();
            into.resize(at + count * 4);
            piano.ProduceAudio(into.data() + at, count * 4, 2, kRate, 16, frame);
            frame += count;
        }
    }

    Bytes PlayScale() {
        Bytes sound;
        for (const int note : kScale) {
            piano.PressKey(static_cast<std::uint8_t>(note), 100);
            Record(sound, kHeldFrames);
            piano.ReleaseKey(static_cast<std::uint8_t>(note));
            Record(sound, kNoteFrames - kHeldFrames);
        }
        // Lets the last note ring out to the end of a file worth listening to.
        Record(sound, kRate / 2);
        Listen(sound);
        return sound;
    }

    // With CANTAVO_LISTEN_DIR set, what the test heard is kept as a WAV file there.
    void Listen(const Bytes& sound) {
        const auto* test = testing::UnitTest::GetInstance()->current_test_info();
        Spectrum::WriteWavIfAsked(std::string(test->name()) + "-" +
                                      std::to_string(piano.GetPanel().program),
                                  sound, kRate);
    }

    // The spectrum of each note from 0.15 s after its key went down, past the slow start of a
    // string section, to before its release.
    static std::vector<std::vector<double>> NoteSpectra(const Bytes& sound) {
        std::vector<std::vector<double>> spectra;
        for (std::size_t i = 0; i < kScale.size(); ++i) {
            spectra.push_back(
                Spectrum::Power(Spectrum::Mono(sound, i * kNoteFrames + kRate * 15 / 100, 8192)));
        }
        return spectra;
    }

    CVirtualPiano piano;
    std::uint64_t frame = 0; // the audio output's, running on across recordings
};

// For each note of the scale, the note during which its fundamental was loudest: the scale
// itself when every note sounded at its time and pitch.
std::vector<int> WhenEachFundamentalPeaks(const std::vector<std::vector<double>>& spectra) {
    std::vector<int> heard;
    for (const int note : kScale) {
        std::size_t loudest = 0;
        for (std::size_t i = 1; i < spectra.size(); ++i) {
            if (Spectrum::Around(spectra[i], Spectrum::NoteFrequency(note), kRate) >
                Spectrum::Around(spectra[loudest], Spectrum::NoteFrequency(note), kRate)) {
                loudest = i;
            }
        }
        heard.push_back(kScale[loudest]);
    }
    return heard;
}

TEST_F(Voiced, AScaleSoundsItsNotesInOrderInGrandPianoAndInStrings) {
    const auto grand = NoteSpectra(PlayScale());
    EXPECT_EQ(WhenEachFundamentalPeaks(grand), kScale);
    // Apart from C, whose octave is in the scale too, each note's own pitch is its strongest.
    for (std::size_t i = 1; i + 1 < kScale.size(); ++i) {
        EXPECT_EQ(Spectrum::Strongest(grand[i], kScale, kRate), kScale[i]);
    }
    piano.PressVoice(48);
    EXPECT_EQ(WhenEachFundamentalPeaks(NoteSpectra(PlayScale())), kScale);
}

TEST_F(Voiced, StringsSoundUnlikeTheGrandPiano) {
    const auto piano0 = NoteSpectra(PlayScale());
    const auto again = NoteSpectra(PlayScale());
    piano.PressVoice(48);
    const auto strings = NoteSpectra(PlayScale());
    double same = 0.0, other = 0.0;
    for (std::size_t i = 0; i < kScale.size(); ++i) {
        same += Spectrum::Unlike(piano0[i], again[i], kRate);
        other += Spectrum::Unlike(piano0[i], strings[i], kRate);
    }
    // The same voice played twice is nearly the same sound; strings are a sound of their own.
    EXPECT_LT(same / kScale.size(), 0.01);
    EXPECT_GT(other / kScale.size(), 0.05);
    EXPECT_GT(other, 10.0 * same);
}

TEST_F(Voiced, TheVolumeKnobAtZeroSilencesItAndTurnedUpFindsTheNotesStillSounding) {
    piano.SetVolumeKnob(0);
    piano.PressKey(60, 127);
    piano.PressKey(64, 127);
    Bytes sound;
    Record(sound, kRate / 5);
    EXPECT_TRUE(std::all_of(sound.begin(), sound.end(), [](std::uint8_t b) { return b == 0; }));
    piano.SetVolumeKnob(100);
    sound.clear();
    Record(sound, kRate / 5);
    EXPECT_GT(Spectrum::Energy(Spectrum::Mono(sound, 0, kRate / 5)), 1.0);
}

TEST_F(Voiced, NotesArrivingOnMidiSoundOnlyOnTheBasicChannel) {
    const Bytes otherChannel{0x93, 69, 100};
    piano.Receive(otherChannel.data(), otherChannel.size());
    Bytes sound;
    Record(sound, kRate / 5);
    EXPECT_EQ(Spectrum::Energy(Spectrum::Mono(sound, 0, kRate / 5)), 0.0);

    // A program change and a note in one delivery: the note sounds in the new voice.
    const Bytes noteOn{0xC0, 48, 0x90, 69, 100};
    piano.Receive(noteOn.data(), noteOn.size());
    sound.clear();
    Record(sound, kRate / 5);
    const auto power = Spectrum::Power(Spectrum::Mono(sound, kRate / 50, 4096));
    EXPECT_EQ(Spectrum::Strongest(power, {64, 67, 69, 72}, kRate), 69);
    const Bytes strings = sound;

    // All notes off ends it: what follows dies away to nearly nothing.
    const Bytes allOff{0xB0, 0x7B, 0x00};
    piano.Receive(allOff.data(), allOff.size());
    sound.clear();
    Record(sound, kRate * 3);
    EXPECT_LT(Spectrum::Energy(Spectrum::Mono(sound, kRate * 5 / 2, kRate / 2)), 1e-3);

    // The same note after a change back to the grand piano sounds otherwise.
    const Bytes grandNote{0xC0, 0, 0x90, 69, 100};
    piano.Receive(grandNote.data(), grandNote.size());
    sound.clear();
    Record(sound, kRate / 5);
    EXPECT_GT(Spectrum::Unlike(Spectrum::Power(Spectrum::Mono(strings, kRate / 50, 4096)),
                               Spectrum::Power(Spectrum::Mono(sound, kRate / 50, 4096)), kRate),
              0.05);
}

TEST_F(Voiced, TransposeMovesWhatAKeySoundsAndItsReleaseFindsTheNoteItStarted) {
    piano.PressTranspose(64 + 5); // a fourth up
    piano.PressKey(60, 100);
    Bytes sound;
    Record(sound, kRate / 4);
    const auto power = Spectrum::Power(Spectrum::Mono(sound, kRate / 25, 8192));
    EXPECT_EQ(Spectrum::Strongest(power, {60, 62, 64, 65, 67}, kRate), 65);
    // Back to no transpose with the key held: releasing it still ends the F.
    piano.PressTranspose(64);
    piano.ReleaseKey(60);
    sound.clear();
    Record(sound, kRate * 3);
    EXPECT_LT(Spectrum::Energy(Spectrum::Mono(sound, kRate * 5 / 2, kRate / 2)), 1e-3);
}

TEST_F(Voiced, TheDualVoiceLayersASecondSound) {
    piano.PressVoice(0);
    piano.PressKey(60, 100);
    Bytes alone;
    Record(alone, kRate / 2);
    piano.ReleaseKey(60);
    Record(alone, kRate * 2);
    piano.PressDual(48);
    piano.PressKey(60, 100);
    Bytes layered;
    Record(layered, kRate / 2);
    const auto single = Spectrum::Power(Spectrum::Mono(alone, kRate / 5, 8192));
    const auto both = Spectrum::Power(Spectrum::Mono(layered, kRate / 5, 8192));
    EXPECT_GT(Spectrum::Unlike(single, both, kRate), 0.01);
    EXPECT_GT(Spectrum::Energy(Spectrum::Mono(layered, kRate / 5, 8192)),
              Spectrum::Energy(Spectrum::Mono(alone, kRate / 5, 8192)));
}

TEST_F(Voiced, ARecordingStartedAnewHearsTheKeysHeldNowNotWhatWasPlayedMeanwhile) {
    Bytes sound;
    Record(sound, kBlockFrames);
    // Played while nobody recorded: gone by the time a recording starts.
    for (std::uint8_t note = 40; note < 90; ++note) {
        piano.PressKey(note, 127);
        piano.ReleaseKey(note);
    }
    piano.PressKey(57, 90); // still held
    frame = 0;
    sound.clear();
    Record(sound, kRate / 4);
    const auto power = Spectrum::Power(Spectrum::Mono(sound, kRate / 50, 8192));
    EXPECT_EQ(Spectrum::Strongest(power, {52, 55, 57, 60, 64, 69}, kRate), 57);
    // Only the held A sounds: next to the burst of fifty notes, its sound is small.
    EXPECT_LT(Spectrum::Energy(Spectrum::Mono(sound, 0, kRate / 4)), 200.0);
}

TEST_F(Voiced, WithoutAnAudioDeviceHearingFailsWithItsReasonAndTheOutputStillSounds) {
    const std::string error = piano.Hear("cantavo_no_such_device");
    EXPECT_NE(error.find("cannot be opened"), std::string::npos) << error;
    EXPECT_FALSE(piano.IsHearing());
    piano.PressKey(69, 100);
    Bytes sound;
    Record(sound, kRate / 5);
    EXPECT_GT(Spectrum::Energy(Spectrum::Mono(sound, 0, kRate / 5)), 1.0);
}

// The loudspeaker on an ALSA PCM that writes to a file and keeps no time (so it plays as fast
// as its thread renders): the piano's voice and what the PC plays to the piano, mixed.
TEST_F(Voiced, ItsLoudspeakerSoundsItsVoiceMixedWithWhatThePcPlays) {
    const std::string path =
        testing::TempDir() + "cantavo-heard-" + std::to_string(::getpid()) + ".raw";
    std::filesystem::remove(path);
    const std::string error = piano.Hear("file:FILE=" + path + ",FORMAT=raw");
    if (error.find("cannot be opened") != std::string::npos) {
        GTEST_SKIP() << "no file PCM here: " << error;
    }
    ASSERT_EQ(error, "");
    EXPECT_TRUE(piano.IsHearing());
    // Half a second of 1 kHz, mono 16-bit at 22.05 kHz, as a program could play it.
    Bytes played(22050);
    for (std::size_t i = 0; i < played.size() / 2; ++i) {
        const auto value = static_cast<std::int16_t>(
            std::lround(8000.0 * std::sin(2.0 * M_PI * 1000.0 * static_cast<double>(i) / 22050.0)));
        played[2 * i] = static_cast<std::uint8_t>(value & 0xFF);
        played[2 * i + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
    }
    // The device keeps no time, so the loudspeaker may be anywhere: both sounds start after
    // where the file stood before they were given, and before where it stood afterwards.
    std::error_code size;
    const std::size_t from = std::filesystem::file_size(path, size) / 4;
    piano.ConsumeAudio(played.data(), played.size(), 1, 22050, 16);
    piano.PressKey(69, 110);
    const std::size_t until = std::filesystem::file_size(path, size) / 4 + kRate * 3 / 2;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::filesystem::file_size(path, size) < until * 4 &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    piano.StopHearing();
    EXPECT_FALSE(piano.IsHearing());
    std::ifstream file(path, std::ios::binary);
    const Bytes heard((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::filesystem::remove(path);
    ASSERT_GE(heard.size(), until * 4);
    // Somewhere the 1 kHz tone stands out, and somewhere the A the key plays.
    bool tone = false, key = false;
    for (std::size_t at = from; at + 8192 <= until; at += 4096) {
        const auto power = Spectrum::Power(Spectrum::Mono(heard, at, 8192));
        const double thousand = Spectrum::Around(power, 1000.0, kRate);
        tone = tone || thousand > 50.0 * Spectrum::Around(power, 1400.0, kRate);
        key = key || Spectrum::Strongest(power, {64, 67, 69, 72}, kRate) == 69;
    }
    EXPECT_TRUE(tone);
    EXPECT_TRUE(key);
}

// A loudspeaker whose device goes away (here: a file PCM on a disk that is full) stops being
// heard and says so; asking again opens it anew, and stopping is always safe.
TEST_F(Voiced, ALoudspeakerThatWentAwayIsNotHeardAndCanBeOpenedAgain) {
    const std::string device = "file:FILE=/dev/full,FORMAT=raw";
    const std::string error = piano.Hear(device);
    if (error.find("cannot be opened") != std::string::npos) {
        GTEST_SKIP() << "no file PCM here: " << error;
    }
    ASSERT_EQ(error, "");
    piano.PressKey(60, 100);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (piano.IsHearing() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_FALSE(piano.IsHearing());
    // What the PC plays and the keys still reach the piano; nothing waits for the dead device.
    const Bytes played(44100, 0x20);
    piano.ConsumeAudio(played.data(), played.size(), 2, kRate, 16);
    piano.ReleaseKey(60);
    EXPECT_EQ(piano.Hear(device), "");
    piano.StopHearing();
    piano.StopHearing();
    EXPECT_FALSE(piano.IsHearing());
}

// Renders until a tenth of a second is digital silence, at most seconds of audio; a note left
// sounding (strings hold for as long as they are held) never gets there.
bool FallsSilent(const std::function<void(Bytes&, std::size_t)>& record, double seconds) {
    for (double done = 0.0; done < seconds; done += 0.1) {
        Bytes block;
        record(block, kRate / 10);
        if (std::all_of(block.begin(), block.end(), [](std::uint8_t b) { return b == 0; })) {
            return true;
        }
    }
    return false;
}

// All the keys at once (far beyond the synthesizer's polyphony) in strings, while the panel
// changes under them and garbage arrives between the notes: every release still ends its note,
// and so does all-notes-off.
TEST_F(Voiced, EveryReleaseEndsItsNoteWhateverThePanelAndTheWireDidMeanwhile) {
    auto record = [this](Bytes& into, std::size_t frames) { Record(into, frames); };
    auto send = [this](const Bytes& bytes) { piano.Receive(bytes.data(), bytes.size()); };
    Bytes sound;
    piano.PressVoice(48);
    const std::vector<std::function<void()>> changes{
        [&] { piano.PressDual(40); },
        [&] { piano.PressTranspose(64 + 7); },
        [&] { piano.PressTuning(0x7F, 0x7F); },
        [&] { piano.PressTouch(80); },
        [&] { piano.PressBrilliance(48); },
        [&] { piano.PressReverb(false); },
        [&] {
            send({0xF0, 0x7F, 0x7F, 0x04, 0x04, 0x00, 64 - 12, 0xF7});
        },
        [&] {
            send({0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x02, 0x10, 0x00, 0x00, 0x00, 52, 0xF7});
        },
        [&] {
            send({0xC0, 49});
        }, // ends dual play
        [&] { piano.PressReverb(true); },
    };
    for (int key = 21; key <= 108; ++key) {
        piano.PressKey(static_cast<std::uint8_t>(key), static_cast<std::uint8_t>(key));
        if (key % 9 == 0) {
            changes[static_cast<std::size_t>(key / 9) % changes.size()]();
            Record(sound, kBlockFrames);
        }
    }
    // The keys beyond the piano's, on the wire, among broken messages.
    for (int key = 0; key < 128; ++key) {
        if (key < 21 || key > 108) {
            send({0x90, static_cast<std::uint8_t>(key), 0x80, 0xF7, 0x90,
                  static_cast<std::uint8_t>(key), 100, 0xF0, 0x7F, 0x90});
        }
    }
    Record(sound, kRate / 2);
    piano.PressTranspose(64 - 3);
    for (int key = 0; key < 128; ++key) {
        if (key < 21 || key > 108) {
            send({0x80, static_cast<std::uint8_t>(key), 0});
        } else {
            piano.ReleaseKey(static_cast<std::uint8_t>(key));
        }
        if (key % 16 == 0) {
            changes[static_cast<std::size_t>(key / 16) % changes.size()]();
        }
    }
    EXPECT_TRUE(piano.SoundingNotes().empty());
    EXPECT_TRUE(FallsSilent(record, 20.0));

    // All notes off ends what the wire and the panel's keys hold, whatever the transpose.
    piano.PressDual(48);
    for (int key = 40; key < 80; ++key) {
        send({0x90, static_cast<std::uint8_t>(key), 90});
        piano.PressKey(static_cast<std::uint8_t>(key + 1), 90);
        piano.PressTranspose(static_cast<std::uint8_t>(64 + key % 5));
    }
    Record(sound, kRate / 5);
    send({0xB0, 123, 0});
    EXPECT_TRUE(piano.SoundingNotes().empty());
    EXPECT_TRUE(FallsSilent(record, 20.0));

    // The knob beyond its ends stays at them.
    piano.SetVolumeKnob(~0u);
    EXPECT_EQ(piano.VolumeKnob(), 100u);
    piano.SetVolumeKnob(0);
    EXPECT_EQ(piano.VolumeKnob(), 0u);
}

// The loudspeaker opened and closed over and over from two threads while a third plays and
// turns the knob and the test's thread records: no crash, no race, and it ends up closed.
TEST_F(Voiced, HearingStartsAndStopsFromManyThreadsWhileItPlays) {
    std::string error = piano.Hear("null");
    if (error.find("cannot be opened") != std::string::npos) {
        GTEST_SKIP() << "no null PCM here: " << error;
    }
    ASSERT_EQ(error, "");
    std::atomic<int> opened{0};
    auto toggle = [&] {
        for (int i = 0; i < 3; ++i) {
            if (piano.Hear("null").empty()) {
                ++opened;
            }
            piano.IsHearing();
            piano.StopHearing();
        }
    };
    std::atomic<bool> stop{false};
    std::thread player([&] {
        const Bytes played(1764, 0x30);
        for (unsigned i = 0; !stop; ++i) {
            piano.PressKey(static_cast<std::uint8_t>(40 + i % 40), 90);
            piano.ConsumeAudio(played.data(), played.size(), 2, kRate, 16);
            piano.SetVolumeKnob(i % 3 == 0 ? 0 : 100);
            piano.ReleaseKey(static_cast<std::uint8_t>(40 + i % 40));
        }
    });
    std::thread first(toggle), second(toggle);
    Bytes sound;
    std::atomic<int> done{0};
    std::thread watcher([&] {
        first.join();
        second.join();
        ++done;
    });
    while (done == 0) {
        Record(sound, kBlockFrames);
        sound.clear();
    }
    watcher.join();
    stop = true;
    player.join();
    EXPECT_GE(opened.load(), 3);
    EXPECT_FALSE(piano.IsHearing());
}

TEST_F(Voiced, KeysAndPanelChangesFromOtherThreadsWhileItRenders) {
    std::atomic<bool> stop{false};
    std::thread player([&] {
        for (int round = 0; round < 200 && !stop; ++round) {
            const auto note = static_cast<std::uint8_t>(48 + round % 24);
            piano.PressKey(note, 90);
            const Bytes noteOn{0x90, static_cast<std::uint8_t>(note + 5), 80};
            piano.Receive(noteOn.data(), noteOn.size());
            piano.PressVoice(static_cast<std::uint8_t>(round % 2 == 0 ? 0 : 48));
            piano.PressTranspose(static_cast<std::uint8_t>(62 + round % 5));
            piano.SetVolumeKnob(static_cast<unsigned>(round % 3 == 0 ? 0 : 80));
            piano.ReleaseKey(note);
        }
    });
    Bytes sound;
    while (sound.size() < kRate * 4) {
        Record(sound, kBlockFrames);
    }
    stop = true;
    player.join();
    piano.SetVolumeKnob(100);
    piano.PressKey(60, 100);
    sound.clear();
    Record(sound, kRate / 5);
    EXPECT_GT(Spectrum::Energy(Spectrum::Mono(sound, 0, kRate / 5)), 1.0);
}

TEST(VirtualPianoVoice, ANamedSoundFontThatIsNotThereLeavesTheOwnSound) {
    CVirtualPiano piano;
    piano.SetActiveSensing(false);
    const std::string error = piano.EnableVoice("/nonexistent/none.sf2");
    EXPECT_NE(error.find("/nonexistent/none.sf2"), std::string::npos) << error;
    EXPECT_TRUE(piano.SoundFont().empty());
    // Nor does asking for none.
    setenv("CANTAVO_SOUNDFONT", "none", 1);
    EXPECT_NE(piano.EnableVoice(), "");
    unsetenv("CANTAVO_SOUNDFONT");
    EXPECT_TRUE(piano.SoundFont().empty());
    // A voice asked for without one sounds the deterministic own sound.
    piano.SetSignal(CVirtualPiano::Signal::Voice);
    Bytes voice(4000), own(4000);
    piano.ProduceAudio(voice.data(), voice.size(), 2, kRate, 16, 0);
    piano.SetSignal(CVirtualPiano::Signal::OwnSound);
    piano.ProduceAudio(own.data(), own.size(), 2, kRate, 16, 0);
    EXPECT_EQ(voice, own);
}

// Sound fonts that are no sound fonts, named by the user: each is said with its name, nothing
// crashes, and the output stays the deterministic tone.
TEST(VirtualPianoVoice, BrokenSoundFontsAreRefusedWithTheirNameAndTheToneStays) {
    const std::string dir = testing::TempDir() + "/broken-fonts-" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    std::vector<std::string> fonts;
    auto write = [&](const std::string& name, const std::string& bytes) {
        const std::string path = dir + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        fonts.push_back(path);
    };
    write("empty.sf2", "");
    write("text.sf2", "this is not a sound font\n");
    write("riff-only.sf2", std::string("RIFF\xff\xff\xff\x7fsfbk", 12));
    write("wrong-riff.sf2", std::string("RIFF\x04\x00\x00\x00WAVEfmt ", 16));
    // A real sound font cut short and one with its middle overwritten.
    const std::string real = "/usr/share/sounds/sf2/TimGM6mb.sf2";
    if (std::filesystem::is_regular_file(real)) {
        std::ifstream in(real, std::ios::binary);
        const std::string whole((std::istreambuf_iterator<char>(in)), {});
        for (const std::size_t cut : {std::size_t{8}, std::size_t{100}, std::size_t{4096},
                                      whole.size() / 2, whole.size() - 1}) {
            write("cut-" + std::to_string(cut) + ".sf2", whole.substr(0, cut));
        }
        std::string scrambled = whole;
        for (std::size_t i = 0; i < 4096 && i < scrambled.size(); ++i) {
            scrambled[scrambled.size() - 8192 + i] = static_cast<char>(0xFF);
        }
        write("scrambled-end.sf2", scrambled);
    }
    fonts.push_back(dir); // a folder
    fonts.push_back(dir + "/missing.sf2");

    CVirtualPiano reference;
    reference.SetActiveSensing(false);
    Bytes own(4000);
    reference.ProduceAudio(own.data(), own.size(), 2, kRate, 16, 0);
    // The program says why once; the synthesizer's libraries add nothing of their own.
    testing::internal::CaptureStderr();
    for (const std::string& font : fonts) {
        SCOPED_TRACE(font);
        CVirtualPiano piano;
        piano.SetActiveSensing(false);
        setenv("CANTAVO_SOUNDFONT", font.c_str(), 1);
        const std::string error = piano.EnableVoice();
        const std::string heard = piano.Hear("null");
        unsetenv("CANTAVO_SOUNDFONT");
        if (font.find("scrambled") != std::string::npos && error.empty()) {
            // Sample data the synthesizer does not check may load; it must play all the same.
            piano.PressKey(60, 100);
            Bytes sound(44100);
            piano.ProduceAudio(sound.data(), sound.size(), 2, kRate, 16, 0);
            piano.StopHearing();
            continue;
        }
        EXPECT_NE(error.find(font), std::string::npos) << error;
        EXPECT_NE(heard.find(font), std::string::npos) << heard;
        EXPECT_FALSE(piano.IsHearing());
        EXPECT_TRUE(piano.SoundFont().empty());
        Bytes sound(4000);
        piano.ProduceAudio(sound.data(), sound.size(), 2, kRate, 16, 0);
        EXPECT_EQ(sound, own);
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    std::filesystem::remove_all(dir);
}

} // namespace
