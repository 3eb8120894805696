#pragma once

#include "auto_away.h"

#include <QObject>
#include <QString>
#include <memory>

namespace olvex {

// The idle time and lock state this desktop offers. On X11 the idle time comes from the X
// server; elsewhere (Wayland) from the session bus's screen saver service or from logind's
// idle hint. The lock comes from the screen saver service or logind's lock hint, where
// present. Bus answers arrive asynchronously: a sample gives the latest known, so the window
// never waits for another process.
class DesktopIdleSource : public QObject, public IdleSource {
    Q_OBJECT

public:
    // Looks at what the desktop has; null when there is nothing at all.
    static std::unique_ptr<DesktopIdleSource> Probe(bool useX11);
    ~DesktopIdleSource() override;

    std::optional<IdleSample> Sample() override;
    // Which services are used, for people reading the Options dialog.
    QString Description() const;

signals:
    // The screen saver service reported a lock or unlock.
    void LockChanged();

private slots:
    void OnScreenSaverActive(bool active);

private:
    DesktopIdleSource() = default;
    void Refresh();

    std::unique_ptr<IdleSource> x11;
    bool screenSaver = false;     // org.freedesktop.ScreenSaver answers GetActive
    bool screenSaverIdle = false; // ... and GetSessionIdleTime
    QString logindSession;        // the session's object path, or empty
    bool pendingScreenSaver = false;
    bool pendingLogind = false;

    // The latest answers from the buses.
    bool screenSaverLocked = false;
    int64_t screenSaverIdleMs = -1;
    bool logindLocked = false;
    bool logindIdle = false;
    uint64_t logindIdleSinceUs = 0; // CLOCK_MONOTONIC
    bool logindKnown = false;
};

} // namespace olvex
