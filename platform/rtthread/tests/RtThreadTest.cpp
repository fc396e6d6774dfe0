#include "CRtThread.h"

#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// Runs body on a thread of its own, so the test's own thread keeps its scheduling.
template <typename Body>
void OnThread(Body body) {
    std::thread thread(body);
    thread.join();
}

} // namespace

TEST(RtThread, AnsweredPromotionMatchesTheThreadsPolicy) {
    OnThread([] {
        EXPECT_FALSE(CRtThread::IsRealtime());
        const bool granted = CRtThread::Promote();
        // Granted or not, the answer tells the truth, and waits are no longer stretched.
        EXPECT_EQ(CRtThread::IsRealtime(), granted);
        // (Real-time threads have no slack at all on newer kernels.)
        EXPECT_LE(prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0), 1);
    });
    EXPECT_FALSE(CRtThread::IsRealtime());
}

TEST(RtThread, SwitchedOffByTheEnvironment) {
    setenv("CANTAVO_REALTIME", "0", 1);
    OnThread([] {
        EXPECT_FALSE(CRtThread::Promote());
        EXPECT_FALSE(CRtThread::IsRealtime());
    });
    unsetenv("CANTAVO_REALTIME");
}

TEST(RtThread, ProcessesStartedByAPromotedThreadRunNormally) {
    OnThread([] {
        if (!CRtThread::Promote()) {
            GTEST_SKIP() << "real-time scheduling is not granted here";
        }
        const pid_t child = fork();
        if (child == 0) {
            _exit(CRtThread::IsRealtime() ? 1 : 0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    });
}

TEST(RtThread, NamesTheThread) {
    OnThread([] {
        CRtThread::Name("a-rather-long-thread-name");
        char name[16] = {};
        pthread_getname_np(pthread_self(), name, sizeof name);
        EXPECT_STREQ(name, "a-rather-long-t");
    });
}

TEST(RtThread, ARefusalIsReportedOnceForTheWholeProcess) {
    std::atomic<int> reports{0};
    CRtThread::SetReport([&reports](const std::string& line) {
        EXPECT_NE(line.find("real-time scheduling not granted"), std::string::npos) << line;
        ++reports;
    });
    std::atomic<int> refused{0};
    std::thread first([&refused] { refused += CRtThread::Promote() ? 0 : 1; });
    std::thread second([&refused] { refused += CRtThread::Promote() ? 0 : 1; });
    first.join();
    second.join();
    CRtThread::SetReport(nullptr);
    if (refused == 0) {
        GTEST_SKIP() << "real-time scheduling is granted here: nothing to report";
    }
    EXPECT_EQ(reports, 1);
}
