#pragma once

#include <QObject>
#include <QPointer>

class QSoundEffect;

namespace olvex {

// The one alert sound of the program. A new alert restarts it and closing
// any alert stops it, even while other alerts are still open. Where there is
// no audio output (a server, an offscreen session) it does nothing at all.
class AlertSound {
public:
    static AlertSound& Shared();

    // Plays the chime in a loop from its start.
    void Play();
    void Stop();
    // Whether the program has asked for the chime, with or without a device.
    bool IsPlaying() const { return playing; }

private:
    AlertSound() = default;
    QSoundEffect* Effect();

    bool playing = false;
    bool looked = false;
    // Owned by the application object, so it goes before the audio system does.
    QPointer<QSoundEffect> effect;
};

} // namespace olvex
