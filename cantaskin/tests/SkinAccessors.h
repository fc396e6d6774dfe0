#pragma once

#include "CTrade.h"

#include <QSize>
#include <vector>

// What each accessor must deliver: frame count and sizes, and whether its pictures are pressed
// like buttons (their outline must hold the picture's centre).
struct ExpectedAccessor {
    enum Kind { Picture, Button };
    const char* name;
    CTrade::Accessor get;
    unsigned int frames;
    QSize size;               // every frame's size, when all frames share one
    std::vector<QSize> sizes; // frame by frame otherwise
    Kind kind;

    QSize FrameSize(unsigned int index) const { return sizes.empty() ? size : sizes[index]; }
};

const std::vector<ExpectedAccessor>& ExpectedAccessors();
