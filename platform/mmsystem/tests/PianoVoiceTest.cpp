#include "../../virtualpiano/tests/FrequencyAnalysis.h"
#include "MmTestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

// The virtual ZQ31's voice as the PC records it: through the wave input, rendered on the
// device's own clock while the test plays on the piano's keys.

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr unsigned kRate = 44100;
constexpr WAVEFORMATEX kCd{WAVE_FORMAT_PCM, 2, kRate, kRate * 4, 4, 16, 0};
const std::vector<int> kScale{60, 62, 64, 65, 67, 69, 71, 72};
constexpr std::uint32_t kNoteFrames = kRate * 4 / 10;
constexpr std::uint32_t kHeldFrames = kRate * 35 / 100;

class RecordedVoice : public WithPiano {
protected:
    void SetUp() override {
        WithPiano::SetUp();
        const std::string error = piano->EnableVoice();
        if (!error.empty()) {
            GTEST_SKIP() << "no voice here: " << error;
        }
    }

    // How many frames the wave input has taken in so far.
    std::uint32_t Position(HWAVEIN in) {
        MMTIME time{};
        time.wType = TIME_SAMPLES;
        waveInGetPosition(in, &time, sizeof time);
        return time.u.sample;
    }
};

TEST_F(RecordedVoice, ARecordedScaleHasItsFundamentalsInOrderAndKnobAtZeroRecordsSilence) {
    CallbackLog log;
    HWAVEIN in = nullptr;
    ASSERT_EQ(waveInOpen(&in, 0, &kCd, log.Callback<HWAVEIN>(), log.Instance(), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    // The scale, and then half of it again with the volume knob at zero; 100 ms buffers.
    std::uint32_t knobAt = 0;
    const std::size_t played = kScale.size() + kScale.size() / 2;
    const std::size_t total = played * kNoteFrames;
    const std::size_t bufferFrames = kRate / 10;
    const std::size_t count = (total + bufferFrames - 1) / bufferFrames;
    std::vector<Bytes> data(count, Bytes(bufferFrames * 4));
    std::vector<WAVEHDR> headers(count);
    for (std::size_t i = 0; i < count; ++i) {
        headers[i].lpData = reinterpret_cast<LPSTR>(data[i].data());
        headers[i].dwBufferLength = static_cast<DWORD>(data[i].size());
        ASSERT_EQ(waveInPrepareHeader(in, &headers[i], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        ASSERT_EQ(waveInAddBuffer(in, &headers[i], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    // Each key goes down and up when the recording has reached its time.
    for (std::size_t i = 0; i < played; ++i) {
        const auto note = static_cast<std::uint8_t>(kScale[i % kScale.size()]);
        if (i == kScale.size()) {
            ASSERT_TRUE(Eventually([&] { return Position(in) >= i * kNoteFrames - 2000; },
                                   std::chrono::seconds(15)));
            piano->SetVolumeKnob(0);
            // A block being rendered as the knob turned may still sound.
            knobAt = Position(in) + 2 * kRate / 100;
        }
        ASSERT_TRUE(
            Eventually([&] { return Position(in) >= i * kNoteFrames; }, std::chrono::seconds(15)));
        piano->PressKey(note, 100);
        ASSERT_TRUE(Eventually([&] { return Position(in) >= i * kNoteFrames + kHeldFrames; },
                               std::chrono::seconds(15)));
        piano->ReleaseKey(note);
    }
    ASSERT_TRUE(Eventually([&] { return log.Count(WIM_DATA) == static_cast<int>(count); },
                           std::chrono::seconds(15)));
    waveInStop(in);
    for (auto& header : headers) {
        waveInUnprepareHeader(in, &header, sizeof(WAVEHDR));
    }
    ASSERT_EQ(waveInClose(in), MMSYSERR_NOERROR);

    Bytes sound;
    for (const Bytes& part : data) {
        sound.insert(sound.end(), part.begin(), part.end());
    }
    Spectrum::WriteWavIfAsked("RecordedScale", sound, kRate);
    // A key lands within a block or two of the clock's 10 ms of its time: the spectrum of each
    // note is taken from 0.15 s after it on, before its release.
    std::vector<std::vector<double>> spectra;
    for (std::size_t i = 0; i < kScale.size(); ++i) {
        spectra.push_back(
            Spectrum::Power(Spectrum::Mono(sound, i * kNoteFrames + kRate * 15 / 100, 8192)));
    }
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
    EXPECT_EQ(heard, kScale);
    EXPECT_GT(Spectrum::Energy(Spectrum::Mono(sound, 0, kScale.size() * kNoteFrames)), 10.0);
    // With the knob at zero the second scale was played, but nothing sounded.
    const std::size_t quiet = std::max<std::size_t>(kScale.size() * kNoteFrames, knobAt);
    ASSERT_LT(quiet + kRate, sound.size() / 4);
    EXPECT_EQ(Spectrum::Energy(Spectrum::Mono(sound, quiet, sound.size() / 4 - quiet)), 0.0);
}

} // namespace

namespace {

// The window program leaves the sound font to a thread of its own; the piano is played
// meanwhile, and once waited for the voice is in place.
TEST(ChosenDevices, AVoiceLoadedInTheBackgroundArrivesWhileThePianoIsPlayed) {
    if (const std::string error = std::make_shared<CVirtualPiano>()->EnableVoice();
        !error.empty()) {
        GTEST_SKIP() << "no voice here: " << error;
    }
    char program[] = "cantavo";
    char option[] = "--virtual-piano";
    char* argv[] = {program, option, nullptr};
    mmxChooseDevices(2, argv, MmxVoice::InBackground);
    const std::shared_ptr<CVirtualPiano> piano = mmxVirtualPiano();
    ASSERT_TRUE(piano);
    for (std::uint8_t note = 60; note < 72; ++note) {
        piano->PressKey(note, 90);
        piano->PressVoice(note % 8);
        piano->ReleaseKey(note);
    }
    mmxWaitForVoice();
    EXPECT_FALSE(piano->SoundFont().empty());
    // Waiting again, and choosing again while nothing loads, are harmless.
    mmxWaitForVoice();
    mmxChooseDevices(2, argv, MmxVoice::InBackground);
    mmxWaitForVoice();
    EXPECT_FALSE(mmxVirtualPiano()->SoundFont().empty());
}

} // namespace

namespace {

// The user's sound font may be named relative to the folder the program was started from;
// the window program moves to its own folder at once, while the voice still loads.
TEST(ChosenDevices, ASoundFontNamedFromTheStartingFolderIsFoundByTheVoiceLoadedMeanwhile) {
    const auto probe = std::make_shared<CVirtualPiano>();
    if (const std::string error = probe->EnableVoice(); !error.empty()) {
        GTEST_SKIP() << "no voice here: " << error;
    }
    namespace fs = std::filesystem;
    const fs::path started =
        fs::temp_directory_path() / ("cantavo-chosen-font-" + std::to_string(getpid()));
    const fs::path moved = started / "program folder";
    fs::remove_all(started);
    fs::create_directories(moved);
    fs::create_symlink(probe->SoundFont(), started / "chosen.sf2");
    const fs::path before = fs::current_path();
    const char* previous = std::getenv("CANTAVO_SOUNDFONT");
    const std::string kept = previous != nullptr ? previous : "";
    setenv("CANTAVO_SOUNDFONT", "chosen.sf2", 1);
    fs::current_path(started);

    char program[] = "cantavo";
    char option[] = "--virtual-piano";
    char* argv[] = {program, option, nullptr};
    mmxChooseDevices(2, argv, MmxVoice::InBackground);
    fs::current_path(moved);
    mmxWaitForVoice();
    const std::string font = mmxVirtualPiano()->SoundFont();

    fs::current_path(before);
    if (previous != nullptr) {
        setenv("CANTAVO_SOUNDFONT", kept.c_str(), 1);
    } else {
        unsetenv("CANTAVO_SOUNDFONT");
    }
    fs::remove_all(started);
    EXPECT_FALSE(font.empty());
    EXPECT_TRUE(fs::path(font).is_absolute()) << font;
}

} // namespace
