#include "CTrade.h"
#include "SkinAccessors.h"

#include <QImage>
#include <QPainter>
#include <QWidget>
#include <gtest/gtest.h>
#include <set>

namespace {

class Trade : public testing::TestWithParam<int> {
protected:
    void SetUp() override { CTrade::SetScale(GetParam()); }
    void TearDown() override { CTrade::SetScale(0); }
    CTrade trade;
};

} // namespace

TEST_P(Trade, EveryAccessorGivesItsFramesAtTheirSizes) {
    ASSERT_EQ(CTrade::Accessors().size(), ExpectedAccessors().size());
    for (const ExpectedAccessor& expected : ExpectedAccessors()) {
        SCOPED_TRACE(expected.name);
        CBmpMask mask;
        EXPECT_EQ((trade.*expected.get)(mask), 0);
        ASSERT_EQ(mask.SizeAni(), expected.frames);
        for (unsigned int i = 0; i < mask.SizeAni(); ++i) {
            const QSize size = expected.FrameSize(i);
            if (size.isEmpty()) {
                EXPECT_TRUE(mask.GetAniBmp(i).isNull());
                continue;
            }
            ASSERT_FALSE(mask.GetAniBmp(i).isNull()) << "frame " << i;
            EXPECT_EQ(mask.GetAniRect(i), QRect(QPoint(0, 0), size)) << "frame " << i;
            EXPECT_EQ(mask.GetAniBmp(i).size(), size * GetParam()) << "frame " << i;
            EXPECT_EQ(mask.GetAniBmp(i).devicePixelRatio(), GetParam());
        }
    }
}

TEST_P(Trade, RepeatedPicturesShareOneImageAndAnotherCallReplacesTheList) {
    CBmpMask mask;
    trade.GetBmpMetAniCon(mask);
    ASSERT_EQ(mask.SizeAni(), 33u);
    std::set<qint64> distinct;
    for (unsigned int i = 0; i < mask.SizeAni(); ++i) {
        distinct.insert(mask.GetAniBmp(i).cacheKey());
    }
    // Its list names eight pictures: 5203 to 5209 and 5200.
    EXPECT_EQ(distinct.size(), 8u);
    // 5203 eight times, then 5204 twice.
    EXPECT_EQ(mask.GetAniBmp(0).cacheKey(), mask.GetAniBmp(7).cacheKey());
    EXPECT_NE(mask.GetAniBmp(7).cacheKey(), mask.GetAniBmp(8).cacheKey());
    // 5204 comes back after 5205 as the same image.
    EXPECT_EQ(mask.GetAniBmp(8).cacheKey(), mask.GetAniBmp(12).cacheKey());

    trade.GetBmpBtnOk(mask);
    EXPECT_EQ(mask.SizeAni(), 3u);
    trade.GetBmpMetAniMet(mask);
    EXPECT_EQ(mask.SizeAni(), 0u);

    trade.GetBmpReverbMask(mask);
    ASSERT_EQ(mask.SizeAni(), 5u);
    EXPECT_TRUE(mask.GetAniBmp(4).isNull());
    EXPECT_TRUE(mask.GetAniRgn(4).isEmpty());
    EXPECT_FALSE(mask.GetAniRgn(3).isEmpty());
}

TEST_P(Trade, AccessorsKeepTheCallersSettings) {
    QObject parent;
    CBmpMask mask(&parent);
    mask.SetRgnFlag(CBmpMask::RGN_RECT);
    mask.SetEventFlag(CBmpMask::EVENT_UP);
    mask.SetMsg(0x426);
    trade.GetBmpReverb(mask);
    ASSERT_EQ(mask.SizeAni(), 2u);
    EXPECT_TRUE(mask.GetAniRgn(0).isEmpty());
    EXPECT_EQ(mask.GetParent(), &parent);
    EXPECT_EQ(mask.GetMsg(), 0x426u);
    EXPECT_EQ(mask.GetEventFlag(), CBmpMask::EVENT_UP);
    // The two pictures of the hall differ: reverb off and on.
    EXPECT_NE(mask.GetAniBmp(0), mask.GetAniBmp(1));
}

