#include "CIconWnd.h"
#include "CIconWndButton.h"
#include "CIconWndFrosted.h"
#include "CIconWndSelfish.h"
#include "CLast.h"
#include "IconMessages.h"
#include "MessageLog.h"
#include "TestArt.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QDeadlineTimer>
#include <QPointer>
#include <QTest>
#include <QThread>
#include <QTimerEvent>
#include <functional>
#include <gtest/gtest.h>

namespace {

constexpr UINT kClick = 0x424;

QRgb Centre(QWidget& widget) {
    const QImage picture = widget.grab().toImage();
    return picture.pixel(picture.width() / 2, picture.height() / 2) & 0xFFFFFF;
}

// A parent window that logs messages, with one button of the test art at (10, 10).
class ButtonTest : public testing::Test {
protected:
    void Make(CBmpMask::EVENT_FLAG flag) {
        parent.resize(200, 100);
        ASSERT_EQ(button.Create(QRect(10, 10, 40, 40), &parent,
                                TestArt::ButtonMask(&parent, flag, kClick)),
                  1);
        parent.show();
    }
    int Clicks() { return parent.Settled(kClick); }

    MessageLog parent;
    CIconWndButton button;
};

// Sends the button's repeat timer one tick, as Qt would after the scheduled interval.
void Tick(CIconWndButton& button) {
    QTimerEvent tick(button.RepeatTimerId());
    QCoreApplication::sendEvent(&button, &tick);
}

} // namespace

// ---- CIconWnd: frames, outline, sliding, children ----

TEST(IconWnd, TakesTheOutlineAndSizeOfFrameZero) {
    QWidget parent;
    CIconWnd icon;
    CBmpMask mask(&parent);
    mask.SetAniBmp(TestArt::Disc(30, TestArt::kUp));
    mask.SetAniBmp(TestArt::Block(50, 20, 2, TestArt::kPressed));
    ASSERT_EQ(icon.Create(QRect(5, 5, 100, 100), &parent, mask), 1);
    EXPECT_EQ(icon.CurrentFrame(), 0);
    EXPECT_EQ(icon.geometry(), QRect(5, 5, 30, 30));
    EXPECT_EQ(icon.mask(), mask.GetAniRgn(0));
    EXPECT_FALSE(icon.HitTest(QPoint(0, 0))) << "a key-coloured corner is outside";
    EXPECT_TRUE(icon.HitTest(QPoint(15, 15)));
    EXPECT_EQ(Centre(icon), TestArt::kUp.rgb() & 0xFFFFFF);
}

TEST(IconWnd, DataChangeSelectsShowsSlidesAndHides) {
    MessageLog parent;
    parent.resize(400, 400);
    CIconWnd icon;
    CBmpMask mask(&parent);
    mask.SetAniBmp(TestArt::Disc(30, TestArt::kUp));
    mask.SetAniBmp(TestArt::Block(50, 20, 2, TestArt::kPressed));
    icon.Create(QRect(5, 5, 30, 30), &parent, mask);
    parent.show();

    CWinMsg::PostMessage(&icon, WM_DATACHANGE, static_cast<WPARAM>(MakeLong(1, SW_SHOW)),
                         kKeepPlaceParam);
    parent.Settled(0);
    EXPECT_EQ(icon.CurrentFrame(), 1);
    EXPECT_EQ(icon.geometry(), QRect(5, 5, 50, 20)) << "resized from the top-left corner";
    EXPECT_EQ(icon.mask(), mask.GetAniRgn(1));

    // Keep the frame, put the bottom centre at (100, 200).
    CWinMsg::PostMessage(&icon, WM_DATACHANGE, kKeepFrameParam, MakeLong(100, 200));
    parent.Settled(0);
    EXPECT_EQ(icon.CurrentFrame(), 1);
    EXPECT_EQ(icon.geometry(), QRect(75, 180, 50, 20));
    // Higher than the point is tall: the top stays at 0.
    CWinMsg::PostMessage(&icon, WM_DATACHANGE, kKeepFrameParam, MakeLong(100, 10));
    parent.Settled(0);
    EXPECT_EQ(icon.pos(), QPoint(75, 0));

    // An index past the last frame hides the window and keeps the frame.
    CWinMsg::PostMessage(&icon, WM_DATACHANGE, 0xFFFF, kKeepPlaceParam);
    parent.Settled(0);
    EXPECT_FALSE(icon.isVisible());
    EXPECT_EQ(icon.CurrentFrame(), 1);
    // A plain index shows it again.
    CWinMsg::PostMessage(&icon, WM_DATACHANGE, 0, kKeepPlaceParam);
    parent.Settled(0);
    EXPECT_TRUE(icon.isVisible());
    EXPECT_EQ(icon.CurrentFrame(), 0);

    icon.NextBitmap();
    parent.Settled(0);
    EXPECT_EQ(icon.CurrentFrame(), 1);
    icon.NextBitmap();
    parent.Settled(0);
    EXPECT_EQ(icon.CurrentFrame(), 0) << "after the last frame comes the first";
}

