// The ALSA backend's wave devices, on PCMs that need no sound hardware: a test-only ALSA
// configuration (through ALSA_CONFIG_PATH) defines a "null" PCM and a "file" PCM that writes
// what it plays to a file and records from another.
#include "MmTestSupport.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr WAVEFORMATEX kCd{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
constexpr const char* kPianoWave = "Tolvarine USB Audio";

// Named once, before the test's main gives each run a home of its own.
const std::filesystem::path& Folder() {
    static const std::filesystem::path folder = [] {
        const char* home = std::getenv("CANTAVO_HOME");
        return std::filesystem::path(home != nullptr ? home : "/tmp") /
               ("alsa-pcm-" + std::to_string(getpid()));
    }();
    return folder;
}

// Written before anything of ALSA is read, so that the library loads only this configuration.
const bool g_configured = [] {
    const auto folder = Folder();
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "asound.conf")
        << "pcm.!default { type null\n"
           "  hint { show on description \"Test default\" } }\n"
           "pcm.null { type null\n"
           "  hint { show on description \"Discard all samples\" } }\n"
           "pcm.zq31 { type file slave.pcm \"null\" format \"raw\"\n"
           "  file \""
        << (folder / "played.raw").string()
        << "\"\n"
           "  infile \""
        << (folder / "recorded.raw").string()
        << "\"\n"
           "  hint { show on description \"Tolvarine USB Audio, USB Audio\" } }\n"
           "seq.default { type hw }\n"
           "pcm.gone { type hw card 31\n"
           "  hint { show on description \"Tolvarine USB Audio gone\" } }\n";
    setenv("ALSA_CONFIG_PATH", (folder / "asound.conf").c_str(), 1);
    return true;
}();

Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

struct Buffer {
    explicit Buffer(Bytes bytes) : data(std::move(bytes)) {
        header.lpData = reinterpret_cast<LPSTR>(data.data());
        header.dwBufferLength = static_cast<DWORD>(data.size());
    }
    Bytes data;
    WAVEHDR header{};
};

// Bytes of a pattern that shows any byte lost, doubled or moved.
Bytes Pattern(std::size_t length, std::size_t from) {
    Bytes bytes(length);
    for (std::size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<std::uint8_t>(((from + i) * 7 + (from + i) / 251) & 0xFF);
    }
    return bytes;
}

class AlsaPcm : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(g_configured);
        mmxUseSystemDevices();
        ASSERT_EQ(mmxBackendName(), "alsa");
    }
    void TearDown() override { mmxUseSystemDevices(); }

    template <typename Caps, typename GetCaps>
    static int Find(UINT count, GetCaps getCaps, const char* name, bool exact = false) {
        for (UINT id = 0; id < count; ++id) {
            Caps caps{};
            if (getCaps(id, &caps, sizeof caps) == MMSYSERR_NOERROR &&
                (exact ? std::strcmp(caps.szPname, name) == 0
                       : std::strstr(caps.szPname, name) != nullptr)) {
                return static_cast<int>(id);
            }
        }
        return -1;
    }
    static int WaveOut(const char* name) {
        return Find<WAVEOUTCAPS>(waveOutGetNumDevs(), waveOutGetDevCaps, name);
    }
    static int WaveIn(const char* name) {
        return Find<WAVEINCAPS>(waveInGetNumDevs(), waveInGetDevCaps, name);
    }
};

} // namespace

