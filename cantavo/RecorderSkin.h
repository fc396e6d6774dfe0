#pragma once

#include "CBmpMask.h"
#include "CLast.h"
#include "CTrade.h"

#include <QImage>

// The recorder's windows take every picture from the registered skin catalogue; a window made
// before the program registered one (a test of a single panel) uses a catalogue of its own,
// which draws the same pictures.
namespace recorderskin {

using Accessor = CVeskError (CTrade::*)(CBmpMask&);

inline CBmpMask Mask(Accessor accessor, QObject* parent, unsigned int message,
                     CBmpMask::RGN_FLAG region = CBmpMask::RGN_SHAPED) {
    CBmpMask mask(parent);
    mask.SetRgnFlag(region);
    mask.SetMsg(message);
    mask.SetEventFlag(CBmpMask::EVENT_UP);
    if (CLast::HasTrade()) {
        (CLast::Trade().*accessor)(mask);
    } else {
        CTrade trade;
        (trade.*accessor)(mask);
    }
    return mask;
}

// The first picture of an accessor, for backgrounds a window paints itself.
inline QImage Picture(Accessor accessor) {
    return Mask(accessor, nullptr, 0, CBmpMask::RGN_RECT).GetAniBmp(0);
}

} // namespace recorderskin