TEST(IconWnd, TellsRegisteredChildrenOfEveryFrameChange) {
    class Listener : public CIconWnd {
    public:
        int heard = 0;

    protected:
        LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
            heard += message == WM_PARENTCHANGE ? 1 : 0;
            return CIconWnd::OnMessage(message, wParam, lParam);
        }
    };
    QWidget parent;
    CBmpMask mask;
    mask.SetAniBmp(TestArt::Disc(20, TestArt::kUp));
    mask.SetAniBmp(TestArt::Disc(20, TestArt::kPressed));
    CIconWnd picture;
    picture.Create(QRect(0, 0, 20, 20), &parent, mask);
    auto* first = new Listener;
    first->Create(QRect(0, 0, 20, 20), &picture, mask);
    Listener second;
    second.Create(QRect(0, 0, 20, 20), &picture, mask);
    picture.SetChild(first);
    picture.SetChild(&second);
    CWinMsg::PostMessage(&picture, WM_DATACHANGE, 1, kKeepPlaceParam);
    QCoreApplication::sendPostedEvents(); // the frame changes
    QCoreApplication::sendPostedEvents(); // the children hear of it
    EXPECT_EQ(first->heard, 1);
    EXPECT_EQ(second.heard, 1);
    delete first; // a child that went away is simply not told
    CWinMsg::PostMessage(&picture, WM_DATACHANGE, 0, kKeepPlaceParam);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(second.heard, 2);
}

TEST(IconWnd, TransparentFrameNeitherShowsNorTakesClicks) {
    MessageLog parent;
    parent.resize(100, 100);
    CIconWnd icon;
    CBmpMask mask(&parent);
    mask.SetMsg(kClick);
    QImage blank(20, 20, QImage::Format_RGB32);
    blank.fill(TestArt::kKey);
    mask.SetAniBmp(blank);
    icon.Create(QRect(10, 10, 20, 20), &parent, mask);
    parent.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
    EXPECT_FALSE(icon.HitTest(QPoint(10, 10)));
    QTest::mouseClick(parent.windowHandle(), Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(parent.Settled(kClick), 0);
}

// ---- clicks routed through the window system: the outline decides who gets them ----

TEST(IconWnd, ClickOutsideTheOutlineReachesTheWindowUnderneath) {
    class Underneath : public QWidget {
    public:
        using QWidget::QWidget;
        int presses = 0;

    protected:
        void mousePressEvent(QMouseEvent*) override { ++presses; }
    };
    MessageLog top;
    top.resize(120, 120);
    Underneath under(&top);
    under.setGeometry(0, 0, 120, 120);
    CIconWndButton button;
    button.Create(QRect(20, 20, 40, 40), &under,
                  TestArt::ButtonMask(&top, CBmpMask::EVENT_DOWN, kClick));
    top.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&top));

    QTest::mouseClick(top.windowHandle(), Qt::LeftButton, {}, QPoint(21, 21)); // corner: key
    EXPECT_EQ(under.presses, 1);
    EXPECT_EQ(top.Settled(kClick), 0);
    QTest::mouseClick(top.windowHandle(), Qt::LeftButton, {}, QPoint(40, 40)); // the disc
    EXPECT_EQ(under.presses, 1);
    EXPECT_EQ(top.Settled(kClick), 1);
    ASSERT_EQ(top.messages.back().wParam, reinterpret_cast<WPARAM>(&button));
}

