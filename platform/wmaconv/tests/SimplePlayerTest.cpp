// The player against the virtual ZQ31: what it plays arrives at the piano's audio input with
// the file's length, positions grow with it, and no file, however damaged, and no device
// trouble keeps it from ending.

#include "AudioTestFiles.h"
#include "CSimplePlayer.h"
#include "MmTestSupport.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr double kWholeFramesMs = 45056 * 1000.0 / 44100;

bool Run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

bool HaveTools() {
    static const bool have = Run("command -v sox") && Run("command -v ffmpeg");
    return have;
}

fs::path Folder() {
    const char* home = std::getenv("CANTAVO_HOME");
    const fs::path folder = fs::path(home != nullptr ? home : "/tmp") / "wmaconv-fixtures";
    fs::create_directories(folder);
    return folder;
}

// A two-tone signal of the given length in seconds, made
// with sox and encoded with ffmpeg's codec.
fs::path Make(const std::string& name, const std::string& length, const std::string& codec,
              unsigned rate = 44100, unsigned channels = 2) {
    const fs::path wav = Folder() / (name + ".source.wav");
    const fs::path out = Folder() / name;
    if (fs::exists(out)) {
        return out;
    }
    if (!Run("sox -n -r " + std::to_string(rate) + " -c " + std::to_string(channels) + " -b 16 '" +
             wav.string() + "' synth " + length + " sine 440 sine 660 gain -6") ||
        !Run("ffmpeg -nostdin -y -loglevel error -i '" + wav.string() + "' -c:a " + codec + " '" +
             out.string() + "'")) {
        return {};
    }
    return out;
}

std::vector<char> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

fs::path Write(const std::string& name, const std::vector<char>& bytes) {
    const fs::path path = Folder() / name;
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::ptrdiff_t>(bytes.size()));
    return path;
}

// What the ffmpeg tool decodes path to, as 16-bit stereo at 44100 Hz.
std::vector<char> Decoded(const fs::path& path) {
    const fs::path raw = path.string() + ".raw";
    if (!Run("ffmpeg -nostdin -y -loglevel error -i '" + path.string() +
             "' -f s16le -ac 2 -ar 44100 '" + raw.string() + "'")) {
        return {};
    }
    return ReadAll(raw);
}

// What the player tells its caller.
struct Listener {
    std::atomic<int> ends{0};
    std::atomic<std::uint64_t> reportedBytes{0};
    static void Buffer(void* instance, WAVEHDR* header) {
        static_cast<Listener*>(instance)->reportedBytes += header->dwBytesRecorded;
    }
    static void End(void* instance) { ++static_cast<Listener*>(instance)->ends; }
};

class SimplePlayer : public WithPiano {
protected:
    void SetUp() override {
        if (!HaveTools()) {
            GTEST_SKIP() << "sox or ffmpeg is not installed: no audio fixtures";
        }
        WithPiano::SetUp();
        HRESULT made = E_FAIL;
        player =
            std::make_unique<CSimplePlayer>(&made, &listener, &Listener::Buffer, &Listener::End);
        ASSERT_EQ(made, S_OK);
    }
    void TearDown() override {
        player.reset();
        WithPiano::TearDown();
    }

    HRESULT Start(const fs::path& file, DWORD startMs = 0) {
        HRESULT result = E_FAIL;
        const HRESULT started = player->StartPlay(file.c_str(), startMs, 0, finished, &result, 0);
        EXPECT_EQ(result, started);
        return started;
    }
    // Samples the device position until playing has finished; false when it never does.
    bool WaitForEnd(std::vector<DWORD>* positions = nullptr) {
        return Eventually(
            [&] {
                if (positions != nullptr && player->Get_hwo() != nullptr) {
                    MMTIME time{};
                    time.wType = TIME_SAMPLES;
                    if (waveOutGetPosition(player->Get_hwo(), &time, sizeof time) ==
                        MMSYSERR_NOERROR) {
                        positions->push_back(time.u.sample);
                    }
                }
                return finished->IsSet();
            },
            std::chrono::seconds(15));
    }
    double PlayedMs() const {
        const WAVEFORMATEX* format = player->Get_wfx();
        return format == nullptr ? 0.0
                                 : static_cast<double>(piano->ReceivedAudioBytes()) * 1000.0 /
                                       format->nAvgBytesPerSec;
    }

    std::vector<char> Received() const {
        std::vector<char> bytes;
        for (const auto& block : piano->ReceivedAudioBlocks()) {
            bytes.insert(bytes.end(), block.bytes.begin(), block.bytes.end());
        }
        return bytes;
    }

    Listener listener;
    std::shared_ptr<CPlayEvent> finished = std::make_shared<CPlayEvent>();
    std::unique_ptr<CSimplePlayer> player;
};

