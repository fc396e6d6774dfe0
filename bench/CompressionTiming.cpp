// What compressing a WAV file costs, side by side with the reference encoders on the same
// file: CAudioCodec's MP3 against `lame -b 128`, its WMA against `ffmpeg -c:a wmav2 -b:a 128k`.
// The program writes a WAV of the given length (16-bit stereo, 44.1 kHz, a sweep with noise),
// then runs the four conversions in turn, several rounds, and reports for each the best wall
// time and processor time of its rounds, and the ratios to the reference tools. The tools'
// figures include starting their process, as a user running them would see.
//   build/bench/bin/compression_timing [seconds of audio, default 60] [rounds, default 3]
#include "CAudioCodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Cost {
    double wall = 1e9;
    double cpu = 1e9;
    bool ok = true;
};

double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

double OwnCpu() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

bool WriteWave(const QString& path, double seconds) {
    const auto frames = static_cast<std::uint32_t>(seconds * 44100);
    std::vector<char> bytes(44 + std::size_t{frames} * 4);
    const auto put32 = [&bytes](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            bytes[at + i] = static_cast<char>(v >> (8 * i));
        }
    };
    std::copy_n("RIFF----WAVEfmt \x10\0\0\0\x01\0\x02\0", 24, bytes.begin());
    put32(4, 36 + frames * 4);
    put32(24, 44100);
    put32(28, 176400);
    std::copy_n("\x04\0\x10\0data", 8, bytes.begin() + 32);
    put32(40, frames * 4);
    std::uint32_t noise = 1;
    for (std::uint32_t f = 0; f < frames; ++f) {
        const double t = f / 44100.0;
        const double sweep = 0.5 * std::sin(2 * std::numbers::pi * (200 * t + 50 * t * t));
        for (int c = 0; c < 2; ++c) {
            noise = noise * 1664525u + 1013904223u;
            const double v = sweep + ((noise >> 16) / 65536.0 - 0.5) * 0.1;
            const auto s = static_cast<std::int16_t>(std::lround(v * 30000));
            bytes[44 + 4 * f + 2 * c] = static_cast<char>(s & 0xFF);
            bytes[44 + 4 * f + 2 * c + 1] = static_cast<char>((s >> 8) & 0xFF);
        }
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) &&
           file.write(bytes.data(), static_cast<qint64>(bytes.size())) ==
               static_cast<qint64>(bytes.size());
}

Cost RunTool(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (std::string& a : arguments) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    Cost cost;
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        cost.ok = false;
        return cost;
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    cost.wall = std::chrono::duration<double>(Clock::now() - start).count();
    cost.cpu = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    cost.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return cost;
}

Cost RunCodec(const QString& source, const QString& destination) {
    Cost cost;
    const double cpu = OwnCpu();
    const auto start = Clock::now();
    CAudioCodec codec;
    cost.ok = codec.AudioCompress(source, destination).GetCode() == ERR_VESK_OK;
    cost.wall = std::chrono::duration<double>(Clock::now() - start).count();
    cost.cpu = OwnCpu() - cpu;
    return cost;
}

void Keep(Cost& best, const Cost& round) {
    best.wall = std::min(best.wall, round.wall);
    best.cpu = std::min(best.cpu, round.cpu);
    best.ok = best.ok && round.ok;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 60.0;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    QTemporaryDir folder;
    const QString source = folder.filePath(QStringLiteral("source.wav"));
    if (!folder.isValid() || seconds <= 0 || !WriteWave(source, seconds)) {
        std::fprintf(stderr, "compression_timing: cannot write the source\n");
        return 1;
    }
    const std::string src = QFile::encodeName(source).toStdString();
    const std::string lameOut = QFile::encodeName(folder.filePath("lame.mp3")).toStdString();
    const std::string ffOut = QFile::encodeName(folder.filePath("ffmpeg.wma")).toStdString();
    Cost mp3, lame, wma, ffmpeg;
    for (int round = 0; round < rounds; ++round) {
        Keep(lame, RunTool({"lame", "--quiet", "-b", "128", src, lameOut}));
        Keep(mp3, RunCodec(source, folder.filePath(QStringLiteral("codec.mp3"))));
        Keep(ffmpeg, RunTool({"ffmpeg", "-v", "error", "-y", "-i", src, "-c:a", "wmav2", "-b:a",
                              "128k", ffOut}));
        Keep(wma, RunCodec(source, folder.filePath(QStringLiteral("codec.wma"))));
    }
    if (!mp3.ok || !lame.ok || !wma.ok || !ffmpeg.ok) {
        std::fprintf(stderr,
                     "compression_timing: a conversion failed (codec mp3 %d, lame %d, "
                     "codec wma %d, ffmpeg %d)\n",
                     mp3.ok, lame.ok, wma.ok, ffmpeg.ok);
        return 1;
    }
    std::printf("compression of %.0f s, best of %d: mp3 %.3f s, lame %.3f s, "
                "mp3 over lame %.1f %%, mp3 processor %.3f s, lame processor %.3f s, "
                "wma %.3f s, ffmpeg %.3f s, wma over ffmpeg %.1f %%, wma processor %.3f s, "
                "ffmpeg processor %.3f s\n",
                seconds, rounds, mp3.wall, lame.wall, 100 * mp3.wall / lame.wall, mp3.cpu, lame.cpu,
                wma.wall, ffmpeg.wall, 100 * wma.wall / ffmpeg.wall, wma.cpu, ffmpeg.cpu);
    return 0;
}