TEST(IconWnd, NoNotifyLetsClicksThrough) {
    MessageLog top;
    top.resize(100, 100);
    CIconWndButton button;
    button.Create(QRect(10, 10, 40, 40), &top,
                  TestArt::ButtonMask(&top, CBmpMask::EVENT_DOWN, kClick));
    CIconWnd caption;
    CBmpMask captionMask;
    captionMask.SetRgnFlag(CBmpMask::RGN_RECT);
    captionMask.SetAniBmp(TestArt::Block(40, 40, 0, Qt::white));
    caption.Create(QRect(10, 10, 40, 40), &top, captionMask);
    caption.NoNotify();
    top.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&top));
    QTest::mouseClick(top.windowHandle(), Qt::LeftButton, {}, QPoint(30, 30));
    EXPECT_EQ(top.Settled(kClick), 1) << "the caption over the button does not catch the click";
}

// ---- CIconWndButton ----

TEST_F(ButtonTest, PressShowsFrameOneAndNotifiesOnPressWithEventFlagDown) {
    Make(CBmpMask::EVENT_DOWN);
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(button.CurrentFrame(), 1);
    EXPECT_EQ(Centre(button), TestArt::kPressed.rgb() & 0xFFFFFF);
    EXPECT_EQ(Clicks(), 1);
    // Released elsewhere: the press has been told already.
    QTest::mouseMove(&button, QPoint(150, 20));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(150, 20));
    EXPECT_EQ(Clicks(), 1);
    EXPECT_EQ(button.CurrentFrame(), 0);
}

TEST_F(ButtonTest, EventFlagUpNotifiesOnReleaseInsideOnly) {
    Make(CBmpMask::EVENT_UP);
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(Clicks(), 0);
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(22, 22));
    EXPECT_EQ(Clicks(), 1);
    EXPECT_EQ(button.CurrentFrame(), 0);

    // Pressed, dragged out with the button held, released outside: nothing.
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(20, 20));
    QTest::mouseMove(&button, QPoint(90, 20));
    EXPECT_FALSE(button.IsPressed());
    EXPECT_EQ(button.CurrentFrame(), 0) << "leaving shows the checked state's frame again";
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(90, 20));
    EXPECT_EQ(Clicks(), 1);

    // Dragged out and back in before the release: still no click.
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(20, 20));
    QTest::mouseMove(&button, QPoint(90, 20));
    QTest::mouseMove(&button, QPoint(20, 20));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(Clicks(), 1);

    // A release on the key-coloured corner is outside the outline.
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(20, 20));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(1, 1));
    EXPECT_EQ(Clicks(), 1);
}

TEST_F(ButtonTest, CheckedButtonShowsFrameOneAndKeepsItInvisible) {
    Make(CBmpMask::EVENT_UP);
    button.Check(1);
    EXPECT_EQ(button.CurrentFrame(), 1);
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(button.CurrentFrame(), 1) << "a checked button comes back up as checked";
    button.Check(0);
    EXPECT_EQ(button.CurrentFrame(), 0);

    button.SetVisible(0);
    EXPECT_FALSE(button.isVisible());
    button.Check(1);
    EXPECT_FALSE(button.isVisible());
    EXPECT_EQ(button.CurrentFrame(), 1);
    button.SetVisible(1);
    EXPECT_TRUE(button.isVisible());
}

