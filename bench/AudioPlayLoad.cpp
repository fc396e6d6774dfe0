// What audio playback costs: the processor time of the whole process (player, decoder and the
// virtual ZQ31's device thread) while a file plays, for a PCM WAV, an MP3-in-WAV and a WMA,
// side by side with FFmpeg decoding the same file in real time to nowhere
// (ffmpeg -re -i FILE -f null -), and with ffplay -nodisp on SDL's dummy audio driver when it
// runs here. Also the time from Start to the first sample at the device, and how long Start
// takes to return (its 200 ms wait included).
//   build/dev/bin/audio_play_load [seconds, default 10; below 1 without the references]
#include "CAudioPlay.h"
#include "CDummy.h"
#include "CLast.h"
#include "CVirtualPiano.h"
#include "mmsystemx.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

class CQuietEngine : public CDummy {
public:
    std::atomic<int> ends{0};
    unsigned int GetWaveOutDev() override { return 0; }
    unsigned int GetWaveInDev() override { return 0; }
    void PostAudLevelMeter(E_AUDLEVELOUT, E_AUDLEVELOUT) override {}
    void StopAudPlayFromMiddle() override { ++ends; }
    void PostAudTimeDisp(unsigned int) override {}
    void StopAudRecFromMiddle() override {}
    void ErrorMessageFromMiddle(CVeskError) override {}
};

double ProcessSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

QByteArray SineWave(double seconds) {
    const int frames = static_cast<int>(seconds * 44100);
    QByteArray sound(frames * 4, '\0');
    for (int i = 0; i < frames; ++i) {
        const auto v = static_cast<std::int16_t>(12000 * std::sin(2 * M_PI * 440.0 * i / 44100));
        qToLittleEndian<std::int16_t>(v, sound.data() + 4 * i);
        qToLittleEndian<std::int16_t>(v, sound.data() + 4 * i + 2);
    }
    QByteArray out("RIFF");
    char word[4];
    qToLittleEndian<std::uint32_t>(36 + sound.size(), word);
    out.append(word, 4);
    out += "WAVEfmt ";
    const char fmt[20] = {16,   0,
                          0,    0,
                          1,    0,
                          2,    0,
                          0x44, static_cast<char>(0xAC),
                          0,    0,
                          0x10, static_cast<char>(0xB1),
                          2,    0,
                          4,    0,
                          16,   0};
    out.append(fmt, 20);
    out += "data";
    qToLittleEndian<std::uint32_t>(sound.size(), word);
    out.append(word, 4);
    return out + sound;
}