TEST_F(AlsaPcm, ListsThePcmsByTheirDescriptionsTheDefaultFirst) {
    WAVEOUTCAPS caps{};
    ASSERT_EQ(waveOutGetDevCaps(0, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname, "Test default");
    EXPECT_GE(WaveOut("Discard all samples"), 1);
    EXPECT_GE(WaveOut(kPianoWave), 1);
    EXPECT_GE(WaveIn(kPianoWave), 1);
    // The same device is the same port in every reading: the watch's ids stay put.
    EXPECT_EQ(WaveOut(kPianoWave), WaveOut(kPianoWave));
}

TEST_F(AlsaPcm, PlaysEveryByteInOrderAndCountsItsPosition) {
    const int id = WaveOut("Tolvarine USB Audio, USB Audio");
    ASSERT_GE(id, 0);
    std::filesystem::remove(Folder() / "played.raw");
    CallbackLog log;
    HWAVEOUT out = nullptr;
    ASSERT_EQ(waveOutOpen(&out, static_cast<UINT>(id), &kCd, log.Callback<HWAVEOUT>(),
                          log.Instance(), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    std::vector<std::unique_ptr<Buffer>> buffers;
    Bytes all;
    for (int i = 0; i < 3; ++i) {
        // 100 ms each, and one that is no whole number of periods.
        const std::size_t length = i == 2 ? 4000 : 17640;
        buffers.push_back(std::make_unique<Buffer>(Pattern(length, all.size())));
        all.insert(all.end(), buffers.back()->data.begin(), buffers.back()->data.end());
        ASSERT_EQ(waveOutPrepareHeader(out, &buffers.back()->header, sizeof(WAVEHDR)),
                  MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutWrite(out, &buffers.back()->header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    ASSERT_TRUE(Eventually([&] { return log.Count(WOM_DONE) == 3; }, std::chrono::seconds(15)));
    const auto done = log.Of(WOM_DONE);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(done[i].first, reinterpret_cast<DWORD_PTR>(&buffers[i]->header));
        EXPECT_NE(buffers[i]->header.dwFlags & WHDR_DONE, 0u);
    }
    MMTIME position{};
    position.wType = TIME_SAMPLES;
    ASSERT_EQ(waveOutGetPosition(out, &position, sizeof position), MMSYSERR_NOERROR);
    EXPECT_EQ(position.u.sample, all.size() / 4);
    for (auto& buffer : buffers) {
        EXPECT_EQ(waveOutUnprepareHeader(out, &buffer->header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
    // Closed, the file plugin has written out everything it was given.
    EXPECT_EQ(ReadFile(Folder() / "played.raw"), all);
}

TEST_F(AlsaPcm, ResetHandsEveryBufferBackAndStartsTheCountAgain) {
    const int id = WaveOut("Tolvarine USB Audio, USB Audio");
    ASSERT_GE(id, 0);
    CallbackLog log;
    HWAVEOUT out = nullptr;
    ASSERT_EQ(waveOutOpen(&out, static_cast<UINT>(id), &kCd, log.Callback<HWAVEOUT>(),
                          log.Instance(), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutPause(out), MMSYSERR_NOERROR);
    Buffer first(Pattern(17640, 0));
    Buffer second(Pattern(17640, 17640));
    for (Buffer* buffer : {&first, &second}) {
        waveOutPrepareHeader(out, &buffer->header, sizeof(WAVEHDR));
        ASSERT_EQ(waveOutWrite(out, &buffer->header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(waveOutClose(out), WAVERR_STILLPLAYING);
    ASSERT_EQ(waveOutReset(out), MMSYSERR_NOERROR);
    ASSERT_TRUE(Eventually([&] { return log.Count(WOM_DONE) == 2; }));
    MMTIME position{};
    position.wType = TIME_BYTES;
    waveOutGetPosition(out, &position, sizeof position);
    EXPECT_EQ(position.u.cb, 0u);
    // Playing goes on after a reset, counted from 0.
    Buffer third(Pattern(4000, 0));
    waveOutPrepareHeader(out, &third.header, sizeof(WAVEHDR));
    ASSERT_EQ(waveOutWrite(out, &third.header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_TRUE(Eventually([&] { return log.Count(WOM_DONE) == 3; }));
    waveOutGetPosition(out, &position, sizeof position);
    EXPECT_EQ(position.u.cb, 4000u);
    EXPECT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
}

TEST_F(AlsaPcm, RecordsWhatTheDeviceDeliversInOrder) {
    const Bytes source = Pattern(44100 * 4, 0);
    std::ofstream(Folder() / "recorded.raw", std::ios::binary)
        .write(reinterpret_cast<const char*>(source.data()),
               static_cast<std::streamsize>(source.size()));
    const int id = WaveIn("Tolvarine USB Audio, USB Audio");
    ASSERT_GE(id, 0);
    CallbackLog log;
    HWAVEIN in = nullptr;
    ASSERT_EQ(waveInOpen(&in, static_cast<UINT>(id), &kCd, log.Callback<HWAVEIN>(), log.Instance(),
                         CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    std::vector<std::unique_ptr<Buffer>> buffers;
    for (int i = 0; i < 2; ++i) {
        buffers.push_back(std::make_unique<Buffer>(Bytes(17640)));
        waveInPrepareHeader(in, &buffers.back()->header, sizeof(WAVEHDR));
        ASSERT_EQ(waveInAddBuffer(in, &buffers.back()->header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    ASSERT_TRUE(Eventually([&] { return log.Count(WIM_DATA) == 2; }, std::chrono::seconds(15)));
    waveInStop(in);
    Bytes recorded;
    for (auto& buffer : buffers) {
        ASSERT_EQ(buffer->header.dwBytesRecorded, 17640u);
        recorded.insert(recorded.end(), buffer->data.begin(), buffer->data.end());
    }
    EXPECT_EQ(recorded, Bytes(source.begin(), source.begin() + 2 * 17640));
    MMTIME position{};
    position.wType = TIME_SAMPLES;
    waveInGetPosition(in, &position, sizeof position);
    EXPECT_GE(position.u.sample, 2u * 4410u);
    ASSERT_EQ(waveInReset(in), MMSYSERR_NOERROR);
    waveInGetPosition(in, &position, sizeof position);
    EXPECT_EQ(position.u.sample, 0u);
    EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
}

TEST_F(AlsaPcm, ADeviceThatCannotBeOpenedRefusesTheOpen) {
    const int id = WaveOut("Tolvarine USB Audio gone");
    ASSERT_GE(id, 0);
    HWAVEOUT out = reinterpret_cast<HWAVEOUT>(1);
    const MMRESULT result = waveOutOpen(&out, static_cast<UINT>(id), &kCd, 0, 0, CALLBACK_NULL);
    EXPECT_NE(result, MMSYSERR_NOERROR);
    EXPECT_EQ(out, nullptr);
    // Asking whether the format would do opens nothing and says yes.
    EXPECT_EQ(waveOutOpen(nullptr, static_cast<UINT>(id), &kCd, 0, 0, WAVE_FORMAT_QUERY),
              MMSYSERR_NOERROR);
}
