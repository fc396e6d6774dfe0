#pragma once

#include <QPainter>
#include <QRectF>

// The eight voices drawn as instruments: grand piano, upright piano, electric pianos 1 and 2,
// harpsichord, vibraphone, strings, pipe organ (in voice order). Each is drawn into `box`,
// keeping its proportions, standing on the box's bottom edge. `small` draws the silhouette with
// fewer details and a heavier outline, for icons.
namespace art {

inline constexpr int VoiceCount = 8;
void DrawInstrument(QPainter& p, int voice, const QRectF& box, bool small);

} // namespace art
