#pragma once

class QWidget;

namespace olvex {

// Bringing a window of ours to the front, and what the window system lets us do with it.
class WindowActivation {
public:
    virtual ~WindowActivation() = default;
    // Raises the shown window and gives it the keyboard, as far as the desktop allows.
    virtual void BringToFront(QWidget& window) = 0;
    // False where the window system places windows itself (Wayland): stored positions then
    // mean nothing there.
    virtual bool CanPlaceWindows() const = 0;
};

} // namespace olvex