TEST_F(ButtonTest, DisabledShowsFrameTwoAndIgnoresEverything) {
    Make(CBmpMask::EVENT_DOWN);
    button.Check(1);
    button.SetEnable(0);
    EXPECT_EQ(button.CurrentFrame(), 2);
    EXPECT_EQ(Centre(button), TestArt::kDisabled.rgb() & 0xFFFFFF);
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(20, 20));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(20, 20));
    QTest::mouseDClick(&button, Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(Clicks(), 0);
    EXPECT_EQ(button.CurrentFrame(), 2);
    button.Check(0);
    EXPECT_EQ(button.CurrentFrame(), 2) << "a disabled button keeps looking disabled";
    button.SetEnable(1);
    EXPECT_EQ(button.CurrentFrame(), 0);
    button.Check(1);
    button.SetEnable(0);
    button.SetEnable(1);
    EXPECT_EQ(button.CurrentFrame(), 1);
}

TEST_F(ButtonTest, DoubleClickIsAnotherPress) {
    Make(CBmpMask::EVENT_DOWN);
    // What the window system delivers: press, release, double click, release.
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(20, 20));
    QTest::mouseDClick(&button, Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(button.CurrentFrame(), 1);
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(Clicks(), 2);
    EXPECT_EQ(button.CurrentFrame(), 0);
}

TEST_F(ButtonTest, MouseLockIsPermanent) {
    Make(CBmpMask::EVENT_DOWN);
    button.MouseLock();
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(Clicks(), 0);
    // The program still chooses what it shows.
    button.Check(1);
    EXPECT_EQ(button.CurrentFrame(), 1);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&button, &leave);
    EXPECT_EQ(button.CurrentFrame(), 1);
    button.SetEnable(0);
    button.SetEnable(1);
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(Clicks(), 0);
    EXPECT_TRUE(button.IsMouseLocked());
}

TEST_F(ButtonTest, CarriesAnAccessibleNameTooltipAndPressAction) {
    Make(CBmpMask::EVENT_UP);
    button.SetHint(QStringLiteral("グランドピアノ"), QStringLiteral("グランドピアノ"));
    EXPECT_EQ(button.toolTip(), QStringLiteral("グランドピアノ"));
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&button);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->text(QAccessible::Name), QStringLiteral("グランドピアノ"));
    EXPECT_EQ(accessible->role(), QAccessible::Button);
    auto* actions = accessible->actionInterface();
    ASSERT_NE(actions, nullptr);
    actions->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(Clicks(), 1);
    button.Check(1);
    EXPECT_TRUE(accessible->state().checked);
    button.SetEnable(0);
    EXPECT_TRUE(accessible->state().disabled);
    actions->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(Clicks(), 1);
}

// ---- auto-repeat ----

TEST_F(ButtonTest, AutoRepeatShrinksTheIntervalByAFifthDownToFour) {
    Make(CBmpMask::EVENT_DOWN);
    button.Repeat();
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(20, 20));
    ASSERT_TRUE(button.IsRepeating());
    EXPECT_EQ(Clicks(), 1);
    const std::vector<int> expected{640, 512, 410, 328, 263, 211, 169, 136, 109, 88, 71, 57, 46, 37,
                                    30,  24,  20,  16,  13,  11,  9,   8,   7,   6,  5,  4,  4,  4};
    std::vector<int> seen;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        Tick(button);
        seen.push_back(button.RepeatInterval());
    }
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(Clicks(), 1 + static_cast<int>(expected.size())) << "one press per tick";

    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(20, 20));
    Tick(button);
    EXPECT_FALSE(button.IsRepeating()) << "the first tick after the release stops the repeat";
    EXPECT_EQ(button.RepeatInterval(), CIconWndButton::kFirstInterval);
}

TEST_F(ButtonTest, PressRightAfterAReleaseStartsTheRepeatSlowAgain) {
    // Released after a long hold and pressed again before the old timer ticked: the new press
    // is a press of its own and waits the full first interval.
    Make(CBmpMask::EVENT_DOWN);
    button.Repeat();
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(20, 20));
    for (int i = 0; i < 30; ++i) {
        Tick(button);
    }
    ASSERT_EQ(button.RepeatInterval(), 4);
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(20, 20));
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(button.RepeatInterval(), CIconWndButton::kFirstInterval);
    const int pressed = Clicks();
    Tick(button);
    EXPECT_EQ(button.RepeatInterval(), 640);
    EXPECT_EQ(Clicks(), pressed + 1);
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(20, 20));
}

