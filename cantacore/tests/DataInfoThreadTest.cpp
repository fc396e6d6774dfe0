#include "CWinMsg.h"
#include "EngineDoubles.h"
#include "QtPrinters.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

TEST(ModelThreads, ABurstOfNotesLeavesOnePendingMessageWithTheLastState) {
    CTestModel model;
    std::thread worker([&model] {
        for (unsigned int i = 0; i < 10000; ++i) {
            model.PostScoreNote(21 + i % 88, (i * 7) % 128);
            model.PostKeyboardNote(21 + i % 88, i % 2);
        }
        model.PostScoreNote(60, 127);
    });
    worker.join();
    CWinMsg::PumpMessages();
    EXPECT_EQ(model.dancingNote.Count(WM_DATACHANGE), 1);
    EXPECT_EQ(model.keyboard.Count(WM_DATACHANGE), 1);
    EXPECT_EQ(model.GetScoreDisp(60 - 21), 7u);
}

TEST(ModelThreads, SettersFromFourThreadsKeepTheModelConsistent) {
    CTestModel model;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&model, t] {
            for (int i = 0; i < 300; ++i) {
                model.SetTempo(40 + static_cast<unsigned int>((i * 4 + t) % 261), nullptr);
                model.SetBrilliance(static_cast<E_BRILLIANCE>((i + t) % 5), nullptr);
                model.SetDefTimbre(static_cast<E_TIMBRE>((i + t) % 8), nullptr);
                model.SetDualTimbre(static_cast<E_TIMBRE>((i * 3 + t) % 9 - 1), nullptr);
                model.PostAudTimeDisp(static_cast<unsigned int>(i) * 1000);
                model.PostScoreNote(21 + static_cast<unsigned int>(i % 88), 64);
                (void)model.GetSeqMemo();
                (void)model.GetAllScoreDisp();
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    CWinMsg::PumpMessages();
    EXPECT_GE(model.GetTempo(), 40u);
    EXPECT_LE(model.GetTempo(), 300u);
    EXPECT_GE(model.GetDefTimbre(), TIM_GRANDPIANO);
    EXPECT_LE(model.GetDefTimbre(), TIM_PIPEORGAN);
    EXPECT_GE(model.GetDualTimbre(), TIM_NONE);
    EXPECT_LE(model.GetDualTimbre(), TIM_PIPEORGAN);
    EXPECT_LE(model.GetBrilliance(), BRILL_DARK);
    EXPECT_FALSE(model.GetAudTimeDisp().isEmpty());
}

// The device watch stops the metronome on its thread while the window thread reads the status
// before the stop is announced: every stop is still announced to the metronome window.
TEST(ModelThreads, EveryMetronomeStopIsAnnouncedWhenAnotherThreadReadsTheStatusFirst) {
    CTestModel model;
    model.Settle();
    constexpr int kCycles = 200;
    std::atomic<int> stopped{0}; // cycles whose stop the watch has made
    std::atomic<int> seen{0};    // cycles whose stop the reader has looked at
    std::thread watch([&] {
        for (int i = 1; i <= kCycles; ++i) {
            model.metronome.running = true;
            model.SetMetStatus(MET_START, nullptr);
            model.metronome.running = false;
            stopped = i;
            while (seen.load() < i) {
                std::this_thread::yield();
            }
            model.SetMetStatus(MET_STOP, nullptr);
        }
    });
    while (seen.load() < kCycles) {
        const int next = stopped.load();
        if (next > seen.load()) {
            EXPECT_EQ(model.GetMetStatus(), MET_STOP);
            seen = next;
        } else {
            std::this_thread::yield();
        }
    }
    watch.join();
    CWinMsg::PumpMessages();
    EXPECT_EQ(model.metronomeDlg.Count(WM_DATACHANGE), 2 * kCycles);
}
