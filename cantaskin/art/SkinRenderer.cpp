#include "SkinRenderer.h"

#include "ArtKit.h"

#include <set>
#include <vector>

QImage SkinRenderer::Raw(const art::Piece& piece, QSize size, int scale) {
    QImage image(size * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.scale(scale, scale);
    piece.draw(painter, QSizeF(size));
    painter.end();
    return image;
}

namespace {

QRgb Opaque(QRgb premultiplied) {
    return qUnpremultiply(premultiplied) | 0xFF000000u;
}

} // namespace

SkinRenderer::Pair SkinRenderer::Shaped(const art::Piece& piece, QSize size) {
    const QImage one = Raw(piece, size, 1);
    const int w = size.width();
    const int h = size.height();
    // The outline is decided once, at 1x, and the 2x picture keeps it block for block.
    std::vector<bool> inside(std::size_t(w) * h);
    for (int y = 0; y < h; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(one.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            inside[std::size_t(y) * w + x] = qAlpha(line[x]) >= 128;
        }
    }
    // Pockets of a few pixels enclosed by the figure (between an arm and the body) would show
    // as specks of whatever lies behind the window: they are filled with a neighbour's colour.
    std::vector<QRgb> filler(std::size_t(w) * h, 0);
    {
        std::vector<char> reached(std::size_t(w) * h, 0);
        std::vector<std::pair<int, int>> stack;
        std::vector<std::pair<int, int>> component;
        auto push = [&](int x, int y) {
            const std::size_t i = std::size_t(y) * w + x;
            if (x >= 0 && y >= 0 && x < w && y < h && !inside[i] && !reached[i]) {
                reached[i] = 1;
                stack.emplace_back(x, y);
            }
        };
        auto flood = [&]() {
            component.clear();
            while (!stack.empty()) {
                const auto [x, y] = stack.back();
                stack.pop_back();
                component.emplace_back(x, y);
                push(x + 1, y);
                push(x - 1, y);
                push(x, y + 1);
                push(x, y - 1);
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
        flood();
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                if (inside[std::size_t(y) * w + x] || reached[std::size_t(y) * w + x]) {
                    continue;
                }
                push(x, y);
                flood();
                if (component.size() >= 6) {
                    continue;
                }
                for (const auto& [cx, cy] : component) {
                    for (const auto& [dx, dy] : {std::pair{-1, 0}, {1, 0}, {0, -1}, {0, 1}}) {
                        const int nx = cx + dx;
                        const int ny = cy + dy;
                        if (nx >= 0 && ny >= 0 && nx < w && ny < h &&
                            inside[std::size_t(ny) * w + nx]) {
                            filler[std::size_t(cy) * w + cx] = Opaque(one.pixel(nx, ny));
                            break;
                        }
                    }
                }
            }
        }
        for (std::size_t i = 0; i < filler.size(); ++i) {
            if (filler[i] != 0) {
                inside[i] = true;
            }
        }
    }
    inside[std::size_t(h - 1) * w] = false;
    Pair pair;
    for (int scale : {1, 2}) {
        const QImage raw = scale == 1 ? one : Raw(piece, size, scale);
        QImage out(size * scale, QImage::Format_RGB32);
        for (int y = 0; y < out.height(); ++y) {
            const auto* in = reinterpret_cast<const QRgb*>(raw.constScanLine(y));
            auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
            for (int x = 0; x < out.width(); ++x) {
                const int lx = x / scale;
                const int ly = y / scale;
                if (!inside[std::size_t(ly) * w + lx]) {
                    line[x] = Key;
                    continue;
                }
                const QRgb fill = filler[std::size_t(ly) * w + lx];
                QRgb colour = fill != 0              ? fill
                              : qAlpha(in[x]) >= 128 ? Opaque(in[x])
                                                     : Opaque(one.pixel(lx, ly));
                if ((colour & 0xFFFFFF) == (Key & 0xFFFFFF)) {
                    colour ^= 0x000100;
                }
                line[x] = colour;
            }
        }
        (scale == 1 ? pair.normal : pair.hidpi) = out;
    }
    return pair;
}

SkinRenderer::Pair SkinRenderer::Rectangular(const art::Piece& piece, QSize size) {
    Pair pair;
    for (int scale : {1, 2}) {
        QImage out(size * scale, QImage::Format_RGB32);
        out.fill(art::Gold);
        QPainter painter(&out);
        painter.drawImage(0, 0, Raw(piece, size, scale));
        painter.end();
        (scale == 1 ? pair.normal : pair.hidpi) = out;
    }
    // A corner colour close to what is drawn there, but used nowhere else at either scale.
    std::set<QRgb> used;
    for (const QImage* image : {&pair.normal, &pair.hidpi}) {
        const int scale = image == &pair.normal ? 1 : 2;
        for (int y = 0; y < image->height(); ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(image->constScanLine(y));
            for (int x = 0; x < image->width(); ++x) {
                if (x < scale && y >= image->height() - scale) {
                    continue;
                }
                used.insert(line[x] | 0xFF000000u);
            }
        }
    }
    const QRgb base = pair.normal.pixel(0, size.height() - 1);
    QRgb corner = base;
    for (int step = 1; used.count(corner) != 0 && step < 4096; ++step) {
        const int db = (step % 16) - 8;
        const int dg = (step / 16 % 16) - 8;
        const int dr = (step / 256) - 8;
        corner = qRgb(std::clamp(qRed(base) + dr, 0, 255), std::clamp(qGreen(base) + dg, 0, 255),
                      std::clamp(qBlue(base) + db, 0, 255));
    }
    pair.normal.setPixel(0, size.height() - 1, corner);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 2; ++x) {
            pair.hidpi.setPixel(x, pair.hidpi.height() - 1 - y, corner);
        }
    }
    return pair;
}

SkinRenderer::Pair SkinRenderer::Render(const art::Piece& piece, QSize size) {
    return piece.shaped ? Shaped(piece, size) : Rectangular(piece, size);
}
