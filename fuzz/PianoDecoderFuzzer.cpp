#include "CCtrlPanel.h"
#include "CLast.h"
#include "CSysinfo.h"
#include "CWinMsg.h"

#include <QCoreApplication>
#include <cstddef>
#include <cstdint>

// What arrives from the piano (or stands in a file being played) is decoded into settings:
// any bytes, short or system-exclusive, must leave the model valid and never read past them.
namespace {

struct Engine {
    Engine() {
        static int argc = 1;
        static char name[] = "fuzz";
        static char* argv[] = {name, nullptr};
        application = new QCoreApplication(argc, argv);
        sysinfo = new CSysinfo;
        CLast::InitSysinfo(sysinfo);
        panel = new CCtrlPanel;
        sysinfo->SetCtrlPanel(panel);
    }
    QCoreApplication* application;
    CSysinfo* sysinfo;
    CCtrlPanel* panel;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Engine engine;
    void* source = size > 0 && (data[0] & 1) ? engine.sysinfo : nullptr;
    engine.panel->Ev2SysLongMsg(data, size, source);
    for (std::size_t i = 0; i + 4 <= size; i += 4) {
        const std::uint32_t message = data[i] | (data[i + 1] << 8) | (data[i + 2] << 16) |
                                      (static_cast<std::uint32_t>(data[i + 3]) << 24);
        engine.panel->Ev2SysShortMsg(message & (data[i + 3] & 0x80 ? 0xFFFFFFFFu : 0x00FFFFFFu),
                                     source);
    }
    CWinMsg::PumpMessages();
    CSysinfo& model = *engine.sysinfo;
    if (model.GetDefTimbre() < TIM_GRANDPIANO || model.GetDefTimbre() > TIM_PIPEORGAN ||
        model.GetTranspose() < TRANSPOSE_G || model.GetTranspose() > TRANSPOSE_FS ||
        model.GetTuning() < TUNING_1 || model.GetTuning() > TUNING_2) {
        __builtin_trap();
    }
    return 0;
}