bool Run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// Processor seconds of a child process run to its end, or a negative value when it failed.
double ChildSeconds(const std::vector<std::string>& command, const char* environment) {
    const pid_t child = fork();
    if (child == 0) {
        if (environment != nullptr) {
            putenv(const_cast<char*>(environment));
        }
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        std::vector<char*> argv;
        for (const std::string& part : command) {
            argv.push_back(const_cast<char*>(part.c_str()));
        }
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        return -1;
    }
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec * 1e-6 + usage.ru_stime.tv_sec +
           usage.ru_stime.tv_usec * 1e-6;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const double seconds = argc > 1 ? std::max(0.2, std::atof(argv[1])) : 10.0;
    QTemporaryDir folder;
    auto piano = mmxUseVirtualPiano(std::make_shared<CVirtualPiano>());
    piano->SetActiveSensing(false);
    CQuietEngine engine;
    CLast::InitDummy(&engine);

    const QString wav = folder.filePath(QStringLiteral("pcm.wav"));
    QFile file(wav);
    if (!file.open(QIODevice::WriteOnly) || file.write(SineWave(seconds)) < 0) {
        std::fprintf(stderr, "audio_play_load: cannot write %s\n", qPrintable(wav));
        return 1;
    }
    file.close();
    const QString mp3 = folder.filePath(QStringLiteral("s.mp3"));
    const QString mp3InWav = folder.filePath(QStringLiteral("mp3.wav"));
    if (Run(QStringLiteral("lame"),
            {QStringLiteral("--quiet"), QStringLiteral("-t"), QStringLiteral("--cbr"),
             QStringLiteral("-b"), QStringLiteral("128"), wav, mp3})) {
        QFile in(mp3);
        in.open(QIODevice::ReadOnly);
        const QByteArray stream = in.readAll();
        QByteArray out("RIFF");
        char word[4];
        qToLittleEndian<std::uint32_t>(4 + 8 + 30 + 8 + stream.size(), word);
        out.append(word, 4);
        out += "WAVEfmt ";
        const unsigned char fmt[34] = {30,   0,    0, 0, 0x55, 0, 2, 0, 0x44, 0xAC, 0, 0,
                                       0x80, 0x3E, 0, 0, 1,    0, 0, 0, 12,   0,    1, 0,
                                       2,    0,    0, 0, 0xA1, 1, 1, 0, 0,    0};
        out.append(reinterpret_cast<const char*>(fmt), 34);
        out += "data";
        qToLittleEndian<std::uint32_t>(stream.size(), word);
        out.append(word, 4);
        QFile target(mp3InWav);
        target.open(QIODevice::WriteOnly);
        target.write(out + stream);
    }
    const QString wma = folder.filePath(QStringLiteral("s.wma"));
    Run(QStringLiteral("ffmpeg"),
        {QStringLiteral("-nostdin"), QStringLiteral("-loglevel"), QStringLiteral("error"),
         QStringLiteral("-y"), QStringLiteral("-i"), wav, QStringLiteral("-c:a"),
         QStringLiteral("wmav2"), wma});

    std::string report = "audio_play_load:";
    const auto add = [&](const std::string& label, double value, const char* unit) {
        char text[160];
        std::snprintf(text, sizeof text, "%s %s %.2f %s", report.back() == ':' ? "" : ",",
                      label.c_str(), value, unit);
        report += text;
    };
    const std::pair<const char*, QString> files[] = {
        {"pcm", wav}, {"mp3-in-wav", mp3InWav}, {"wma", wma}};
    for (const auto& [name, path] : files) {
        if (!QFile::exists(path)) {
            std::fprintf(stderr, "audio_play_load: no %s file (tool missing)\n", name);
            continue;
        }
        CAudioPlay player;
        player.SetFileName(path);
        piano->ClearReceived();
        engine.ends = 0;
        const double cpu0 = ProcessSeconds();
        const auto t0 = Clock::now();
        const CVeskError started = player.Start();
        const auto returned = Clock::now();
        if (started != ERR_VESK_OK) {
            std::fprintf(stderr, "audio_play_load: %s does not play: %s\n", name,
                         started.GetStr().toUtf8().constData());
            continue;
        }
        while (engine.ends == 0 && Clock::now() - t0 < std::chrono::duration<double>(seconds + 5)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        const double cpu = ProcessSeconds() - cpu0;
        player.Stop();
        const auto blocks = piano->ReceivedAudioBlocks();
        add(std::string(name) + " processor", 100.0 * cpu / wall, "%");
        if (!blocks.empty()) {
            add(std::string(name) + " start to first sample",
                std::chrono::duration<double, std::milli>(blocks.front().time - t0).count(), "ms");
        }
        add(std::string(name) + " Start returns after",
            std::chrono::duration<double, std::milli>(returned - t0).count(), "ms");

        // The references take seconds to start; a short smoke run leaves them out.
        if (seconds < 1) {
            continue;
        }
        const std::string file = QFile::encodeName(path).toStdString();
        const auto r0 = Clock::now();
        const double ffmpeg = ChildSeconds(
            {"ffmpeg", "-nostdin", "-loglevel", "error", "-re", "-i", file, "-f", "null", "-"},
            nullptr);
        const double ffmpegWall = std::chrono::duration<double>(Clock::now() - r0).count();
        if (ffmpeg >= 0) {
            add(std::string(name) + " ffmpeg -re to null", 100.0 * ffmpeg / ffmpegWall, "%");
        }
        const auto p0 = Clock::now();
        const double ffplay =
            ChildSeconds({"ffplay", "-nodisp", "-autoexit", "-loglevel", "error", file},
                         "SDL_AUDIODRIVER=dummy");
        const double ffplayWall = std::chrono::duration<double>(Clock::now() - p0).count();
        if (ffplay >= 0) {
            add(std::string(name) + " ffplay -nodisp", 100.0 * ffplay / ffplayWall, "%");
        }
    }
    CLast::InitDummy(nullptr);
    std::printf("%s\n", report.c_str());
    return 0;
}
