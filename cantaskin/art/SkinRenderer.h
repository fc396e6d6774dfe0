#pragma once

#include "Artwork.h"

#include <QImage>
#include <QSize>

// Turns a drawing into the pictures the skin ships, at 1x and 2x. A shaped picture stands on
// the key colour, which occurs nowhere inside it, with an outline on whole logical pixels and
// no blended fringe: the window region cut from it is the same at both scales. A rectangular
// picture gets a bottom-left pixel of a colour found nowhere else in it, so that a region
// cut from it loses that one pixel only.
class SkinRenderer {
public:
    static constexpr QRgb Key = 0xFFFF00FF;

    struct Pair {
        QImage normal;
        QImage hidpi;
    };

    static Pair Render(const art::Piece& piece, QSize size);

private:
    static QImage Raw(const art::Piece& piece, QSize size, int scale);
    static Pair Shaped(const art::Piece& piece, QSize size);
    static Pair Rectangular(const art::Piece& piece, QSize size);
};
