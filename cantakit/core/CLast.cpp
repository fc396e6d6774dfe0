#include "CLast.h"

#include "CDummy.h"
#include "CFusion.h"
#include "CRtThread.h"
#include "CTrace.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

std::atomic<CTrace*> g_trace{nullptr};
std::atomic<CFusion*> g_fusion{nullptr};
std::atomic<CTrade*> g_trade{nullptr};
std::atomic<CManage*> g_manage{nullptr};
std::atomic<CSysinfo*> g_sysinfo{nullptr};
std::atomic<CDummy*> g_dummy{nullptr};
std::atomic<QObject*> g_handle{nullptr};
std::atomic<std::uint32_t> g_lastAccess{0};

// Stands in until the application registers its presenter (tools and tests that run the
// engine without windows). A message is never lost silently, and a question counts as No, so
// nothing destructive happens without an answer.
class CStderrFusion final : public CFusion {
public:
    int ShowMessage(QString text, unsigned int style, QString caption) override {
        std::fprintf(stderr, "[%s] %s\n", caption.toUtf8().constData(), text.toUtf8().constData());
        return style == MB_YESNO ? IDNO : IDOK;
    }
    void ShowWaiting(QWidget*, bool) override {}
};

class CNoEngine final : public CDummy {
public:
    unsigned int GetWaveOutDev() override { return 0xFFFFFFFFu; }
    unsigned int GetWaveInDev() override { return 0xFFFFFFFFu; }
    void PostAudLevelMeter(E_AUDLEVELOUT, E_AUDLEVELOUT) override {}
    void StopAudPlayFromMiddle() override {}
    void PostAudTimeDisp(unsigned int) override {}
    void StopAudRecFromMiddle() override {}
    void ErrorMessageFromMiddle(CVeskError) override {}
};

[[noreturn]] void Unregistered(const char* what) {
    std::fprintf(stderr, "Cantakit: %s was used before it was registered\n", what);
    std::abort();
}

template <typename T>
T& Registered(const std::atomic<T*>& slot, const char* what) {
    T* object = slot.load(std::memory_order_acquire);
    if (object == nullptr) {
        Unregistered(what);
    }
    return *object;
}

} // namespace

void CLast::InitTrace(CTrace* trace) {
    g_trace.store(trace, std::memory_order_release);
    // A device thread refused real-time scheduling says so once, in whichever log is current.
    static std::once_flag reportSet;
    std::call_once(reportSet, [] {
        CRtThread::SetReport([](const std::string& line) {
            if (CTrace* current = g_trace.load(std::memory_order_acquire)) {
                current->TraceLine() << QString::fromStdString(line) << "\n";
            }
        });
    });
}
void CLast::InitFusion(CFusion* fusion) {
    g_fusion.store(fusion, std::memory_order_release);
}
void CLast::InitTrade(CTrade* trade) {
    g_trade.store(trade, std::memory_order_release);
}
void CLast::InitManage(CManage* manage) {
    g_manage.store(manage, std::memory_order_release);
}
void CLast::InitSysinfo(CSysinfo* sysinfo) {
    g_sysinfo.store(sysinfo, std::memory_order_release);
}
void CLast::InitDummy(CDummy* dummy) {
    g_dummy.store(dummy, std::memory_order_release);
}
void CLast::InitHandle(QObject* handle) {
    g_handle.store(handle, std::memory_order_release);
}

CTrace& CLast::Trace() {
    CTrace* trace = g_trace.load(std::memory_order_acquire);
    return trace != nullptr ? *trace : CTrace::LibraryWriter();
}

CFusion& CLast::Fusion() {
    static CStderrFusion standIn;
    CFusion* fusion = g_fusion.load(std::memory_order_acquire);
    return fusion != nullptr ? *fusion : standIn;
}

CDummy& CLast::Dummy() {
    static CNoEngine standIn;
    CDummy* dummy = g_dummy.load(std::memory_order_acquire);
    return dummy != nullptr ? *dummy : standIn;
}

CTrade& CLast::Trade() {
    return Registered(g_trade, "the skin catalogue");
}
CManage& CLast::Manage() {
    return Registered(g_manage, "the transport manager");
}
CSysinfo& CLast::Sysinfo() {
    return Registered(g_sysinfo, "the engine's event receiver");
}
QObject* CLast::Handle() {
    return g_handle.load(std::memory_order_acquire);
}

bool CLast::HasFusion() {
    return g_fusion.load(std::memory_order_acquire) != nullptr;
}
bool CLast::HasDummy() {
    return g_dummy.load(std::memory_order_acquire) != nullptr;
}
bool CLast::HasTrade() {
    return g_trade.load(std::memory_order_acquire) != nullptr;
}
bool CLast::HasManage() {
    return g_manage.load(std::memory_order_acquire) != nullptr;
}
bool CLast::HasSysinfo() {
    return g_sysinfo.load(std::memory_order_acquire) != nullptr;
}

std::uint32_t CLast::GetTickCount() {
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms));
}

void CLast::UpdateAccess() {
    g_lastAccess.store(GetTickCount(), std::memory_order_relaxed);
}

std::uint32_t CLast::GetLastAccess() {
    return g_lastAccess.load(std::memory_order_relaxed);
}

std::uint32_t CLast::GetIdleTime() {
    return TickElapsed(GetLastAccess(), GetTickCount());
}