TEST_F(ButtonTest, JumpLevelsAddPressesBelowFiveMilliseconds) {
    Make(CBmpMask::EVENT_DOWN);
    button.Repeat();
    button.SetJump(CIconWndButton::JUMP_TWICE);
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(20, 20));
    int ticks = 0;
    while (button.RepeatInterval() > 5) {
        Tick(button);
        ++ticks;
    }
    ASSERT_EQ(ticks, 25); // 640 .. 5
    const int before = Clicks();
    Tick(button); // 5 - 1 = 4, below 5: one extra press, to 3
    EXPECT_EQ(button.RepeatInterval(), 3);
    EXPECT_EQ(Clicks() - before, 2);
    Tick(button); // 3 -> 2
    Tick(button); // 2 -> 1
    Tick(button); // 1 -> 0: the third press
    EXPECT_EQ(button.RepeatInterval(), 0);
    EXPECT_EQ(Clicks() - before, 2 + 2 + 2 + 3);
    Tick(button);
    EXPECT_EQ(button.RepeatInterval(), 0);
    EXPECT_EQ(Clicks() - before, 2 + 2 + 2 + 3 + 3);

    // Jump level 1 never makes the third press.
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(20, 20));
    Tick(button);
    button.SetJump(CIconWndButton::JUMP_ONCE);
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(20, 20));
    while (button.RepeatInterval() > 0) {
        Tick(button);
    }
    const int once = Clicks();
    Tick(button);
    EXPECT_EQ(Clicks() - once, 2);
}

TEST_F(ButtonTest, HeldButtonRepeatsOnItsOwnUntilReleasedOrDisabled) {
    Make(CBmpMask::EVENT_DOWN);
    button.Repeat();
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_TRUE(parent.WaitFor(kClick, 3)) << "the scheduled repeats arrive";
    button.SetEnable(0);
    EXPECT_FALSE(button.IsRepeating()) << "disabling ends the press";
    EXPECT_FALSE(button.IsPressed());
}

TEST_F(ButtonTest, LockOrHideDuringARepeatEndsThePress) {
    // A button locked or hidden while held would never see its release: the repeat would go
    // on pressing, unseen, for good.
    Make(CBmpMask::EVENT_DOWN);
    button.Repeat();
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(20, 20));
    ASSERT_TRUE(button.IsRepeating());
    button.SetVisible(0);
    EXPECT_FALSE(button.IsPressed()) << "hiding ends the press";
    EXPECT_FALSE(button.IsRepeating());
    const int hidden = Clicks();
    for (int i = 0; i < 5 && button.RepeatTimerId() != 0; ++i) {
        Tick(button);
    }
    EXPECT_EQ(Clicks(), hidden) << "a hidden button presses nothing";

    button.SetVisible(1);
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(20, 20));
    ASSERT_TRUE(button.IsRepeating());
    button.MouseLock();
    EXPECT_FALSE(button.IsPressed()) << "locking ends the press";
    EXPECT_FALSE(button.IsRepeating());
    EXPECT_EQ(button.CurrentFrame(), 0) << "the locked button shows its state, not the press";
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_FALSE(button.IsRepeating());
}

// ---- CIconWndFrosted ----

namespace {

class Overlay : public CIconWndFrosted {
public:
    std::vector<int> shown;
    int changed = 0;

protected:
    void ShowChildren(int command) override { shown.push_back(command); }
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        changed += message == WM_CHANGED ? 1 : 0;
        return CIconWndFrosted::OnMessage(message, wParam, lParam);
    }
};

