#include "event_sound.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

namespace olvex {

EventSound& EventSound::Shared() {
    static EventSound sounds;
    return sounds;
}

QSoundEffect* EventSound::Effect(Kind kind) {
    State& s = state[Index(kind)];
    if (!s.looked) {
        s.looked = true;
        const bool offscreen = QGuiApplication::platformName() == QLatin1String("offscreen");
        if (QCoreApplication::instance() && !offscreen &&
            !QMediaDevices::audioOutputs().isEmpty()) {
            s.effect = new QSoundEffect(QCoreApplication::instance());
            s.effect->setSource(QUrl(kind == Kind::Line ? QStringLiteral("qrc:/call/line.wav")
                                                        : QStringLiteral("qrc:/call/visitor.wav")));
        }
    }
    return s.effect.data();
}

void EventSound::Play(Kind kind) {
    State& s = state[Index(kind)];
    ++s.requests;
    if (s.lastPlayed.isValid() && s.lastPlayed.elapsed() < kMinGapMs)
        return;
    s.lastPlayed.start();
    if (QSoundEffect* effect = Effect(kind))
        effect->play();
}

} // namespace olvex