TEST_F(SimplePlayer, EachFormatPlaysThroughWithItsLengthAndGrowingPositions) {
    const struct {
        std::string name;
        std::string codec;
    } files[] = {{"tone.wma", "wmav2"},
                 {"ピアノの 曲 (FLAC).flac", "flac"},
                 {"tone.ogg", "libvorbis"},
                 {"tone.mp3", "libmp3lame"}};
    for (const auto& file : files) {
        SCOPED_TRACE(file.name);
        const fs::path path = Make(file.name, "1.02167800453515", file.codec);
        ASSERT_FALSE(path.empty()) << "ffmpeg could not make " << file.name;
        DWORD duration = 0;
        ASSERT_EQ(player->GetDuration(path.c_str(), &duration), S_OK);
        // 45056 samples: a whole number of WMA frames, so that the container's length is the
        // signal's. An MP3 file's length counts its coding delay and padding.
        EXPECT_NEAR(duration, kWholeFramesMs,
                    kWholeFramesMs / 100 + (file.codec == "libmp3lame" ? 50 : 0));

        piano->ClearReceived();
        listener.ends = 0;
        listener.reportedBytes = 0;
        finished->Reset();
        ASSERT_EQ(Start(path), S_OK);
        const WAVEFORMATEX* format = player->Get_wfx();
        ASSERT_NE(format, nullptr);
        EXPECT_EQ(format->nChannels, 2);
        EXPECT_EQ(format->wBitsPerSample, 16);
        EXPECT_EQ(format->nSamplesPerSec, 44100u);
        std::vector<DWORD> positions;
        ASSERT_TRUE(WaitForEnd(&positions));
        EXPECT_EQ(listener.ends.load(), 1);
        EXPECT_EQ(player->GetPlayResult(), S_OK);
        // The whole second arrived at the piano, and each buffer was reported as played.
        // The piano received exactly what FFmpeg's own tool decodes the file to.
        const std::vector<char> reference = Decoded(path);
        ASSERT_FALSE(reference.empty());
        EXPECT_NEAR(PlayedMs(), reference.size() / 176.4, 0.1);
        EXPECT_TRUE(Received() == reference);
        EXPECT_EQ(listener.reportedBytes.load(), piano->ReceivedAudioBytes());
        ASSERT_GE(positions.size(), 3u);
        EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
        EXPECT_GT(positions.back(), 0u);
        const auto blocks = piano->ReceivedAudioBlocks();
        ASSERT_FALSE(blocks.empty());
        EXPECT_EQ(blocks.front().channels, 2u);
        EXPECT_EQ(blocks.front().bits, 16u);
    }
}

TEST_F(SimplePlayer, MonoAtAnotherRatePlaysAsStereoAtTheDevice) {
    const fs::path path = Make("mono22.flac", "0.5", "flac", 22050, 1);
    ASSERT_FALSE(path.empty());
    ASSERT_EQ(Start(path), S_OK);
    EXPECT_EQ(player->Get_wfx()->nChannels, 2);
    EXPECT_EQ(player->Get_wfx()->nSamplesPerSec, 22050u);
    ASSERT_TRUE(WaitForEnd());
    EXPECT_NEAR(PlayedMs(), 500.0, 5.0);
}

TEST_F(SimplePlayer, PlayingStartsAtTheGivenPosition) {
    const fs::path path = Make("start.flac", "1.0", "flac");
    ASSERT_FALSE(path.empty());
    ASSERT_EQ(Start(path, 600), S_OK);
    ASSERT_TRUE(WaitForEnd());
    EXPECT_NEAR(PlayedMs(), 400.0, 10.0);
    // Past the end: nothing to play, and the end comes at once.
    piano->ClearReceived();
    finished->Reset();
    ASSERT_EQ(Start(path, 5000), S_OK);
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(piano->ReceivedAudioBytes(), 0u);
    EXPECT_EQ(listener.ends.load(), 2);
}

TEST_F(SimplePlayer, AMissingDeviceOrFileIsReportedAndNothingStarts) {
    const fs::path path = Make("missing.flac", "0.3", "flac");
    ASSERT_FALSE(path.empty());
    piano->Unplug(CVirtualPiano::kWaveOut);
    EXPECT_EQ(Start(path), WMACONV_E_NODEVICE);
    EXPECT_EQ(player->Get_hwo(), nullptr);
    piano->Plug();
    EXPECT_EQ(Start(Folder() / "no such file.wma"), WMACONV_E_FILEOPEN);
    EXPECT_EQ(Start(Write("text.wma", {'n', 'o', 't', ' ', 'a', 'u', 'd', 'i', 'o'})),
              WMACONV_E_FORMAT);
    // A rate no device takes would turn each byte into thousands of samples.
    const QByteArray slow = audiotest::WaveImage(audiotest::Signal(400, 1, 1000), 1, 1);
    EXPECT_EQ(Start(Write("1 Hz.wav", std::vector<char>(slow.begin(), slow.end()))),
              WMACONV_E_FORMAT);
    EXPECT_EQ(player->StartPlay(nullptr, 0, 0, finished, nullptr, 0), E_INVALIDARG);
    EXPECT_FALSE(finished->IsSet());
    EXPECT_EQ(listener.ends.load(), 0);
    DWORD duration = 1;
    EXPECT_EQ(player->GetDuration((Folder() / "no such file.wma").c_str(), &duration),
              WMACONV_E_FILEOPEN);
    EXPECT_EQ(duration, 0u);
}

