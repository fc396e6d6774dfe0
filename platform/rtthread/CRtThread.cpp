#include "CRtThread.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QVariant>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr const char* kRtkitService = "org.freedesktop.RealtimeKit1";
constexpr const char* kRtkitPath = "/org/freedesktop/RealtimeKit1";

std::mutex& ReportLock() {
    static auto* lock = new std::mutex;
    return *lock;
}

std::function<void(const std::string&)>& Report() {
    static auto* report = new std::function<void(const std::string&)>;
    return *report;
}

std::atomic<bool> g_reported{false};
// Once RTKit has proved missing (no system bus, no service), it is not asked again.
std::atomic<bool> g_rtkitMissing{false};

bool Disabled() {
    const char* setting = std::getenv("CANTAVO_REALTIME");
    return setting != nullptr && std::strcmp(setting, "0") == 0;
}

// ThreadSanitizer's own locks spin: a real-time thread spinning on one held by an ordinary
// thread it has pushed off the processor stalls both, so sanitizer builds, which check for
// races and not for timing, keep every thread at normal scheduling.
#if defined(__SANITIZE_THREAD__)
constexpr bool kUnderThreadSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr bool kUnderThreadSanitizer = true;
#else
constexpr bool kUnderThreadSanitizer = false;
#endif
#else
constexpr bool kUnderThreadSanitizer = false;
#endif

bool SetFifo(int priority) {
    sched_param param{};
    param.sched_priority = priority;
    // On Linux, 0 names the calling thread, not the whole process.
    return sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &param) == 0;
}

// A property of RTKit, or fallback when it cannot be read.
qlonglong RtkitProperty(QDBusConnection& bus, const char* name, qlonglong fallback) {
    QDBusMessage get = QDBusMessage::createMethodCall(
        QString::fromLatin1(kRtkitService), QString::fromLatin1(kRtkitPath),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QString::fromLatin1(kRtkitService) << QString::fromLatin1(name);
    const QDBusMessage reply = bus.call(get, QDBus::Block, 2000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return fallback;
    }
    bool ok = false;
    const qlonglong value =
        qvariant_cast<QDBusVariant>(reply.arguments().first()).variant().toLongLong(&ok);
    return ok ? value : fallback;
}

// Asks RTKit for the calling thread; the reason in why when it says no.
bool ViaRtkit(int priority, std::string& why) {
    if (g_rtkitMissing) {
        why = "RTKit is not reachable";
        return false;
    }
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        g_rtkitMissing = true;
        why = "no D-Bus system bus for RTKit";
        return false;
    }
    const qlonglong highest = RtkitProperty(bus, "MaxRealtimePriority", -1);
    if (highest <= 0) {
        g_rtkitMissing = true;
        why = "RTKit does not answer";
        return false;
    }
    // RTKit requires the process to be limited to its time slice without blocking.
    const qlonglong rttime = RtkitProperty(bus, "RTTimeUSecMax", 200000);
    rlimit limit{};
    if (getrlimit(RLIMIT_RTTIME, &limit) == 0 &&
        (limit.rlim_max == RLIM_INFINITY || limit.rlim_max > static_cast<rlim_t>(rttime))) {
        limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(rttime);
        setrlimit(RLIMIT_RTTIME, &limit);
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(kRtkitService), QString::fromLatin1(kRtkitPath),
        QString::fromLatin1(kRtkitService), QStringLiteral("MakeThreadRealtime"));
    call << static_cast<qulonglong>(gettid())
         << static_cast<uint>(std::min<qlonglong>(priority, highest));
    const QDBusMessage reply = bus.call(call, QDBus::Block, 2000);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        why = "RTKit refused: " + reply.errorMessage().toStdString();
        return false;
    }
    return true;
}

// The first refusal that finds somewhere to report to is reported; later ones are not.
void ReportOnce(const std::string& why) {
    const std::lock_guard<std::mutex> guard(ReportLock());
    if (!Report() || g_reported.exchange(true)) {
        return;
    }
    Report()("real-time scheduling not granted (" + why +
             "); the device threads run at normal priority");
}

} // namespace

bool CRtThread::Promote(int priority) {
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    if (Disabled()) {
        ReportOnce("switched off by CANTAVO_REALTIME=0");
        return false;
    }
    if (kUnderThreadSanitizer) {
        ReportOnce("not used under ThreadSanitizer");
        return false;
    }
    const int wanted = std::clamp(priority, sched_get_priority_min(SCHED_FIFO),
                                  sched_get_priority_max(SCHED_FIFO));
    if (SetFifo(wanted)) {
        return true;
    }
    // Without the privilege, the real-time priority limit may still allow a lower priority.
    rlimit limit{};
    if (getrlimit(RLIMIT_RTPRIO, &limit) == 0 && limit.rlim_cur > 0) {
        const rlim_t allowed = std::min<rlim_t>(limit.rlim_cur, static_cast<rlim_t>(wanted));
        if (SetFifo(static_cast<int>(allowed))) {
            return true;
        }
    }
    std::string why;
    if (ViaRtkit(wanted, why)) {
        return true;
    }
    ReportOnce(why);
    return false;
}

bool CRtThread::IsRealtime() {
    const int policy = sched_getscheduler(0) & ~SCHED_RESET_ON_FORK;
    return policy == SCHED_FIFO || policy == SCHED_RR;
}

void CRtThread::Name(const char* name) {
    char shortName[16] = {};
    std::strncpy(shortName, name, sizeof shortName - 1);
    pthread_setname_np(pthread_self(), shortName);
}

void CRtThread::SetReport(std::function<void(const std::string& line)> report) {
    const std::lock_guard<std::mutex> guard(ReportLock());
    Report() = std::move(report);
}
