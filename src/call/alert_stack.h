#pragma once

#include <QPoint>
#include <QRect>
#include <vector>

namespace olvex {

// Where the popups of several waiting requests go: the first at its remembered place, the
// others beside it in a column that grows away from the nearer screen edge, never one on
// another while the screen has room. The column keeps the order of arrival, so the request
// that has waited longest is nearest the first place.
namespace alert_stack {

inline constexpr int kGap = 6;
// Drawn over one another only once the screen is full, each a little further on.
inline constexpr int kOverflowStep = 24;

// The slot of a new popup: after every slot in use, while that fits on the screen; then the
// lowest free one.
int NextSlot(const std::vector<int>& used, int capacity);
// How many popups of `size` fit on `screen` from `first` before they must overlap.
int Capacity(const QRect& first, const QRect& screen);
// The top left corner of slot `slot`.
QPoint SlotPosition(const QRect& first, const QRect& screen, int slot);

} // namespace alert_stack
} // namespace olvex
