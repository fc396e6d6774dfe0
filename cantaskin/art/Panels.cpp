#include "Artwork.h"

#include "ArtKit.h"

#include <QLinearGradient>
#include <cmath>

// Panels, captions, the keyboard, the note markers and the recorder's pictures.
namespace art {
namespace {

// A caption on the panels' gold.
void Caption(QPainter& p, const QSizeF& size, const QString& text, bool left = false) {
    p.fillRect(QRectF(QPointF(0, 0), size), Gold);
    Label(p, QRectF(QPointF(0, -0.5), size), text, Ink, size.height() - 1.5, true,
          (left ? Qt::AlignLeft : Qt::AlignHCenter) | Qt::AlignVCenter);
}

// A caption above a five-step scale with its two ends named.
void ScaleCaption(QPainter& p, const QSizeF& size, const QString& title, const QString& low,
                  const QString& high) {
    p.fillRect(QRectF(QPointF(0, 0), size), Gold);
    Label(p, QRectF(2, 0, size.width() - 4, 15), title, Ink, 13, true,
          Qt::AlignLeft | Qt::AlignVCenter);
    const qreal left = 12;
    const qreal right = size.width() - 12;
    p.fillRect(QRectF(left, 22, right - left, 2), GoldDeep);
    for (int i = 0; i < 5; ++i) {
        const qreal x = left + (right - left) * i / 4;
        p.fillRect(QRectF(x - 1, 18, 2, 9), GoldDeep);
    }
    const QRectF labels(2, size.height() - 14, size.width() - 4, 13);
    Label(p, labels, low, Cocoa, 11, false, Qt::AlignLeft | Qt::AlignVCenter);
    Label(p, labels, QStringLiteral("ふつう"), Cocoa, 11, false,
          Qt::AlignHCenter | Qt::AlignVCenter);
    Label(p, labels, high, Cocoa, 11, false, Qt::AlignRight | Qt::AlignVCenter);
}

void Panel(QPainter& p, const QSizeF& size, const QString& title, int kind) {
    const QRectF all(QPointF(0, 0), size);
    QLinearGradient back(0, 0, 0, size.height());
    back.setColorAt(0, Mix(Gold, GoldLight, 0.25));
    back.setColorAt(1, Gold);
    p.fillRect(all, back);
    p.setPen(QPen(GoldDeep, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(all.adjusted(2.5, 2.5, -2.5, -2.5), 6, 6);
    p.setPen(QPen(QColor(255, 255, 255, 140), 1));
    p.drawRoundedRect(all.adjusted(3.5, 3.5, -3.5, -3.5), 5, 5);
    // The emblem of the panel beside its file-name field.
    const QRectF emblem(8, 7, 52, 24);
    Fill(p, Rounded(emblem, 5),
         kind == 0   ? Wine
         : kind == 1 ? Night
                     : Bronze,
         kind == 0   ? WineDeep
         : kind == 1 ? Night.darker(140)
                     : Bronze.darker(140),
         Ink, 1);
    Label(p, emblem, title, GoldLight, 11, true);
    Fill(p, Rounded(QRectF(64.5, 8.5, 254, 22), 3), GoldDeep, GoldLight, Bronze, 1);
    // A groove above the transport strip.
    p.fillRect(QRectF(12, size.height() - 72, size.width() - 24, 1), GoldDeep);
    p.fillRect(QRectF(12, size.height() - 71, size.width() - 24, 1), QColor(255, 255, 255, 150));
}

void StripBack(QPainter& p, const QSizeF& size) {
    p.fillRect(QRectF(QPointF(0, 0), size), Gold);
    Fill(p, Rounded(QRectF(0.5, 0.5, size.width() - 1, size.height() - 1), 8), GoldDeep, Amber,
         Bronze, 1);
    Fill(p, Rounded(QRectF(38.5, 1.5, size.width() - 77, 20), 4), QColor(176, 124, 62),
         QColor(198, 148, 82), Ink, 1);
    Fill(p, Rounded(QRectF(3.5, 23.5, size.width() - 7, size.height() - 26), 6),
         Mix(Gold, Amber, 0.5), Gold, Bronze, 1);
}

void LevelBack(QPainter& p, const QSizeF& size) {
    p.fillRect(QRectF(QPointF(0, 0), size), Gold);
    Fill(p, Rounded(QRectF(0.5, 0.5, size.width() - 1, size.height() - 1), 8),
         Mix(Gold, Amber, 0.5), Gold, Bronze, 1);
    for (qreal x : {15.0, 48.0}) {
        Fill(p, Rounded(QRectF(x + 0.5, 5.5, 28, 87), 2), QColor(90, 60, 30), QColor(130, 90, 46),
             Ink, 1);
    }
    for (int i = 0; i <= 4; ++i) {
        const qreal y = 9 + i * 20;
        p.fillRect(QRectF(44, y, 4, 1), Bronze);
    }
    Label(p, QRectF(15, 94, 29, 14), QStringLiteral("L"), Ink, 12, true);
    Label(p, QRectF(48, 94, 29, 14), QStringLiteral("R"), Ink, 12, true);
}

void Staff(QPainter& p, const QSizeF& size) {
    p.fillRect(QRectF(QPointF(0, 0), size), Gold);
    Fill(p, Rounded(QRectF(0.5, 0.5, size.width() - 1, size.height() - 1), 6), Ivory, GoldPale,
         Bronze, 1);
    p.setPen(QPen(QColor(210, 180, 120), 1));
    for (int i = 0; i < 5; ++i) {
        const qreal y = 12.5 + i * 9;
        p.drawLine(QPointF(36, y), QPointF(size.width() - 8, y));
    }
    // A pair of beamed notes at the head of the staff.
    const QColor ink = Wine;
    for (int i = 0; i < 2; ++i) {
        const qreal x = 12 + i * 10;
        Fill(p, Ellipse(x, 42 - i * 4, 4.5, 3.4), ink, ink, Ink, 0.8);
        p.fillRect(QRectF(x + 3.2, 14 - i * 4, 1.6, 28), ink);
    }
    QPainterPath beam;
    beam.moveTo(15, 14);
    beam.lineTo(26, 10);
    beam.lineTo(26, 14);
    beam.lineTo(15, 18);
    beam.closeSubpath();
    Fill(p, beam, ink, ink, Ink, 0);
}

void Tape(QPainter& p, const QSizeF& size, int step) {
    p.fillRect(QRectF(QPointF(0, 0), size), Gold);
    Fill(p, Rounded(QRectF(0.5, 0.5, size.width() - 1, size.height() - 1), 6), QColor(70, 56, 52),
         QColor(40, 30, 30), Ink, 1);
    Fill(p, Rounded(QRectF(18.5, 6.5, size.width() - 37, size.height() - 13), 4), GoldPale,
         GoldLight, Bronze, 1);
    Fill(p, Rounded(QRectF(38.5, 12.5, size.width() - 77, size.height() - 25), 3),
         QColor(60, 44, 40), QColor(90, 70, 60), Ink, 1);
    for (qreal cx : {46.0, size.width() - 46}) {
        const qreal radius = cx < 60 ? 12 : 8;
        Fill(p, Ellipse(cx, size.height() / 2, radius, radius), QColor(110, 70, 40),
             QColor(70, 40, 24), Ink, 1);
        Fill(p, Ellipse(cx, size.height() / 2, 5, 5), Ivory, GoldLight, Ink, 1);
        p.save();
        p.translate(cx, size.height() / 2);
        p.rotate(step * 30 + (cx < 60 ? 0 : 15));
        for (int i = 0; i < 3; ++i) {
            p.rotate(120);
            p.fillRect(QRectF(-0.8, -5, 1.6, 3.2), Ink);
        }
        p.restore();
    }
    // A level light that pulses with the steps.
    Fill(p, Ellipse(10, size.height() / 2, 3.5, 3.5), step % 2 ? RecordRed : QColor(120, 40, 40),
         step % 2 ? RecordRed.darker(130) : QColor(80, 20, 20), Ink, 0.8);
    Fill(p, Ellipse(size.width() - 10, size.height() / 2, 3.5, 3.5),
         step % 2 ? QColor(120, 40, 40) : RecordRed, QColor(80, 20, 20), Ink, 0.8);
}

// The recorder on the stage: a portable stereo with its tape in the middle.
void Stereo(QPainter& p) {
    QPainterPath handle;
    handle.moveTo(22, 34);
    handle.lineTo(26, 12);
    handle.quadTo(56, 2, 86, 12);
    handle.lineTo(90, 34);
    p.setPen(QPen(Ink, 8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(handle);
    p.setPen(QPen(QColor(200, 200, 210), 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(handle);
    Fill(p, Rounded(QRectF(3, 30, 107, 80), 12), QColor(176, 44, 58), WineDeep, Ink, 1.6);
    Fill(p, Rounded(QRectF(8, 34, 97, 10), 4), GoldLight, Gold, Ink, 1);
    for (int i = 0; i < 5; ++i) {
        Fill(p, Rounded(QRectF(38 + i * 7.5, 36, 6, 6), 1.5), i == 0 ? RecordRed : Ivory,
             i == 0 ? RecordRed.darker(130) : GoldLight, Ink, 0.8);
    }
    for (qreal cx : {27.0, 86.0}) {
        Fill(p, Ellipse(cx, 76, 19, 19), QColor(60, 50, 50), QColor(30, 24, 24), Ink, 1.4);
        Fill(p, Ellipse(cx, 76, 13, 13), QColor(90, 80, 80), QColor(40, 34, 34), Ink, 1);
        Fill(p, Ellipse(cx, 76, 5, 5), Gold, GoldDeep, Ink, 1);
    }
    Fill(p, Rounded(QRectF(46, 60, 22, 30), 3), GoldPale, GoldLight, Ink, 1);
    for (qreal cy : {68.0, 82.0}) {
        Fill(p, Ellipse(57, cy, 5, 5), QColor(110, 70, 40), QColor(70, 40, 24), Ink, 1);
        Fill(p, Ellipse(57, cy, 1.8, 1.8), Ivory, Ivory, Ink, 0);
    }
    Fill(p, Rounded(QRectF(14, 108, 14, 4), 2), Ink, Ink, Ink, 0);
    Fill(p, Rounded(QRectF(85, 108, 14, 4), 2), Ink, Ink, Ink, 0);
}

// The note marker of the dancing-note display, drawn on whole pixels at 8 x 8.
void NoteMarker(QPainter& p, int index) {
    const QColor colours[8] = {Wine,
                               QColor(214, 120, 30),
                               Leaf,
                               QColor(60, 110, 180),
                               QColor(210, 80, 140),
                               Night,
                               Bronze,
                               RecordRed};
    const QColor c = colours[index];
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRect(QRectF(1, 5, 4, 3));
    p.drawRect(QRectF(0, 6, 1, 1));
    p.drawRect(QRectF(4, 0, 1, 6));
    if (index % 2 == 1) {
        p.drawRect(QRectF(5, 1, 1, 1));
        p.drawRect(QRectF(6, 2, 1, 2));
    } else {
        p.drawRect(QRectF(5, 0, 2, 1));
    }
    p.setBrush(c.lighter(160));
    p.drawRect(QRectF(2, 5, 1, 1));
}

// White keys: `notch` bit 1 cuts the top left for the black key before, bit 2 the top right
// for the black key after.
void WhiteKey(QPainter& p, int notch, bool down) {
    QPainterPath key;
    key.moveTo(notch & 1 ? 3 : 0, 0);
    key.lineTo(notch & 2 ? 7 : 10, 0);
    if (notch & 2) {
        key.lineTo(7, 23);
        key.lineTo(10, 23);
    }
    key.lineTo(10, 31);
    key.quadTo(10, 33, 8, 33);
    key.lineTo(2, 33);
    key.quadTo(0, 33, 0, 31);
    if (notch & 1) {
        key.lineTo(0, 23);
        key.lineTo(3, 23);
    }
    key.closeSubpath();
    const QColor top = down ? QColor(250, 206, 120) : QColor(255, 255, 255);
    const QColor bottom = down ? QColor(230, 160, 70) : QColor(232, 226, 212);
    QLinearGradient fill(0, 0, 0, 33);
    fill.setColorAt(0, top);
    fill.setColorAt(1, bottom);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawPath(key);
    // The outline stays inside the key, so the cut follows the key's own edges.
    p.save();
    p.setClipPath(key);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(110, 90, 70), 2));
    p.drawPath(key);
    p.restore();
}

void BlackKey(QPainter& p, bool down) {
    QPainterPath key;
    key.addRoundedRect(QRectF(0.5, 0, 6, 22.5), 1.5, 1.5);
    QLinearGradient fill(0, 0, 7, 0);
    fill.setColorAt(0, down ? QColor(170, 100, 40) : QColor(20, 16, 18));
    fill.setColorAt(0.5, down ? QColor(220, 150, 60) : QColor(70, 62, 66));
    fill.setColorAt(1, down ? QColor(150, 86, 30) : QColor(12, 10, 12));
    p.setPen(QPen(QColor(10, 8, 8), 1));
    p.setBrush(fill);
    p.drawPath(key);
    p.fillRect(QRectF(1.5, 19, 4, 2), down ? QColor(240, 190, 100) : QColor(110, 100, 104));
}

void KeyboardBack(QPainter& p, const QSizeF& size) {
    const QRectF body(0.5, 0.5, size.width() - 1, size.height() - 1);
    Fill(p, Rounded(body, 10), QColor(70, 40, 34), QColor(30, 16, 14), Ink, 1);
    p.setPen(QPen(Gold, 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(body.adjusted(3, 3, -3, -3), 8, 8);
    Fill(p, Rounded(QRectF(62, 8, 584, 40), 2), QColor(20, 10, 10), QColor(40, 24, 20), Ink, 1);
    p.fillRect(QRectF(64, 9, 580, 3), QColor(150, 30, 44));
    Label(p, QRectF(10, 16, 50, 16), QStringLiteral("ZQ31"), Gold, 13, true);
    Label(p, QRectF(10, 32, 50, 10), QStringLiteral("88 keys"), GoldDeep, 8, false);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 6; ++j) {
            Fill(p, Ellipse(662 + j * 8, 18 + i * 9, 2, 2), QColor(120, 90, 60), QColor(80, 56, 36),
                 Ink, 0);
        }
    }
}

void TempoMark(QPainter& p, const QSizeF& size) {
    Fill(p, Rounded(QRectF(0.5, 0.5, size.width() - 1, size.height() - 1), 5), GoldPale, Gold,
         Bronze, 1);
    Fill(p, Ellipse(8, 16, 3.6, 2.8), Ink, Ink, Ink, 0);
    p.fillRect(QRectF(10.6, 4, 1.4, 12), Ink);
    p.fillRect(QRectF(16, 10, 8, 1.6), Ink);
    p.fillRect(QRectF(16, 14, 8, 1.6), Ink);
}

void Separator(QPainter& p, const QSizeF& size) {
    Fill(p, Rounded(QRectF(0, 0.5, size.width(), 3), 1.5), GoldDeep, Bronze, Bronze, 0);
    p.fillRect(QRectF(2, 1, size.width() - 4, 1), GoldLight);
}

void EngravedLine(QPainter& p, const QSizeF& size) {
    p.fillRect(QRectF(QPointF(0, 0), size), Gold);
    p.fillRect(QRectF(0, 2, size.width(), 1), GoldDeep);
    p.fillRect(QRectF(0, 3, size.width(), 1), GoldPale);
}

void SpinPoint(QPainter& p, const QSizeF& size) {
    p.fillRect(QRectF(QPointF(0, 0), size), Gold);
    QPainterPath thumb;
    thumb.moveTo(0.5, 0.5);
    thumb.lineTo(9.5, 0.5);
    thumb.lineTo(9.5, 6);
    thumb.lineTo(5, 10.5);
    thumb.lineTo(0.5, 6);
    thumb.closeSubpath();
    Fill(p, thumb, QColor(186, 60, 70), WineDeep, Ink, 1);
    p.fillRect(QRectF(2, 2, 6, 1), QColor(255, 200, 200, 160));
}

} // namespace

void AddPanels(Pieces& pieces) {
    auto rect = [&](int id, Draw draw) { pieces[id] = {false, std::move(draw)}; };
    auto shaped = [&](int id, Draw draw) { pieces[id] = {true, std::move(draw)}; };
    auto caption = [&](int id, const char* text) {
        rect(id, [t = QString::fromUtf8(text)](QPainter& p, const QSizeF& s) { Caption(p, s, t); });
    };
    caption(5265, "MIDI");
    caption(5266, "オーディオ");
    caption(5267, "圧縮ファイル");
    caption(5268, "テンポ");
    caption(5269, "拍子");
    caption(5270, "キー");
    caption(5271, "ファイル名");
    caption(5274, "トランスポーズ");
    caption(5275, "チューニング");
    rect(5272, [](QPainter& p, const QSizeF& s) {
        // Brilliance counts from bright (0) to dark (4), left to right like the slider over it.
        ScaleCaption(p, s, QStringLiteral("ブリリアンス"), QStringLiteral("ブライト"),
                     QStringLiteral("メロウ"));
    });
    rect(5273, [](QPainter& p, const QSizeF& s) {
        ScaleCaption(p, s, QStringLiteral("タッチ"), QStringLiteral("かるい"),
                     QStringLiteral("おもい"));
    });
    shaped(5276, TempoMark);
    rect(5327, EngravedLine);
    shaped(5329, Separator);
    rect(5328, SpinPoint);
    rect(5091, [](QPainter& p, const QSizeF& s) { Panel(p, s, QStringLiteral("MIDI"), 0); });
    rect(5090, [](QPainter& p, const QSizeF& s) { Panel(p, s, QStringLiteral("オーディオ"), 1); });
    rect(5092, [](QPainter& p, const QSizeF& s) { Panel(p, s, QStringLiteral("ミックス"), 2); });
    rect(5089, StripBack);
    rect(5330, LevelBack);
    rect(5237, Staff);
    for (int step = 0; step < 4; ++step) {
        rect(5309 + step, [step](QPainter& p, const QSizeF& s) { Tape(p, s, step); });
    }
    shaped(5241, [](QPainter& p, const QSizeF&) { Stereo(p); });
    for (int i = 0; i < 8; ++i) {
        shaped(5301 + i, [i](QPainter& p, const QSizeF&) { NoteMarker(p, i); });
    }
    const int whites[4][2] = {{5316, 2}, {5318, 1}, {5320, 3}, {5322, 0}};
    for (const auto& [id, notch] : whites) {
        for (int f = 0; f < 2; ++f) {
            shaped(id + f, [n = notch, f](QPainter& p, const QSizeF&) { WhiteKey(p, n, f); });
        }
    }
    for (int f = 0; f < 2; ++f) {
        shaped(5324 + f, [f](QPainter& p, const QSizeF&) { BlackKey(p, f); });
    }
    shaped(5326, KeyboardBack);
}

} // namespace art
