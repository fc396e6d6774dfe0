#include "CTrade.h"
#include "SkinAccessors.h"

#include <QImage>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

qint64 Area(const QRegion& region) {
    qint64 area = 0;
    for (const QRect& r : region) {
        area += qint64(r.width()) * r.height();
    }
    return area;
}

// Specks of key colour inside the outline: enclosed holes of fewer than six pixels. Larger
// holes are drawn on purpose (the stage between a stand's legs); specks are colours of the
// picture that happened to equal its key colour.
qint64 EnclosedSpecks(const QRegion& region, QSize size) {
    const int w = size.width();
    const int h = size.height();
    std::vector<char> state(std::size_t(w) * h, 0); // 0 outside, 1 inside, 2 reached
    for (const QRect& r : region) {
        for (int y = r.top(); y <= r.bottom(); ++y) {
            for (int x = r.left(); x <= r.right(); ++x) {
                state[std::size_t(y) * w + x] = 1;
            }
        }
    }
    std::vector<std::pair<int, int>> stack;
    auto push = [&](int x, int y) {
        if (x >= 0 && y >= 0 && x < w && y < h && state[std::size_t(y) * w + x] == 0) {
            state[std::size_t(y) * w + x] = 2;
            stack.emplace_back(x, y);
        }
    };
    for (int x = 0; x < w; ++x) {
        push(x, 0);
        push(x, h - 1);
    }
    for (int y = 0; y < h; ++y) {
        push(0, y);
        push(w - 1, y);
    }
    auto flood = [&]() {
        qint64 size = 0;
        while (!stack.empty()) {
            const auto [x, y] = stack.back();
            stack.pop_back();
            ++size;
            push(x + 1, y);
            push(x - 1, y);
            push(x, y + 1);
            push(x, y - 1);
        }
        return size;
    };
    flood();
    qint64 specks = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (state[std::size_t(y) * w + x] == 0) {
                push(x, y);
                specks += flood() < 6 ? 1 : 0;
            }
        }
    }
    return specks;
}

// Key-coloured (magenta) pixels inside the outline: an anti-aliased fringe or a leak.
int KeyLikePixels(const QImage& image, const QRegion& region) {
    const int scale = int(image.devicePixelRatio());
    int count = 0;
    for (const QRect& r : region) {
        for (int y = r.top() * scale; y < (r.bottom() + 1) * scale; ++y) {
            for (int x = r.left() * scale; x < (r.right() + 1) * scale; ++x) {
                const QRgb c = image.pixel(x, y);
                count += qRed(c) > 200 && qGreen(c) < 90 && qBlue(c) > 200 ? 1 : 0;
            }
        }
    }
    return count;
}

struct Frame {
    QImage image;
    QRegion region;
};

std::vector<Frame> Frames(CTrade::Accessor get, int scale) {
    CTrade::SetScale(scale);
    CTrade trade;
    CBmpMask mask;
    (trade.*get)(mask);
    CTrade::SetScale(0);
    std::vector<Frame> frames;
    for (unsigned int i = 0; i < mask.SizeAni(); ++i) {
        frames.push_back({mask.GetAniBmp(i), mask.GetAniRgn(i)});
    }
    return frames;
}

} // namespace

// Every picture shown as a shaped window has an outline that makes sense at both scales: the
// corner it takes its key colour from lies outside, most of the picture inside, no holes, no
// key-coloured fringe, the same outline at 2x as at 1x, and a button's centre can be pressed.
TEST(SkinShape, EveryShapedPictureHasASensibleOutlineAtBothScales) {
    for (const ExpectedAccessor& expected : ExpectedAccessors()) {
        if (std::string(expected.name) == "GetBmpReverb") {
            continue; // the hall is shown as a rectangle
        }
        SCOPED_TRACE(expected.name);
        const std::vector<Frame> normal = Frames(expected.get, 1);
        const std::vector<Frame> hidpi = Frames(expected.get, 2);
        ASSERT_EQ(normal.size(), hidpi.size());
        for (std::size_t i = 0; i < normal.size(); ++i) {
            if (normal[i].image.isNull()) {
                continue;
            }
            SCOPED_TRACE("frame " + std::to_string(i));
            const QSize size = normal[i].image.size();
            const QRegion& region = normal[i].region;
            EXPECT_FALSE(region.contains(QPoint(0, size.height() - 1)));
            const qint64 area = qint64(size.width()) * size.height();
            // The palette overlay is a frame around the picture; everything else fills most of
            // its rectangle.
            const bool overlay = std::string(expected.name) == "GetBmpReverbMask";
            EXPECT_GE(Area(region) * (overlay ? 20 : 5), area);
            EXPECT_GE(region.boundingRect().width() * 2, size.width());
            EXPECT_GE(region.boundingRect().height() * 2, size.height());
            EXPECT_EQ(EnclosedSpecks(region, size), 0);
            if (expected.kind == ExpectedAccessor::Button) {
                EXPECT_TRUE(region.contains(QPoint(size.width() / 2, size.height() / 2)));
            }
            EXPECT_EQ(KeyLikePixels(normal[i].image, region), 0);
            EXPECT_EQ(KeyLikePixels(hidpi[i].image, hidpi[i].region), 0);
            EXPECT_TRUE((hidpi[i].region ^ region).isEmpty());
        }
    }
}
