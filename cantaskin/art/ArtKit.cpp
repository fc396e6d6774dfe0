#include "ArtKit.h"

#include <QFontMetricsF>
#include <QLinearGradient>

namespace art {

QFont LabelFont(qreal pixelSize, bool bold) {
    QFont font(QStringLiteral("IPAPGothic"));
    font.setPixelSize(std::max(1, qRound(pixelSize)));
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

void Label(QPainter& p, const QRectF& box, const QString& text, const QColor& colour,
           qreal pixelSize, bool bold, Qt::Alignment align) {
    // A label too wide for its box first gives up bold, then narrows its letters, and only
    // then gets smaller: the size is what keeps it legible.
    qreal size = pixelSize;
    QFont font = LabelFont(size, bold);
    auto tooWide = [&]() { return QFontMetricsF(font).horizontalAdvance(text) > box.width(); };
    if (tooWide() && bold) {
        font = LabelFont(size, false);
    }
    for (int stretch = 95; tooWide() && stretch >= 80; stretch -= 5) {
        font.setStretch(stretch);
    }
    while (size > 6 && tooWide()) {
        size -= 0.5;
        font.setPixelSize(std::max(1, qRound(size)));
    }
    p.save();
    p.setFont(font);
    p.setPen(colour);
    p.drawText(box, int(align), text);
    p.restore();
}

QColor Mix(const QColor& a, const QColor& b, qreal t) {
    return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * t,
                            a.greenF() + (b.greenF() - a.greenF()) * t,
                            a.blueF() + (b.blueF() - a.blueF()) * t);
}

QPainterPath Ellipse(qreal cx, qreal cy, qreal rx, qreal ry) {
    QPainterPath path;
    path.addEllipse(QPointF(cx, cy), rx, ry);
    return path;
}

QPainterPath Rounded(const QRectF& r, qreal radius) {
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    return path;
}

void Fill(QPainter& p, const QPainterPath& path, const QColor& top, const QColor& bottom,
          const QColor& line, qreal width) {
    const QRectF bounds = path.boundingRect();
    QLinearGradient gradient(bounds.topLeft(), bounds.bottomLeft());
    gradient.setColorAt(0, top);
    gradient.setColorAt(1, bottom);
    p.save();
    p.setBrush(gradient);
    if (width > 0) {
        p.setPen(QPen(line, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    } else {
        p.setPen(Qt::NoPen);
    }
    p.drawPath(path);
    p.restore();
}

void Fill(QPainter& p, const QPainterPath& path, const QColor& colour, const QColor& line,
          qreal width) {
    Fill(p, path, colour, colour, line, width);
}

QColor GlyphColour(Face face, const QColor& normal) {
    switch (face) {
    case Face::Up:
        return normal;
    case Face::Pressed:
        return normal.darker(115);
    case Face::Disabled:
        return QColor(178, 166, 148);
    }
    return normal;
}

QRectF ButtonBody(QPainter& p, const QRectF& box, Face face, qreal radius) {
    const QRectF outer = box.adjusted(0.5, 0.5, -0.5, -0.5);
    const QPainterPath body = Rounded(outer, radius);
    switch (face) {
    case Face::Up:
        // A raised face: light from above, a darker lip along the bottom.
        Fill(p, Rounded(outer.adjusted(0, 1.5, 0, 0), radius), Bronze, Bronze, Ink, 1.0);
        Fill(p, Rounded(outer.adjusted(0, 0, 0, -2), radius), GoldPale, Gold, Bronze, 1.0);
        p.save();
        p.setPen(QPen(QColor(255, 255, 255, 170), 1.0));
        p.setBrush(Qt::NoBrush);
        p.drawPath(Rounded(outer.adjusted(1.5, 1.5, -1.5, -3.5), std::max(0.0, radius - 1.5)));
        p.restore();
        return outer.adjusted(2, 1, -2, -3);
    case Face::Pressed:
        // Pushed in: darker, lit from below, the face one pixel lower.
        Fill(p, body, GoldDeep, Mix(Gold, GoldLight, 0.3), Ink, 1.0);
        p.save();
        p.setPen(QPen(QColor(90, 56, 24, 120), 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawPath(Rounded(outer.adjusted(1.5, 1.5, -1.5, -1.5), std::max(0.0, radius - 1.5)));
        p.restore();
        return outer.adjusted(2, 2, -2, -1);
    case Face::Disabled:
        Fill(p, Rounded(outer.adjusted(0, 0, 0, -2), radius), QColor(240, 234, 218),
             QColor(226, 218, 198), QColor(184, 172, 152), 1.0);
        return outer.adjusted(2, 1, -2, -3);
    }
    return outer;
}

QRectF RoundBody(QPainter& p, const QRectF& box, Face face) {
    const qreal radius = std::min(box.width(), box.height()) / 2.0;
    return ButtonBody(p, box, face, radius);
}

} // namespace art
