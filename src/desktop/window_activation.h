#pragma once

#include <QString>

class QWidget;

namespace olvex {

// Bringing a window of ours to the front, and what the window system lets us do with it.
class WindowActivation {
public:
    virtual ~WindowActivation() = default;
    // Raises the shown window and gives it the keyboard, as far as the desktop allows.
    // `token` is the activation token the desktop gave with the operator's click (a tray
    // host, a notification server), where it gives one; without it the window may only
    // ask for attention.
    virtual void BringToFront(QWidget& window, const QString& token) = 0;
    void BringToFront(QWidget& window) { BringToFront(window, QString()); }
    // False where the window system places windows itself (Wayland): stored positions then
    // mean nothing there.
    virtual bool CanPlaceWindows() const = 0;
    // The window manager tiles windows (sway, natively or under XWayland): a window's size
    // and maximised state are the tiling's, not the operator's.
    virtual bool TilesWindows() const { return false; }
};

} // namespace olvex
