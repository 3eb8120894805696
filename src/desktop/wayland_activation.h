#pragma once

#include "window_activation.h"

#include <QObject>
#include <QString>
#include <memory>

class QWindow;

namespace olvex {

// Brings windows to the front on a Wayland compositor through xdg-activation, on Qt's own
// connection to it. A compositor lets a window take the focus only with a token: one the
// tray host or the notification server gave for the operator's click, or one asked for
// while a window of ours has the keyboard. Without one, the window asks for attention (the
// compositor marks it urgent or tells the operator it is ready) and is not raised.
class WaylandActivation : public QObject, public WindowActivation {
    Q_OBJECT

public:
    // Null when the compositor offers no xdg-activation or Qt runs on another platform.
    static std::unique_ptr<WaylandActivation> Open(bool tiling);
    ~WaylandActivation() override;

    using WindowActivation::BringToFront;
    void BringToFront(QWidget& window, const QString& token) override;
    bool CanPlaceWindows() const override { return false; }
    bool TilesWindows() const override { return tiling; }

    struct Protocol;

private:
    WaylandActivation(std::unique_ptr<Protocol> protocol, bool tiling);
    // Once the compositor knows the window (it has been shown and painted).
    void WhenMapped(QWidget& window, bool mapped, std::function<void(QWindow&)> step);
    void Activate(QWindow& window, const QString& token);
    void AskForAttention(QWindow& window);

    std::unique_ptr<Protocol> protocol;
    bool tiling;
};

} // namespace olvex