TEST_P(Trade, SplashDrawsTheStartUpPictureAndGivesItsSize) {
    QImage canvas(QSize(600, 300) * GetParam(), QImage::Format_RGB32);
    canvas.setDevicePixelRatio(GetParam());
    canvas.fill(Qt::black);
    QPainter painter(&canvas);
    const BITMAP info = trade.PaintSplash(painter);
    painter.end();
    EXPECT_EQ(info.bmWidth, 580);
    EXPECT_EQ(info.bmHeight, 258);
    EXPECT_EQ(canvas.pixel(590 * GetParam(), 10), qRgb(0, 0, 0));
    EXPECT_NE(canvas.pixel(290 * GetParam(), 129 * GetParam()), qRgb(0, 0, 0));
}

INSTANTIATE_TEST_SUITE_P(Scales, Trade, testing::Values(1, 2),
                         [](const testing::TestParamInfo<int>& info) {
                             return "x" + std::to_string(info.param);
                         });

TEST(TradeDialog, BackgroundIsAPaleGoldPanelInAThreePixelWhiteFrame) {
    QWidget window;
    window.resize(10, 10);
    QImage canvas(10, 10, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    QPainter painter(&canvas);
    CTrade().PaintDlgBack(&window, painter);
    painter.end();
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 10; ++x) {
            const bool inner = x >= 3 && x < 7 && y >= 3 && y < 7;
            EXPECT_EQ(canvas.pixel(x, y), inner ? qRgb(231, 206, 123) : qRgb(255, 255, 255))
                << x << "," << y;
        }
    }
}

// The keys laid out as the keyboard display lays them (white keys 11 pixels apart, each black
// key 7 pixels right of the white key before it, later keys over earlier ones) make one
// 88-key keyboard: no white key covers another, no later white key covers a black one, and
// the keys fill the band without gaps wider than the one-pixel joint.
TEST_P(Trade, KeyboardPiecesFitTogetherIntoEightyEightKeys) {
    CBmpMask left, right, centre, all, black;
    trade.GetKeyLeft(left);
    trade.GetKeyRight(right);
    trade.GetKeyCenter(centre);
    trade.GetKeyAll(all);
    trade.GetKeyBlack(black);
    struct Placed {
        QRegion region;
        bool white;
    };
    std::vector<Placed> keys;
    int x = 68;
    keys.push_back({left.GetAniRgn(0).translated(x, 12), true});
    for (int k = 1; k < 88; ++k) {
        const CBmpMask* art = nullptr;
        if (k == 87) {
            x += 11;
            art = &all;
        } else {
            switch (k % 12) {
            case 0:
            case 5:
            case 10:
                x += 4;
                art = &centre;
                break;
            case 2:
            case 7:
                x += 4;
                art = &right;
                break;
            case 3:
            case 8:
                x += 11;
                art = &left;
                break;
            default:
                x += 7;
                art = &black;
                break;
            }
        }
        keys.push_back({art->GetAniRgn(0).translated(x, 12), art != &black});
    }
    int whites = 0;
    QRegion covered;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        whites += keys[i].white ? 1 : 0;
        covered += keys[i].region;
        for (std::size_t j = i + 1; j < keys.size(); ++j) {
            if (keys[i].white || !keys[j].white) {
                if (keys[i].white && keys[j].white) {
                    EXPECT_FALSE(keys[i].region.intersects(keys[j].region)) << i << " " << j;
                }
                continue;
            }
            EXPECT_FALSE(keys[i].region.intersects(keys[j].region))
                << "white key " << j << " covers black key " << i;
        }
    }
    EXPECT_EQ(whites, 52);
    // Along the middle of the keys every column belongs to a key but for the joints.
    int gaps = 0;
    for (int column = 68; column < 68 + 52 * 11 - 1; ++column) {
        gaps += covered.contains(QPoint(column, 12 + 28)) ? 0 : 1;
    }
    EXPECT_EQ(gaps, 51);
}
