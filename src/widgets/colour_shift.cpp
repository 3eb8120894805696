#include "colour_shift.h"

#include <algorithm>

namespace olvex {

QColor Lighten(const QColor& colour, double factor) {
    // Written so that NaN also falls through to "unchanged".
    if (!(factor > 0.0 && factor <= 1.0))
        return colour;
    auto up = [factor](int value) { return value + static_cast<int>(factor * (255 - value)); };
    return QColor(up(colour.red()), up(colour.green()), up(colour.blue()), colour.alpha());
}

QColor ShiftColour(const QColor& colour, int amount) {
    const int r = colour.red(), g = colour.green(), b = colour.blue();
    if (amount > 0)
        amount = std::min(amount, 255 - std::max({r, g, b}));
    else if (amount < 0)
        amount = std::max(amount, -std::min({r, g, b}));
    return QColor(r + amount, g + amount, b + amount, colour.alpha());
}

} // namespace olvex
