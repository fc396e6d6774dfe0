// Time from a press on the virtual ZQ31's panel to the new value in the shared state: the
// piano's MIDI output, the input device, the recorder's callback, the control panel's decoder
// and the setter.
//   build/ci/bin/panel_latency [presses]
#include "CCtrlPanel.h"
#include "CLast.h"
#include "CSequencerRec.h"
#include "CSysinfo.h"
#include "CVirtualPiano.h"
#include "mmsystemx.h"

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

double Percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(share * static_cast<double>(values.size() - 1))];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const int presses = argc > 1 ? std::max(10, std::atoi(argv[1])) : 2000;
    auto piano = mmxUseVirtualPiano(std::make_shared<CVirtualPiano>());
    piano->SetActiveSensing(false);
    CSysinfo sysinfo;
    CLast::InitSysinfo(&sysinfo);
    CCtrlPanel panel;
    CSequencerRec recorder;
    sysinfo.SetCtrlPanel(&panel);
    sysinfo.SetSequencerRec(&recorder);
    if (recorder.Initialize() != 0) {
        std::fprintf(stderr, "panel_latency: the MIDI input does not open\n");
        return 1;
    }
    std::vector<double> latencies;
    latencies.reserve(static_cast<std::size_t>(presses));
    for (int i = 0; i < presses; ++i) {
        const bool dark = i % 2 == 0;
        const E_BRILLIANCE wanted = dark ? BRILL_DARK : BRILL_BRITE;
        const auto start = std::chrono::steady_clock::now();
        piano->PressBrilliance(dark ? 80 : 48);
        while (sysinfo.GetBrilliance() != wanted) {
            std::this_thread::yield();
        }
        latencies.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                .count());
    }
    recorder.Terminate();
    sysinfo.SetCtrlPanel(nullptr);
    sysinfo.SetSequencerRec(nullptr);
    CLast::InitSysinfo(nullptr);
    std::printf("panel press to shared state over %d presses: median %.1f us, p99 %.1f us, "
                "max %.1f us\n",
                presses, Percentile(latencies, 0.5), Percentile(latencies, 0.99),
                Percentile(latencies, 1.0));
    mmxUseSystemDevices();
    return 0;
}
