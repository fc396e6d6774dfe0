#include "Artwork.h"

#include "ArtKit.h"
#include "Instruments.h"

#include <QLinearGradient>
#include <QRadialGradient>
#include <cmath>

// The main picture: a small concert hall whose stage carries the instruments, the recorder
// and the metronome character; with reverb on, the hall's acoustic shell rings with light.
// Over it lies the shortcut palette, and before everything the start-up picture.
namespace art {
namespace {

const QColor Curtain(150, 30, 44);
const QColor CurtainDark(86, 14, 28);
const QColor Wall(246, 226, 170);
const QColor WallDark(214, 178, 104);
const QColor Floor(214, 150, 82);
const QColor FloorDark(150, 92, 44);

void Drapes(QPainter& p, const QRectF& r, int folds) {
    QLinearGradient gradient(r.topLeft(), r.topRight());
    for (int i = 0; i <= folds * 2; ++i) {
        gradient.setColorAt(qreal(i) / (folds * 2), i % 2 ? Curtain.lighter(118) : CurtainDark);
    }
    p.fillRect(r, gradient);
}

void Hall(QPainter& p, const QSizeF& size, bool reverb) {
    const qreal w = size.width();
    // Back wall with pilasters.
    QLinearGradient wall(0, 40, 0, 300);
    wall.setColorAt(0, reverb ? Wall.lighter(104) : Wall.darker(104));
    wall.setColorAt(1, WallDark);
    p.fillRect(QRectF(0, 0, w, 330), wall);
    for (int i = 0; i < 9; ++i) {
        const qreal x = 40 + i * 90;
        if (std::abs(x - 400) < 170) {
            continue;
        }
        QLinearGradient pilaster(x - 12, 0, x + 12, 0);
        pilaster.setColorAt(0, WallDark);
        pilaster.setColorAt(0.5, Wall.lighter(106));
        pilaster.setColorAt(1, WallDark.darker(110));
        p.fillRect(QRectF(x - 12, 40, 24, 262), pilaster);
        p.fillRect(QRectF(x - 16, 40, 32, 8), Amber);
    }
    // The acoustic shell behind the stage: an arch of radiating panels.
    const QPointF centre(400, 330);
    QPainterPath arch;
    arch.moveTo(226, 330);
    arch.lineTo(226, 200);
    arch.arcTo(QRectF(226, 56, 348, 288), 180, -180);
    arch.lineTo(574, 330);
    arch.closeSubpath();
    QRadialGradient shell(centre, 280);
    shell.setColorAt(0, reverb ? QColor(255, 246, 214) : QColor(250, 236, 196));
    shell.setColorAt(1, reverb ? QColor(236, 198, 118) : QColor(222, 184, 110));
    Fill(p, arch, QColor(), QColor(), Bronze, 0);
    p.setBrush(shell);
    p.setPen(QPen(Bronze, 2));
    p.drawPath(arch);
    p.save();
    p.setClipPath(arch);
    p.setPen(QPen(QColor(190, 140, 70, 150), 1.2));
    for (int i = 0; i <= 12; ++i) {
        const qreal angle = M_PI * i / 12;
        p.drawLine(centre, centre + QPointF(-std::cos(angle) * 320, -std::sin(angle) * 320));
    }
    // Reverb: the shell rings with rings of light.
    if (reverb) {
        for (int i = 1; i <= 6; ++i) {
            const qreal radius = 40 + i * 38;
            QColor ring(255, 250, 220, 200 - i * 22);
            p.setPen(QPen(ring, 5 - i * 0.5));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(centre, radius, radius * 0.86);
            p.setPen(QPen(QColor(230, 170, 60, 170 - i * 20), 1.2));
            p.drawEllipse(centre, radius + 4, radius * 0.86 + 4);
        }
    } else {
        for (int i = 1; i <= 3; ++i) {
            p.setPen(QPen(QColor(190, 140, 70, 110), 1));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(centre, 90.0 * i, 90.0 * i * 0.86);
        }
    }
    p.restore();
    // Wainscot at the back of the stage.
    QLinearGradient wainscot(0, 300, 0, 330);
    wainscot.setColorAt(0, Wood);
    wainscot.setColorAt(1, WoodDark);
    p.fillRect(QRectF(0, 302, w, 28), wainscot);
    p.fillRect(QRectF(0, 300, w, 3), Amber.lighter(115));
    for (int i = 0; i < 14; ++i) {
        p.setPen(QPen(WoodDark.darker(120), 1));
        p.drawRect(QRectF(8 + i * 58, 307, 50, 18));
    }
    // Stage floor in perspective.
    QLinearGradient floor(0, 330, 0, 444);
    floor.setColorAt(0, FloorDark);
    floor.setColorAt(1, Floor);
    p.fillRect(QRectF(0, 330, w, 114), floor);
    p.setPen(QPen(QColor(120, 70, 30, 120), 1));
    for (int i = -14; i <= 14; ++i) {
        p.drawLine(QPointF(400 + i * 26, 330), QPointF(400 + i * 62, 444));
    }
    for (qreal y : {348.0, 370.0, 396.0, 424.0}) {
        p.drawLine(QPointF(0, y), QPointF(w, y));
    }
    // Spotlight pool on the stage.
    QRadialGradient pool(QPointF(400, 392), 230);
    pool.setColorAt(0, QColor(255, 240, 200, reverb ? 150 : 110));
    pool.setColorAt(1, QColor(255, 240, 200, 0));
    p.save();
    p.scale(1, 0.3);
    p.setPen(Qt::NoPen);
    p.setBrush(pool);
    p.drawEllipse(QPointF(400, 392 / 0.3), 260, 260);
    p.restore();
    // Stage edge and the dark hall in front.
    p.fillRect(QRectF(0, 444, w, 10), WoodDark);
    p.fillRect(QRectF(0, 444, w, 2), Amber);
    QLinearGradient front(0, 454, 0, 526);
    front.setColorAt(0, QColor(70, 24, 30));
    front.setColorAt(1, QColor(34, 12, 18));
    p.fillRect(QRectF(0, 454, w, 72), front);
    for (int row = 0; row < 2; ++row) {
        for (int i = 0; i < 22; ++i) {
            const QRectF seat(8 + i * 36 + row * 18, 478 + row * 24, 28, 20);
            Fill(p, Rounded(seat, 6), QColor(120, 30, 40), QColor(70, 16, 24), QColor(30, 8, 12),
                 1);
        }
    }
    // Curtains at the sides and the valance along the top.
    Drapes(p, QRectF(0, 0, 34, 444), 3);
    Drapes(p, QRectF(w - 34, 0, 34, 444), 3);
    QPainterPath valance;
    valance.moveTo(0, 0);
    valance.lineTo(w, 0);
    valance.lineTo(w, 34);
    for (int i = 11; i >= 0; --i) {
        const qreal x = i * w / 12;
        valance.quadTo(x + w / 24, 56, x, 34);
    }
    valance.closeSubpath();
    QLinearGradient valanceColour(0, 0, 0, 56);
    valanceColour.setColorAt(0, CurtainDark);
    valanceColour.setColorAt(1, Curtain);
    p.setBrush(valanceColour);
    p.setPen(QPen(QColor(236, 196, 100), 3));
    p.drawPath(valance);
    // Stage lights hanging from the valance.
    for (int i = 0; i < 5; ++i) {
        const qreal x = 160 + i * 120;
        QPainterPath beam;
        beam.moveTo(x - 6, 44);
        beam.lineTo(x + 6, 44);
        beam.lineTo(400 + (x - 400) * 0.3 + 60, 390);
        beam.lineTo(400 + (x - 400) * 0.3 - 60, 390);
        beam.closeSubpath();
        QLinearGradient light(0, 44, 0, 390);
        light.setColorAt(0, QColor(255, 248, 220, reverb ? 90 : 60));
        light.setColorAt(1, QColor(255, 248, 220, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(light);
        p.drawPath(beam);
        Fill(p, Rounded(QRectF(x - 8, 36, 16, 12), 3), QColor(70, 60, 60), QColor(30, 26, 26), Ink,
             1);
    }
}

// The shortcut palette's outline: a column down the right edge and a strip along the bottom
// for the keyboard, in one piece.
QPainterPath PaletteShape() {
    QPainterPath column;
    column.addRoundedRect(QRectF(742.5, 30.5, 48, 480), 10, 10);
    QPainterPath strip;
    strip.addRoundedRect(QRectF(22.5, 440.5, 768, 70), 12, 12);
    return column.united(strip).simplified();
}

void Palette(QPainter& p, int style) {
    struct Look {
        QColor top, bottom, line;
    };
    const Look looks[4] = {
        {Ivory, GoldPale, GoldDeep},
        {GoldLight, Gold, Bronze},
        {QColor(240, 196, 196), QColor(206, 130, 140), WineDeep},
        {QColor(120, 140, 190), QColor(54, 66, 110), QColor(20, 24, 48)},
    };
    const QPainterPath shape = PaletteShape();
    Fill(p, shape, looks[style].top, looks[style].bottom, looks[style].line, 2);
    p.save();
    p.setClipPath(shape);
    p.setPen(QPen(QColor(255, 255, 255, 120), 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shape.translated(1.5, 1.5));
    p.restore();
}

void Splash(QPainter& p, const QSizeF& size) {
    QLinearGradient back(0, 0, 0, size.height());
    back.setColorAt(0, QColor(96, 18, 30));
    back.setColorAt(1, QColor(40, 8, 14));
    p.fillRect(QRectF(QPointF(0, 0), size), back);
    QRadialGradient glow(QPointF(150, 150), 200);
    glow.setColorAt(0, QColor(255, 226, 150, 120));
    glow.setColorAt(1, QColor(255, 226, 150, 0));
    p.fillRect(QRectF(QPointF(0, 0), size), glow);
    p.setPen(QPen(Gold, 3));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(6.5, 6.5, size.width() - 13, size.height() - 13));
    p.setPen(QPen(GoldDeep, 1));
    p.drawRect(QRectF(12.5, 12.5, size.width() - 25, size.height() - 25));
    DrawInstrument(p, 0, QRectF(34, 56, 232, 160), false);
    p.fillRect(QRectF(30, 216, 240, 3), Gold);
    Label(p, QRectF(280, 70, 280, 40), QStringLiteral("ZQ31"), GoldLight, 34, true,
          Qt::AlignLeft | Qt::AlignVCenter);
    Label(p, QRectF(280, 110, 280, 40), QStringLiteral("Concertino"), Gold, 32, false,
          Qt::AlignLeft | Qt::AlignVCenter);
    p.fillRect(QRectF(282, 154, 240, 2), GoldDeep);
    Label(p, QRectF(282, 162, 280, 20), QStringLiteral("Version " CANTAVO_PRODUCT_VERSION),
          GoldLight, 13, false, Qt::AlignLeft | Qt::AlignVCenter);
    Label(p, QRectF(282, 196, 280, 20), QStringLiteral("起動しています…"), Gold, 14, false,
          Qt::AlignLeft | Qt::AlignVCenter);
}

} // namespace

void AddHall(Pieces& pieces) {
    pieces[5015] = {false, [](QPainter& p, const QSizeF& s) { Hall(p, s, false); }};
    pieces[5016] = {false, [](QPainter& p, const QSizeF& s) { Hall(p, s, true); }};
    for (int style = 0; style < 4; ++style) {
        pieces[5017 + style] = {true, [style](QPainter& p, const QSizeF&) { Palette(p, style); }};
    }
    pieces[5259] = {false, Splash};
}

} // namespace art