TEST_F(SimplePlayer, ANamedPipeIsRefusedWithoutWaitingForAWriter) {
    // Opening a pipe nobody writes to for reading waits for a writer. Should the player block
    // there, a writer comes after a generous deadline, so the test ends and fails.
    const fs::path fifo = Folder() / "pipe.wma";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::atomic<bool> returned{false};
    std::atomic<bool> rescued{false};
    std::thread rescuer([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (!returned && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        while (!returned) {
            const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                rescued = true;
                ::close(fd);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    const HRESULT started = Start(fifo);
    DWORD duration = 1;
    const HRESULT measured = player->GetDuration(fifo.c_str(), &duration);
    returned = true;
    rescuer.join();
    EXPECT_EQ(started, WMACONV_E_FILEOPEN);
    EXPECT_EQ(measured, WMACONV_E_FILEOPEN);
    EXPECT_FALSE(rescued) << "the player waited for a writer on the pipe";
    EXPECT_EQ(player->Get_hwo(), nullptr);
    EXPECT_FALSE(finished->IsSet());
}

TEST_F(SimplePlayer, UnpluggingTheDeviceEndsPlayingAsAnError) {
    const fs::path path = Make("long.flac", "4.0", "flac");
    ASSERT_FALSE(path.empty());
    ASSERT_EQ(Start(path), S_OK);
    ASSERT_TRUE(Eventually([&] { return piano->ReceivedAudioBytes() > 0; }));
    piano->Unplug(CVirtualPiano::kWaveOut);
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(listener.ends.load(), 1);
    EXPECT_EQ(player->GetPlayResult(), WMACONV_E_DEVICEFAILED);
    EXPECT_EQ(player->StopPlay(), S_OK);
}

TEST_F(SimplePlayer, StopPlayEndsAtOnceWithoutTheEndNotice) {
    const fs::path path = Make("long.flac", "4.0", "flac");
    ASSERT_FALSE(path.empty());
    ASSERT_EQ(Start(path), S_OK);
    ASSERT_TRUE(Eventually([&] { return piano->ReceivedAudioBytes() > 0; }));
    EXPECT_EQ(Start(path), WMACONV_E_BUSY);
    EXPECT_EQ(player->StopPlay(), S_OK);
    EXPECT_TRUE(finished->IsSet());
    EXPECT_EQ(listener.ends.load(), 0);
    EXPECT_EQ(player->GetPlayResult(), S_OK);
    EXPECT_LT(PlayedMs(), 3000.0);
    EXPECT_EQ(player->StopPlay(), S_OK);
    // The player plays again after a stop.
    finished->Reset();
    ASSERT_EQ(Start(path, 3700), S_OK);
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(listener.ends.load(), 1);
}

TEST_F(SimplePlayer, TruncatedAndDamagedFilesEndOrAreRefusedNeverHang) {
    for (const auto& [name, codec] : {std::pair{"short.wma", "wmav2"},
                                      {"short.flac", "flac"},
                                      {"short.ogg", "libvorbis"},
                                      {"short.mp3", "libmp3lame"},
                                      {"short.m4a", "aac"}}) {
        const fs::path path = Make(name, "0.4", codec);
        ASSERT_FALSE(path.empty()) << name;
        const std::vector<char> whole = ReadAll(path);
        std::vector<std::vector<char>> variants = {
            {whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(whole.size() / 2)},
            {whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(whole.size() / 5)},
            {whole.begin(), whole.begin() + std::min<std::ptrdiff_t>(64, whole.size())},
            whole};
        for (std::size_t i = whole.size() / 4; i < whole.size() * 3 / 4; i += 7) {
            variants.back()[i] = static_cast<char>(i * 31);
        }
        int index = 0;
        for (const std::vector<char>& bytes : variants) {
            SCOPED_TRACE(testing::Message() << name << " variant " << index);
            const fs::path damaged =
                Write("damaged-" + std::to_string(index++) + "-" + name, bytes);
            DWORD duration = 0;
            player->GetDuration(damaged.c_str(), &duration);
            finished->Reset();
            const HRESULT started = Start(damaged);
            if (started == S_OK) {
                ASSERT_TRUE(WaitForEnd());
            } else {
                EXPECT_TRUE(started == WMACONV_E_FORMAT || started == WMACONV_E_FILEOPEN)
                    << std::hex << started;
            }
            EXPECT_EQ(player->StopPlay(), S_OK);
        }
    }
}

} // namespace
