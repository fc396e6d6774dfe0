#pragma once

#include <cstdint>

// The description of a bitmap that drawing calls hand back to their callers: its size and
// pixel layout. Bitmaps here are 32-bit images, one plane.
struct BITMAP {
    int bmType = 0;
    int bmWidth = 0;
    int bmHeight = 0;
    int bmWidthBytes = 0;
    std::uint16_t bmPlanes = 0;
    std::uint16_t bmBitsPixel = 0;
    void* bmBits = nullptr;
};
