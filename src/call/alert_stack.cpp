#include "alert_stack.h"

#include <algorithm>

namespace olvex::alert_stack {

namespace {

struct Grid {
    int rows = 1;
    int columns = 1;
    int down = 1;  // +1: the column grows downwards
    int right = 1; // +1: further columns go to the right
};

Grid GridOf(const QRect& first, const QRect& screen) {
    Grid grid;
    const int stepY = first.height() + kGap;
    const int stepX = first.width() + kGap;
    if (stepY <= 0 || stepX <= 0 || !screen.isValid())
        return grid;
    grid.down = first.center().y() <= screen.center().y() ? 1 : -1;
    grid.right = first.center().x() <= screen.center().x() ? 1 : -1;
    const int roomY =
        grid.down > 0 ? screen.bottom() + 1 - first.top() : first.bottom() + 1 - screen.top();
    const int roomX =
        grid.right > 0 ? screen.right() + 1 - first.left() : first.right() + 1 - screen.left();
    grid.rows = std::max(1, (roomY + kGap) / stepY);
    grid.columns = std::max(1, (roomX + kGap) / stepX);
    return grid;
}

} // namespace

int NextSlot(const std::vector<int>& used, int capacity) {
    const int after = used.empty() ? 0 : *std::max_element(used.begin(), used.end()) + 1;
    if (after < capacity)
        return after;
    for (int slot = 0; slot < capacity; ++slot) {
        if (std::find(used.begin(), used.end(), slot) == used.end())
            return slot;
    }
    return after;
}

int Capacity(const QRect& first, const QRect& screen) {
    const Grid grid = GridOf(first, screen);
    return grid.rows * grid.columns;
}

QPoint SlotPosition(const QRect& first, const QRect& screen, int slot) {
    const Grid grid = GridOf(first, screen);
    const int capacity = grid.rows * grid.columns;
    const int round = slot / capacity;
    const int place = slot % capacity;
    const int row = place % grid.rows;
    const int column = place / grid.rows;
    return {first.left() + grid.right * column * (first.width() + kGap) + round * kOverflowStep,
            first.top() + grid.down * row * (first.height() + kGap) + round * kOverflowStep};
}

} // namespace olvex::alert_stack
