#pragma once

#include <QColor>

namespace olvex {

// Moves each of red, green and blue toward 255 by `factor` of the remaining
// distance, truncated. A factor outside (0, 1] leaves the colour as it is.
QColor Lighten(const QColor& colour, double factor);

// Adds `amount` to red, green and blue alike. Where a channel would leave
// 0..255 the amount is reduced for all three, so the hue stays the same.
QColor ShiftColour(const QColor& colour, int amount);

} // namespace olvex
