#pragma once

#include <QColor>
#include <QPalette>

namespace olvex {

// The least contrast a text keeps against what lies behind it.
inline constexpr double kMinContrast = 4.5;

// Relative luminance of an sRGB colour, 0 for black to 1 for white.
double RelativeLuminance(const QColor& colour);
// (lighter + 0.05) / (darker + 0.05): 1 for equal luminances, 21 for black on white.
double ContrastRatio(const QColor& a, const QColor& b);

// `colour` with its hue and saturation kept and its lightness moved, as little as it takes,
// until it stands out from `background` by `minContrast`; unchanged when it already does.
// Where no lightness gets there, the one with the most contrast.
QColor ReadableOn(const QColor& colour, const QColor& background,
                  double minContrast = kMinContrast);

// Behind a word found by a search: a yellow marker on light windows, a deep amber on dark
// ones. The word's text is made readable on it with ReadableOn.
QColor SearchHitBackground(const QPalette& palette);

// The tray badge: a count on a red disc inside a white rim, which keeps the disc apart from a
// dark panel as the red does from a light one.
struct BadgeColours {
    QColor disc;
    QColor text;
    QColor rim;
};
BadgeColours TrayBadgeColours();

// How the windows are coloured: as the desktop gives it, or light or dark whatever it says.
enum class ColourScheme { Desktop, Light, Dark };

// Whether a palette draws light text on dark windows.
bool IsDarkPalette(const QPalette& palette);
// Our own palettes, for desktops that ask for a scheme without giving a palette for it.
QPalette LightPalette();
QPalette DarkPalette();

// The palette to use: the desktop's own when it already is of the wanted kind (or none is
// wanted), else ours.
QPalette PaletteFor(ColourScheme wanted, const QPalette& desktopPalette);

} // namespace olvex
