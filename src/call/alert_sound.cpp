#include "alert_sound.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

namespace olvex {

AlertSound& AlertSound::Shared() {
    static AlertSound sound;
    return sound;
}

QSoundEffect* AlertSound::Effect() {
    if (!looked) {
        looked = true;
        // Without an output device QSoundEffect only complains; stay silent
        // instead. An offscreen session has nobody to hear it, so the audio
        // system is not even asked.
        const bool offscreen = QGuiApplication::platformName() == QLatin1String("offscreen");
        if (QCoreApplication::instance() && !offscreen &&
            !QMediaDevices::audioOutputs().isEmpty()) {
            effect = new QSoundEffect(QCoreApplication::instance());
            effect->setSource(QUrl(QStringLiteral("qrc:/call/alert.wav")));
            effect->setLoopCount(QSoundEffect::Infinite);
        }
    }
    return effect.data();
}

void AlertSound::Play() {
    playing = true;
    if (QSoundEffect* sound = Effect()) {
        sound->stop();
        sound->play();
    }
}

void AlertSound::Stop() {
    playing = false;
    if (effect)
        effect->stop();
}

} // namespace olvex
