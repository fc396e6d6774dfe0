// Draws the skin's contact sheet: every accessor's frames side by side on a neutral
// background with their names, at 1x and then at 2x, as one PNG. Shaped frames are shown cut
// out by their region, so the sheet shows what a window shows.
//   skinsheet OUTPUT.png [--only TEXT] [--scale 1|2]
#include "CTrade.h"

#include <QGuiApplication>
#include <QPainter>
#include <QStringList>
#include <cstdio>
#include <vector>

namespace {

struct Tile {
    QString title;
    std::vector<QImage> frames; // as cut out, at the scale of the section
    std::vector<int> repeats;
};

QImage CutOut(const QImage& frame, const QRegion& region) {
    if (region.isEmpty()) {
        return frame;
    }
    QImage out(frame.size(), QImage::Format_ARGB32_Premultiplied);
    out.setDevicePixelRatio(frame.devicePixelRatio());
    out.fill(Qt::transparent);
    QPainter painter(&out);
    painter.setClipRegion(region);
    painter.drawImage(0, 0, frame);
    return out;
}

std::vector<Tile> Collect(int scale, const QString& only) {
    CTrade::SetScale(scale);
    CTrade trade;
    std::vector<Tile> tiles;
    for (const CTrade::Named& accessor : CTrade::Accessors()) {
        const QString name = QString::fromLatin1(accessor.name);
        if (!only.isEmpty() && !name.contains(only, Qt::CaseInsensitive)) {
            continue;
        }
        CBmpMask mask;
        if (name == QLatin1String("GetBmpReverb")) {
            mask.SetRgnFlag(CBmpMask::RGN_RECT);
        }
        (trade.*accessor.get)(mask);
        Tile tile;
        tile.title = QStringLiteral("%1 (%2)").arg(name).arg(mask.SizeAni());
        qint64 previous = -1;
        for (unsigned int i = 0; i < mask.SizeAni(); ++i) {
            const QImage image = mask.GetAniBmp(i);
            const qint64 key = image.isNull() ? 0 : image.cacheKey();
            if (key == previous && !tile.repeats.empty()) {
                ++tile.repeats.back();
                continue;
            }
            previous = key;
            tile.frames.push_back(image.isNull() ? QImage() : CutOut(image, mask.GetAniRgn(i)));
            tile.repeats.push_back(1);
        }
        tiles.push_back(tile);
    }
    CTrade::SetScale(0);
    return tiles;
}

// Lays the tiles out in rows `width` logical pixels wide; draws them when a painter is given.
int Layout(const std::vector<Tile>& tiles, int width, int top, QPainter* painter) {
    const int gap = 10;
    const int titleHeight = 14;
    int x = gap;
    int y = top;
    int rowHeight = 0;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(10);
    for (const Tile& tile : tiles) {
        int tileWidth = 0;
        int tileHeight = 0;
        for (const QImage& frame : tile.frames) {
            const QSize size =
                frame.isNull() ? QSize(24, 24) : frame.deviceIndependentSize().toSize();
            tileWidth += size.width() + 4;
            tileHeight = std::max(tileHeight, size.height());
        }
        tileWidth = std::max(tileWidth, 150);
        if (x + tileWidth > width && x > gap) {
            x = gap;
            y += rowHeight + gap;
            rowHeight = 0;
        }
        if (painter != nullptr) {
            painter->setFont(font);
            painter->setPen(QColor(30, 30, 30));
            painter->drawText(QPoint(x, y + 10), tile.title);
            int fx = x;
            for (std::size_t i = 0; i < tile.frames.size(); ++i) {
                const QImage& frame = tile.frames[i];
                const QSize size =
                    frame.isNull() ? QSize(24, 24) : frame.deviceIndependentSize().toSize();
                const QRect box(fx, y + titleHeight, size.width(), size.height());
                painter->fillRect(box.adjusted(-1, -1, 1, 1), QColor(150, 150, 150));
                painter->fillRect(box, QColor(128, 128, 128));
                if (frame.isNull()) {
                    painter->drawText(box, Qt::AlignCenter, QStringLiteral("none"));
                } else {
                    painter->drawImage(box.topLeft(), frame);
                }
                if (tile.repeats[i] > 1) {
                    painter->drawText(QPoint(fx, box.bottom() + 11),
                                      QStringLiteral("x%1").arg(tile.repeats[i]));
                }
                fx += size.width() + 4;
            }
        }
        x += tileWidth + gap;
        rowHeight = std::max(rowHeight, tileHeight + titleHeight + 12);
    }
    return y + rowHeight + gap;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication application(argc, argv);
    const QStringList args = application.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: skinsheet OUTPUT.png [--only TEXT] [--scale 1|2]\n");
        return 2;
    }
    QString only;
    std::vector<int> scales{1, 2};
    for (int i = 2; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--only")) {
            only = args[i + 1];
        } else if (args[i] == QLatin1String("--scale")) {
            scales = {args[i + 1].toInt() == 2 ? 2 : 1};
        }
    }
    const int width = 1600;
    // The 1x section and the 2x section, each with a heading; the sheet is drawn at 2x so
    // that the HiDPI pictures show every device pixel.
    std::vector<std::vector<Tile>> sections;
    int height = 0;
    for (int scale : scales) {
        sections.push_back(Collect(scale, only));
        height = Layout(sections.back(), width, height + 24, nullptr);
    }
    QImage sheet(QSize(width, height) * 2, QImage::Format_RGB32);
    sheet.setDevicePixelRatio(2);
    sheet.fill(QColor(196, 196, 196));
    QPainter painter(&sheet);
    int top = 0;
    for (std::size_t s = 0; s < sections.size(); ++s) {
        QFont heading(QStringLiteral("DejaVu Sans"));
        heading.setPixelSize(16);
        heading.setBold(true);
        painter.setFont(heading);
        painter.setPen(Qt::black);
        painter.drawText(QPoint(10, top + 18), QStringLiteral("Cantaskin at %1x").arg(scales[s]));
        top = Layout(sections[s], width, top + 24, &painter);
    }
    painter.end();
    if (scales.size() == 1 && scales[0] == 1) {
        sheet = sheet.scaled(sheet.size() / 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    if (!sheet.save(args[1])) {
        std::fprintf(stderr, "skinsheet: cannot write %s\n", qPrintable(args[1]));
        return 1;
    }
    std::printf("%s\n", qPrintable(args[1]));
    return 0;
}
