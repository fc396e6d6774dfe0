#include "CBmpMask.h"

#include <QObject>
#include <QPainter>
#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace {

QImage Pixels(int width, int height, std::initializer_list<QRgb> rows) {
    QImage image(width, height, QImage::Format_RGB32);
    auto it = rows.begin();
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, *it++);
        }
    }
    return image;
}

constexpr QRgb White = 0xFFFFFFFF;
constexpr QRgb Red = 0xFFFF0000;

// The region a pixel-by-pixel walk gives: the reference for the run-based builder.
QRegion SlowRegion(const QImage& image, QRgb trans) {
    QRegion region;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if ((image.pixel(x, y) & 0xFFFFFF) != (trans & 0xFFFFFF)) {
                region += QRect(x, y, 1, 1);
            }
        }
    }
    return region;
}

} // namespace

TEST(BmpMaskRegion, TakesTheTransparentColourFromTheBottomLeftPixel) {
    CBmpMask mask;
    EXPECT_EQ(mask.CreateBmpRgn(Pixels(3, 1, {White, Red, White})), QRegion(1, 0, 1, 1));
    EXPECT_EQ(mask.GetTrans(), 0xFFFFFFu);

    CBmpMask redCorner;
    const QImage image = Pixels(2, 2, {White, White, Red, White});
    EXPECT_EQ(redCorner.CreateBmpRgn(image), QRegion(0, 0, 2, 1) + QRegion(1, 1, 1, 1));
    EXPECT_EQ(redCorner.GetTrans(), 0xFF0000u);
}

TEST(BmpMaskRegion, MaskedBitsTakePartInNoComparison) {
    CBmpMask mask;
    mask.SetMask(0xF8F8F8);
    mask.SetTrans(0x00FF00);
    EXPECT_EQ(mask.GetTrans(), 0x00F800u);
    // Red 1, green 255, blue 3 is green once the low bits are masked away.
    EXPECT_TRUE(mask.CreateBmpRgn(Pixels(2, 1, {0xFF01FF03, Red})) == QRegion(1, 0, 1, 1));

    CBmpMask green;
    green.SetMask(0x00FF00);
    EXPECT_EQ(green.GetTrans(), 0x00FF00u);
}

TEST(BmpMaskRegion, RunsEndAtTheRightEdgeAndMatchThePixelWalk) {
    CBmpMask mask;
    EXPECT_EQ(mask.CreateBmpRgn(Pixels(4, 2, {White, Red, Red, Red, White, White, White, White})),
              QRegion(1, 0, 3, 1));

    // Random shapes, with lines repeating so that bands coalesce.
    QImage image(61, 47, QImage::Format_RGB32);
    auto* random = QRandomGenerator::global();
    for (int y = 0; y < image.height(); ++y) {
        if (y > 0 && random->bounded(3) == 0) {
            for (int x = 0; x < image.width(); ++x) {
                image.setPixel(x, y, image.pixel(x, y - 1));
            }
            continue;
        }
        for (int x = 0; x < image.width(); ++x) {
            image.setPixel(x, y, random->bounded(2) ? White : Red);
        }
    }
    image.setPixel(0, image.height() - 1, White);
    CBmpMask fast;
    const QRegion built = fast.CreateBmpRgn(image);
    const QRegion reference = SlowRegion(image, White);
    // QRegion compares rectangle lists; equal areas may be split differently.
    EXPECT_TRUE((built ^ reference).isEmpty());
    // Lines that repeat share one band.
    EXPECT_LT(built.rectCount(), reference.rectCount());
    EXPECT_EQ(built.boundingRect(), reference.boundingRect());
}

TEST(BmpMaskRegion, HiDpiImagesGiveRegionsInLogicalPixels) {
    QImage big(8, 6, QImage::Format_RGB32);
    big.fill(White);
    QPainter(&big).fillRect(QRect(2, 0, 4, 4), Red);
    big.setDevicePixelRatio(2);
    CBmpMask mask;
    EXPECT_EQ(mask.CreateBmpRgn(big), QRegion(1, 0, 2, 2));
    EXPECT_EQ(CBmpMask::GetBmpRect(big), QRect(0, 0, 4, 3));
}

