#include "CLast.h"
#include "CPrivateAction.h"
#include "CPublicAction.h"
#include "CTrace.h"
#include "QtPrinters.h"
#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using namespace std::chrono_literals;

namespace {

// Polls until done() holds, for at most ten seconds on a busy machine.
template <typename Condition>
bool Eventually(Condition done) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// Registers a tracing writer for the locks' own lines and restores the library's afterwards.
class TracedLocks : public testing::Test {
protected:
    void SetUp() override {
        m_folder = MakeTestFolder(QStringLiteral("locks"));
        m_trace =
            std::make_unique<CTrace>(QStringLiteral("Vesk"), QStringLiteral("x trace"), m_folder);
        CLast::InitTrace(m_trace.get());
    }
    void TearDown() override { CLast::InitTrace(&CTrace::LibraryWriter()); }

    QString AllLogs() const {
        QString text;
        for (const QString& name : QDir(m_folder).entryList({QStringLiteral("*.log")})) {
            QFile file(m_folder + QLatin1Char('/') + name);
            if (file.open(QIODevice::ReadOnly)) {
                text += QString::fromUtf8(file.readAll());
            }
        }
        return text;
    }

    QString m_folder;
    std::unique_ptr<CTrace> m_trace;
};

} // namespace

TEST_F(TracedLocks, ASecondThreadWaitsAndItsTraceNamesTheHolder) {
    std::atomic<bool> secondHolds{false};
    std::thread second;
    {
        const CPrivateAction first(7, "CMetronome", "Start");
        second = std::thread([&secondHolds] {
            const CPrivateAction lock(7, "CSequencerPlay", "Start");
            secondHolds = true;
        });
        // The second thread has asked once its name stands in the slot.
        ASSERT_TRUE(Eventually([] {
            return CKiroCriticalSection::Requester(7) == QStringLiteral("CSequencerPlay::Start");
        }));
        std::this_thread::sleep_for(20ms);
        EXPECT_FALSE(secondHolds.load());
    }
    second.join();
    EXPECT_TRUE(secondHolds.load());
    EXPECT_TRUE(CKiroCriticalSection::Requester(7).isEmpty());

    const QString logs = AllLogs();
    EXPECT_TRUE(logs.contains(QStringLiteral("CMetronome::Start(7): in \n")));
    EXPECT_TRUE(logs.contains(QStringLiteral("CSequencerPlay::Start(7): in CMetronome::Start\n")));
    EXPECT_TRUE(logs.contains(QStringLiteral("CMetronome::Start(7): out\n")));
    EXPECT_TRUE(logs.contains(QStringLiteral("CSequencerPlay::Start(7): out\n")));
}

TEST_F(TracedLocks, NamesGivenAtRunTimeAreKept) {
    {
        const CPrivateAction lock(12, QStringLiteral("CAudioPlay"), QStringLiteral("lpQue"));
        EXPECT_EQ(CKiroCriticalSection::Requester(12), QStringLiteral("CAudioPlay::lpQue"));
    }
    EXPECT_TRUE(AllLogs().contains(QStringLiteral("CAudioPlay::lpQue(12): out\n")));
}

TEST(Locks, SlotsAboveTheTableShareTheLastSlot) {
    auto high = std::make_unique<CPrivateAction>(300, "global", "High");
    EXPECT_EQ(high->Slot(), 255u);
    EXPECT_EQ(CKiroCriticalSection::Requester(255), QStringLiteral("global::High"));

    std::atomic<bool> entered{false};
    std::thread other([&entered] {
        const CPrivateAction last(255, "global", "Last");
        entered = true;
    });
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(entered.load());
    high.reset();
    other.join();
    EXPECT_TRUE(entered.load());
}

TEST(Locks, AThreadMayTakeItsOwnSlotAgain) {
    const CPublicAction outer("CManage", "SeqPlay");
    EXPECT_EQ(outer.Slot(), 88u);
    const CPublicAction inner("CSequencerPlay", "Start");
    const CPrivateAction device(99, "kiromidi", "OutShortMsg");
    const CPrivateAction again(99, "kiromidi", "OutLongMsg");
    SUCCEED();
}

TEST(Locks, CopiesHoldTheSlotUntilTheLastOneGoes) {
    std::atomic<bool> entered{false};
    std::thread other;
    {
        auto original = std::make_unique<CPrivateAction>(20, "global", "Original");
        const CKiroCriticalSection copy(*original);
        EXPECT_EQ(copy.Name(), QStringLiteral("global::Original"));
        original.reset();
        other = std::thread([&entered] {
            const CPrivateAction lock(20, "global", "Other");
            entered = true;
        });
        std::this_thread::sleep_for(20ms);
        EXPECT_FALSE(entered.load());
    }
    other.join();
    EXPECT_TRUE(entered.load());
}

TEST(Locks, AssignmentMovesTheHoldToTheOtherSlot) {
    CPrivateAction lock(21, "global", "First");
    {
        const CPrivateAction other(22, "global", "Second");
        lock = other;
    }
    EXPECT_EQ(lock.Slot(), 22u);
    // Slot 21 is free again: another thread can take it while this one still holds 22.
    std::atomic<bool> took21{false};
    std::thread([&took21] {
        const CPrivateAction free(21, "global", "Free");
        took21 = true;
    }).join();
    EXPECT_TRUE(took21.load());
}

TEST(Locks, GuardedCountersStayExactUnderContention) {
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&counter] {
            for (int i = 0; i < 20000; ++i) {
                const CPrivateAction lock(3, "CMetronome", "MetroCount");
                ++counter;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(counter, 80000);
}
