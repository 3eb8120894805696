#include "readable_colours.h"

#include <algorithm>
#include <cmath>

namespace olvex {

namespace {

double Linear(double channel) {
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

QColor WithLightness(const QColor& colour, double lightness) {
    const double hue = std::max(0.0, static_cast<double>(colour.hslHueF()));
    QColor result = QColor::fromHslF(static_cast<float>(hue), colour.hslSaturationF(),
                                     static_cast<float>(std::clamp(lightness, 0.0, 1.0)));
    result.setAlpha(colour.alpha());
    return result;
}

struct Candidate {
    QColor colour;
    double contrast = 0;
    double moved = 2; // lightness travelled; more than the whole range when out of reach
};

// The lightness nearest `from` toward `to` that reaches the contrast. Luminance grows with
// lightness at a fixed hue and saturation, so the contrast is monotonic along the way.
Candidate Toward(const QColor& colour, const QColor& background, double from, double to,
                 double minContrast) {
    const QColor end = WithLightness(colour, to);
    const double endContrast = ContrastRatio(end, background);
    if (endContrast < minContrast)
        return {end, endContrast, 2};
    double near = from, far = to;
    for (int i = 0; i < 24; ++i) {
        const double mid = (near + far) / 2;
        if (ContrastRatio(WithLightness(colour, mid), background) >= minContrast)
            far = mid;
        else
            near = mid;
    }
    const QColor found = WithLightness(colour, far);
    return {found, ContrastRatio(found, background), std::abs(far - from)};
}

QPalette MakePalette(const QColor& window, const QColor& text, const QColor& base,
                     const QColor& alternate, const QColor& button, const QColor& light,
                     const QColor& midlight, const QColor& mid, const QColor& dark,
                     const QColor& shadow, const QColor& highlight, const QColor& link,
                     const QColor& visited, const QColor& disabledText) {
    QPalette p(button, window);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        p.setColor(group, QPalette::Window, window);
        p.setColor(group, QPalette::Base, group == QPalette::Disabled ? window : base);
        p.setColor(group, QPalette::AlternateBase, alternate);
        p.setColor(group, QPalette::Button, button);
        p.setColor(group, QPalette::Light, light);
        p.setColor(group, QPalette::Midlight, midlight);
        p.setColor(group, QPalette::Mid, mid);
        p.setColor(group, QPalette::Dark, dark);
        p.setColor(group, QPalette::Shadow, shadow);
        p.setColor(group, QPalette::Highlight, highlight);
        p.setColor(group, QPalette::HighlightedText, Qt::white);
        p.setColor(group, QPalette::Link, link);
        p.setColor(group, QPalette::LinkVisited, visited);
        p.setColor(group, QPalette::ToolTipBase, base);
        p.setColor(group, QPalette::ToolTipText, text);
        p.setColor(group, QPalette::BrightText, Qt::white);
        const QColor shown = group == QPalette::Disabled ? disabledText : text;
        p.setColor(group, QPalette::WindowText, shown);
        p.setColor(group, QPalette::Text, shown);
        p.setColor(group, QPalette::ButtonText, shown);
        p.setColor(group, QPalette::PlaceholderText, disabledText);
    }
    return p;
}

// Every text role of the enabled groups made readable on the background it is drawn on; the
// desktop's own palettes are not always (white on a light blue selection, say).
QPalette Mended(QPalette palette) {
    struct Pair {
        QPalette::ColorRole text, background;
    };
    constexpr Pair kPairs[] = {
        {QPalette::WindowText, QPalette::Window},   {QPalette::Text, QPalette::Base},
        {QPalette::ButtonText, QPalette::Button},   {QPalette::HighlightedText, QPalette::Highlight},
        {QPalette::ToolTipText, QPalette::ToolTipBase}, {QPalette::Link, QPalette::Base},
        {QPalette::LinkVisited, QPalette::Base},
        // Links in labels (the call window's page) lie on the window, not on the base.
        {QPalette::Link, QPalette::Window}, {QPalette::LinkVisited, QPalette::Window},
    };
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        for (const Pair& pair : kPairs) {
            palette.setColor(group, pair.text,
                             ReadableOn(palette.color(group, pair.text),
                                        palette.color(group, pair.background)));
        }
    }
    return palette;
}

} // namespace

double RelativeLuminance(const QColor& colour) {
    const QColor rgb = colour.toRgb();
    return 0.2126 * Linear(rgb.redF()) + 0.7152 * Linear(rgb.greenF()) +
           0.0722 * Linear(rgb.blueF());
}

double ContrastRatio(const QColor& a, const QColor& b) {
    const double la = RelativeLuminance(a), lb = RelativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor ReadableOn(const QColor& colour, const QColor& background, double minContrast) {
    if (!colour.isValid() || !background.isValid() ||
        ContrastRatio(colour, background) >= minContrast)
        return colour;
    const double lightness = colour.toHsl().lightnessF();
    const Candidate up = Toward(colour, background, lightness, 1.0, minContrast);
    const Candidate down = Toward(colour, background, lightness, 0.0, minContrast);
    const bool upReaches = up.contrast >= minContrast, downReaches = down.contrast >= minContrast;
    if (upReaches && downReaches)
        return up.moved <= down.moved ? up.colour : down.colour;
    if (upReaches || downReaches)
        return upReaches ? up.colour : down.colour;
    return up.contrast >= down.contrast ? up.colour : down.colour;
}

QColor SearchHitBackground(const QPalette& palette) {
    return IsDarkPalette(palette) ? QColor(120, 88, 0) : QColor(255, 230, 120);
}

BadgeColours TrayBadgeColours() {
    return {QColor(204, 32, 32), QColor(255, 255, 255), QColor(255, 255, 255)};
}

bool IsDarkPalette(const QPalette& palette) {
    return RelativeLuminance(palette.color(QPalette::Active, QPalette::Window)) <
           RelativeLuminance(palette.color(QPalette::Active, QPalette::WindowText));
}

QPalette LightPalette() {
    return MakePalette(QColor(239, 239, 239), QColor(0, 0, 0), QColor(255, 255, 255),
                       QColor(246, 246, 246), QColor(239, 239, 239), QColor(255, 255, 255),
                       QColor(227, 227, 227), QColor(200, 200, 200), QColor(160, 160, 160),
                       QColor(105, 105, 105), QColor(38, 110, 170), QColor(0, 0, 238),
                       QColor(85, 26, 139), QColor(120, 120, 120));
}

QPalette DarkPalette() {
    return MakePalette(QColor(43, 43, 46), QColor(230, 230, 230), QColor(30, 30, 32),
                       QColor(40, 40, 43), QColor(58, 58, 62), QColor(90, 90, 96),
                       QColor(74, 74, 80), QColor(50, 50, 54), QColor(24, 24, 26),
                       QColor(0, 0, 0), QColor(42, 98, 168), QColor(120, 170, 255),
                       QColor(190, 150, 255), QColor(140, 140, 140));
}

QPalette PaletteFor(ColourScheme wanted, const QPalette& desktopPalette) {
    const bool dark = IsDarkPalette(desktopPalette);
    if (wanted == ColourScheme::Dark && !dark)
        return DarkPalette();
    if (wanted == ColourScheme::Light && dark)
        return LightPalette();
    return Mended(desktopPalette);
}

} // namespace olvex
