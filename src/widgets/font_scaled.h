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
// the window manager's frame.
void ResizeForFont(QWidget& window, QSize designed);

// Widens the list's columns that are narrower than `widths` grown with its font; wider ones
// (a width the operator chose) stay. Again whenever the list's font changes.
void KeepColumnsWideForFont(QTreeView& list, std::initializer_list<int> widths);

} // namespace olvex
