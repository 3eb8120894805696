#pragma once

#include <QSize>
#include <initializer_list>

class QTreeView;
class QWidget;

namespace olvex {

// How much larger than the usual one the widget's font is (1 for the usual font or a smaller
// one). The widget is polished first, so a font given by a style sheet counts.
double FontScale(QWidget& widget);

// A pixel measure laid out for the usual font, grown with the widget's font.
int FontScaled(QWidget& widget, int pixels);

// The first size of a window laid out at `designed` for the usual font: grown with its font
// and to what its layout needs, and kept within the free area of its screen with room for
// the window manager's frame. Once shown, a window whose frame the window manager put partly
// off the screen is moved back onto it (where windows have positions).
void ResizeForFont(QWidget& window, QSize designed);

// Moves a shown window whose frame sticks out of its screen's free area back into it, as far
// as it fits; nothing on platforms without window positions, nor for a maximised window.
void KeepFrameOnScreen(QWidget& window);

// Widens the list's columns that are narrower than `widths` grown with its font; wider ones
// (a width the operator chose) stay. Again whenever the list's font changes.
void KeepColumnsWideForFont(QTreeView& list, std::initializer_list<int> widths);

} // namespace olvex
