// Time from posting a window message on a worker thread to its handler running on the
// receiving thread's event loop.
//   build/ci/bin/winmsg_latency [messages]
#include "CMessageReceiver.h"
#include "CWinMsg.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr UINT WM_PING = WM_USER + 1;

std::atomic<long long> g_postedAt{0};
std::atomic<bool> g_handled{true};
std::vector<double> g_latencies;

long long Now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

class CPing : public CMessageReceiver<QObject> {
protected:
    LRESULT OnMessage(UINT, WPARAM, LPARAM) override {
        g_latencies.push_back(static_cast<double>(Now() - g_postedAt.load()) / 1000.0);
        g_handled = true;
        return 0;
    }
};

double Percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(share * static_cast<double>(values.size() - 1));
    return values[index];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const int count = argc > 1 ? std::max(100, std::atoi(argv[1])) : 20000;
    g_latencies.reserve(static_cast<std::size_t>(count));
    CPing receiver;

    std::thread worker([&receiver, count] {
        for (int i = 0; i < count; ++i) {
            while (!g_handled.load()) {
                std::this_thread::yield();
            }
            g_handled = false;
            g_postedAt = Now();
            CWinMsg::PostMessage(&receiver, WM_PING, static_cast<WPARAM>(i), 0);
        }
    });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (g_latencies.size() == static_cast<std::size_t>(count)) {
            QCoreApplication::quit();
        }
    });
    poll.start(10);
    QCoreApplication::exec();
    worker.join();

    std::printf("window message latency over %d posts: median %.2f us, p99 %.2f us, max %.2f us\n",
                count, Percentile(g_latencies, 0.5), Percentile(g_latencies, 0.99),
                Percentile(g_latencies, 1.0));
    return 0;
}
