// What recording costs and what a stalled disk does to it: the process's processor time while
// the virtual ZQ31's test signal is recorded, as a share of one core; then a recording whose
// writer is held for some seconds in the middle, checked sample by sample against what the
// piano sent (the ten seconds of device buffers must absorb the stall).
//   build/ci/bin/rec_load [seconds] [stall seconds]
#include "CAudioRec.h"
#include "CLast.h"
#include "CVirtualPiano.h"
#include "mmsystemx.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/resource.h>
#include <thread>
#include <tuple>
#include <vector>

namespace {

double ProcessorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A recorder whose writes wait while the stall lasts.
class CStallingRecorder : public CAudioRec {
public:
    std::atomic<bool> stall{false};
    std::atomic<bool> stalled{false};

protected:
    long WriteFile(int fd, const void* bytes, std::size_t length, std::uint64_t offset) override {
        while (stall.load()) {
            stalled.store(true);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return CAudioRec::WriteFile(fd, bytes, length, offset);
    }
};

std::vector<unsigned char> Contents(const QString& path) {
    std::ifstream in(QFile::encodeName(path).constData(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Seconds of samples in the file, and the share of its frames that are what the piano sent
// at that place (a lost stretch shifts every frame after it).
std::pair<double, double> Check(const CVirtualPiano& piano, const QString& path) {
    const auto file = Contents(path);
    if (file.size() < CAudioRec::kHeaderBytes + CAudioRec::kBlockAlign) {
        return {0.0, 0.0};
    }
    const std::size_t data = file.size() - CAudioRec::kHeaderBytes;
    std::vector<unsigned char> sent(data);
    piano.ProduceAudio(sent.data(), data, 2, 44100, 16, 0);
    std::size_t same = 0;
    for (std::size_t at = 0; at + 4 <= data; at += 4) {
        same +=
            std::equal(sent.begin() + at, sent.begin() + at + 4, file.begin() + 46 + at) ? 1 : 0;
    }
    return {static_cast<double>(data) / CAudioRec::kBytesPerSecond,
            100.0 * static_cast<double>(same) / static_cast<double>(data / 4)};
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const double seconds = argc > 1 ? std::max(0.5, std::atof(argv[1])) : 10.0;
    const double stallSeconds = argc > 2 ? std::max(0.0, std::atof(argv[2])) : 5.0;
    auto piano = mmxUseVirtualPiano(std::make_shared<CVirtualPiano>());
    piano->SetActiveSensing(false);
    piano->SetSignal(CVirtualPiano::Signal::Ramp);
    const QString folder = QDir::tempPath() + QStringLiteral("/cantavo-rec-load");
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/take.wav");
    const auto wait = [](double s) {
        std::this_thread::sleep_for(std::chrono::duration<double>(s));
    };

    double share = 0.0;
    {
        CStallingRecorder recorder;
        recorder.SetFileName(path);
        const double before = ProcessorSeconds();
        const auto start = std::chrono::steady_clock::now();
        if (recorder.Start() != ERR_VESK_OK) {
            std::fprintf(stderr, "the recording did not start\n");
            return 1;
        }
        wait(seconds);
        recorder.Stop();
        const double used = ProcessorSeconds() - before;
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        share = 100.0 * used / wall;
    }

    double recorded = 0.0;
    double intact = 0.0;
    {
        CStallingRecorder recorder;
        recorder.SetFileName(path);
        if (recorder.Start() != ERR_VESK_OK) {
            std::fprintf(stderr, "the recording did not start\n");
            return 1;
        }
        wait(0.5);
        recorder.stall.store(true);
        wait(stallSeconds);
        recorder.stall.store(false);
        wait(1.0);
        recorder.Stop();
        std::tie(recorded, intact) = Check(*piano, path);
    }
    QFile::remove(path);
    std::printf("recording: processor %.2f %% of one core over %.1f s, after a writer stall of "
                "%.1f s recorded %.2f s, samples as sent %.3f %%\n",
                share, seconds, stallSeconds, recorded, intact);
    mmxUseSystemDevices();
    return intact == 100.0 ? 0 : 1;
}