TEST(BmpMaskFrames, AppendingCutsRegionsAndResetsTheColours) {
    CBmpMask mask;
    mask.SetTrans(0x123456);
    mask.SetAniBmp(Pixels(3, 1, {White, Red, White}));
    mask.SetAniBmp(Pixels(2, 1, {Red, White}));
    mask.SetAniBmp(QImage());
    ASSERT_EQ(mask.SizeAni(), 3u);
    EXPECT_EQ(mask.GetAniRgn(0), QRegion(1, 0, 1, 1));
    // The second frame's own corner decides, not the first frame's white.
    EXPECT_EQ(mask.GetAniRgn(1), QRegion(1, 0, 1, 1));
    EXPECT_EQ(mask.GetAniRect(1), QRect(0, 0, 2, 1));
    EXPECT_TRUE(mask.GetAniBmp(2).isNull());
    EXPECT_TRUE(mask.GetAniRgn(2).isEmpty());
    EXPECT_EQ(mask.GetAniRect(2), QRect(0, 0, 0, 0));
    EXPECT_EQ(mask.GetAniRect(5), QRect(0, 0, 0, 0));
    EXPECT_TRUE(mask.GetAniBmp(5).isNull());

    CBmpMask rectangular;
    rectangular.SetRgnFlag(CBmpMask::RGN_RECT);
    rectangular.SetAniBmp(Pixels(3, 1, {White, Red, White}));
    EXPECT_TRUE(rectangular.GetAniRgn(0).isEmpty());
    EXPECT_EQ(rectangular.GetAniRect(0), QRect(0, 0, 3, 1));
}

TEST(BmpMaskFrames, CopiesShareTheImagesAndReleaseLeavesOtherHoldersValid) {
    QObject parent;
    CBmpMask mask(&parent);
    mask.SetMsg(0x426);
    mask.SetEventFlag(CBmpMask::EVENT_UP);
    const QImage image = Pixels(3, 1, {White, Red, White});
    mask.SetAniBmp(image);
    mask.SetAniBmp(image);

    CBmpMask copy(mask);
    CBmpMask assigned;
    assigned = mask;
    for (const CBmpMask* other : {&copy, &assigned}) {
        EXPECT_EQ(other->GetParent(), &parent);
        EXPECT_EQ(other->GetMsg(), 0x426u);
        EXPECT_EQ(other->GetEventFlag(), CBmpMask::EVENT_UP);
        ASSERT_EQ(other->SizeAni(), 2u);
        EXPECT_EQ(other->GetAniBmp(0).cacheKey(), mask.GetAniBmp(1).cacheKey());
    }
    copy.Release();
    EXPECT_EQ(copy.SizeAni(), 0u);
    ASSERT_EQ(mask.SizeAni(), 2u);
    EXPECT_EQ(mask.GetAniBmp(0).pixel(1, 0), Red);
    mask.Clear();
    EXPECT_EQ(mask.SizeAni(), 0u);
    EXPECT_EQ(assigned.SizeAni(), 2u);
}

TEST(BmpMaskFrosted, BlendsSeventyPerCentFrontThirtyBack) {
    struct Case {
        int back, front, blended;
    };
    const Case cases[] = {{10, 20, 17}, {255, 0, 76},    {0, 255, 178}, {255, 255, 255},
                          {0, 0, 0},    {100, 200, 170}, {1, 2, 1},     {200, 100, 130}};
    for (const Case& c : cases) {
        const std::uint32_t byte = 0x01010101u;
        const std::uint32_t back = byte * std::uint32_t(c.back);
        const std::uint32_t front = byte * std::uint32_t(c.front);
        std::uint32_t out = 0;
        CBmpMask::FeeldCreator(&back, &front, 1, 1, &out);
        EXPECT_EQ(out, byte * std::uint32_t(c.blended)) << c.back << " under " << c.front;
    }
    // Bytes blend independently: no carry from one into the next.
    const std::uint32_t back[2] = {0x00FF0000, 0x000000FF};
    const std::uint32_t front[2] = {0x0000FF00, 0x00FF0000};
    std::uint32_t out[2] = {};
    CBmpMask::BestFeeldCreator(back, front, 2, 1, out);
    EXPECT_EQ(out[0], 0x004CB200u);
    EXPECT_EQ(out[1], 0x00B2004Cu);

    QImage backImage(4, 2, QImage::Format_RGB32);
    backImage.fill(qRgb(255, 255, 255));
    QImage frontImage(4, 2, QImage::Format_RGB32);
    frontImage.fill(qRgb(0, 100, 200));
    const QImage frosted = CBmpMask::FrostedBitmap(backImage, frontImage);
    ASSERT_EQ(frosted.size(), QSize(4, 2));
    EXPECT_EQ(frosted.pixel(3, 1), qRgb(76, 146, 216));
    EXPECT_TRUE(CBmpMask::FrostedBitmap(QImage(), frontImage).isNull());
    EXPECT_TRUE(CBmpMask::FrostedBitmap(backImage, QImage()).isNull());
}

