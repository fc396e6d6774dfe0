#include "Artwork.h"

#include "ArtKit.h"

#include <cmath>

// The four metronome characters: the metronome itself, a penguin conductor, a bear cub who
// claps, and a ballerina. Each beat pose leans the other way from the last, so the animation
// reads as a beat; the idle performances tell a small story.
namespace art {
namespace {

const QColor Outline(52, 34, 24);
const QColor Blush(244, 150, 150);

void Eyes(QPainter& p, QPointF left, QPointF right, qreal r, bool closed) {
    for (QPointF c : {left, right}) {
        if (closed) {
            QPainterPath lid;
            lid.moveTo(c + QPointF(-r, 0));
            lid.quadTo(c + QPointF(0, r * 1.2), c + QPointF(r, 0));
            p.setPen(QPen(Outline, 1.3, Qt::SolidLine, Qt::RoundCap));
            p.setBrush(Qt::NoBrush);
            p.drawPath(lid);
        } else {
            Fill(p, Ellipse(c.x(), c.y(), r * 0.8, r), Outline, Outline, Outline, 0);
            Fill(p, Ellipse(c.x() + r * 0.25, c.y() - r * 0.35, r * 0.3, r * 0.3), Qt::white,
                 Qt::white, Outline, 0);
        }
    }
}

void Smile(QPainter& p, QPointF c, qreal w, bool open) {
    QPainterPath mouth;
    mouth.moveTo(c + QPointF(-w, 0));
    mouth.quadTo(c + QPointF(0, w * 1.1), c + QPointF(w, 0));
    if (open) {
        mouth.closeSubpath();
        Fill(p, mouth, QColor(190, 60, 60), QColor(190, 60, 60), Outline, 1.0);
    } else {
        p.setPen(QPen(Outline, 1.2, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawPath(mouth);
    }
}

// A limb: a thick rounded stroke with an outline, from a shoulder at an angle (degrees, 0 =
// straight down, positive = towards +x).
QPointF Limb(QPainter& p, QPointF from, qreal angle, qreal length, qreal width,
             const QColor& colour) {
    const qreal a = angle * M_PI / 180;
    const QPointF to = from + QPointF(std::sin(a) * length, std::cos(a) * length);
    p.setPen(QPen(Outline, width + 2.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(from, to);
    p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(from, to);
    return to;
}

// The metronome: a wooden pyramid with a face, its pendulum at an angle.
void Metronome(QPainter& p, qreal angle) {
    QPainterPath body;
    body.moveTo(14, 82);
    body.lineTo(22, 10);
    body.quadTo(27, 4, 32, 10);
    body.lineTo(40, 82);
    body.closeSubpath();
    QPainterPath base;
    base.addRoundedRect(QRectF(6, 74, 42, 9), 3, 3);
    Fill(p, body, Wood.lighter(120), WoodDark, Outline, 1.3);
    Fill(p, base, Wood, WoodDark, Outline, 1.3);
    // Scale plate and pendulum.
    Fill(p, Rounded(QRectF(23.5, 16, 7, 40), 2), GoldPale, Gold, Outline, 0.8);
    p.save();
    p.translate(27, 60);
    p.rotate(-angle);
    p.setPen(QPen(Outline, 2.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(0, 0), QPointF(0, -50));
    p.setPen(QPen(QColor(230, 232, 238), 1.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(0, 0), QPointF(0, -50));
    Fill(p, Rounded(QRectF(-5, -38, 10, 8), 2), QColor(240, 200, 90), QColor(190, 140, 50), Outline,
         1.0);
    p.restore();
    Fill(p, Ellipse(27, 60, 2.5, 2.5), Gold, Gold, Outline, 0.8);
    Eyes(p, QPointF(22, 66), QPointF(32, 66), 2, false);
    Smile(p, QPointF(27, 70.5), 3, false);
    Fill(p, Ellipse(18, 70, 2, 1.2), Blush, Blush, Outline, 0);
    Fill(p, Ellipse(36, 70, 2, 1.2), Blush, Blush, Outline, 0);
}

// The penguin conductor on his podium.
struct Conductor {
    qreal baton = 40; // right flipper, degrees from straight down (positive: outwards)
    qreal left = -30; // left flipper
    qreal bow = 0;    // forward bow, degrees
    bool happy = false;
    bool notes = false;
};

void Penguin(QPainter& p, const Conductor& c) {
    // Podium.
    Fill(p, Rounded(QRectF(38, 112, 70, 24), 3), Wine, WineDeep, Outline, 1.3);
    Fill(p, Rounded(QRectF(34, 108, 78, 7), 2), GoldLight, Gold, Outline, 1.1);
    if (c.notes) {
        for (auto [x, y] : {std::pair{14.0, 30.0}, {128.0, 22.0}, {20.0, 70.0}}) {
            Fill(p, Ellipse(x, y + 10, 4, 3), Wine, Wine, Outline, 0.8);
            p.setPen(QPen(Outline, 1.2));
            p.drawLine(QPointF(x + 3.5, y + 10), QPointF(x + 3.5, y - 2));
            p.drawLine(QPointF(x + 3.5, y - 2), QPointF(x + 8, y + 2));
        }
    }
    p.save();
    p.translate(73, 108);
    p.rotate(c.bow);
    p.translate(-73, -108);
    // Feet.
    Fill(p, Ellipse(63, 107, 8, 3.5), QColor(250, 160, 50), QColor(220, 120, 30), Outline, 1.1);
    Fill(p, Ellipse(83, 107, 8, 3.5), QColor(250, 160, 50), QColor(220, 120, 30), Outline, 1.1);
    // Body, tails of the coat, belly.
    QPainterPath body;
    body.addEllipse(QPointF(73, 74), 26, 33);
    Fill(p, body, QColor(60, 64, 80), QColor(24, 26, 36), Outline, 1.4);
    Fill(p, Ellipse(73, 80, 17, 25), QColor(255, 255, 255), QColor(226, 230, 238), Outline, 0.8);
    // Flippers: the baton hand and the free one.
    const QPointF tip = Limb(p, QPointF(95, 64), c.baton, 22, 7, QColor(40, 44, 58));
    Limb(p, QPointF(51, 64), c.left, 20, 7, QColor(40, 44, 58));
    const qreal a = c.baton * M_PI / 180;
    const QPointF end = tip + QPointF(std::sin(a) * 24, std::cos(a) * 24);
    p.setPen(QPen(Outline, 3.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(tip, end);
    p.setPen(QPen(Ivory, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(tip, end);
    // Head.
    Fill(p, Ellipse(73, 34, 21, 19), QColor(60, 64, 80), QColor(30, 32, 44), Outline, 1.4);
    Fill(p, Ellipse(73, 38, 15, 12), QColor(255, 255, 255), QColor(236, 238, 244), Outline, 0);
    Eyes(p, QPointF(66, 33), QPointF(80, 33), 2.6, c.happy);
    QPainterPath beak;
    beak.moveTo(68, 40);
    beak.lineTo(78, 40);
    beak.lineTo(73, 46);
    beak.closeSubpath();
    Fill(p, beak, QColor(250, 170, 50), QColor(230, 120, 30), Outline, 1.0);
    Fill(p, Ellipse(61, 42, 2.6, 1.6), Blush, Blush, Outline, 0);
    Fill(p, Ellipse(85, 42, 2.6, 1.6), Blush, Blush, Outline, 0);
    // Bow tie.
    QPainterPath tie;
    tie.moveTo(73, 54);
    tie.lineTo(64, 50);
    tie.lineTo(64, 58);
    tie.closeSubpath();
    tie.moveTo(73, 54);
    tie.lineTo(82, 50);
    tie.lineTo(82, 58);
    tie.closeSubpath();
    Fill(p, tie, RecordRed, Wine, Outline, 1.0);
    Fill(p, Ellipse(73, 54, 2.2, 2.2), Wine, Wine, Outline, 0.8);
    p.restore();
}

// The bear cub.
struct Cub {
    qreal left = 20; // arm angles from straight down (outwards positive)
    qreal right = 20;
    qreal lean = 0;
    bool eyesClosed = false;
    bool open = false;
    bool sleep = false;
};

void Bear(QPainter& p, const Cub& c) {
    const QColor fur(176, 112, 62);
    const QColor furDark(120, 70, 36);
    const QColor muzzle(238, 206, 160);
    p.save();
    p.translate(42, 106);
    p.rotate(c.lean);
    p.translate(-42, -106);
    // Legs and feet.
    Fill(p, Ellipse(30, 98, 10, 8), fur, furDark, Outline, 1.3);
    Fill(p, Ellipse(54, 98, 10, 8), fur, furDark, Outline, 1.3);
    Fill(p, Ellipse(30, 101, 5, 3.5), muzzle, muzzle, Outline, 0);
    Fill(p, Ellipse(54, 101, 5, 3.5), muzzle, muzzle, Outline, 0);
    // Body and belly.
    Fill(p, Ellipse(42, 72, 22, 25), fur.lighter(108), furDark, Outline, 1.4);
    Fill(p, Ellipse(42, 76, 13, 16), muzzle, muzzle.darker(108), Outline, 0);
    // Arms.
    const QPointF l = Limb(p, QPointF(26, 60), -c.left, 20, 10, fur);
    const QPointF r = Limb(p, QPointF(58, 60), c.right, 20, 10, fur);
    Fill(p, Ellipse(l.x(), l.y(), 5.5, 5.5), fur, furDark, Outline, 1.2);
    Fill(p, Ellipse(r.x(), r.y(), 5.5, 5.5), fur, furDark, Outline, 1.2);
    // Head with ears.
    Fill(p, Ellipse(24, 16, 8, 8), fur, furDark, Outline, 1.3);
    Fill(p, Ellipse(60, 16, 8, 8), fur, furDark, Outline, 1.3);
    Fill(p, Ellipse(24, 16, 4, 4), muzzle, muzzle, Outline, 0);
    Fill(p, Ellipse(60, 16, 4, 4), muzzle, muzzle, Outline, 0);
    Fill(p, Ellipse(42, 32, 22, 19), fur.lighter(110), furDark, Outline, 1.4);
    Fill(p, Ellipse(42, 39, 10, 8), muzzle, muzzle, Outline, 0.8);
    Fill(p, Ellipse(42, 35.5, 3.6, 2.6), Outline, Outline, Outline, 0);
    Eyes(p, QPointF(33, 29), QPointF(51, 29), 2.6, c.eyesClosed);
    Smile(p, QPointF(42, 41), 3.5, c.open);
    Fill(p, Ellipse(28, 38, 3, 1.8), Blush, Blush, Outline, 0);
    Fill(p, Ellipse(56, 38, 3, 1.8), Blush, Blush, Outline, 0);
    p.restore();
    if (c.sleep) {
        Label(p, QRectF(58, 0, 24, 16), QStringLiteral("Z"), Night, 14, true);
        Label(p, QRectF(66, 12, 16, 12), QStringLiteral("z"), Night, 10, true);
    }
}

// The ballerina.
struct Dancer {
    qreal left = 20; // arm angles, outwards positive; above 90 the arm is raised
    qreal right = 20;
    qreal rise = 0; // on the toes: 0 to 6 pixels
    bool happy = false;
    bool sparkle = false;
};

void Ballerina(QPainter& p, const Dancer& d) {
    const QColor skin(252, 222, 196);
    const QColor pink(246, 170, 196);
    const QColor pinkDark(214, 100, 140);
    const qreal up = d.rise;
    // Legs on point.
    for (qreal x : {37.0, 47.0}) {
        p.setPen(QPen(Outline, 6.4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(x, 84 - up), QPointF(x, 124 - up));
        p.setPen(QPen(skin, 4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(x, 84 - up), QPointF(x, 124 - up));
        Fill(p, Rounded(QRectF(x - 3.5, 118 - up, 7, 9 + up * 0.5), 3), pink, pinkDark, Outline,
             1.0);
    }
    // Tutu and bodice.
    QPainterPath tutu;
    tutu.moveTo(14, 84 - up);
    tutu.quadTo(42, 66 - up, 70, 84 - up);
    for (int i = 6; i >= 0; --i) {
        const qreal x = 14 + i * 8;
        tutu.quadTo(x + 4, 94 - up, x, 86 - up);
    }
    tutu.closeSubpath();
    Fill(p, tutu, QColor(255, 220, 234), pink, Outline, 1.2);
    Fill(p, Rounded(QRectF(33, 52 - up, 18, 26), 6), pink, pinkDark, Outline, 1.2);
    // Arms.
    const QPointF l = Limb(p, QPointF(34, 56 - up), -d.left, 22, 4, skin);
    const QPointF r = Limb(p, QPointF(50, 56 - up), d.right, 22, 4, skin);
    Fill(p, Ellipse(l.x(), l.y(), 2.8, 2.8), skin, skin, Outline, 1.0);
    Fill(p, Ellipse(r.x(), r.y(), 2.8, 2.8), skin, skin, Outline, 1.0);
    // Head with a bun.
    Fill(p, Ellipse(42, 20 - up, 8, 7), QColor(120, 70, 40), QColor(80, 44, 24), Outline, 1.2);
    Fill(p, Ellipse(42, 36 - up, 13, 14), skin, skin.darker(106), Outline, 1.3);
    QPainterPath hair;
    hair.moveTo(29, 36 - up);
    hair.quadTo(30, 20 - up, 42, 22 - up);
    hair.quadTo(54, 20 - up, 55, 36 - up);
    hair.quadTo(48, 27 - up, 42, 28 - up);
    hair.quadTo(36, 27 - up, 29, 36 - up);
    Fill(p, hair, QColor(120, 70, 40), QColor(80, 44, 24), Outline, 1.1);
    Fill(p, Ellipse(48, 23 - up, 3, 2.2), pink, pinkDark, Outline, 0.8);
    Eyes(p, QPointF(37, 37 - up), QPointF(47, 37 - up), 2.1, d.happy);
    Smile(p, QPointF(42, 43 - up), 2.6, d.happy);
    Fill(p, Ellipse(34, 42 - up, 2.2, 1.4), Blush, Blush, Outline, 0);
    Fill(p, Ellipse(50, 42 - up, 2.2, 1.4), Blush, Blush, Outline, 0);
    if (d.sparkle) {
        for (auto [x, y] : {std::pair{10.0, 20.0}, {74.0, 14.0}, {72.0, 60.0}, {12.0, 64.0}}) {
            QPainterPath star;
            star.moveTo(x, y - 5);
            star.quadTo(x, y, x + 5, y);
            star.quadTo(x, y, x, y + 5);
            star.quadTo(x, y, x - 5, y);
            star.quadTo(x, y, x, y - 5);
            Fill(p, star, Lamp, QColor(240, 190, 40), Outline, 0.8);
        }
    }
}

// A character's portrait for its choice button.
void Portrait(QPainter& p, const QSizeF& size, int character, bool chosen) {
    const QRectF glyph =
        ButtonBody(p, QRectF(QPointF(0, 0), size), chosen ? Face::Pressed : Face::Up, 12);
    const QRectF area = glyph.adjusted(4, 4, -4, -3);
    const QSizeF native[4] = {{54, 84}, {145, 138}, {84, 108}, {84, 130}};
    const qreal scale = std::min(area.width() / native[character].width(),
                                 area.height() / native[character].height());
    p.save();
    p.translate(area.center().x() - native[character].width() * scale / 2,
                area.bottom() - native[character].height() * scale);
    p.scale(scale, scale);
    switch (character) {
    case 0:
        Metronome(p, 0);
        break;
    case 1:
        Penguin(p, Conductor{});
        break;
    case 2:
        Bear(p, Cub{});
        break;
    default:
        Ballerina(p, Dancer{});
        break;
    }
    p.restore();
    if (chosen) {
        Fill(p, Ellipse(glyph.right() - 5, glyph.top() + 5, 3.5, 3.5), Lamp, QColor(230, 170, 0),
             Ink, 0.8);
    }
}

} // namespace

void AddCharacters(Pieces& pieces) {
    auto add = [&](int id, Draw draw) { pieces[id] = {true, std::move(draw)}; };
    // The metronome: still, then the pendulum to one side and the other.
    add(5197, [](QPainter& p, const QSizeF&) { Metronome(p, 0); });
    add(5198, [](QPainter& p, const QSizeF&) { Metronome(p, -24); });
    add(5199, [](QPainter& p, const QSizeF&) { Metronome(p, 24); });
    // The conductor: at rest, baton up, baton down; then his idle show: a happy look to the
    // audience, the baton swirling, cheering, and a bow.
    const Conductor conductor[10] = {
        {40, -30, 0, false, false}, {150, -60, 0, false, true},  {20, -80, 0, false, true},
        {30, -150, 0, true, false}, {130, -130, 0, true, true},  {170, -170, 0, true, true},
        {160, -160, 0, true, true}, {120, -120, 0, true, false}, {30, -30, 14, true, false},
        {20, -20, 24, true, false},
    };
    for (int i = 0; i < 10; ++i) {
        add(5200 + i, [c = conductor[i]](QPainter& p, const QSizeF&) { Penguin(p, c); });
    }
    // The bear: at rest, clapping (hands together, apart), and his show: drowsy, asleep,
    // a big stretch, a little dance to each side, a wave.
    const std::pair<int, Cub> cubs[] = {
        {5210, {20, 20, 0, false, false, false}}, {5211, {60, 60, 0, false, true, false}},
        {5212, {-30, -30, 0, true, true, false}}, {5213, {150, 20, 0, false, true, false}},
        {5214, {15, 15, 0, true, false, false}},  {5215, {10, 10, 4, true, false, true}},
        {5216, {165, 165, 0, true, true, false}}, {5217, {120, 40, -8, false, true, false}},
        {5218, {40, 120, 8, false, true, false}}, {5219, {20, 160, 0, false, true, false}},
    };
    for (const auto& [id, cub] : cubs) {
        add(id, [c = cub](QPainter& p, const QSizeF&) { Bear(p, c); });
    }
    // The ballerina: at rest, arms open, one arm up; her show rises onto her toes with her
    // arms lifting until she holds the final pose.
    const std::pair<int, Dancer> dancers[] = {
        {5220, {15, 15, 0, false, false}},  {5221, {80, 80, 3, true, false}},
        {5222, {150, 60, 3, true, false}},  {5223, {30, 30, 1, false, false}},
        {5224, {55, 55, 2, false, false}},  {5225, {85, 85, 3, true, false}},
        {5226, {115, 115, 4, true, false}}, {5227, {145, 145, 5, true, false}},
        {5228, {165, 165, 6, true, true}},
    };
    for (const auto& [id, dancer] : dancers) {
        add(id, [d = dancer](QPainter& p, const QSizeF&) { Ballerina(p, d); });
    }
    // The choice buttons of the four characters.
    for (int character = 0; character < 4; ++character) {
        for (int f = 0; f < 2; ++f) {
            add(5229 + character * 2 + f, [character, f](QPainter& p, const QSizeF& size) {
                Portrait(p, size, character, f == 1);
            });
        }
    }
}

} // namespace art