// A picture underneath with two frames, and an overlay of two shapes and an empty frame.
struct FrostedScene {
    FrostedScene() {
        top.resize(60, 60);
        CBmpMask backMask;
        backMask.SetRgnFlag(CBmpMask::RGN_RECT);
        backMask.SetAniBmp(TestArt::Block(60, 60, 0, QColor(10, 10, 10)));
        backMask.SetAniBmp(TestArt::Block(60, 60, 0, QColor(255, 255, 255)));
        under.Create(QRect(0, 0, 60, 60), &top, backMask);
        CBmpMask mask(&top);
        mask.SetAniBmp(TestArt::Block(60, 60, 5, QColor(20, 20, 20)));
        mask.SetAniBmp(TestArt::Block(60, 60, 10, QColor(0, 0, 0)));
        mask.SetAniBmp(QImage());
        overlay.Create(QRect(0, 0, 60, 60), &under, mask);
        under.SetChild(&overlay);
        top.show();
    }
    QRgb ShownAt(int x, int y) const { return overlay.GetBitmap().pixel(x, y) & 0xFFFFFF; }

    QWidget top;
    CIconWnd under;
    Overlay overlay;
};

} // namespace

TEST(IconWndFrosted, BlendsItsFrameOverThePictureUnderneath) {
    FrostedScene scene;
    // (7 * 20 + 3 * 10) / 10 = 17 in every byte.
    EXPECT_EQ(scene.ShownAt(30, 30), 0x111111u);
    EXPECT_EQ(scene.overlay.mask(), scene.overlay.Mask().GetAniRgn(0));
    ASSERT_FALSE(scene.overlay.shown.empty());
    EXPECT_EQ(scene.overlay.shown.back(), SW_SHOW);

    // The picture underneath changes: the same frame blends over the new picture.
    CWinMsg::PostMessage(&scene.under, WM_DATACHANGE, 1, kKeepPlaceParam);
    QCoreApplication::sendPostedEvents();
    CWinMsg::PostMessage(&scene.overlay, WM_FROSTEDSTYLE, kKeepFrameParam, 0);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(scene.ShownAt(30, 30), 0x5A5A5Au) << "(7 * 20 + 3 * 255) / 10 = 90";

    // Frame 1, a smaller shape: (3 * 255) / 10 = 76, and its own outline.
    CWinMsg::PostMessage(&scene.overlay, WM_FROSTEDSTYLE, 1, 0);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(scene.ShownAt(30, 30), 0x4C4C4Cu);
    EXPECT_EQ(scene.overlay.mask(), scene.overlay.Mask().GetAniRgn(1));

    // The empty frame shows the picture underneath unchanged and hides the controls, but keeps
    // an outline to click on.
    CWinMsg::PostMessage(&scene.overlay, WM_FROSTEDSTYLE, 2, 0);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(scene.ShownAt(30, 30), 0xFFFFFFu);
    EXPECT_EQ(scene.overlay.shown.back(), SW_HIDE);
    EXPECT_TRUE(scene.overlay.HitTest(QPoint(30, 30)));

    // A frame that does not exist changes nothing.
    CWinMsg::PostMessage(&scene.overlay, WM_FROSTEDSTYLE, 7, 0);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(scene.overlay.FrostedFrame(), 2);
}

TEST(IconWndFrosted, CacheReusesBlendsAndStaysBounded) {
    FrostedScene scene;
    const std::size_t first = scene.overlay.BlendsComputed();
    for (int round = 0; round < 3; ++round) {
        for (WPARAM frame = 0; frame < 3; ++frame) {
            CWinMsg::PostMessage(&scene.overlay, WM_FROSTEDSTYLE, frame, 0);
            QCoreApplication::sendPostedEvents();
        }
    }
    EXPECT_EQ(scene.overlay.BlendsComputed(), first + 2) << "frames 1 and 2 once each";

    // Many different pictures underneath: the cache keeps only the latest.
    for (int i = 0; i < 40; ++i) {
        CBmpMask backMask;
        backMask.SetRgnFlag(CBmpMask::RGN_RECT);
        backMask.SetAniBmp(TestArt::Block(60, 60, 0, QColor(i, i, i)));
        CIconWnd other;
        other.Create(QRect(0, 0, 60, 60), &scene.top, backMask);
        scene.overlay.setParent(&other);
        CWinMsg::PostMessage(&scene.overlay, WM_FROSTEDSTYLE, 0, 0);
        QCoreApplication::sendPostedEvents();
        EXPECT_EQ(scene.ShownAt(30, 30) & 0xFF, static_cast<QRgb>((7 * 20 + 3 * i) / 10));
        scene.overlay.setParent(&scene.under);
    }
    EXPECT_LE(scene.overlay.CachedBlends(), CIconWndFrosted::kCacheSize);
}

