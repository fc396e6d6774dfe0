#include "CIconWndButton.h"
#include "CLast.h"
#include "CMessageDlg.h"
#include "CMessagePresenter.h"
#include "CTrade.h"
#include "CWaitDlg.h"
#include "CWinMsg.h"
#include "DialogShots.h"
#include "EngineDoubles.h"

#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

// The message box open now, if any.
CMessageDlg* OpenBox() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = dynamic_cast<CMessageDlg*>(widget); box != nullptr && box->isVisible()) {
            return box;
        }
    }
    return nullptr;
}

void Press(CMessageDlg* box, int id) {
    CIconWndButton* button = box->Button(id);
    ASSERT_NE(button, nullptr);
    QTest::mousePress(button, Qt::LeftButton, Qt::NoModifier, button->rect().center());
    QTest::mouseRelease(button, Qt::LeftButton, Qt::NoModifier, button->rect().center());
}

// Answers the next box that opens with `id`, from inside its modal loop.
void AnswerNextBox(int id) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, id] {
        if (CMessageDlg* box = OpenBox()) {
            timer->stop();
            timer->deleteLater();
            Press(box, id);
        }
    });
    timer->start(5);
}

class Presenter : public testing::Test {
protected:
    void SetUp() override {
        UseProgramFont();
        CLast::InitTrade(&trade);
    }
    void TearDown() override {
        CLast::InitFusion(nullptr);
        CLast::InitTrade(nullptr);
    }
    CTrade trade;
};

TEST_F(Presenter, IsTheRegisteredPresenterAndReturnsTheAnswerOfTheBox) {
    CMessagePresenter& presenter = CMessagePresenter::Install();
    EXPECT_EQ(&CLast::Fusion(), &presenter);
    EXPECT_EQ(&CMessagePresenter::Install(), &presenter);

    AnswerNextBox(IDYES);
    EXPECT_EQ(CLast::Fusion().ShowMessage(QStringLiteral("よろしいですか？"), MB_YESNO,
                                          QStringLiteral("メッセージ")),
              IDYES);
    AnswerNextBox(IDNO);
    EXPECT_EQ(CLast::Fusion().ShowMessage(QStringLiteral("よろしいですか？"), MB_YESNO,
                                          QStringLiteral("メッセージ")),
              IDNO);
    AnswerNextBox(IDOK);
    EXPECT_EQ(CLast::Fusion().ShowMessage(QStringLiteral("終了しました。"), MB_OK,
                                          QStringLiteral("メッセージ")),
              IDOK);
    EXPECT_EQ(OpenBox(), nullptr);
}

// A worker's question waits for the answer given on the window thread; a worker's plain
// message is shown there while the worker goes on.
TEST_F(Presenter, AMessageFromAnotherThreadIsShownOnTheWindowThread) {
    CMessagePresenter& presenter = CMessagePresenter::Install();
    const auto windowThread = std::this_thread::get_id();
    std::atomic<int> answer{0};
    // The box opens in a modal loop on this thread; it is answered from inside that loop,
    // after checking that the asking thread is still waiting.
    int answerWhileOpen = -1;
    bool openOnWindowThread = false;
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [&, timer] {
        if (CMessageDlg* box = OpenBox()) {
            timer->stop();
            timer->deleteLater();
            answerWhileOpen = answer.load();
            openOnWindowThread = std::this_thread::get_id() == windowThread;
            Press(box, IDYES);
        }
    });
    timer->start(5);
    std::thread asker([&] {
        answer = presenter.ShowMessage(QStringLiteral("よろしいですか？"), MB_YESNO,
                                       QStringLiteral("メッセージ"));
    });
    ASSERT_TRUE(Eventually([&] { return answer.load() != 0; }));
    asker.join();
    EXPECT_EQ(answer.load(), IDYES);
    EXPECT_EQ(answerWhileOpen, 0);
    EXPECT_TRUE(openOnWindowThread);

    // A plain message: the worker goes on at once, the box opens on the window thread.
    std::atomic<int> told{0};
    std::thread teller([&] {
        told = presenter.ShowMessage(QStringLiteral("ハードディスクの空き容量が足りません。"),
                                     MB_OK, QStringLiteral("メッセージ"));
    });
    teller.join();
    EXPECT_EQ(told.load(), IDOK);
    QString shown;
    auto* okTimer = new QTimer;
    QObject::connect(okTimer, &QTimer::timeout, [&, okTimer] {
        if (CMessageDlg* box = OpenBox()) {
            okTimer->stop();
            okTimer->deleteLater();
            shown = box->ShownText();
            Press(box, IDOK);
        }
    });
    okTimer->start(5);
    ASSERT_TRUE(Eventually([&] { return !shown.isEmpty() && OpenBox() == nullptr; }));
    EXPECT_EQ(shown, QStringLiteral("ハードディスクの空き容量が足りません。"));
}

TEST_F(Presenter, TheWaitingWindowDisablesItsOwnerWhileItIsShown) {
    CMessagePresenter& presenter = CMessagePresenter::Install();
    QWidget owner;
    owner.resize(300, 200);
    owner.show();
    presenter.ShowWaiting(&owner, true);
    CWaitDlg* wait = presenter.Waiting();
    ASSERT_NE(wait, nullptr);
    EXPECT_TRUE(wait->isVisible());
    EXPECT_TRUE(wait->IsRunning());
    EXPECT_EQ(wait->Interval(), 200);
    EXPECT_FALSE(owner.isEnabled());
    EXPECT_TRUE(wait->isEnabled());
    // A second show keeps the one window.
    presenter.ShowWaiting(&owner, true);
    EXPECT_EQ(presenter.Waiting(), wait);

    // A text sent to the waiting window is shown in a box that can be answered.
    const QString text = QStringLiteral("圧縮中です。");
    AnswerNextBox(IDOK);
    CWinMsg::PostMessage(wait, WM_WAITMESSAGE, reinterpret_cast<WPARAM>(&text), 0);
    CWinMsg::PumpMessages();
    EXPECT_EQ(OpenBox(), nullptr);

    presenter.ShowWaiting(&owner, false);
    EXPECT_EQ(presenter.Waiting(), nullptr);
    EXPECT_TRUE(owner.isEnabled());
    // Ending what is not shown is harmless.
    presenter.ShowWaiting(&owner, false);
    EXPECT_TRUE(owner.isEnabled());
}

