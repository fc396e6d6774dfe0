#pragma once

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QString>

// The skin's visual language: one palette, one button face, one way of setting text. Every
// drawing of the skin goes through these, so that the pictures belong together.
namespace art {

// The palette, built around the dialog panel's pale gold.
inline const QColor Gold(231, 206, 123);
inline const QColor GoldLight(249, 233, 179);
inline const QColor GoldPale(252, 244, 214);
inline const QColor GoldDeep(194, 151, 85);
inline const QColor Amber(198, 148, 82);
inline const QColor Bronze(150, 104, 52);
inline const QColor Cocoa(120, 96, 88);
inline const QColor Ink(72, 46, 30);
inline const QColor Wine(142, 36, 48);
inline const QColor WineDeep(96, 22, 34);
inline const QColor Ivory(255, 251, 238);
inline const QColor Night(38, 44, 72);
inline const QColor Lamp(246, 254, 10);
inline const QColor RecordRed(214, 48, 40);
inline const QColor Leaf(70, 140, 80);
inline const QColor Sky(120, 170, 210);
inline const QColor Wood(176, 112, 58);
inline const QColor WoodDark(112, 64, 32);

// A button's three faces.
enum class Face { Up, Pressed, Disabled };

// The font of every label: IPA Gothic (proportional), at a pixel size.
QFont LabelFont(qreal pixelSize, bool bold = false);
// Draws text centred in `box`, shrinking the font until it fits the box's width.
void Label(QPainter& p, const QRectF& box, const QString& text, const QColor& colour,
           qreal pixelSize, bool bold = false, Qt::Alignment align = Qt::AlignCenter);

QColor Mix(const QColor& a, const QColor& b, qreal t);

// A rounded button body with bevel; the glyph area is the returned rectangle, shifted down a
// pixel when pressed.
QRectF ButtonBody(QPainter& p, const QRectF& box, Face face, qreal radius);
// The colour glyphs take on each face.
QColor GlyphColour(Face face, const QColor& normal = Ink);
// A round button body (transport buttons).
QRectF RoundBody(QPainter& p, const QRectF& box, Face face);

// An outlined shape with a vertical gradient, the way the skin's figures are drawn.
void Fill(QPainter& p, const QPainterPath& path, const QColor& top, const QColor& bottom,
          const QColor& line = Ink, qreal width = 1.2);
void Fill(QPainter& p, const QPainterPath& path, const QColor& colour, const QColor& line = Ink,
          qreal width = 1.2);
QPainterPath Ellipse(qreal cx, qreal cy, qreal rx, qreal ry);
QPainterPath Rounded(const QRectF& r, qreal radius);

} // namespace art