TEST(BmpMaskFrosted, ABackSmallerThanTheFrontLeavesTheRestUnchanged) {
    QImage backImage(2, 2, QImage::Format_RGB32);
    backImage.fill(qRgb(255, 255, 255));
    QImage frontImage(5, 3, QImage::Format_RGB32);
    frontImage.fill(qRgb(10, 20, 30));
    const QImage frosted = CBmpMask::FrostedBitmap(backImage, frontImage);
    ASSERT_EQ(frosted.size(), QSize(5, 3));
    EXPECT_EQ(frosted.pixel(0, 0), qRgb(83, 90, 97));
    EXPECT_EQ(frosted.pixel(4, 2), qRgb(10, 20, 30));
}

// Line by line against the rule itself, with sizes that fit no stride by chance, a back wider
// but shorter than the front, a 2x picture and a back with an alpha channel.
TEST(BmpMaskFrosted, EveryPixelFollowsTheRuleWhateverTheSizes) {
    std::uint32_t seed = 12345;
    const auto random = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    QImage front(7, 5, QImage::Format_RGB32);
    QImage back(9, 3, QImage::Format_ARGB32);
    for (QImage* image : {&front, &back}) {
        for (int y = 0; y < image->height(); ++y) {
            for (int x = 0; x < image->width(); ++x) {
                image->setPixel(x, y, 0xFF000000u | random());
            }
        }
    }
    front.setDevicePixelRatio(2);
    const QImage frosted = CBmpMask::FrostedBitmap(back, front);
    ASSERT_EQ(frosted.size(), front.size());
    EXPECT_EQ(frosted.devicePixelRatio(), 2);
    for (int y = 0; y < front.height(); ++y) {
        for (int x = 0; x < front.width(); ++x) {
            const QRgb f = front.pixel(x, y);
            const QRgb b = y < back.height() ? back.pixel(x, y) : f;
            const auto mix = [](int fc, int bc) { return (7 * fc + 3 * bc) / 10; };
            EXPECT_EQ(frosted.pixel(x, y), qRgb(mix(qRed(f), qRed(b)), mix(qGreen(f), qGreen(b)),
                                                mix(qBlue(f), qBlue(b))))
                << x << "," << y;
        }
    }
}

TEST(BmpMaskPixels, TheCopyIsThirtyTwoBitWithTheFourthByteClear) {
    QImage source(3, 2, QImage::Format_RGB888);
    source.fill(QColor(1, 2, 3));
    BITMAP info;
    std::uint32_t* bits = nullptr;
    const QImage copy = CBmpMask::MakeDIB(source, info, bits);
    ASSERT_NE(bits, nullptr);
    EXPECT_EQ(copy.format(), QImage::Format_RGB32);
    EXPECT_EQ(info.bmWidth, 3);
    EXPECT_EQ(info.bmHeight, 2);
    EXPECT_EQ(info.bmBitsPixel, 32);
    EXPECT_EQ(bits[5], 0x00010203u);
    EXPECT_TRUE(CBmpMask::MakeDIB(QImage(), info, bits).isNull());
    EXPECT_EQ(bits, nullptr);
    EXPECT_EQ(info.bmWidth, 0);

    QImage canvas(4, 4, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    QPainter painter(&canvas);
    const BITMAP drawn = CBmpMask::PaintBitmap(painter, source, QPoint(1, 1));
    painter.end();
    EXPECT_EQ(drawn.bmWidth, 3);
    EXPECT_EQ(canvas.pixel(3, 2), qRgb(1, 2, 3));
    EXPECT_EQ(canvas.pixel(0, 0), qRgb(0, 0, 0));
}
