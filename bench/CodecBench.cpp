// Decoding costs of the codec libraries, and how fast the player starts and stops.
//   build/bench/bin/codec_bench
// The fixtures are made with sox, lame and ffmpeg; a case without its tools is skipped.
#include "CSimplePlayer.h"
#include "CVirtualPiano.h"
#include "mmsystemx.h"
#include "msacm.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

bool Run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

fs::path Folder() {
    const char* home = std::getenv("CANTAVO_HOME");
    const fs::path folder = fs::path(home != nullptr ? home : "/tmp") / "codec-bench";
    fs::create_directories(folder);
    return folder;
}

// Ten seconds of two tones at 44100 Hz stereo, made once.
fs::path Source() {
    const fs::path wav = Folder() / "ten.wav";
    if (!fs::exists(wav)) {
        Run("sox -n -r 44100 -c 2 -b 16 '" + wav.string() + "' synth 10 sine 440 sine 660 gain -6");
    }
    return wav;
}

fs::path Encoded(const std::string& name, const std::string& command) {
    const fs::path out = Folder() / name;
    if (!fs::exists(out)) {
        Run(command + " '" + out.string() + "'");
    }
    return out;
}

void Mp3DecodeThroughAcm(benchmark::State& state) {
    const fs::path mp3 = Encoded("ten.mp3", "lame --quiet -b 128 '" + Source().string() + "'");
    std::ifstream in(mp3, std::ios::binary);
    const std::vector<BYTE> data{std::istreambuf_iterator<char>(in),
                                 std::istreambuf_iterator<char>()};
    if (data.empty()) {
        state.SkipWithError("sox or lame is missing");
        return;
    }
    MPEGLAYER3WAVEFORMAT format{};
    format.wfx = {WAVE_FORMAT_MPEGLAYER3, 2, 44100, 16000, 1, 0, MPEGLAYER3_WFX_EXTRA_BYTES};
    format.wID = MPEGLAYER3_ID_MPEG;
    WAVEFORMATEX pcm{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    std::uint64_t decoded = 0;
    for (auto _ : state) {
        HACMSTREAM stream = nullptr;
        acmStreamOpen(&stream, nullptr, &format.wfx, &pcm, nullptr, 0, 0,
                      ACM_STREAMOPENF_NONREALTIME);
        std::vector<BYTE> source(3200);
        std::vector<BYTE> destination(35280);
        ACMSTREAMHEADER header{};
        header.cbStruct = sizeof(header);
        header.pbSrc = source.data();
        header.cbSrcLength = 3200;
        header.pbDst = destination.data();
        header.cbDstLength = 35280;
        acmStreamPrepareHeader(stream, &header, 0);
        std::size_t at = 0;
        while (true) {
            const std::size_t take = std::min<std::size_t>(3200, data.size() - at);
            std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(at), take, source.begin());
            header.cbSrcLength = static_cast<DWORD>(take);
            acmStreamConvert(stream, &header, 0);
            at += header.cbSrcLengthUsed;
            decoded += header.cbDstLengthUsed;
            if (take == 0 && header.cbDstLengthUsed == 0) {
                break;
            }
        }
        header.cbSrcLength = 3200;
        acmStreamUnprepareHeader(stream, &header, 0);
        acmStreamClose(stream, 0);
    }
    // Audio seconds decoded per second of processor time.
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(decoded) / 176400.0, benchmark::Counter::kIsRate);
}
BENCHMARK(Mp3DecodeThroughAcm)->Unit(benchmark::kMillisecond);

void PlayerDuration(benchmark::State& state) {
    const fs::path wma = Encoded("ten.wma", "ffmpeg -nostdin -y -loglevel error -i '" +
                                                Source().string() + "' -c:a wmav2");
    if (!fs::exists(wma)) {
        state.SkipWithError("sox or ffmpeg is missing");
        return;
    }
    HRESULT made = S_OK;
    CSimplePlayer player(&made, nullptr, nullptr, nullptr);
    for (auto _ : state) {
        DWORD duration = 0;
        benchmark::DoNotOptimize(player.GetDuration(wma.c_str(), &duration));
    }
}
BENCHMARK(PlayerDuration)->Unit(benchmark::kMillisecond);

// From StartPlay until the first audio reaches the virtual ZQ31, and the StopPlay that follows.
void PlayerStartAndStop(benchmark::State& state) {
    const fs::path flac = Encoded("ten.flac", "ffmpeg -nostdin -y -loglevel error -i '" +
                                                  Source().string() + "' -c:a flac");
    if (!fs::exists(flac)) {
        state.SkipWithError("sox or ffmpeg is missing");
        return;
    }
    const auto piano = mmxUseVirtualPiano(std::make_shared<CVirtualPiano>());
    piano->SetActiveSensing(false);
    using Clock = std::chrono::steady_clock;
    double stopMs = 0;
    for (auto _ : state) {
        piano->ClearReceived();
        HRESULT made = S_OK;
        CSimplePlayer player(&made, nullptr, nullptr, nullptr);
        const auto start = Clock::now();
        if (player.StartPlay(flac.c_str(), 0, 0, nullptr, nullptr, 0) != S_OK) {
            state.SkipWithError("the player did not start");
            break;
        }
        while (piano->ReceivedAudioBytes() == 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        const auto stop = Clock::now();
        player.StopPlay();
        stopMs += std::chrono::duration<double, std::milli>(Clock::now() - stop).count();
    }
    state.counters["stop_ms"] = benchmark::Counter(stopMs, benchmark::Counter::kAvgIterations);
    mmxUseSystemDevices();
}
BENCHMARK(PlayerStartAndStop)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
