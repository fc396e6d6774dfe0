#include "CRtThread.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>

namespace {

bool Disabled() {
    const char* setting = std::getenv("CANTAVO_REALTIME");
    return setting != nullptr && std::strcmp(setting, "0") == 0;
}

bool SetFifo(int priority) {
    sched_param param{};
    param.sched_priority = priority;
    // On Linux, 0 names the calling thread, not the whole process.
    return sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &param) == 0;
}

} // namespace

bool CRtThread::Promote(int priority) {
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    if (Disabled()) {
        return false;
    }
    const int wanted = std::clamp(priority, sched_get_priority_min(SCHED_FIFO),
                                  sched_get_priority_max(SCHED_FIFO));
    if (SetFifo(wanted)) {
        return true;
    }
    // Without the privilege, the real-time priority limit may still allow a lower priority.
    rlimit limit{};
    if (getrlimit(RLIMIT_RTPRIO, &limit) != 0 || limit.rlim_cur == 0) {
        return false;
    }
    const rlim_t allowed = std::min<rlim_t>(limit.rlim_cur, static_cast<rlim_t>(wanted));
    return SetFifo(static_cast<int>(allowed));
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
