#include "Artwork.h"

#include "ArtKit.h"

#include <cmath>

// Push buttons: transport, dialog and tab buttons share one face and one glyph style, with
// three pictures each: up, pressed, disabled.
namespace art {
namespace {

using Glyph = void (*)(QPainter&, const QRectF&, const QColor&);

QPainterPath Triangle(QPointF a, QPointF b, QPointF c) {
    QPainterPath path;
    path.moveTo(a);
    path.lineTo(b);
    path.lineTo(c);
    path.closeSubpath();
    return path;
}

void Solid(QPainter& p, const QPainterPath& path, const QColor& colour) {
    p.save();
    p.setPen(QPen(colour.darker(130), 0.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(colour);
    p.drawPath(path);
    p.restore();
}

void Stroke(QPainter& p, const QPainterPath& path, const QColor& colour, qreal width) {
    p.save();
    p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    p.restore();
}

// Transport glyphs, in a square box.
void RecordGlyph(QPainter& p, const QRectF& r, const QColor& c) {
    const QColor red = c == GlyphColour(Face::Disabled) ? c : RecordRed;
    Solid(p, Ellipse(r.center().x(), r.center().y(), r.width() * 0.32, r.width() * 0.32), red);
}
void PlayGlyph(QPainter& p, const QRectF& r, const QColor& c) {
    const qreal s = r.width() * 0.36;
    const QPointF m = r.center() + QPointF(s * 0.15, 0);
    Solid(p, Triangle(m + QPointF(-s * 0.8, -s), m + QPointF(-s * 0.8, s), m + QPointF(s, 0)), c);
}
void StopGlyph(QPainter& p, const QRectF& r, const QColor& c) {
    const qreal s = r.width() * 0.28;
    QPainterPath path;
    path.addRoundedRect(QRectF(r.center() - QPointF(s, s), QSizeF(2 * s, 2 * s)), 1.5, 1.5);
    Solid(p, path, c);
}
void Doubles(QPainter& p, const QRectF& r, const QColor& c, int direction, bool bar) {
    const qreal s = r.width() * 0.22;
    const QPointF m = r.center();
    for (int i = 0; i < 2; ++i) {
        const qreal x = m.x() + direction * (i == 0 ? -s * 0.9 : s * 0.9) - direction * s * 0.1;
        Solid(p,
              Triangle(QPointF(x - direction * s, m.y() - s), QPointF(x - direction * s, m.y() + s),
                       QPointF(x + direction * s, m.y())),
              c);
    }
    if (bar) {
        const qreal x = m.x() + direction * s * 2.1;
        p.fillRect(QRectF(direction > 0 ? x - 1 : x - 1.6, m.y() - s, 2.6, 2 * s), c);
    }
}
void FirstGlyph(QPainter& p, const QRectF& r, const QColor& c) {
    Doubles(p, r, c, -1, true);
}
void RewindGlyph(QPainter& p, const QRectF& r, const QColor& c) {
    Doubles(p, r, c, -1, false);
}
void ForwardGlyph(QPainter& p, const QRectF& r, const QColor& c) {
    Doubles(p, r, c, 1, false);
}

// Dialog glyphs.
void SaveGlyph(QPainter& p, const QRectF& r, const QColor& c) {
    const QPointF m = r.center();
    Stroke(p, QPainterPath(Rounded(QRectF(m.x() - 7, m.y() - 2, 14, 9), 1.5)), c, 1.6);
    QPainterPath arrow;
    arrow.moveTo(m.x(), m.y() - 9);
    arrow.lineTo(m.x(), m.y() + 3);
    arrow.moveTo(m.x() - 4, m.y() - 1);
    arrow.lineTo(m.x(), m.y() + 3);
    arrow.lineTo(m.x() + 4, m.y() - 1);
    Stroke(p, arrow, c, 2);
}
void TrashGlyph(QPainter& p, const QRectF& r, const QColor& c) {
    const QPointF m = r.center();
    QPainterPath can;
    can.moveTo(m.x() - 6, m.y() - 5);
    can.lineTo(m.x() - 5, m.y() + 8);
    can.lineTo(m.x() + 5, m.y() + 8);
    can.lineTo(m.x() + 6, m.y() - 5);
    Stroke(p, can, c, 1.6);
    QPainterPath lid;
    lid.moveTo(m.x() - 8, m.y() - 6.5);
    lid.lineTo(m.x() + 8, m.y() - 6.5);
    lid.moveTo(m.x() - 2.5, m.y() - 8.5);
    lid.lineTo(m.x() + 2.5, m.y() - 8.5);
    lid.moveTo(m.x() - 2, m.y() - 2);
    lid.lineTo(m.x() - 2, m.y() + 5);
    lid.moveTo(m.x() + 2, m.y() - 2);
    lid.lineTo(m.x() + 2, m.y() + 5);
    Stroke(p, lid, c, 1.4);
}
void EncodeGlyph(QPainter& p, const QRectF& r, const QColor& c) {
    const QPointF m = r.center();
    QPainterPath arrows;
    for (int side : {-1, 1}) {
        arrows.moveTo(m.x(), m.y() + side * 9);
        arrows.lineTo(m.x(), m.y() + side * 3);
        arrows.moveTo(m.x() - 4, m.y() + side * 6.5);
        arrows.lineTo(m.x(), m.y() + side * 2.5);
        arrows.lineTo(m.x() + 4, m.y() + side * 6.5);
    }
    arrows.moveTo(m.x() - 8, m.y());
    arrows.lineTo(m.x() + 8, m.y());
    Stroke(p, arrows, c, 1.8);
}
void CheckGlyph(QPainter& p, const QRectF& r, const QColor& c) {
    const QPointF m = r.center();
    QPainterPath check;
    check.moveTo(m.x() - 7, m.y());
    check.lineTo(m.x() - 2, m.y() + 5);
    check.lineTo(m.x() + 7, m.y() - 6);
    Stroke(p, check, c == GlyphColour(Face::Disabled) ? c : Leaf.darker(120), 3);
}
void CrossGlyph(QPainter& p, const QRectF& r, const QColor& c) {
    const QPointF m = r.center();
    QPainterPath cross;
    cross.moveTo(m.x() - 6, m.y() - 6);
    cross.lineTo(m.x() + 6, m.y() + 6);
    cross.moveTo(m.x() + 6, m.y() - 6);
    cross.lineTo(m.x() - 6, m.y() + 6);
    Stroke(p, cross, c == GlyphColour(Face::Disabled) ? c : Wine, 3);
}
void LampGlyph(QPainter& p, const QRectF& r, const QColor& c, bool on) {
    const QPointF m = r.center();
    const bool disabled = c == GlyphColour(Face::Disabled);
    const QColor lit = disabled ? QColor(230, 226, 214) : on ? Lamp : QColor(120, 96, 70);
    Fill(p, Ellipse(m.x(), m.y(), 6, 6), lit,
         disabled ? lit
         : on     ? QColor(240, 180, 20)
                  : lit,
         c, 1.2);
}
void OnGlyph(QPainter& p, const QRectF& r, const QColor& c) {
    LampGlyph(p, r, c, true);
}
void OffGlyph(QPainter& p, const QRectF& r, const QColor& c) {
    LampGlyph(p, r, c, false);
}
void OpenGlyph(QPainter& p, const QRectF& r, const QColor& c) {
    const QPointF m = r.center();
    QPainterPath folder;
    folder.moveTo(m.x() - 8, m.y() + 7);
    folder.lineTo(m.x() - 8, m.y() - 6);
    folder.lineTo(m.x() - 3, m.y() - 6);
    folder.lineTo(m.x() - 1, m.y() - 4);
    folder.lineTo(m.x() + 7, m.y() - 4);
    folder.lineTo(m.x() + 7, m.y() - 1);
    Stroke(p, folder, c, 1.5);
    QPainterPath front;
    front.moveTo(m.x() - 8, m.y() + 7);
    front.lineTo(m.x() - 5, m.y() - 1);
    front.lineTo(m.x() + 10, m.y() - 1);
    front.lineTo(m.x() + 7, m.y() + 7);
    front.closeSubpath();
    Solid(p, front, c == GlyphColour(Face::Disabled) ? QColor(230, 224, 210) : Amber);
    Stroke(p, front, c, 1.3);
}
void MemoGlyph(QPainter& p, const QRectF& r, const QColor& c) {
    const QPointF m = r.center();
    Stroke(p, QPainterPath(Rounded(QRectF(m.x() - 7, m.y() - 8, 12, 16), 1)), c, 1.4);
    QPainterPath lines;
    for (int i = 0; i < 3; ++i) {
        lines.moveTo(m.x() - 4.5, m.y() - 4 + i * 4);
        lines.lineTo(m.x() + 2.5, m.y() - 4 + i * 4);
    }
    Stroke(p, lines, c, 1.1);
    QPainterPath pencil;
    pencil.moveTo(m.x() + 9, m.y() - 6);
    pencil.lineTo(m.x() + 1, m.y() + 6);
    Stroke(p, pencil, c == GlyphColour(Face::Disabled) ? c : Amber.darker(130), 3);
}

// Tab glyphs.
void Note(QPainter& p, QPointF at, qreal s, const QColor& c) {
    Solid(p, Ellipse(at.x(), at.y(), s * 1.2, s * 0.9), c);
    p.fillRect(QRectF(at.x() + s * 0.9, at.y() - s * 3.4, s * 0.45, s * 3.4), c);
    QPainterPath flag;
    flag.moveTo(at.x() + s * 1.3, at.y() - s * 3.4);
    flag.quadTo(at.x() + s * 2.8, at.y() - s * 2.4, at.x() + s * 2.2, at.y() - s * 1.2);
    Stroke(p, flag, c, s * 0.5);
}
void Wave(QPainter& p, const QRectF& r, const QColor& c) {
    QPainterPath wave;
    const qreal amplitude[] = {0.2, 0.5, 0.9, 0.6, 1.0, 0.4, 0.7, 0.3, 0.15};
    for (int i = 0; i < 9; ++i) {
        const qreal x = r.left() + r.width() * (i + 0.5) / 9;
        const qreal h = r.height() * 0.45 * amplitude[i];
        wave.moveTo(x, r.center().y() - h);
        wave.lineTo(x, r.center().y() + h);
    }
    Stroke(p, wave, c, 2);
}
void MidiTab(QPainter& p, const QRectF& r, const QColor& c) {
    Note(p, r.center() + QPointF(-6, 6), 3, c);
    Note(p, r.center() + QPointF(4, 3), 3, c);
}
void AudioTab(QPainter& p, const QRectF& r, const QColor& c) {
    Wave(p, r.adjusted(4, 2, -4, -2), c);
}
void MixTab(QPainter& p, const QRectF& r, const QColor& c) {
    Wave(p, QRectF(r.left() + 2, r.top() + 2, r.width() * 0.55, r.height() - 4), c);
    Note(p, QPointF(r.right() - 9, r.center().y() + 5), 2.6, c);
}
void AlbumTab(QPainter& p, const QRectF& r, const QColor& c) {
    const QPointF m = r.center();
    for (int i = 2; i >= 0; --i) {
        const QRectF page(m.x() - 9 + i * 2.5, m.y() - 8 - i * 1.5, 14, 17);
        Fill(p, Rounded(page, 1.5),
             c == GlyphColour(Face::Disabled) ? QColor(236, 230, 216)
             : i == 0                         ? Wine
                                              : GoldPale,
             c == GlyphColour(Face::Disabled) ? QColor(236, 230, 216)
             : i == 0                         ? WineDeep
                                              : Gold,
             c, 1.1);
    }
    Note(p, m + QPointF(-3, 4), 2.2, c == GlyphColour(Face::Disabled) ? c : GoldLight);
}

Face FaceOf(int f) {
    return f == 0 ? Face::Up : f == 1 ? Face::Pressed : Face::Disabled;
}

// A button of three faces: glyph above an optional label.
void Button(QPainter& p, const QSizeF& size, Face face, Glyph glyph, const QString& label,
            qreal radius, qreal labelSize) {
    const QRectF inner = ButtonBody(p, QRectF(QPointF(0, 0), size), face, radius);
    const QColor colour = GlyphColour(face);
    if (label.isEmpty()) {
        glyph(p, inner, colour);
        return;
    }
    const qreal labelHeight = labelSize + 2;
    const QRectF top(inner.left(), inner.top(), inner.width(), inner.height() - labelHeight);
    glyph(p, top, colour);
    Label(p,
          QRectF(inner.left() - 1, inner.bottom() - labelHeight - 0.5, inner.width() + 2,
                 labelHeight),
          label, colour, labelSize, true);
}

void Metronome(QPainter& p, const QRectF& r, const QColor& c) {
    const QPointF m = r.center();
    QPainterPath body;
    body.moveTo(m.x() - 7, m.y() + 9);
    body.lineTo(m.x() - 3, m.y() - 9);
    body.lineTo(m.x() + 3, m.y() - 9);
    body.lineTo(m.x() + 7, m.y() + 9);
    body.closeSubpath();
    Solid(p, body, c == GlyphColour(Face::Disabled) ? QColor(226, 218, 200) : Wood);
    Stroke(p, body, c, 1.2);
    QPainterPath rod;
    rod.moveTo(m.x(), m.y() + 6);
    rod.lineTo(m.x() + 7, m.y() - 9);
    Stroke(p, rod, c, 1.6);
    p.fillRect(QRectF(m.x() + 3, m.y() - 4, 4, 3), c);
}

void Rings(QPainter& p, const QRectF& r, const QColor& c) {
    const QPointF m = r.center() + QPointF(-4, 0);
    Solid(p, Ellipse(m.x(), m.y(), 2.5, 2.5), c);
    for (int i = 1; i <= 3; ++i) {
        QPainterPath arc;
        const qreal radius = 3 + i * 3.5;
        arc.arcMoveTo(QRectF(m.x() - radius, m.y() - radius, 2 * radius, 2 * radius), -50);
        arc.arcTo(QRectF(m.x() - radius, m.y() - radius, 2 * radius, 2 * radius), -50, 100);
        Stroke(p, arc, c, 1.6);
    }
}

void Dual(QPainter& p, const QRectF& r, const QColor& c) {
    const QPointF m = r.center();
    const bool disabled = c == GlyphColour(Face::Disabled);
    Fill(p, Ellipse(m.x() - 4, m.y(), 7, 7),
         disabled ? QColor(236, 230, 216) : QColor(250, 220, 150),
         disabled ? QColor(236, 230, 216) : Amber, c, 1.2);
    Fill(p, Ellipse(m.x() + 4, m.y(), 7, 7),
         disabled ? QColor(236, 230, 216) : QColor(240, 170, 170),
         disabled ? QColor(236, 230, 216) : QColor(200, 100, 110), c, 1.2);
}

// The start/stop button of the metronome window: a lamp that burns while it runs.
void StartStop(QPainter& p, const QSizeF& size, bool running) {
    const QRectF inner =
        ButtonBody(p, QRectF(QPointF(0, 0), size), running ? Face::Pressed : Face::Up, 10);
    const QPointF lamp(inner.left() + 13, inner.center().y());
    Fill(p, Ellipse(lamp.x(), lamp.y(), 6.5, 6.5), running ? Lamp : QColor(130, 104, 76),
         running ? QColor(240, 170, 20) : QColor(96, 72, 50), Ink, 1.2);
    Label(p, QRectF(inner.left() + 22, inner.top(), inner.width() - 24, inner.height()),
          QStringLiteral("START/STOP"), GlyphColour(running ? Face::Pressed : Face::Up), 12, true);
}

// The tiny arrows of the spin controls, drawn on the panel's gold.
void Spin(QPainter& p, const QSizeF& size, bool up, bool pressed) {
    p.fillRect(QRectF(QPointF(0, 0), size), Gold);
    const QRectF body(0.5, 0.5, size.width() - 1, size.height() - 1);
    Fill(p, Rounded(body, 2), pressed ? GoldDeep : GoldPale, pressed ? Gold : GoldDeep, Bronze,
         1.0);
    const QPointF m = body.center() + QPointF(0, pressed ? 0.5 : 0);
    const qreal d = up ? -1 : 1;
    Solid(p, Triangle(m + QPointF(-3, -d * 1.6), m + QPointF(3, -d * 1.6), m + QPointF(0, d * 2)),
          Ink);
}

} // namespace

void AddButtons(Pieces& pieces) {
    struct Family {
        int ids[3];
        Glyph glyph;
        const char* label;
        int radius;
        qreal labelSize;
    };
    const Family families[] = {
        {{5138, 5139, 5140}, RecordGlyph, "", 10, 0},
        {{5106, 5107, 5108}, PlayGlyph, "", 10, 0},
        {{5100, 5101, 5102}, StopGlyph, "", 10, 0},
        {{5112, 5113, 5114}, FirstGlyph, "", 10, 0},
        {{5109, 5110, 5111}, RewindGlyph, "", 10, 0},
        {{5103, 5104, 5105}, ForwardGlyph, "", 10, 0},
        {{5130, 5131, 5132}, SaveGlyph, "保存", 8, 10},
        {{5147, 5148, 5149}, TrashGlyph, "削除", 8, 10},
        {{5150, 5151, 5152}, EncodeGlyph, "圧縮", 8, 10},
        {{5153, 5154, 5157}, CheckGlyph, "はい", 8, 10},
        {{5158, 5159, 5160}, CrossGlyph, "いいえ", 8, 10},
        {{5161, 5162, 5163}, OnGlyph, "ON", 8, 10},
        {{5164, 5165, 5170}, OffGlyph, "OFF", 8, 10},
        {{5124, 5125, 5126}, OpenGlyph, "開く", 8, 10},
        {{5141, 5142, 5143}, CheckGlyph, "OK", 8, 10},
        {{5144, 5145, 5146}, CrossGlyph, "取消", 8, 10},
        {{5260, 5261, 5262}, MemoGlyph, "メモ", 8, 10},
        {{5115, 5116, 5117}, MidiTab, "MIDI", 10, 11},
        {{5118, 5119, 5120}, AudioTab, "オーディオ", 10, 10},
        {{5121, 5122, 5123}, MixTab, "ミックス", 10, 10},
        {{5127, 5128, 5129}, AlbumTab, "アルバム", 10, 10},
        {{5097, 5098, 5099}, Dual, "DUAL", 8, 9},
    };
    for (const Family& family : families) {
        for (int f = 0; f < 3; ++f) {
            const QString label = QString::fromUtf8(family.label);
            pieces[family.ids[f]] = {true, [family, f, label](QPainter& p, const QSizeF& size) {
                                         Button(p, size, FaceOf(f), family.glyph, label,
                                                family.radius, family.labelSize);
                                     }};
        }
    }
    for (int f = 0; f < 2; ++f) {
        const Face face = FaceOf(f);
        pieces[5082 + f] = {true, [face](QPainter& p, const QSizeF& size) {
                                Button(p, size, face, Metronome, QString(), 7, 0);
                            }};
        pieces[5080 + f] = {true, [face](QPainter& p, const QSizeF& size) {
                                Button(p, size, face, Rings, QString(), 7, 0);
                            }};
        pieces[5263 + f] = {true, [f](QPainter& p, const QSizeF& size) { StartStop(p, size, f); }};
        pieces[5023 + f] = {false,
                            [f](QPainter& p, const QSizeF& size) { Spin(p, size, true, f); }};
        pieces[5021 + f] = {false,
                            [f](QPainter& p, const QSizeF& size) { Spin(p, size, false, f); }};
    }
}

} // namespace art
