#include "CProgress.h"
#include "CSlider.h"
#include "CTextWnd.h"
#include "IconMessages.h"
#include "MessageLog.h"

#include <QFontMetrics>
#include <QImage>
#include <QTest>
#include <gtest/gtest.h>
#include <limits>

namespace {

QImage Picture(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

} // namespace

// ---- CTextWnd ----

TEST(TextWnd, SplitsAtEveryLineBreakKeepingTheEmptyLastLine) {
    CTextWnd text;
    text.SetText(QStringLiteral("a\r\nb\r\n"));
    EXPECT_EQ(text.Lines(), (QStringList{"a", "b", ""}));
    text.SetText(QString());
    EXPECT_EQ(text.Lines().size(), 1);
    text.SetText(QStringLiteral("one\ntwo"));
    EXPECT_EQ(text.Lines().size(), 1) << "only \\r\\n separates lines";
}

TEST(TextWnd, MeasuresTheBlockAndDrawsLinesOneDistanceApart) {
    QWidget parent;
    CTextWnd text;
    ASSERT_EQ(text.Create(QRect(0, 0, 300, 80), &parent), 1);
    text.SetText(QStringLiteral("short\r\na longer line"));
    const QImage picture = Picture(text);
    const QFontMetrics metrics(text.Font());
    const int widest = metrics.horizontalAdvance(QStringLiteral("a longer line"));
    EXPECT_GE(text.LineDistance(), 15);
    EXPECT_EQ(text.GetSize(), QSize(widest + 6, 2 * text.LineDistance() + 3));
    ASSERT_EQ(text.Drawn().size(), 2u);
    EXPECT_EQ(text.Drawn()[0].at, QPoint(3, 3));
    EXPECT_EQ(text.Drawn()[1].at, QPoint(3, 3 + text.LineDistance()));
    // Default colours: a black line along the top and the left edge, white inside.
    EXPECT_EQ(picture.pixel(10, 0), qRgb(0, 0, 0));
    EXPECT_EQ(picture.pixel(0, 40), qRgb(0, 0, 0));
    EXPECT_EQ(picture.pixel(290, 70), qRgb(255, 255, 255));
}

TEST(TextWnd, AlignsOneLineRightOrCentreAndCutsWhatIsTooWide) {
    QWidget parent;
    CTextWnd right;
    right.Create(QRect(0, 0, 200, 20), &parent);
    right.Right();
    right.SetText(QStringLiteral("abc"));
    Picture(right);
    const int w = QFontMetrics(right.Font()).horizontalAdvance(QStringLiteral("abc"));
    ASSERT_EQ(right.Drawn().size(), 1u);
    EXPECT_EQ(right.Drawn()[0].at.x(), 200 - (w + 3) - 3);

    CTextWnd centre;
    centre.Create(QRect(0, 0, 200, 20), &parent);
    centre.Center();
    centre.SetText(QStringLiteral("abc"));
    Picture(centre);
    EXPECT_EQ(centre.Drawn()[0].at.x(), (200 - (w + 3) - 3 - 3) / 2 + 3);

    // Alignment applies to a single line only.
    centre.SetText(QStringLiteral("abc\r\nd"));
    Picture(centre);
    EXPECT_EQ(centre.Drawn()[0].at.x(), 3);

    CTextWnd narrow;
    narrow.Create(QRect(0, 0, 40, 20), &parent);
    narrow.Right();
    narrow.SetText(QStringLiteral("a line far too wide for the box"));
    Picture(narrow);
    const QString shown = narrow.Drawn()[0].text;
    EXPECT_TRUE(QStringLiteral("a line far too wide for the box").startsWith(shown));
    EXPECT_LE(QFontMetrics(narrow.Font()).horizontalAdvance(shown), 40 - 3);
    EXPECT_GT(QFontMetrics(narrow.Font()).horizontalAdvance(shown + QLatin1Char('r')), 40 - 3);
    EXPECT_EQ(narrow.Drawn()[0].at.x(), 3) << "a cut line starts at the left margin";
}

TEST(TextWnd, CutsAVeryLongMixedLineAtTheBoxWithoutSplittingACharacter) {
    // A pasted file name or a log line can be hundreds of thousands of characters long; the
    // cut must come after a handful of measurements, not one per character.
    QWidget parent;
    CTextWnd text;
    text.Create(QRect(0, 0, 200, 40), &parent);
    QString line;
    for (int i = 0; i < 50000; ++i) {
        line += QStringLiteral("ピアノ piano 🎹");
    }
    text.SetText(line + QStringLiteral("\r\n") + line);
    Picture(text);
    ASSERT_EQ(text.Drawn().size(), 2u);
    const QFontMetrics metrics(text.Font());
    for (const auto& drawn : text.Drawn()) {
        EXPECT_FALSE(drawn.text.isEmpty());
        EXPECT_TRUE(line.startsWith(drawn.text));
        EXPECT_FALSE(drawn.text.back().isHighSurrogate()) << "no half of a character";
        EXPECT_LE(metrics.horizontalAdvance(drawn.text), 200 - 3);
        EXPECT_GT(metrics.horizontalAdvance(line.left(drawn.text.size() + 2)), 200 - 3);
    }
}

TEST(TextWnd, TakesWindowsColourValues) {
    QWidget parent;
    CTextWnd text;
    text.Create(QRect(0, 0, 60, 30), &parent);
    text.SetColor(0xB3E9F9); // red 249, green 233, blue 179
    text.SetTextColor(0x586078);
    const QImage picture = Picture(text);
    EXPECT_EQ(picture.pixel(50, 25), qRgb(249, 233, 179));
    EXPECT_EQ(picture.pixel(30, 0), qRgb(120, 96, 88));
}

TEST(TextWnd, PopUpIsATopLevelHint) {
    QWidget owner;
    CTextWnd hint;
    ASSERT_EQ(hint.CreateEx(QRect(100, 100, 120, 20), &owner), 1);
    EXPECT_TRUE(hint.isWindow());
    EXPECT_TRUE(hint.isVisible());
    EXPECT_TRUE(hint.IsEmpty() || hint.Lines() == QStringList{QString()});
}

// ---- CSlider ----

TEST(Slider, SetRangeAndSetPosKeepTheirBounds) {
    CSlider slider;
    EXPECT_EQ(slider.GetPos(), 2);
    slider.SetRange(40, 300);
    EXPECT_EQ(slider.GetPos(), 40);
    slider.SetPos(120);
    EXPECT_EQ(slider.GetPos(), 120);
    slider.SetPos(301);
    EXPECT_EQ(slider.GetPos(), 120);
    slider.SetPos(39);
    EXPECT_EQ(slider.GetPos(), 120);
    slider.SetPos(300);
    EXPECT_EQ(slider.GetPos(), 300);
    slider.SetRange(5, 5);
    EXPECT_EQ(slider.GetPos(), 300);
    slider.SetRange(9, 2);
    EXPECT_EQ(slider.GetPos(), 300);
}

TEST(Slider, WidestRangesKeepTheirBoundsWithoutOverflow) {
    MessageLog parent;
    CSlider slider;
    slider.Create(QRect(10, 10, 100, 12), &parent);
    constexpr int kLowest = std::numeric_limits<int>::min();
    constexpr int kHighest = std::numeric_limits<int>::max();
    slider.SetRange(kLowest, kHighest);
    EXPECT_EQ(slider.GetPos(), kLowest);
    slider.SetPos(kHighest);
    EXPECT_EQ(slider.GetPos(), kHighest);
    slider.SetPos(0);
    EXPECT_EQ(slider.GetPos(), 0);
    EXPECT_EQ(slider.PosAt(-1000), kLowest);
    EXPECT_EQ(slider.PosAt(1000), kHighest);
    EXPECT_EQ(slider.PosAt(kHighest), kHighest);
    EXPECT_EQ(slider.PosAt(kLowest), kLowest);

    // Positions far outside a small range are refused, not wrapped into it.
    slider.SetRange(-5, 6);
    slider.SetPos(kHighest);
    slider.SetPos(kLowest);
    EXPECT_EQ(slider.GetPos(), -5);
    slider.SetRange(kLowest, kLowest + 10);
    EXPECT_EQ(slider.GetPos(), kLowest);
    slider.SetPos(kHighest);
    EXPECT_EQ(slider.GetPos(), kLowest);
    EXPECT_EQ(slider.PosAt(1000), kLowest + 10);
}

TEST(Slider, MousePositionsSelectTheNearestStepAndStayInRangeBeyondTheEnds) {
    MessageLog parent;
    CSlider slider;
    slider.Create(QRect(10, 10, 100, 12), &parent);
    slider.SetRange(0, 4);
    // n * ((x + w / n / 2) * 100 / w) / 100 with w 100, n 4.
    EXPECT_EQ(slider.PosAt(0), 0);
    EXPECT_EQ(slider.PosAt(12), 0);
    EXPECT_EQ(slider.PosAt(13), 1);
    EXPECT_EQ(slider.PosAt(62), 2);
    EXPECT_EQ(slider.PosAt(63), 3);
    EXPECT_EQ(slider.PosAt(99), 4);
    EXPECT_EQ(slider.PosAt(-40), 0);
    EXPECT_EQ(slider.PosAt(500), 4);

    slider.SetRange(-5, 6); // a key slider: -5 .. +6
    EXPECT_EQ(slider.PosAt(0), -5);
    EXPECT_EQ(slider.PosAt(99), 6);
    EXPECT_EQ(slider.PosAt(-1000), -5);
    EXPECT_EQ(slider.PosAt(1000), 6);
}

TEST(Slider, DragFollowsTheMouseAndTellsTheParent) {
    MessageLog parent;
    parent.resize(200, 40);
    CSlider slider;
    slider.Create(QRect(10, 10, 100, 12), &parent);
    parent.show();
    slider.SetRange(0, 4);

    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(50, 5));
    EXPECT_EQ(slider.GetPos(), 2);
    EXPECT_TRUE(slider.IsPressed());
    QTest::mouseMove(&slider, QPoint(90, 5));
    EXPECT_EQ(slider.GetPos(), 4);
    // Dragged out on the left and released there: the lowest step.
    QTest::mouseMove(&slider, QPoint(-60, 30));
    EXPECT_EQ(slider.GetPos(), 0);
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(-60, 30));
    EXPECT_EQ(slider.GetPos(), 0);
    EXPECT_FALSE(slider.IsPressed());
    EXPECT_EQ(parent.Settled(WM_CHANGED), 2) << "press and release";

    // Moving without the button changes nothing.
    QTest::mouseMove(&slider, QPoint(90, 5));
    EXPECT_EQ(slider.GetPos(), 0);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&slider, &leave);
    EXPECT_EQ(parent.Settled(WM_CHANGED), 3) << "and leave";
}