TEST(IconWndFrosted, ClickAdvancesTheFrameAndTellsItself) {
    FrostedScene scene;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&scene.top));
    for (int i = 0; i < 3; ++i) {
        QTest::mouseClick(&scene.overlay, Qt::LeftButton, {}, QPoint(30, 30));
    }
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(scene.overlay.changed, 3);
    EXPECT_EQ(scene.overlay.FrostedFrame(), 0) << "three frames: back to the first";
}

// ---- CIconWndSelfish ----

namespace {

CBmpMask Character(QObject* parent, int frames, const QColor& colour) {
    CBmpMask mask(parent);
    for (int i = 0; i < frames; ++i) {
        mask.SetAniBmp(TestArt::Disc(20 + 4 * i, colour));
    }
    return mask;
}

class Performer : public CIconWndSelfish {
public:
    std::vector<unsigned int> frames;
    std::function<void(unsigned int)> onFrame;

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        const LRESULT result = CIconWndSelfish::OnMessage(message, wParam, lParam);
        if (message == WM_SELFISHFRAME) {
            frames.push_back(static_cast<unsigned int>(wParam));
            if (onFrame) {
                onFrame(static_cast<unsigned int>(wParam));
            }
        }
        return result;
    }
};

} // namespace

TEST(IconWndSelfish, PerformsTheCurrentCharacterAndTellsTheParent) {
    MessageLog view;
    view.resize(200, 200);
    Performer character;
    character.Create(QRect(10, 10, 20, 20), &view, Character(&view, 1, TestArt::kUp));
    character.SetSelfishMask(Character(&view, 3, TestArt::kUp));
    character.SetSelfishMask(Character(&view, 4, TestArt::kPressed));
    view.show();
    character.ChangeChar(1);
    character.ChangeChar(9); // no such character: stays
    EXPECT_EQ(character.CurrentChar(), 1u);

    bool readyDuring = true;
    character.onFrame = [&](unsigned int) { readyDuring = readyDuring && character.WhatClose(); };
    CWinMsg::PostMessage(&character, WM_SELFISHANIMATION, 0, 0);
    ASSERT_TRUE(view.WaitFor(WM_DATACHANGE, 2));
    EXPECT_EQ(character.frames, (std::vector<unsigned int>{0, 1, 2, 3}));
    EXPECT_FALSE(readyDuring);
    EXPECT_TRUE(character.WhatClose());
    EXPECT_EQ(character.size(), QSize(32, 32)) << "sized to the last frame";
    EXPECT_EQ(character.pos(), QPoint(10, 10));
    EXPECT_EQ(character.mask(), Character(nullptr, 4, TestArt::kPressed).GetAniRgn(3));
}

TEST(IconWndSelfish, ActivityEndsThePerformanceAtTheNextFrame) {
    MessageLog view;
    Performer character;
    character.Create(QRect(10, 10, 20, 20), &view, Character(&view, 1, TestArt::kUp));
    character.SetSelfishMask(Character(&view, 6, TestArt::kUp));
    character.onFrame = [&](unsigned int frame) {
        if (frame == 1) {
            // The user touches something; stamps differ only when the tick count moved on.
            const std::uint32_t before = CLast::GetLastAccess();
            while (CLast::GetTickCount() == before) {
                QThread::yieldCurrentThread();
            }
            CLast::UpdateAccess();
        }
    };
    CWinMsg::PostMessage(&character, WM_SELFISHANIMATION, 0, 0);
    ASSERT_TRUE(view.WaitFor(WM_DATACHANGE, 2));
    EXPECT_EQ(character.frames, (std::vector<unsigned int>{0, 1}));
    EXPECT_TRUE(character.WhatClose());
}

