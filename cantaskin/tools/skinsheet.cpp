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

// The keyboard display put together from its pieces the way the program lays them out, with
// a chord held down, to see that the pieces fit.
Tile Keyboard(CTrade& trade, int scale) {
    CBmpMask back, left, right, centre, all, black;
    trade.GetKeyBackground(back);
    trade.GetKeyLeft(left);
    trade.GetKeyRight(right);
    trade.GetKeyCenter(centre);
    trade.GetKeyAll(all);
    trade.GetKeyBlack(black);
    QImage board(QSize(718, 56) * scale, QImage::Format_ARGB32_Premultiplied);
    board.setDevicePixelRatio(scale);
    board.fill(Qt::transparent);
    QPainter painter(&board);
    auto place = [&](const CBmpMask& mask, unsigned int frame, QPoint at) {
        painter.save();
        painter.setClipRegion(mask.GetAniRgn(frame).translated(at));
        painter.drawImage(at, mask.GetAniBmp(frame));
        painter.restore();
    };
    place(back, 0, QPoint(0, 0));
    int x = 68;
    for (int k = 0; k < 88; ++k) {
        const CBmpMask* art = &left;
        if (k == 87) {
            x += 11;
            art = &all;
        } else if (k > 0) {
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
        const bool down = k == 39 || k == 43 || k == 46 || k == 51;
        place(*art, down ? 1 : 0, QPoint(x, 12));
    }
    painter.end();
    Tile tile;
    tile.title = QStringLiteral("keyboard, put together (C E G C held)");
    tile.frames.push_back(board);
    tile.repeats.push_back(1);
    return tile;
}

// The main window as the program composes it: the hall, the voice on the stage, the recorder,
// the metronome character, the frosted palette with its buttons and the keyboard.
Tile MainWindow(CTrade& trade, int scale) {
    QImage window(QSize(792, 526) * scale, QImage::Format_ARGB32_Premultiplied);
    window.setDevicePixelRatio(scale);
    QPainter painter(&window);
    auto place = [&](CBmpMask& mask, unsigned int frame, QPoint at) {
        painter.save();
        if (!mask.GetAniRgn(frame).isEmpty()) {
            painter.setClipRegion(mask.GetAniRgn(frame).translated(at));
        }
        painter.drawImage(at, mask.GetAniBmp(frame));
        painter.restore();
    };
    // Anchored by the bottom centre, as the engine places the icons.
    auto stand = [&](CBmpMask& mask, unsigned int frame, int x, int y) {
        const QRect r = mask.GetAniRect(frame);
        place(mask, frame, QPoint(x - r.width() / 2, y - r.height()));
    };
    CBmpMask hall;
    hall.SetRgnFlag(CBmpMask::RGN_RECT);
    trade.GetBmpReverb(hall);
    place(hall, 1, QPoint(0, 0));
    CBmpMask timbre, stereo, metronome, palette;
    trade.GetBmpTimbre(timbre);
    stand(timbre, 0, 290, 390);
    stand(timbre, 6, 510, 390);
    trade.GetBmpStereo(stereo);
    place(stereo, 0, QPoint(40, 430 - stereo.GetAniRect(0).height()));
    trade.GetBmpMetronome(metronome);
    stand(metronome, 3, 680, 410);
    trade.GetBmpReverbMask(palette);
    {
        // The palette blends with what lies under it: the picture composed so far.
        const QImage under = window.convertToFormat(QImage::Format_RGB32);
        const QImage blended = CBmpMask::FrostedBitmap(under, palette.GetAniBmp(0));
        painter.save();
        painter.setClipRegion(palette.GetAniRgn(0));
        painter.drawImage(0, 0, blended);
        painter.restore();
    }
    const CTrade::Accessor voices[8] = {&CTrade::GetBmpGrandPiano,  &CTrade::GetBmpUprightPiano,
                                        &CTrade::GetBmpElecPiano1,  &CTrade::GetBmpElecPiano2,
                                        &CTrade::GetBmpHarpsichord, &CTrade::GetBmpVibration,
                                        &CTrade::GetBmpStrings,     &CTrade::GetBmpPipeOrgan};
    for (int i = 0; i < 8; ++i) {
        CBmpMask button;
        (trade.*voices[i])(button);
        place(button, i == 0 || i == 6 ? 1 : 0, QPoint(751, 38 + i * 38));
    }
    CBmpMask separator, reverb, metro, tempo;
    trade.GetTextSeparate(separator);
    place(separator, 0, QPoint(752, 344));
    place(separator, 0, QPoint(752, 392));
    trade.GetBmpBtnReverb(reverb);
    place(reverb, 0, QPoint(751, 352));
    trade.GetBmpMetroOnOff(metro);
    place(metro, 1, QPoint(751, 400));
    trade.GetTextTempoX(tempo);
    place(tempo, 0, QPoint(754, 442));
    painter.fillRect(QRect(751, 470, 35, 18), QColor(249, 233, 179));
    painter.setPen(QColor(120, 96, 88));
    painter.drawText(QRect(751, 470, 35, 18), Qt::AlignCenter, QStringLiteral("120"));
    const Tile keyboard = Keyboard(trade, scale);
    painter.drawImage(QPoint(30, 447), keyboard.frames.front());
    painter.end();
    Tile tile;
    tile.title = QStringLiteral("main window, put together");
    tile.frames.push_back(window);
    tile.repeats.push_back(1);
    return tile;
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
    if (only.isEmpty() || QStringLiteral("GetKeyboard").contains(only, Qt::CaseInsensitive)) {
        tiles.push_back(Keyboard(trade, scale));
    }
    if (only.isEmpty() || QStringLiteral("MainWindow").contains(only, Qt::CaseInsensitive)) {
        tiles.insert(tiles.begin(), MainWindow(trade, scale));
    }
    CTrade::SetScale(0);
    return tiles;
}

// Lays the tiles out in rows `width` logical pixels wide; draws them when a painter is given.
// Where each frame of a tile goes, relative to the tile, wrapping at `limit` pixels.
struct Arrangement {
    std::vector<QPoint> at;
    QSize extent;
};

Arrangement Arrange(const Tile& tile, int limit) {
    Arrangement result;
    int fx = 0;
    int fy = 0;
    int lineHeight = 0;
    int widest = 0;
    for (const QImage& frame : tile.frames) {
        const QSize size = frame.isNull() ? QSize(24, 24) : frame.deviceIndependentSize().toSize();
        if (fx > 0 && fx + size.width() > limit) {
            fx = 0;
            fy += lineHeight + 16;
            lineHeight = 0;
        }
        result.at.emplace_back(fx, fy);
        fx += size.width() + 4;
        widest = std::max(widest, fx);
        lineHeight = std::max(lineHeight, size.height());
    }
    result.extent = QSize(std::max(widest, 150), fy + lineHeight);
    return result;
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
        const Arrangement arrangement = Arrange(tile, width - 2 * gap);
        if (x + arrangement.extent.width() > width && x > gap) {
            x = gap;
            y += rowHeight + gap;
            rowHeight = 0;
        }
        if (painter != nullptr) {
            painter->setFont(font);
            painter->setPen(QColor(30, 30, 30));
            painter->drawText(QPoint(x, y + 10), tile.title);
            for (std::size_t i = 0; i < tile.frames.size(); ++i) {
                const QImage& frame = tile.frames[i];
                const QSize size =
                    frame.isNull() ? QSize(24, 24) : frame.deviceIndependentSize().toSize();
                const QRect box(QPoint(x, y + titleHeight) + arrangement.at[i], size);
                painter->fillRect(box.adjusted(-1, -1, 1, 1), QColor(150, 150, 150));
                painter->fillRect(box, QColor(128, 128, 128));
                if (frame.isNull()) {
                    painter->drawText(box, Qt::AlignCenter, QStringLiteral("none"));
                } else {
                    painter->drawImage(box.topLeft(), frame);
                }
                if (tile.repeats[i] > 1) {
                    painter->drawText(QPoint(box.left(), box.bottom() + 11),
                                      QStringLiteral("x%1").arg(tile.repeats[i]));
                }
            }
        }
        x += arrangement.extent.width() + gap;
        rowHeight = std::max(rowHeight, arrangement.extent.height() + titleHeight + 12);
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
