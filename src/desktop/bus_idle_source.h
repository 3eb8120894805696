#pragma once

#include "idle_source.h"

#include <QObject>
#include <QString>
#include <memory>

namespace olvex {

// The idle time and lock state the session's buses offer, with the idle time of the
// display server or compositor where there is one (the X server, a Wayland compositor,
// GNOME's idle monitor). Without it the idle time comes from the session bus's screen saver
// service, where it answers, or from logind's idle hint. The lock comes from the screen
// saver service or logind's lock hint, where present. Bus answers arrive asynchronously: a
// sample gives the latest known, so the window never waits for another process.
class BusIdleSource : public QObject, public IdleSource {
    Q_OBJECT

public:
    // Looks at what the buses have; `serverIdle` (may be null) gives the idle time when
    // present. Null when there is nothing at all.
    static std::unique_ptr<BusIdleSource> Probe(std::unique_ptr<IdleSource> serverIdle);
    ~BusIdleSource() override;

    std::optional<IdleSample> Sample() override;
    QString Description() const override;
    QString IdleFrom() const override;
    QString LockFrom() const override;
    // The screen saver service reported a lock or unlock, or the idle time's source a return.
    void SetLockHandler(std::function<void()> handler) override;

private slots:
    void OnScreenSaverActive(bool active);

private:
    BusIdleSource() = default;
    void Refresh();

    std::unique_ptr<IdleSource> serverIdle; // the display server's idle time, or null
    std::function<void()> lockHandler;
    bool screenSaver = false;     // org.freedesktop.ScreenSaver answers GetActive
    bool screenSaverIdle = false; // ... and GetSessionIdleTime (KWin says NotSupported)
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
