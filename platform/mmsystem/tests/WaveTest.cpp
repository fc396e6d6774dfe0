#include "MmTestSupport.h"

#include <cstring>

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

constexpr WAVEFORMATEX kCd{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};

struct Buffer {
    explicit Buffer(std::size_t size, std::uint8_t fill = 0) : data(size, fill) {
        header.lpData = reinterpret_cast<LPSTR>(data.data());
        header.dwBufferLength = static_cast<DWORD>(size);
    }
    Bytes data;
    WAVEHDR header{};
};

} // namespace

TEST_F(WithPiano, WaveOutputPlaysInRealTime) {
    CallbackLog log;
    HWAVEOUT out = nullptr;
    ASSERT_EQ(
        waveOutOpen(&out, 0, &kCd, log.Callback<HWAVEOUT>(), log.Instance(), CALLBACK_FUNCTION),
        MMSYSERR_NOERROR);
    // Three buffers of 100 ms each.
    std::vector<std::unique_ptr<Buffer>> buffers;
    for (int i = 0; i < 3; ++i) {
        buffers.push_back(std::make_unique<Buffer>(17640, static_cast<std::uint8_t>(i + 1)));
        ASSERT_EQ(waveOutWrite(out, &buffers.back()->header, sizeof(WAVEHDR)), WAVERR_UNPREPARED);
        ASSERT_EQ(waveOutPrepareHeader(out, &buffers.back()->header, sizeof(WAVEHDR)),
                  MMSYSERR_NOERROR);
    }
    const auto start = Clock::now();
    for (auto& buffer : buffers) {
        ASSERT_EQ(waveOutWrite(out, &buffer->header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(waveOutClose(out), WAVERR_STILLPLAYING);
    MMTIME position{};
    position.wType = TIME_SAMPLES;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    waveOutGetPosition(out, &position, sizeof position);
    EXPECT_GT(position.u.sample, 0u);
    EXPECT_LE(position.u.sample, 3u * 4410u);

    ASSERT_TRUE(Eventually([&] { return log.Count(WOM_DONE) == 3; }));
    const double elapsed = Ms(start, Clock::now());
    EXPECT_GE(elapsed, 295.0);
    const auto done = log.Of(WOM_DONE);
    EXPECT_GE(Ms(start, done[0].time), 95.0);
    waveOutGetPosition(out, &position, sizeof position);
    EXPECT_EQ(position.u.sample, 3u * 4410u);
    position.wType = TIME_MS;
    waveOutGetPosition(out, &position, sizeof position);
    EXPECT_EQ(position.u.ms, 300u);

    // The piano heard exactly what was played, in order.
    Bytes heard;
    for (const auto& block : piano->ReceivedAudioBlocks()) {
        heard.insert(heard.end(), block.bytes.begin(), block.bytes.end());
        EXPECT_EQ(block.rate, 44100u);
    }
    ASSERT_EQ(heard.size(), 3u * 17640u);
    EXPECT_EQ(heard[0], 1);
    EXPECT_EQ(heard[17640], 2);
    EXPECT_EQ(heard.back(), 3);
    for (auto& buffer : buffers) {
        EXPECT_EQ(waveOutUnprepareHeader(out, &buffer->header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
}

TEST_F(WithPiano, WaveOutputResetReturnsEveryBuffer) {
    CallbackLog log;
    HWAVEOUT out = nullptr;
    ASSERT_EQ(
        waveOutOpen(&out, 0, &kCd, log.Callback<HWAVEOUT>(), log.Instance(), CALLBACK_FUNCTION),
        MMSYSERR_NOERROR);
    std::vector<std::unique_ptr<Buffer>> buffers;
    for (int i = 0; i < 5; ++i) {
        buffers.push_back(std::make_unique<Buffer>(176400));
        waveOutPrepareHeader(out, &buffers.back()->header, sizeof(WAVEHDR));
        waveOutWrite(out, &buffers.back()->header, sizeof(WAVEHDR));
    }
    ASSERT_EQ(waveOutPause(out), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutReset(out), MMSYSERR_NOERROR);
    ASSERT_TRUE(Eventually([&] { return log.Count(WOM_DONE) == 5; }));
    for (auto& buffer : buffers) {
        EXPECT_NE(mmxHeaderFlags(buffer->header.dwFlags) & WHDR_DONE, 0u);
        waveOutUnprepareHeader(out, &buffer->header, sizeof(WAVEHDR));
    }
    MMTIME position{};
    position.wType = TIME_SAMPLES;
    waveOutGetPosition(out, &position, sizeof position);
    EXPECT_EQ(position.u.sample, 0u);
    EXPECT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
    EXPECT_LT(piano->ReceivedAudioBytes(), 5u * 176400u);
}

TEST_F(WithPiano, AWaveOutputPulledOutTakesNoMoreBuffers) {
    HWAVEOUT out = nullptr;
    ASSERT_EQ(waveOutOpen(&out, 0, &kCd, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    Buffer buffer(1764);
    ASSERT_EQ(waveOutPrepareHeader(out, &buffer.header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    piano->Unplug(CVirtualPiano::kWaveOut);
    EXPECT_EQ(waveOutWrite(out, &buffer.header, sizeof(WAVEHDR)), MMSYSERR_NODRIVER);
    EXPECT_EQ(mmxHeaderFlags(buffer.header.dwFlags) & WHDR_INQUEUE, 0u);
    piano->Plug();
    ASSERT_EQ(waveOutWrite(out, &buffer.header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_TRUE(
        Eventually([&] { return (mmxHeaderFlags(buffer.header.dwFlags) & WHDR_DONE) != 0; }));
    waveOutUnprepareHeader(out, &buffer.header, sizeof(WAVEHDR));
    EXPECT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
}

TEST_F(WithPiano, WaveFormatsAreChecked) {
    HWAVEOUT out = nullptr;
    WAVEFORMATEX wrongAlign = kCd;
    wrongAlign.nBlockAlign = 2;
    EXPECT_EQ(waveOutOpen(&out, 0, &wrongAlign, 0, 0, CALLBACK_NULL), WAVERR_BADFORMAT);
    WAVEFORMATEX mp3 = kCd;
    mp3.wFormatTag = 0x55;
    EXPECT_EQ(waveOutOpen(&out, 0, &mp3, 0, 0, CALLBACK_NULL), WAVERR_BADFORMAT);
    EXPECT_EQ(waveOutOpen(nullptr, 0, &kCd, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutOpen(&out, 5, &kCd, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(out, nullptr);
    DWORD pitch = 0;
    ASSERT_EQ(waveOutOpen(&out, WAVE_MAPPER, &kCd, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutGetPitch(out, &pitch), MMSYSERR_NOTSUPPORTED);
    EXPECT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
}

TEST_F(WithPiano, WaveInputDeliversThePianosSoundAtTheFormatsRate) {
    piano->SetSignal(CVirtualPiano::Signal::Ramp);
    CallbackLog log;
    HWAVEIN in = nullptr;
    ASSERT_EQ(waveInOpen(&in, 0, &kCd, log.Callback<HWAVEIN>(), log.Instance(), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    // Four buffers of 50 ms.
    std::vector<std::unique_ptr<Buffer>> buffers;
    for (int i = 0; i < 4; ++i) {
        buffers.push_back(std::make_unique<Buffer>(8820));
        waveInPrepareHeader(in, &buffers.back()->header, sizeof(WAVEHDR));
        ASSERT_EQ(waveInAddBuffer(in, &buffers.back()->header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    const auto start = Clock::now();
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    ASSERT_TRUE(Eventually([&] { return log.Count(WIM_DATA) == 4; }));
    const auto data = log.Of(WIM_DATA);
    EXPECT_GE(Ms(start, data[0].time), 48.0);
    EXPECT_GE(Ms(start, data[3].time), 198.0);
    // The recording is continuous: each frame holds its own number.
    std::uint32_t frame = 0;
    for (const auto& entry : data) {
        const auto* header = reinterpret_cast<const WAVEHDR*>(entry.first);
        ASSERT_EQ(header->dwBytesRecorded, 8820u);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(header->lpData);
        for (DWORD i = 0; i < header->dwBytesRecorded; i += 4, ++frame) {
            const auto left = static_cast<std::uint16_t>(bytes[i] | (bytes[i + 1] << 8));
            ASSERT_EQ(left, frame & 0xFFFF) << "frame " << frame;
        }
    }
    MMTIME position{};
    position.wType = TIME_SAMPLES;
    waveInGetPosition(in, &position, sizeof position);
    EXPECT_GE(position.u.sample, 4u * 2205u);
    waveInStop(in);
    EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
}

TEST_F(WithPiano, WaveInputStopReturnsThePartlyFilledBufferAndResetTheRest) {
    CallbackLog log;
    HWAVEIN in = nullptr;
    ASSERT_EQ(waveInOpen(&in, 0, &kCd, log.Callback<HWAVEIN>(), log.Instance(), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    Buffer big(176400), spare(176400);
    for (Buffer* buffer : {&big, &spare}) {
        waveInPrepareHeader(in, &buffer->header, sizeof(WAVEHDR));
        waveInAddBuffer(in, &buffer->header, sizeof(WAVEHDR));
    }
    waveInStart(in);
    // A queued buffer belongs to the device: progress is read from the position.
    ASSERT_TRUE(Eventually([&] {
        MMTIME position{};
        position.wType = TIME_SAMPLES;
        waveInGetPosition(in, &position, sizeof position);
        return position.u.sample > 0;
    }));
    ASSERT_EQ(waveInStop(in), MMSYSERR_NOERROR);
    ASSERT_TRUE(Eventually([&] { return log.Count(WIM_DATA) == 1; }));
    EXPECT_GT(big.header.dwBytesRecorded, 0u);
    EXPECT_LT(big.header.dwBytesRecorded, 176400u);
    EXPECT_EQ(big.header.dwBytesRecorded % 4, 0u);
    EXPECT_EQ(waveInClose(in), WAVERR_STILLPLAYING);
    waveInReset(in);
    ASSERT_TRUE(Eventually([&] { return log.Count(WIM_DATA) == 2; }));
    EXPECT_EQ(spare.header.dwBytesRecorded, 0u);
    EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
}

TEST_F(WithPiano, AWaveInputPulledOutHandsBackOnlyWhatItCapturedAndTakesNoMoreBuffers) {
    piano->SetSignal(CVirtualPiano::Signal::Ramp);
    CallbackLog log;
    HWAVEIN in = nullptr;
    ASSERT_EQ(waveInOpen(&in, 0, &kCd, log.Callback<HWAVEIN>(), log.Instance(), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    // Four buffers of 1 s: the first comes back full, the second is being filled at the unplug.
    std::vector<std::unique_ptr<Buffer>> buffers;
    for (int i = 0; i < 4; ++i) {
        buffers.push_back(std::make_unique<Buffer>(176400, 0xA5));
        ASSERT_EQ(waveInPrepareHeader(in, &buffers.back()->header, sizeof(WAVEHDR)),
                  MMSYSERR_NOERROR);
        ASSERT_EQ(waveInAddBuffer(in, &buffers.back()->header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    ASSERT_TRUE(Eventually([&] { return log.Count(WIM_DATA) == 1; }));
    piano->Unplug(CVirtualPiano::kWaveIn);

    // Every buffer comes back, in order, without waiting for the time they would have taken.
    ASSERT_TRUE(Eventually([&] { return log.Count(WIM_DATA) == 4; }));
    const auto data = log.Of(WIM_DATA);
    Bytes recorded;
    for (std::size_t i = 0; i < data.size(); ++i) {
        const auto* header = reinterpret_cast<const WAVEHDR*>(data[i].first);
        ASSERT_EQ(header, &buffers[i]->header);
        EXPECT_NE(mmxHeaderFlags(header->dwFlags) & WHDR_DONE, 0u);
        EXPECT_EQ(mmxHeaderFlags(header->dwFlags) & WHDR_INQUEUE, 0u);
        EXPECT_EQ(header->dwBytesRecorded % 4, 0u);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(header->lpData);
        recorded.insert(recorded.end(), bytes, bytes + header->dwBytesRecorded);
    }
    EXPECT_EQ(buffers[0]->header.dwBytesRecorded, 176400u);
    EXPECT_LT(buffers[1]->header.dwBytesRecorded, 176400u);
    EXPECT_EQ(buffers[2]->header.dwBytesRecorded, 0u);
    EXPECT_EQ(buffers[3]->header.dwBytesRecorded, 0u);
    // Only what the piano really sent, from its first frame on: no made-up silence.
    Bytes sent(recorded.size());
    piano->ProduceAudio(sent.data(), sent.size(), 2, 44100, 16, 0);
    EXPECT_TRUE(recorded == sent) << "the buffers hold samples the piano did not send";
    // The bytes past what was recorded are untouched.
    EXPECT_EQ(buffers[1]->data[buffers[1]->header.dwBytesRecorded], 0xA5);
    EXPECT_EQ(buffers[2]->data[0], 0xA5);

    // Nothing more is taken, as from a removed device, and nothing comes back.
    EXPECT_EQ(waveInAddBuffer(in, &buffers[0]->header, sizeof(WAVEHDR)), MMSYSERR_NODRIVER);
    EXPECT_EQ(mmxHeaderFlags(buffers[0]->header.dwFlags) & WHDR_INQUEUE, 0u);
    EXPECT_EQ(waveInStart(in), MMSYSERR_NODRIVER);
    // The handle stays without its device when the piano is back; a new one records again.
    piano->Plug(CVirtualPiano::kWaveIn);
    EXPECT_EQ(waveInAddBuffer(in, &buffers[0]->header, sizeof(WAVEHDR)), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveInStop(in), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveInReset(in), MMSYSERR_NOERROR);
    EXPECT_EQ(log.Count(WIM_DATA), 4);
    for (auto& buffer : buffers) {
        EXPECT_EQ(waveInUnprepareHeader(in, &buffer->header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);

    ASSERT_EQ(waveInOpen(&in, 0, &kCd, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    Buffer again(1764);
    ASSERT_EQ(waveInPrepareHeader(in, &again.header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInAddBuffer(in, &again.header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    ASSERT_TRUE(
        Eventually([&] { return (mmxHeaderFlags(again.header.dwFlags) & WHDR_DONE) != 0; }));
    EXPECT_EQ(again.header.dwBytesRecorded, 1764u);
    waveInUnprepareHeader(in, &again.header, sizeof(WAVEHDR));
    EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
}

TEST_F(WithPiano, StoppingAWaveInputJustPulledOutSaysItIsGone) {
    piano->SetSignal(CVirtualPiano::Signal::Ramp);
    CallbackLog log;
    HWAVEIN in = nullptr;
    ASSERT_EQ(waveInOpen(&in, 0, &kCd, log.Callback<HWAVEIN>(), log.Instance(), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    Buffer first(176400, 0xA5), second(176400, 0xA5);
    for (Buffer* buffer : {&first, &second}) {
        waveInPrepareHeader(in, &buffer->header, sizeof(WAVEHDR));
        ASSERT_EQ(waveInAddBuffer(in, &buffer->header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    ASSERT_TRUE(Eventually([&] {
        MMTIME position{};
        position.wType = TIME_SAMPLES;
        waveInGetPosition(in, &position, sizeof position);
        return position.u.sample > 0;
    }));
    // Whether or not the device thread has missed the device yet, the stop tells of it and
    // every buffer comes back with only what was captured.
    piano->Unplug(CVirtualPiano::kWaveIn);
    EXPECT_EQ(waveInStop(in), MMSYSERR_NODRIVER);
    ASSERT_TRUE(Eventually([&] { return log.Count(WIM_DATA) == 2; }));
    EXPECT_EQ(second.header.dwBytesRecorded, 0u);
    Bytes sent(first.header.dwBytesRecorded);
    piano->ProduceAudio(sent.data(), sent.size(), 2, 44100, 16, 0);
    EXPECT_TRUE(Bytes(first.data.begin(), first.data.begin() + first.header.dwBytesRecorded) ==
                sent);
    EXPECT_EQ(waveInAddBuffer(in, &first.header, sizeof(WAVEHDR)), MMSYSERR_NODRIVER);
    for (Buffer* buffer : {&first, &second}) {
        EXPECT_EQ(waveInUnprepareHeader(in, &buffer->header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
}
