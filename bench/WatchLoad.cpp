// What the device watch costs while the piano is connected and it scans every millisecond:
// the process's processor time over some seconds, as a share of one core.
//   build/ci/bin/watch_load [seconds]
#include "CCheckUSBdev.h"
#include "CLast.h"
#include "CSysinfo.h"
#include "CVirtualPiano.h"
#include "mmsystemx.h"

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <thread>

namespace {

double ProcessorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    auto piano = mmxUseVirtualPiano(std::make_shared<CVirtualPiano>());
    piano->SetActiveSensing(false);
    CSysinfo sysinfo;
    CLast::InitSysinfo(&sysinfo);
    {
        CCheckUSBdev watch;
        const double before = ProcessorSeconds();
        const auto start = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        const double used = ProcessorSeconds() - before;
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("device watch with the piano connected: %.2f%% of one core over %.0f s\n",
                    100.0 * used / wall, wall);
    }
    CLast::InitSysinfo(nullptr);
    mmxUseSystemDevices();
    return 0;
}
