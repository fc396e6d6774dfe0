#include "CIconWndButton.h"
#include "MessageLog.h"
#include "TestArt.h"

#include <QGuiApplication>
#include <QPalette>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>
#include <gtest/gtest.h>

// Shaped windows on a real X server: what the screen shows, and where the server and Qt send
// a click. Run by scripts/xvfb-test.sh on a server of their own.

namespace {

constexpr UINT kClick = 0x424;
const QColor kUnder(20, 40, 120);

class Underneath : public QWidget {
public:
    explicit Underneath(QWidget* parent) : QWidget(parent) {
        setAutoFillBackground(true);
        QPalette palette;
        palette.setColor(QPalette::Window, kUnder);
        setPalette(palette);
    }
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
};

// Moves the server's pointer to a point of the screen and clicks there.
bool ClickOnScreen(const QPoint& at) {
    return QProcess::execute(QStringLiteral("xdotool"),
                             {QStringLiteral("mousemove"), QString::number(at.x()),
                              QString::number(at.y()), QStringLiteral("click"),
                              QStringLiteral("1")}) == 0;
}

QRgb ScreenPixel(const QPoint& at) {
    const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    return screen.pixel(at) & 0xFFFFFF;
}

// One window: a coloured panel with a round button on it; the button is a native X window of
// its own (shaped by the server) or drawn inside the panel's window (shaped by Qt).
class ShapedWindow : public testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != QLatin1String("xcb")) {
            GTEST_SKIP() << "needs an X server: run through scripts/xvfb-test.sh with xvfb-run "
                            "installed (platform here: "
                         << QGuiApplication::platformName().toStdString() << ")";
        }
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
            GTEST_SKIP() << "xdotool is not installed (scripts/setup.sh installs it)";
        }
        top.setGeometry(100, 100, 200, 120);
        under = new Underneath(&top);
        under->setGeometry(0, 0, 200, 120);
        if (GetParam()) {
            button.setAttribute(Qt::WA_NativeWindow, true);
        }
        button.Create(QRect(40, 30, 60, 60), under,
                      TestArt::ButtonMask(&top, CBmpMask::EVENT_DOWN, kClick, 60));
        top.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&top));
    }

    MessageLog top;
    Underneath* under = nullptr;
    CIconWndButton button;
};

} // namespace

TEST_P(ShapedWindow, ScreenShowsTheOutlineAndClicksGoWhereItShows) {
    const QPoint corner = button.mapToGlobal(QPoint(3, 3));   // key colour: outside
    const QPoint centre = button.mapToGlobal(QPoint(30, 30)); // the disc
    const QRgb up = TestArt::kUp.rgb() & 0xFFFFFF;
    const QRgb under = kUnder.rgb() & 0xFFFFFF;
    QTRY_VERIFY_WITH_TIMEOUT(ScreenPixel(centre) == up, 15000);
    EXPECT_EQ(ScreenPixel(corner), under) << "no key colour on the screen";

    ASSERT_TRUE(ClickOnScreen(corner));
    QTRY_VERIFY_WITH_TIMEOUT(this->under->presses == 1, 15000);
    EXPECT_EQ(top.Settled(kClick), 0);

    ASSERT_TRUE(ClickOnScreen(centre));
    QTRY_VERIFY_WITH_TIMEOUT(top.Settled(kClick) == 1, 15000);
    EXPECT_EQ(this->under->presses, 1);
}

INSTANTIATE_TEST_SUITE_P(NativeAndDrawn, ShapedWindow, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "NativeWindow" : "DrawnByQt";
                         });
