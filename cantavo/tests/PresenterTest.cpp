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
#include <QTest>
#include <QTimer>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

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

} // namespace