// The work may end, or its window go, while a message the waiting window was sent is still
// open: the message stays readable until it is answered, and nothing is freed twice.
TEST_F(Presenter, TheWaitingWindowMayEndWhileItsMessageIsOpen) {
    CMessagePresenter& presenter = CMessagePresenter::Install();
    const QString text = QStringLiteral("圧縮中です。");

    // The work ends while the box is open: the owner is usable again at once, and the box
    // stays until it is answered.
    QWidget owner;
    owner.resize(300, 200);
    owner.show();
    presenter.ShowWaiting(&owner, true);
    QPointer<CWaitDlg> wait = presenter.Waiting();
    ASSERT_NE(wait, nullptr);
    bool ended = false;
    bool boxStayed = false;
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [&, timer] {
        CMessageDlg* box = OpenBox();
        if (box == nullptr) {
            return;
        }
        if (!ended) {
            presenter.ShowWaiting(&owner, false);
            ended = true;
            return;
        }
        timer->stop();
        timer->deleteLater();
        boxStayed = true;
        Press(box, IDOK);
    });
    timer->start(5);
    CWinMsg::PostMessage(wait, WM_WAITMESSAGE, reinterpret_cast<WPARAM>(&text), 0);
    ASSERT_TRUE(Eventually([&] { return boxStayed && OpenBox() == nullptr && wait == nullptr; }));
    EXPECT_EQ(presenter.Waiting(), nullptr);
    EXPECT_TRUE(owner.isEnabled());

    // The owner itself goes (its window closes) while the box is open: the waiting window and
    // its box go with it.
    auto* doomed = new QWidget;
    doomed->resize(300, 200);
    doomed->show();
    presenter.ShowWaiting(doomed, true);
    wait = presenter.Waiting();
    ASSERT_NE(wait, nullptr);
    bool deleted = false;
    auto* closer = new QTimer;
    QObject::connect(closer, &QTimer::timeout, [&, closer] {
        if (OpenBox() != nullptr) {
            closer->stop();
            closer->deleteLater();
            delete doomed;
            deleted = true;
        }
    });
    closer->start(5);
    CWinMsg::PostMessage(wait, WM_WAITMESSAGE, reinterpret_cast<WPARAM>(&text), 0);
    ASSERT_TRUE(Eventually([&] { return deleted && OpenBox() == nullptr; }));
    EXPECT_EQ(wait, nullptr);
    EXPECT_EQ(presenter.Waiting(), nullptr);
    // Ending the waiting of a window that is gone is harmless, and a new one can be shown.
    presenter.ShowWaiting(nullptr, false);
    presenter.ShowWaiting(nullptr, true);
    ASSERT_NE(presenter.Waiting(), nullptr);
    presenter.ShowWaiting(nullptr, false);
    EXPECT_EQ(presenter.Waiting(), nullptr);
}

// Workers that report many things at once, while a box of the window thread is open, see
// their messages shown one after the other, each once: never a box opened inside the loop of
// another for each message, which would eat the window thread's stack.
TEST_F(Presenter, ManyMessagesFromSeveralWorkersAreShownOneAfterTheOther) {
    CMessagePresenter& presenter = CMessagePresenter::Install();
    constexpr int kWorkers = 4;
    constexpr int kEach = 40;
    QStringList shown;
    int mostOpen = 0;
    bool workersStarted = false;
    std::vector<std::thread> workers;
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [&] {
        int open = 0;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* box = dynamic_cast<CMessageDlg*>(widget);
                box != nullptr && box->isVisible()) {
                ++open;
            }
        }
        mostOpen = std::max(mostOpen, open);
        if (!workersStarted) {
            // The window thread's own box is open: now the workers speak.
            workersStarted = true;
            for (int w = 0; w < kWorkers; ++w) {
                workers.emplace_back([&presenter, w] {
                    for (int i = 0; i < kEach; ++i) {
                        presenter.ShowMessage(QStringLiteral("%1-%2").arg(w).arg(i), MB_OK,
                                              QStringLiteral("メッセージ"));
                    }
                });
            }
            return;
        }
        // The newest box is answered; the window thread's own box last of all.
        CMessageDlg* newest = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* box = dynamic_cast<CMessageDlg*>(widget);
                box != nullptr && box->isVisible()) {
                if (box->ShownText() != QStringLiteral("処理中です。")) {
                    newest = box;
                }
            }
        }
        if (newest != nullptr) {
            shown << newest->ShownText();
            Press(newest, IDOK);
        } else if (shown.size() == kWorkers * kEach) {
            if (CMessageDlg* own = OpenBox()) {
                Press(own, IDOK);
            }
        }
    });
    timer->start(1);
    EXPECT_EQ(
        presenter.ShowMessage(QStringLiteral("処理中です。"), MB_OK, QStringLiteral("メッセージ")),
        IDOK);
    timer->stop();
    delete timer;
    for (std::thread& worker : workers) {
        worker.join();
    }
    EXPECT_EQ(shown.size(), kWorkers * kEach);
    shown.removeDuplicates();
    EXPECT_EQ(shown.size(), kWorkers * kEach);
    EXPECT_LE(mostOpen, 2);
}

} // namespace
