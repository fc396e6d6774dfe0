#include "CBmpMask.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {

// Device pixels per logical pixel of a skin image: 1 for ordinary images, 2 for the HiDPI set.
int Scale(const QImage& image) {
    const int scale = static_cast<int>(std::lround(image.devicePixelRatio()));
    return std::max(scale, 1);
}

} // namespace

CBmpMask::CBmpMask(QObject* parent) : m_parent(parent) {}

CBmpMask::CBmpMask(const CBmpMask& other) = default;

CBmpMask::~CBmpMask() = default;

int CBmpMask::operator=(const CBmpMask& other) {
    if (this != &other) {
        m_rgnFlag = other.m_rgnFlag;
        m_eventFlag = other.m_eventFlag;
        m_mask = other.m_mask;
        m_trans = other.m_trans;
        m_parent = other.m_parent;
        m_msg = other.m_msg;
        m_frames = other.m_frames;
    }
    return 0;
}

void CBmpMask::SetMask(std::uint32_t mask) {
    m_mask = mask;
    m_trans &= mask;
}

void CBmpMask::SetTrans(std::uint32_t colour) {
    m_trans = colour & m_mask;
}

void CBmpMask::SetAniBmp(const QImage& bitmap) {
    m_mask = 0xFFFFFF;
    m_trans = TRANS_FROM_CORNER;
    SCTRL frame;
    frame.bitmap = bitmap;
    if (m_rgnFlag == RGN_SHAPED) {
        frame.region = CreateBmpRgn(bitmap);
    }
    frame.rect = GetBmpRect(bitmap);
    m_frames.push_back(std::move(frame));
}

QImage CBmpMask::GetAniBmp(unsigned int index) const {
    return index < m_frames.size() ? m_frames[index].bitmap : QImage();
}

QRegion CBmpMask::GetAniRgn(unsigned int index) const {
    return index < m_frames.size() ? m_frames[index].region : QRegion();
}

QRect CBmpMask::GetAniRect(unsigned int index) const {
    return index < m_frames.size() ? m_frames[index].rect : QRect(0, 0, 0, 0);
}

void CBmpMask::Clear() {
    m_frames.clear();
}

// Images and regions are values: dropping them is all there is to free, and a copy of this
// mask that still lists them keeps them alive and valid.
void CBmpMask::Release() {
    m_frames.clear();
}

BITMAP CBmpMask::Describe(const QImage& bitmap) {
    BITMAP info;
    if (bitmap.isNull()) {
        return info;
    }
    const QSize size = GetBmpRect(bitmap).size();
    info.bmWidth = size.width();
    info.bmHeight = size.height();
    info.bmWidthBytes = static_cast<int>(bitmap.bytesPerLine());
    info.bmPlanes = 1;
    info.bmBitsPixel = static_cast<std::uint16_t>(bitmap.depth());
    return info;
}

QImage CBmpMask::MakeDIB(const QImage& source, BITMAP& info, std::uint32_t*& bits) {
    info = BITMAP();
    bits = nullptr;
    if (source.isNull()) {
        return QImage();
    }
    QImage copy = source.convertToFormat(QImage::Format_RGB32);
    if (copy.isNull()) {
        return QImage();
    }
    copy.detach();
    if (copy.isNull() || copy.bytesPerLine() != copy.width() * 4) {
        return QImage();
    }
    auto* pixels = reinterpret_cast<std::uint32_t*>(copy.bits());
    const qsizetype count = qsizetype(copy.width()) * copy.height();
    for (qsizetype i = 0; i < count; ++i) {
        pixels[i] &= 0xFFFFFF;
    }
    info = Describe(copy);
    info.bmBits = pixels;
    bits = pixels;
    return copy;
}

QRect CBmpMask::GetBmpRect(const QImage& bitmap) {
    if (bitmap.isNull()) {
        return QRect(0, 0, 0, 0);
    }
    const int scale = Scale(bitmap);
    return QRect(0, 0, bitmap.width() / scale, bitmap.height() / scale);
}

