#include "Instruments.h"

#include "ArtKit.h"
#include "Artwork.h"

#include <QLinearGradient>
#include <QRadialGradient>
#include <cmath>

namespace art {
namespace {

// Outline width and level of detail of the drawing in progress, in design units.
struct Pen {
    qreal line = 1.2;
    bool small = false;
};

const QColor Lacquer(34, 28, 34);
const QColor LacquerLight(92, 82, 96);
const QColor Chrome(214, 220, 228);
const QColor ChromeDark(132, 140, 152);
const QColor KeyWhite(252, 250, 242);

void Line(QPainter& p, const Pen& pen, QPointF a, QPointF b, const QColor& colour, qreal width) {
    p.save();
    p.setPen(QPen(colour, width * pen.line / 1.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(a, b);
    p.restore();
}

// A row of keys seen from above at a slant: white keys with the black ones between.
void Keys(QPainter& p, const Pen& pen, const QRectF& r, int whites, bool reversed = false) {
    const QColor white = reversed ? QColor(40, 30, 28) : KeyWhite;
    const QColor black = reversed ? KeyWhite : QColor(24, 20, 22);
    Fill(p, Rounded(r, 1), white, white.darker(110), Ink, pen.line * 0.8);
    if (pen.small) {
        return;
    }
    const qreal step = r.width() / whites;
    for (int i = 1; i < whites; ++i) {
        Line(p, pen, QPointF(r.left() + i * step, r.top() + r.height() * 0.45),
             QPointF(r.left() + i * step, r.bottom()), QColor(150, 140, 130), 0.5);
    }
    for (int i = 0; i < whites - 1; ++i) {
        const int n = i % 7;
        if (n == 2 || n == 6) {
            continue;
        }
        p.fillRect(QRectF(r.left() + (i + 0.68) * step, r.top(), step * 0.64, r.height() * 0.55),
                   black);
    }
}

void Grand(QPainter& p, const Pen& pen) {
    // Lid, raised on its stick, with the golden frame and strings showing under it.
    QPainterPath frame;
    frame.moveTo(40, 74);
    frame.lineTo(200, 74);
    frame.quadTo(204, 50, 170, 36);
    frame.lineTo(70, 60);
    frame.closeSubpath();
    Fill(p, frame, QColor(236, 196, 110), QColor(190, 140, 60), Ink, pen.line);
    if (!pen.small) {
        for (int i = 0; i < 9; ++i) {
            Line(p, pen, QPointF(74 + i * 13, 72), QPointF(86 + i * 10, 48 - i * 0.8),
                 QColor(120, 84, 40), 0.6);
        }
    }
    QPainterPath lid;
    lid.moveTo(30, 70);
    lid.lineTo(150, 8);
    lid.quadTo(196, 0, 206, 30);
    lid.lineTo(206, 40);
    lid.lineTo(176, 30);
    lid.closeSubpath();
    Fill(p, lid, LacquerLight, Lacquer, Ink, pen.line);
    Line(p, pen, QPointF(118, 72), QPointF(150, 26), QColor(60, 50, 50), 2.2);
    // Case with its curved tail.
    QPainterPath rim;
    rim.moveTo(16, 72);
    rim.lineTo(190, 72);
    rim.quadTo(210, 72, 210, 86);
    rim.quadTo(210, 102, 190, 102);
    rim.lineTo(16, 102);
    rim.closeSubpath();
    Fill(p, rim, LacquerLight, Lacquer, Ink, pen.line);
    if (!pen.small) {
        Line(p, pen, QPointF(22, 77), QPointF(190, 77), QColor(255, 255, 255, 90), 1.2);
        Line(p, pen, QPointF(18, 100), QPointF(196, 100), QColor(210, 170, 90), 1.0);
    }
    // Keyboard and its cheek at the front.
    Fill(p, Rounded(QRectF(2, 78, 38, 14), 2), Lacquer, Lacquer, Ink, pen.line);
    Keys(p, pen, QRectF(4, 79, 32, 6), 6);
    // Legs, lyre and pedals.
    for (qreal x : {20.0, 118.0, 190.0}) {
        QPainterPath leg;
        leg.moveTo(x - 5, 102);
        leg.lineTo(x + 5, 102);
        leg.lineTo(x + 3, 140);
        leg.lineTo(x - 3, 140);
        leg.closeSubpath();
        Fill(p, leg, LacquerLight, Lacquer, Ink, pen.line);
        Fill(p, Rounded(QRectF(x - 4.5, 140, 9, 6), 2), QColor(214, 176, 90), QColor(150, 110, 50),
             Ink, pen.line * 0.8);
    }
    QPainterPath lyre;
    lyre.moveTo(56, 102);
    lyre.lineTo(66, 102);
    lyre.lineTo(64, 134);
    lyre.lineTo(58, 134);
    lyre.closeSubpath();
    Fill(p, lyre, LacquerLight, Lacquer, Ink, pen.line);
    Fill(p, Rounded(QRectF(50, 134, 22, 6), 2), Lacquer, Lacquer, Ink, pen.line);
    if (!pen.small) {
        for (qreal x : {54.0, 60.0, 66.0}) {
            p.fillRect(QRectF(x - 1.5, 138, 3, 3), QColor(220, 184, 96));
        }
    }
}

void Upright(QPainter& p, const Pen& pen) {
    const QColor wood(150, 86, 44);
    const QColor woodDark(96, 52, 26);
    Fill(p, Rounded(QRectF(8, 6, 114, 92), 4), wood.lighter(112), woodDark, Ink, pen.line);
    Fill(p, Rounded(QRectF(4, 2, 122, 9), 3), wood.lighter(125), wood, Ink, pen.line);
    if (!pen.small) {
        Fill(p, Rounded(QRectF(18, 16, 94, 30), 3), wood, wood.lighter(115), woodDark,
             pen.line * 0.8);
        Fill(p, Rounded(QRectF(46, 22, 38, 16), 2), QColor(244, 232, 200), QColor(226, 206, 160),
             woodDark, pen.line * 0.6);
        for (int i = 0; i < 4; ++i) {
            p.fillRect(QRectF(51 + i * 8, 26, 5, 1), QColor(120, 90, 60));
            p.fillRect(QRectF(51 + i * 8, 31, 4, 1), QColor(120, 90, 60));
        }
    }
    Fill(p, Rounded(QRectF(2, 50, 126, 15), 2), wood.lighter(118), woodDark, Ink, pen.line);
    Keys(p, pen, QRectF(8, 52, 114, 9), 14);
    if (!pen.small) {
        Fill(p, Rounded(QRectF(18, 70, 94, 22), 3), wood, woodDark, woodDark, pen.line * 0.8);
        Line(p, pen, QPointF(24, 80), QPointF(106, 80), QColor(196, 140, 80), 1.0);
    }
    for (qreal x : {10.0, 112.0}) {
        Fill(p, Rounded(QRectF(x, 96, 8, 13), 2), wood, woodDark, Ink, pen.line);
    }
    for (qreal x : {56.0, 63.0, 70.0}) {
        Fill(p, Rounded(QRectF(x - 2, 100, 5, 6), 1.5), QColor(232, 196, 110), QColor(170, 126, 56),
             Ink, pen.line * 0.6);
    }
}

void ElecPiano1(QPainter& p, const Pen& pen) {
    // The classic tine piano: a rounded black lid, a silver name rail, four chrome legs.
    QPainterPath lid;
    lid.moveTo(4, 40);
    lid.quadTo(6, 20, 30, 18);
    lid.lineTo(82, 18);
    lid.quadTo(106, 20, 108, 40);
    lid.closeSubpath();
    Fill(p, lid, QColor(70, 66, 70), QColor(22, 20, 24), Ink, pen.line);
    if (!pen.small) {
        Line(p, pen, QPointF(28, 22), QPointF(84, 22), QColor(255, 255, 255, 80), 1.4);
    }
    Fill(p, QPainterPath(Rounded(QRectF(4, 38, 104, 8), 1.5)), Chrome, ChromeDark, Ink, pen.line);
    if (!pen.small) {
        Fill(p, Rounded(QRectF(46, 39.5, 20, 5), 1), RecordRed, RecordRed.darker(130), Ink, 0.5);
    }
    Fill(p, Rounded(QRectF(2, 45, 108, 16), 2), QColor(40, 36, 40), QColor(20, 18, 22), Ink,
         pen.line);
    Keys(p, pen, QRectF(7, 46, 98, 9), 13);
    for (auto [top, bottom] :
         {std::pair{QPointF(14, 61), QPointF(8, 90)}, std::pair{QPointF(98, 61), QPointF(104, 90)},
          std::pair{QPointF(30, 61), QPointF(34, 86)},
          std::pair{QPointF(82, 61), QPointF(78, 86)}}) {
        Line(p, pen, top, bottom, ChromeDark, pen.small ? 5.0 : 3.2);
        Line(p, pen, top, bottom, Chrome, pen.small ? 3.0 : 1.6);
    }
    if (!pen.small) {
        Fill(p, Rounded(QRectF(48, 84, 16, 6), 2), QColor(70, 66, 70), QColor(20, 18, 22), Ink,
             pen.line);
        Line(p, pen, QPointF(56, 84), QPointF(40, 70), QColor(60, 60, 60), 0.8);
    }
}

void ElecPiano2(QPainter& p, const Pen& pen) {
    // A slim digital stage piano on an X stand, with a small display and buttons.
    Line(p, pen, QPointF(18, 90), QPointF(92, 46), QColor(70, 74, 84), pen.small ? 7 : 5);
    Line(p, pen, QPointF(92, 90), QPointF(18, 46), QColor(70, 74, 84), pen.small ? 7 : 5);
    Line(p, pen, QPointF(18, 90), QPointF(92, 46), QColor(150, 156, 168), pen.small ? 4 : 2.4);
    Line(p, pen, QPointF(92, 90), QPointF(18, 46), QColor(150, 156, 168), pen.small ? 4 : 2.4);
    for (qreal x : {10.0, 84.0}) {
        Fill(p, Rounded(QRectF(x, 88, 16, 4), 2), QColor(60, 64, 72), QColor(40, 42, 50), Ink,
             pen.line);
    }
    Fill(p, Rounded(QRectF(2, 28, 106, 18), 4), QColor(244, 246, 250), QColor(196, 202, 214), Ink,
         pen.line);
    Fill(p, Rounded(QRectF(2, 40, 106, 6), 2), QColor(200, 40, 50), QColor(150, 24, 36), Ink,
         pen.line * 0.8);
    Keys(p, pen, QRectF(8, 36, 94, 6), 12);
    if (!pen.small) {
        Fill(p, Rounded(QRectF(44, 29.5, 22, 5), 1), QColor(40, 80, 110), QColor(20, 50, 80), Ink,
             0.6);
        p.fillRect(QRectF(47, 31, 10, 1.2), QColor(140, 230, 255));
        for (int i = 0; i < 4; ++i) {
            Fill(p, Ellipse(14 + i * 6, 32, 1.6, 1.6), QColor(90, 96, 110), QColor(90, 96, 110),
                 Ink, 0);
            Fill(p, Ellipse(74 + i * 7, 32, 1.6, 1.6),
                 i == 1 ? QColor(230, 80, 60) : QColor(90, 96, 110), QColor(90, 96, 110), Ink, 0);
        }
    }
}

void Harpsichord(QPainter& p, const Pen& pen) {
    const QColor caseTop(70, 126, 110);
    const QColor caseBottom(38, 84, 72);
    const QColor gold(222, 182, 92);
    // Lid, raised, painted inside with a landscape.
    QPainterPath lid;
    lid.moveTo(26, 74);
    lid.lineTo(150, 74);
    lid.lineTo(134, 8);
    lid.lineTo(40, 46);
    lid.closeSubpath();
    Fill(p, lid, QColor(150, 196, 226), QColor(236, 226, 190), Ink, pen.line);
    if (!pen.small) {
        p.save();
        p.setClipPath(lid);
        QPainterPath hills;
        hills.moveTo(20, 74);
        hills.quadTo(60, 44, 96, 62);
        hills.quadTo(122, 40, 156, 52);
        hills.lineTo(156, 80);
        hills.closeSubpath();
        Fill(p, hills, QColor(140, 180, 100), QColor(90, 140, 70), Ink, 0);
        Fill(p, Ellipse(110, 32, 6, 6), QColor(255, 230, 140), QColor(255, 230, 140), Ink, 0);
        p.restore();
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(gold, 1.6 * pen.line));
        p.drawPath(lid);
    }
    Line(p, pen, QPointF(104, 74), QPointF(124, 28), QColor(60, 50, 40), 2);
    // Case: straight bent side in a long angle.
    QPainterPath body;
    body.moveTo(14, 72);
    body.lineTo(154, 72);
    body.lineTo(158, 96);
    body.lineTo(14, 96);
    body.closeSubpath();
    Fill(p, body, caseTop, caseBottom, Ink, pen.line);
    if (!pen.small) {
        Line(p, pen, QPointF(16, 76), QPointF(154, 76), gold, 1.6);
        Line(p, pen, QPointF(16, 93), QPointF(156, 93), gold, 1.6);
    }
    // Two manuals with dark naturals and light sharps.
    Fill(p, Rounded(QRectF(2, 76, 36, 18), 2), caseBottom, caseBottom, Ink, pen.line);
    Keys(p, pen, QRectF(4, 78, 30, 6), 6, true);
    Keys(p, pen, QRectF(4, 86, 30, 6), 6, true);
    // Turned legs.
    for (qreal x : {22.0, 84.0, 146.0}) {
        QPainterPath leg;
        leg.moveTo(x - 4, 96);
        leg.lineTo(x + 4, 96);
        leg.cubicTo(x + 8, 110, x - 1, 118, x + 4, 130);
        leg.lineTo(x + 3, 144);
        leg.lineTo(x - 3, 144);
        leg.lineTo(x - 4, 130);
        leg.cubicTo(x + 1, 118, x - 8, 110, x - 4, 96);
        Fill(p, leg, caseTop, caseBottom, Ink, pen.line);
        Fill(p, Ellipse(x, 146, 5, 3.5), gold, gold.darker(130), Ink, pen.line * 0.8);
    }
}

void Vibraphone(QPainter& p, const Pen& pen) {
    // Frame and resonator tubes.
    const QColor tube(226, 180, 90);
    for (int i = 0; i < 8; ++i) {
        const qreal x = 12 + i * 11.5;
        const qreal length = 40 - i * 3.2;
        Fill(p, Rounded(QRectF(x, 44, 7, length), 3), tube.lighter(110), tube.darker(125), Ink,
             pen.line * 0.8);
    }
    Line(p, pen, QPointF(8, 44), QPointF(8, 86), QColor(70, 70, 80), pen.small ? 5 : 3);
    Line(p, pen, QPointF(100, 44), QPointF(100, 86), QColor(70, 70, 80), pen.small ? 5 : 3);
    Line(p, pen, QPointF(6, 78), QPointF(102, 78), QColor(70, 70, 80), pen.small ? 4 : 2.4);
    for (qreal x : {8.0, 100.0}) {
        Fill(p, Ellipse(x, 88, 4.5, 4.5), QColor(60, 60, 70), QColor(30, 30, 40), Ink, pen.line);
    }
    // Bars: the back row (sharps) higher, the front row lower and longer.
    const QColor bar(224, 230, 238);
    for (int i = 0; i < 7; ++i) {
        if (i == 2 || i == 6) {
            continue;
        }
        Fill(p, Rounded(QRectF(14 + i * 12.5, 22, 9, 14), 2), bar, ChromeDark, Ink, pen.line * 0.8);
    }
    Fill(p, Rounded(QRectF(4, 32, 100, 4), 1), QColor(90, 90, 100), QColor(60, 60, 70), Ink,
         pen.line * 0.6);
    for (int i = 0; i < 8; ++i) {
        Fill(p, Rounded(QRectF(6 + i * 12.2, 34, 10, 14 - i * 0.4), 2), bar, ChromeDark, Ink,
             pen.line * 0.8);
    }
    // Two mallets resting across the bars.
    for (auto [a, b] :
         {std::pair{QPointF(24, 4), QPointF(70, 30)}, std::pair{QPointF(86, 6), QPointF(40, 30)}}) {
        Line(p, pen, a, b, QColor(150, 100, 60), pen.small ? 4 : 2);
        Fill(p, Ellipse(a.x(), a.y(), 5.5, 5.5), QColor(130, 110, 200), QColor(80, 60, 150), Ink,
             pen.line);
    }
}

QPainterPath ViolinBody(qreal cx, qreal top, qreal length, qreal width) {
    // Upper bout, waist and lower bout as two mirrored curves.
    const qreal w = width / 2;
    QPainterPath body;
    body.moveTo(cx, top);
    body.cubicTo(cx + w * 0.9, top, cx + w * 0.95, top + length * 0.28, cx + w * 0.55,
                 top + length * 0.42);
    body.cubicTo(cx + w * 0.5, top + length * 0.5, cx + w * 1.1, top + length * 0.56, cx + w * 1.05,
                 top + length * 0.78);
    body.cubicTo(cx + w, top + length * 1.0, cx + w * 0.2, top + length, cx, top + length);
    body.cubicTo(cx - w * 0.2, top + length, cx - w, top + length * 1.0, cx - w * 1.05,
                 top + length * 0.78);
    body.cubicTo(cx - w * 1.1, top + length * 0.56, cx - w * 0.5, top + length * 0.5, cx - w * 0.55,
                 top + length * 0.42);
    body.cubicTo(cx - w * 0.95, top + length * 0.28, cx - w * 0.9, top, cx, top);
    return body;
}

void StringInstrument(QPainter& p, const Pen& pen, qreal cx, qreal top, qreal length, qreal width,
                      qreal neck, qreal angle, bool pin) {
    p.save();
    p.translate(cx, top + length);
    p.rotate(angle);
    p.translate(-cx, -(top + length));
    const QColor wood(206, 110, 40);
    const QColor woodDark(124, 54, 18);
    if (pin) {
        Line(p, pen, QPointF(cx, top + length), QPointF(cx, top + length + 10), QColor(60, 60, 70),
             2.2);
    }
    // Neck, scroll.
    Fill(p, Rounded(QRectF(cx - width * 0.07, top - neck, width * 0.14, neck + 6), 2),
         QColor(40, 30, 28), QColor(20, 16, 16), Ink, pen.line);
    Fill(p, Ellipse(cx, top - neck - 4, width * 0.09, 5.5), woodDark.lighter(120), woodDark, Ink,
         pen.line);
    Fill(p, ViolinBody(cx, top, length, width), wood.lighter(115), woodDark, Ink, pen.line);
    // Fingerboard over the body, strings, bridge, f-holes.
    Fill(p, Rounded(QRectF(cx - width * 0.06, top - 4, width * 0.12, length * 0.5), 1.5),
         QColor(34, 26, 24), QColor(20, 16, 16), Ink, pen.line * 0.6);
    if (!pen.small) {
        for (int i = -1; i <= 2; i += 1) {
            const qreal x = cx + (i - 0.5) * width * 0.03;
            Line(p, pen, QPointF(x, top - neck), QPointF(x, top + length * 0.86),
                 QColor(230, 220, 200), 0.5);
        }
        p.fillRect(QRectF(cx - width * 0.14, top + length * 0.62, width * 0.28, 2),
                   QColor(236, 210, 160));
        for (int side : {-1, 1}) {
            QPainterPath f;
            const qreal x = cx + side * width * 0.22;
            f.moveTo(x - side * 2, top + length * 0.48);
            f.cubicTo(x + side * 3, top + length * 0.56, x - side * 3, top + length * 0.66,
                      x + side * 2, top + length * 0.74);
            p.setPen(QPen(QColor(40, 20, 10), 1.1 * pen.line, Qt::SolidLine, Qt::RoundCap));
            p.setBrush(Qt::NoBrush);
            p.drawPath(f);
        }
        Fill(p,
             Rounded(QRectF(cx - width * 0.06, top + length * 0.8, width * 0.12, length * 0.14), 2),
             QColor(34, 26, 24), QColor(20, 16, 16), Ink, 0);
    }
    p.restore();
}

void Strings(QPainter& p, const Pen& pen) {
    // A cello standing on its pin, a violin beside it, and a bow across.
    StringInstrument(p, pen, 112, 30, 78, 50, 26, 6, true);
    StringInstrument(p, pen, 52, 58, 46, 28, 18, -14, false);
    Line(p, pen, QPointF(14, 112), QPointF(150, 18), QColor(90, 54, 26), pen.small ? 4 : 2);
    if (!pen.small) {
        Line(p, pen, QPointF(18, 113), QPointF(152, 21), QColor(240, 236, 220), 1.0);
        Fill(p, Rounded(QRectF(10, 108, 10, 6), 1.5), QColor(40, 30, 28), QColor(20, 16, 16), Ink,
             pen.line * 0.6);
    }
}

void PipeOrgan(QPainter& p, const Pen& pen) {
    const QColor wood(128, 70, 34);
    const QColor woodDark(78, 40, 18);
    const QColor gold(226, 186, 96);
    // The case: a central tower and two flats.
    QPainterPath casePath;
    casePath.moveTo(14, 236);
    casePath.lineTo(14, 70);
    casePath.lineTo(40, 56);
    casePath.lineTo(90, 56);
    casePath.lineTo(120, 14);
    casePath.lineTo(150, 56);
    casePath.lineTo(200, 56);
    casePath.lineTo(226, 70);
    casePath.lineTo(226, 236);
    casePath.closeSubpath();
    Fill(p, casePath, wood.lighter(115), woodDark, Ink, pen.line);
    Fill(p, Ellipse(120, 16, 5, 5), gold, gold.darker(130), Ink, pen.line);
    // Pipes: tall in the middle, falling away on both sides.
    auto pipes = [&](qreal left, qreal right, int count, qreal bottom, qreal tallest,
                     qreal shortest, bool peak) {
        const qreal step = (right - left) / count;
        for (int i = 0; i < count; ++i) {
            const qreal t = count == 1 ? 0 : qreal(i) / (count - 1);
            const qreal shape = peak ? 1 - std::abs(t - 0.5) * 2 : t;
            const qreal height = shortest + (tallest - shortest) * shape;
            const QRectF pipe(left + i * step + step * 0.12, bottom - height, step * 0.76, height);
            Fill(p, Rounded(pipe, step * 0.3), QColor(240, 242, 246), QColor(150, 158, 170), Ink,
                 pen.line * 0.8);
            if (!pen.small) {
                QPainterPath mouth;
                mouth.moveTo(pipe.left() + pipe.width() * 0.2, bottom - 14);
                mouth.lineTo(pipe.right() - pipe.width() * 0.2, bottom - 14);
                mouth.lineTo(pipe.center().x(), bottom - 20);
                mouth.closeSubpath();
                Fill(p, mouth, QColor(60, 60, 70), QColor(60, 60, 70), Ink, 0);
                p.fillRect(QRectF(pipe.left() + 1, pipe.top() + 4, 1.2, pipe.height() - 10),
                           QColor(255, 255, 255, 160));
            }
        }
    };
    pipes(94, 146, 5, 140, 100, 80, true);
    pipes(20, 88, 6, 140, 70, 44, false);
    p.save();
    p.translate(240, 0);
    p.scale(-1, 1);
    pipes(20, 88, 6, 140, 70, 44, false);
    p.restore();
    Fill(p, Rounded(QRectF(14, 138, 212, 10), 2), gold, gold.darker(140), Ink, pen.line);
    // The console: three manuals and stop knobs.
    Fill(p, Rounded(QRectF(40, 150, 160, 70), 3), wood, woodDark, Ink, pen.line);
    for (int i = 0; i < 3; ++i) {
        Keys(p, pen, QRectF(54 + i * 4, 162 + i * 12, 132 - i * 8, 8), 16 - i);
    }
    if (!pen.small) {
        for (int side : {0, 1}) {
            for (int i = 0; i < 4; ++i) {
                const qreal x = side == 0 ? 47 : 193;
                Fill(p, Ellipse(x, 160 + i * 9, 3, 3),
                     i % 2 ? QColor(236, 226, 200) : QColor(200, 60, 50), QColor(120, 40, 30), Ink,
                     0.6);
            }
        }
        for (int i = 0; i < 9; ++i) {
            p.fillRect(QRectF(56 + i * 15, 226, 10, 4), QColor(236, 226, 200));
        }
    }
    Fill(p, Rounded(QRectF(10, 222, 220, 14), 2), wood.lighter(110), woodDark, Ink, pen.line);
}

struct Design {
    QSizeF size;
    void (*draw)(QPainter&, const Pen&);
};

const Design Designs[VoiceCount] = {
    {{214, 146}, Grand},     {{130, 110}, Upright},     {{112, 93}, ElecPiano1},
    {{110, 93}, ElecPiano2}, {{160, 150}, Harpsichord}, {{105, 93}, Vibraphone},
    {{170, 120}, Strings},   {{240, 240}, PipeOrgan},
};

} // namespace

void DrawInstrument(QPainter& p, int voice, const QRectF& box, bool small) {
    if (voice < 0 || voice >= VoiceCount) {
        return;
    }
    const Design& design = Designs[voice];
    const qreal scale =
        std::min(box.width() / design.size.width(), box.height() / design.size.height());
    Pen pen;
    pen.small = small;
    pen.line = (small ? 0.9 : 1.2) / scale;
    p.save();
    p.translate(box.center().x() - design.size.width() * scale / 2,
                box.bottom() - design.size.height() * scale);
    p.scale(scale, scale);
    design.draw(p, pen);
    p.restore();
}

} // namespace art

namespace art {
namespace {

// A voice button: the instrument on a button face; the selected voice lights a lamp.
void VoiceButton(QPainter& p, const QSizeF& size, int voice, Face face, qreal radius) {
    const QRectF glyph = ButtonBody(p, QRectF(QPointF(0, 0), size), face, radius);
    if (face == Face::Pressed) {
        Fill(p, Ellipse(glyph.right() - 3, glyph.top() + 3, 2.2, 2.2), Lamp, QColor(230, 170, 0),
             Ink, 0.8);
    }
    p.save();
    if (face == Face::Disabled) {
        p.setOpacity(0.35);
    }
    DrawInstrument(p, voice, glyph.adjusted(2.5, 3, -2.5, -2), true);
    p.restore();
    if (voice == 2 || voice == 3) {
        const QRectF badge(glyph.left() + 0.5, glyph.top() + 0.5, 9, 9);
        Fill(p, Ellipse(badge.center().x(), badge.center().y(), 4.5, 4.5),
             face == Face::Disabled ? QColor(210, 200, 184) : Wine, Ink, 0.8);
        Label(p, badge.adjusted(0, -0.5, 0, 0), QString::number(voice - 1), Ivory, 8, true);
    }
}

} // namespace

void AddInstruments(Pieces& pieces) {
    const int pictures[VoiceCount] = {5030, 5034, 5025, 5026, 5031, 5056, 5033, 5032};
    const int tiles[VoiceCount][2] = {{5057, 5058}, {5059, 5060}, {5061, 5069}, {5070, 5071},
                                      {5072, 5073}, {5078, 5079}, {5076, 5077}, {5074, 5075}};
    const int buttons[VoiceCount][3] = {{5283, 5284, 5285}, {5295, 5296, 5297}, {5277, 5278, 5279},
                                        {5280, 5281, 5282}, {5286, 5287, 5288}, {5298, 5299, 5300},
                                        {5292, 5293, 5294}, {5289, 5290, 5291}};
    for (int voice = 0; voice < VoiceCount; ++voice) {
        pieces[pictures[voice]] = {true, [voice](QPainter& p, const QSizeF& size) {
                                       DrawInstrument(p, voice, QRectF(QPointF(0, 0), size), false);
                                   }};
        for (int f = 0; f < 2; ++f) {
            pieces[tiles[voice][f]] = {true, [voice, f](QPainter& p, const QSizeF& size) {
                                           VoiceButton(p, size, voice, f ? Face::Pressed : Face::Up,
                                                       7);
                                       }};
        }
        for (int f = 0; f < 3; ++f) {
            const Face face = f == 0 ? Face::Up : f == 1 ? Face::Pressed : Face::Disabled;
            pieces[buttons[voice][f]] = {true, [voice, face](QPainter& p, const QSizeF& size) {
                                             VoiceButton(p, size, voice, face, 8);
                                         }};
        }
    }
}

} // namespace art
