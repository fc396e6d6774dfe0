#pragma once

#include "CBmpMask.h"

#include <QColor>
#include <QImage>

// Pictures drawn in code for the widget tests: a shape on a key colour that fills the
// picture's bottom-left pixel, so the mask cuts the shape out.
namespace TestArt {

constexpr QRgb kKey = 0xFF00FF; // magenta, outside every shape
const QColor kUp{40, 160, 60};
const QColor kPressed{30, 60, 200};
const QColor kDisabled{150, 150, 150};

// A filled circle of the given colour inside a size x size square of key colour.
QImage Disc(int size, const QColor& colour);
// A filled rectangle inset by `inset` pixels from the edges of a w x h picture.
QImage Block(int w, int h, int inset, const QColor& colour);
// Up, pressed and disabled frames of a round button.
CBmpMask ButtonMask(QObject* parent, CBmpMask::EVENT_FLAG flag, unsigned int message,
                    int size = 40);

} // namespace TestArt