QRegion CBmpMask::CreateBmpRgn(const QImage& bitmap) {
    if (bitmap.isNull()) {
        return QRegion();
    }
    // The pixels are read in place: the mask keeps the fourth byte out of every comparison, so
    // no cleared copy is needed.
    const QImage image =
        bitmap.format() == QImage::Format_RGB32 || bitmap.format() == QImage::Format_ARGB32
            ? bitmap
            : bitmap.convertToFormat(QImage::Format_RGB32);
    if (image.isNull()) {
        return QRegion();
    }
    const int scale = Scale(image);
    const int width = image.width() / scale;
    const int height = image.height() / scale;
    if (width <= 0 || height <= 0) {
        return QRegion();
    }
    const std::uint32_t mask = m_mask & 0xFFFFFF;
    // A logical pixel of a HiDPI image is read at the bottom-left device pixel of its block, so
    // the picture's own bottom-left pixel is the corner at every scale.
    auto row = [&](int y) {
        return reinterpret_cast<const std::uint32_t*>(image.constScanLine(y * scale + scale - 1));
    };
    if (m_trans == TRANS_FROM_CORNER) {
        SetTrans(row(height - 1)[0]);
    }
    const std::uint32_t trans = m_trans & 0xFFFFFF;

    // Runs of one line form a band; a line with the same runs as the line above extends that
    // band, so the rectangles come out in the banded, coalesced order QRegion keeps itself.
    std::vector<QRect> rects;
    std::vector<std::pair<int, int>> previous;
    std::vector<std::pair<int, int>> runs;
    std::size_t bandStart = 0;
    for (int y = 0; y < height; ++y) {
        const std::uint32_t* line = row(y);
        runs.clear();
        int x = 0;
        while (x < width) {
            if ((line[x * scale] & mask) == trans) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < width && (line[x * scale] & mask) != trans) {
                ++x;
            }
            runs.emplace_back(start, x);
        }
        if (!runs.empty() && runs == previous) {
            for (std::size_t i = bandStart; i < rects.size(); ++i) {
                rects[i].setBottom(y);
            }
        } else {
            bandStart = rects.size();
            for (const auto& [left, right] : runs) {
                rects.emplace_back(left, y, right - left, 1);
            }
        }
        std::swap(previous, runs);
    }
    QRegion region;
    if (!rects.empty()) {
        region.setRects(rects.data(), static_cast<int>(rects.size()));
    }
    return region;
}

void CBmpMask::FeeldCreator(const std::uint32_t* back, const std::uint32_t* front,
                            unsigned int width, unsigned int height, std::uint32_t* out) {
    const std::size_t count = std::size_t(width) * height;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t result = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            const std::uint32_t f = (front[i] >> shift) & 0xFF;
            const std::uint32_t b = (back[i] >> shift) & 0xFF;
            result |= ((7 * f + 3 * b) / 10) << shift;
        }
        out[i] = result;
    }
}

void CBmpMask::BestFeeldCreator(const std::uint32_t* back, const std::uint32_t* front,
                                unsigned int width, unsigned int height, std::uint32_t* out) {
    FeeldCreator(back, front, width, height, out);
}

QImage CBmpMask::FrostedBitmap(const QImage& back, const QImage& front) {
    if (back.isNull() || front.isNull()) {
        return QImage();
    }
    // One pass over the pixels, line by line: the palette's looks are as large as the window,
    // and each look shown is blended anew.
    const QImage front32 = front.convertToFormat(QImage::Format_RGB32);
    const QImage back32 = back.convertToFormat(QImage::Format_RGB32);
    QImage output(front32.size(), QImage::Format_RGB32);
    if (front32.isNull() || back32.isNull() || output.isNull()) {
        return QImage();
    }
    const int width = front32.width();
    const int covered = std::min(width, back32.width());
    for (int y = 0; y < front32.height(); ++y) {
        const auto* frontLine = reinterpret_cast<const std::uint32_t*>(front32.constScanLine(y));
        auto* outLine = reinterpret_cast<std::uint32_t*>(output.scanLine(y));
        const int reach = y < back32.height() ? covered : 0;
        if (reach > 0) {
            BestFeeldCreator(reinterpret_cast<const std::uint32_t*>(back32.constScanLine(y)),
                             frontLine, static_cast<unsigned int>(reach), 1, outLine);
        }
        // Beyond the back, the front blended with itself: unchanged.
        std::copy(frontLine + reach, frontLine + width, outLine + reach);
        // Qt draws RGB32 pixels as opaque only with the fourth byte set.
        for (int x = 0; x < width; ++x) {
            outLine[x] |= 0xFF000000u;
        }
    }
    output.setDevicePixelRatio(front.devicePixelRatio());
    return output;
}

BITMAP CBmpMask::PaintBitmap(QPainter& dc, const QImage& bitmap, QPoint at) {
    if (!bitmap.isNull()) {
        dc.drawImage(at, bitmap);
    }
    return Describe(bitmap);
}
