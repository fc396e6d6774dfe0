#include "CMessageMap.h"
#include "CMessageReceiver.h"
#include "CWinMsg.h"

#include <QCoreApplication>
#include <QObject>
#include <atomic>
#include <gtest/gtest.h>
#include <set>
#include <thread>
#include <vector>

namespace {

constexpr UINT WM_DATACHANGE = 0x416;
constexpr UINT WM_AUDLEVEL = 0x417;

class CCounter : public CMessageReceiver<QObject> {
public:
    LRESULT OnDataChange(WPARAM wParam, LPARAM) {
        ++dataChanges;
        lastWParam = wParam;
        seen.insert(wParam);
        return 1;
    }
    LRESULT OnAudLevel(WPARAM, LPARAM lParam) {
        ++levels;
        lastLParam = lParam;
        return 2;
    }
    LRESULT Deliver(UINT message, WPARAM wParam, LPARAM lParam) {
        return OnMessage(message, wParam, lParam);
    }

    int dataChanges = 0;
    int levels = 0;
    WPARAM lastWParam = 0;
    LPARAM lastLParam = 0;
    std::set<WPARAM> seen;
    static inline std::atomic<int> anyHandled{0};

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        static const CMessageMap<CCounter> map{
            {WM_DATACHANGE, &CCounter::OnDataChange},
            {WM_AUDLEVEL, &CCounter::OnAudLevel},
        };
        ++anyHandled;
        return map.Dispatch(this, message, wParam, lParam);
    }
};

} // namespace

TEST(WindowMessages, PostedMessagesArriveOnlyWhenPumped) {
    CCounter receiver;
    ASSERT_TRUE(CWinMsg::PostMessage(&receiver, WM_AUDLEVEL, 0, -5));
    EXPECT_EQ(receiver.levels, 0);
    CWinMsg::PumpMessages();
    EXPECT_EQ(receiver.levels, 1);
    EXPECT_EQ(receiver.lastLParam, -5);
}

TEST(WindowMessages, TheMessageMapCallsTheNamedHandler) {
    CCounter receiver;
    EXPECT_EQ(receiver.Deliver(WM_DATACHANGE, 7, 0), 1);
    EXPECT_EQ(receiver.Deliver(WM_AUDLEVEL, 0, 9), 2);
    EXPECT_EQ(receiver.Deliver(0x999, 0, 0), 0);
    EXPECT_EQ(receiver.dataChanges, 1);
    EXPECT_EQ(receiver.levels, 1);
}

TEST(WindowMessages, RemovalTakesOnlyThatNumber) {
    CCounter receiver;
    CWinMsg::PostMessage(&receiver, WM_DATACHANGE, 1, 0);
    CWinMsg::PostMessage(&receiver, WM_DATACHANGE, 2, 0);
    CWinMsg::PostMessage(&receiver, WM_AUDLEVEL, 0, 3);
    CWinMsg::RemoveMessages(&receiver, WM_DATACHANGE);
    CWinMsg::PumpMessages();
    EXPECT_EQ(receiver.dataChanges, 0);
    EXPECT_EQ(receiver.levels, 1);
}

TEST(WindowMessages, ABurstOfReplacedMessagesLeavesOneWithTheLastValue) {
    CCounter receiver;
    std::thread worker([&receiver] {
        for (WPARAM i = 1; i <= 10000; ++i) {
            CWinMsg::ReplaceMessage(&receiver, WM_DATACHANGE, i, 0);
        }
    });
    worker.join();
    CWinMsg::PumpMessages();
    EXPECT_EQ(receiver.dataChanges, 1);
    EXPECT_EQ(receiver.lastWParam, 10000u);
}

// Deferred commands share one message number and differ in their id: a burst of one command
// collapses into its last, and never swallows a waiting command of another id.
TEST(WindowMessages, ReplacingByIdKeepsOtherIdsAndTheirOrder) {
    CCounter receiver;
    CWinMsg::ReplaceMessageById(&receiver, WM_DATACHANGE, 7, 1);
    CWinMsg::ReplaceMessageById(&receiver, WM_DATACHANGE, 8, 2);
    CWinMsg::PostMessage(&receiver, WM_DATACHANGE, 9, 3);
    for (LPARAM i = 10; i < 1000; ++i) {
        CWinMsg::ReplaceMessageById(&receiver, WM_DATACHANGE, 7, i);
    }
    CWinMsg::PumpMessages();
    EXPECT_EQ(receiver.dataChanges, 3);
    EXPECT_EQ(receiver.seen, (std::set<WPARAM>{7, 8, 9}));
    // The replacement waits in the place of the first post.
    EXPECT_EQ(receiver.lastWParam, 9u);

    // Once delivered, the same id posts afresh.
    CWinMsg::ReplaceMessageById(&receiver, WM_DATACHANGE, 7, 5);
    CWinMsg::PumpMessages();
    EXPECT_EQ(receiver.dataChanges, 4);

    // Removal by number takes the replaceable ones too.
    CWinMsg::ReplaceMessageById(&receiver, WM_DATACHANGE, 8, 0);
    CWinMsg::RemoveMessages(&receiver, WM_DATACHANGE);
    CWinMsg::PumpMessages();
    EXPECT_EQ(receiver.dataChanges, 4);
}