TEST(IconWndSelfish, WindowDestroyedDuringThePerformanceEndsItQuietly) {
    MessageLog view;
    auto* character = new Performer;
    character->Create(QRect(10, 10, 20, 20), &view, Character(&view, 1, TestArt::kUp));
    character->SetSelfishMask(Character(&view, 5, TestArt::kUp));
    character->onFrame = [&](unsigned int frame) {
        if (frame == 1) {
            character->deleteLater();
        }
    };
    QPointer<Performer> watch(character);
    CWinMsg::PostMessage(character, WM_SELFISHANIMATION, 0, 0);
    QDeadlineTimer deadline(15000);
    while (watch && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    EXPECT_TRUE(watch.isNull());
}

TEST(IconWndSelfish, ParentDeletingTheCharacterWhenTheShowStartsEndsItQuietly) {
    // The parent may answer "the performance starts" by deleting the character outright, in
    // the middle of the character's own message handler.
    class Audience : public MessageLog {
    public:
        QPointer<CIconWndSelfish> character;

    protected:
        LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
            if (message == WM_DATACHANGE) {
                delete character.data();
            }
            return MessageLog::OnMessage(message, wParam, lParam);
        }
    };
    Audience view;
    auto* character = new CIconWndSelfish;
    character->Create(QRect(10, 10, 20, 20), &view, Character(&view, 1, TestArt::kUp));
    character->SetSelfishMask(Character(&view, 5, TestArt::kUp));
    view.character = character;
    CWinMsg::PostMessage(character, WM_SELFISHANIMATION, 0, 0);
    ASSERT_TRUE(view.WaitFor(WM_DATACHANGE, 1));
    EXPECT_TRUE(view.character.isNull());
    EXPECT_EQ(view.Settled(WM_DATACHANGE), 1) << "a deleted character announces no end";
}

TEST(IconWndSelfish, OwnerMovingItEndsThePerformanceAndItsPoseShowsAgainAfterwards) {
    MessageLog view;
    view.resize(200, 200);
    const CBmpMask poses = Character(&view, 2, TestArt::kUp);
    Performer character;
    character.Create(QRect(10, 10, 20, 20), &view, poses);
    CWinMsg::PostMessage(&character, WM_DATACHANGE, MakeLong(1, SW_SHOW), kKeepPlaceParam);
    CWinMsg::PumpMessages();
    ASSERT_EQ(character.GetBitmap().cacheKey(), poses.GetAniBmp(1).cacheKey());
    const unsigned int changes = character.PoseChanges();

    // The same pose again while performing leaves the performance's picture alone; a new
    // pose (a running metronome) ends the performance at the next frame.
    character.SetSelfishMask(Character(&view, 6, TestArt::kPressed));
    character.onFrame = [&](unsigned int frame) {
        if (frame == 1) {
            CWinMsg::PostMessage(&character, WM_DATACHANGE, MakeLong(1, SW_SHOW), kKeepPlaceParam);
        }
        if (frame == 2) {
            CWinMsg::PostMessage(&character, WM_DATACHANGE, MakeLong(0, SW_SHOW), kKeepPlaceParam);
        }
    };
    CWinMsg::PostMessage(&character, WM_SELFISHANIMATION, 0, 0);
    ASSERT_TRUE(view.WaitFor(WM_DATACHANGE, 2));
    EXPECT_EQ(character.frames, (std::vector<unsigned int>{0, 1, 2}));
    EXPECT_EQ(character.PoseChanges(), changes + 1);
    EXPECT_TRUE(character.WhatClose());

    // The owner puts it back in the pose it had before the performance: that pose is drawn.
    CWinMsg::PostMessage(&character, WM_DATACHANGE, MakeLong(1, SW_SHOW), kKeepPlaceParam);
    CWinMsg::PumpMessages();
    EXPECT_EQ(character.GetBitmap().cacheKey(), poses.GetAniBmp(1).cacheKey());
    EXPECT_EQ(character.mask(), poses.GetAniRgn(1));
}