// ---- CProgress ----

TEST(Progress, LightsTheBottomSegmentsInTheExactColours) {
    QWidget parent;
    CProgress meter;
    meter.Create(QRect(17, 7, 25, 83), &parent);
    meter.SetRange(0, 10);
    meter.SetPos(3);
    const QImage picture = Picture(meter);
    const std::vector<QRect> segments = meter.Segments();
    ASSERT_EQ(segments.size(), 10u);
    // 83 / 10 = 8 rows per step: 7 of segment and a separator, from 2 below the top.
    EXPECT_EQ(segments[0], QRect(2, 2, 21, 7));
    EXPECT_EQ(segments[9], QRect(2, 74, 21, 7));
    const QRgb border = qRgb(194, 151, 85);
    const QRgb unlit = qRgb(223, 174, 98);
    const QRgb lit = qRgb(246, 254, 10);
    for (int i = 0; i < 10; ++i) {
        const QPoint middle = segments[i].center();
        EXPECT_EQ(picture.pixel(middle), i >= 7 ? lit : unlit) << "segment " << i;
        EXPECT_EQ(picture.pixel(middle.x(), segments[i].bottom() + 1), border) << i;
    }
    for (const QPoint p : {QPoint(0, 0), QPoint(1, 40), QPoint(24, 40), QPoint(23, 82),
                           QPoint(12, 1), QPoint(12, 81)}) {
        EXPECT_EQ(picture.pixel(p), border) << p.x() << "," << p.y();
    }
}

TEST(Progress, IgnoresPositionsAndRangesThatDoNotFit) {
    CProgress meter;
    meter.resize(25, 83);
    meter.SetRange(0, 20);
    meter.SetPos(21);
    EXPECT_EQ(meter.GetPos(), 0u);
    meter.SetPos(20);
    EXPECT_EQ(meter.LitSegments(), 20);
    meter.SetRange(7, 7);
    meter.SetRange(0, 10); // the position now lies above the range: all lit, no more
    EXPECT_EQ(meter.LitSegments(), 10);
    meter.SetRange(30, 40); // and below it: none lit
    EXPECT_EQ(meter.LitSegments(), 0);
    meter.SetRange(0, 1000); // more steps than rows: nothing to draw, nothing breaks
    EXPECT_TRUE(meter.Segments().empty());
    Picture(meter);
}