TEST(WindowMessages, ReplacedByIdFromManyThreadsLeavesOnePerId) {
    CCounter receiver;
    std::vector<std::thread> threads;
    for (WPARAM id = 0; id < 4; ++id) {
        threads.emplace_back([&receiver, id] {
            for (LPARAM i = 0; i < 2000; ++i) {
                CWinMsg::ReplaceMessageById(&receiver, WM_DATACHANGE, id, i);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    CWinMsg::PumpMessages();
    EXPECT_EQ(receiver.dataChanges, 4);
    EXPECT_EQ(receiver.seen, (std::set<WPARAM>{0, 1, 2, 3}));
}

TEST(WindowMessages, PostsFromFourThreadsAllArrive) {
    CCounter receiver;
    std::vector<std::thread> threads;
    for (WPARAM t = 0; t < 4; ++t) {
        threads.emplace_back([&receiver, t] {
            for (WPARAM i = 0; i < 2500; ++i) {
                EXPECT_TRUE(CWinMsg::PostMessage(&receiver, WM_DATACHANGE, t * 10000 + i, 0));
            }
        });
    }
    // Handle while they post, as the window thread would.
    while (receiver.dataChanges < 10000) {
        CWinMsg::PumpMessages();
        std::this_thread::yield();
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    CWinMsg::PumpMessages();
    EXPECT_EQ(receiver.dataChanges, 10000);
    EXPECT_EQ(receiver.seen.size(), 10000u);
}

TEST(WindowMessages, NothingReachesADestroyedReceiver) {
    CCounter::anyHandled = 0;
    auto* receiver = new CCounter;
    QObject* address = receiver;
    CWinMsg::PostMessage(receiver, WM_DATACHANGE, 1, 0);
    delete receiver;
    EXPECT_FALSE(CWinMsg::IsRegistered(address));
    EXPECT_FALSE(CWinMsg::PostMessage(address, WM_DATACHANGE, 2, 0));
    CWinMsg::PumpMessages();
    EXPECT_EQ(CCounter::anyHandled.load(), 0);
}

TEST(WindowMessages, ReceiversComeAndGoWhileOthersPost) {
    CCounter::anyHandled = 0;
    std::atomic<QObject*> current{nullptr};
    std::atomic<bool> stop{false};
    std::atomic<int> attempts{0};
    std::thread poster([&] {
        while (!stop) {
            CWinMsg::PostMessage(current.load(), WM_DATACHANGE, 1, 0);
            ++attempts;
        }
    });
    // Keep replacing receivers until the poster has really been racing with us.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (int round = 0;
         round < 300 || (attempts < 2000 && std::chrono::steady_clock::now() < deadline); ++round) {
        auto* receiver = new CCounter;
        current = receiver;
        CWinMsg::PumpMessages();
        current = nullptr;
        delete receiver;
    }
    stop = true;
    poster.join();
    CWinMsg::PumpMessages();
    EXPECT_GT(attempts.load(), 0);
}

TEST(WindowMessages, OutOfRangeNumbersAndNullReceiversAreRefused) {
    CCounter receiver;
    EXPECT_FALSE(CWinMsg::PostMessage(nullptr, WM_DATACHANGE, 0, 0));
    EXPECT_FALSE(CWinMsg::PostMessage(&receiver, 0x10000, 0, 0));
    QObject plain;
    EXPECT_FALSE(CWinMsg::PostMessage(&plain, WM_DATACHANGE, 0, 0));
}

namespace {

// Counts the window messages of one number that reach an object, replaced ones included.
class CQueueWatcher : public QObject {
public:
    explicit CQueueWatcher(UINT message) : m_type(QEvent::User + static_cast<int>(message)) {}
    int reached = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        reached += event->type() == m_type ? 1 : 0;
        return false;
    }

private:
    int m_type;
};

} // namespace

// While the receiving thread is busy (a spin button held for a long time, a slow handler), a
// burst of replacements by id must not pile up in the queue: what waits there stays bounded
// by the number of ids, as it does for ReplaceMessage.
TEST(WindowMessages, ABurstReplacedByIdDoesNotPileUpInTheQueue) {
    CCounter receiver;
    CQueueWatcher watcher(WM_DATACHANGE);
    receiver.installEventFilter(&watcher);
    for (int i = 0; i < 10000; ++i) {
        ASSERT_TRUE(CWinMsg::ReplaceMessageById(&receiver, WM_DATACHANGE, 7, i));
    }
    CWinMsg::PumpMessages();
    EXPECT_EQ(receiver.dataChanges, 1);
    EXPECT_LE(watcher.reached, 2) << "events queued for one id";
    receiver.removeEventFilter(&watcher);
}
