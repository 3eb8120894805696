#include "alert_sound_wave.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace olvex {

namespace {

void PutLe(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xff);
}

// One struck bell-like note: a quick attack, then an exponential decay. A
// quieter octave partial gives it some shine.
double Note(double t, double start, double frequency, double decay) {
    const double s = t - start;
    if (s < 0)
        return 0;
    const double attack = std::min(1.0, s / 0.004);
    const double envelope = attack * std::exp(-s * decay);
    const double phase = 2 * std::numbers::pi * frequency * s;
    return envelope * (std::sin(phase) + 0.3 * std::sin(2 * phase) + 0.08 * std::sin(3 * phase));
}

std::string WaveHeader(uint32_t sampleCount) {
    const uint32_t kDataBytes = sampleCount * 2;
    std::string wave;
    wave.reserve(44 + kDataBytes);
    wave += "RIFF";
    PutLe(wave, 36 + kDataBytes, 4);
    wave += "WAVEfmt ";
    PutLe(wave, 16, 4);                   // format chunk size
    PutLe(wave, 1, 2);                    // PCM
    PutLe(wave, 1, 2);                    // mono
    PutLe(wave, kAlertSampleRate, 4);     // samples per second
    PutLe(wave, kAlertSampleRate * 2, 4); // bytes per second
    PutLe(wave, 2, 2);                    // block alignment
    PutLe(wave, 16, 2);                   // bits per sample
    wave += "data";
    PutLe(wave, kDataBytes, 4);
    return wave;
}

void PutSample(std::string& wave, double v) {
    const auto sample = static_cast<int16_t>(std::lround(std::clamp(v, -1.0, 1.0) * 32767));
    PutLe(wave, static_cast<uint16_t>(sample), 2);
}

// Notes that fade out completely within `seconds`.
template <class Voice> std::string MakeTone(double seconds, double gain, Voice voice) {
    const auto count = static_cast<uint32_t>(seconds * kAlertSampleRate);
    std::string wave = WaveHeader(count);
    for (uint32_t i = 0; i < count; ++i) {
        const double t = double(i) / kAlertSampleRate;
        const double fade = std::clamp((seconds - t) / 0.03, 0.0, 1.0);
        PutSample(wave, voice(t) * fade * gain);
    }
    return wave;
}

} // namespace

std::string MakeLineWave() {
    return MakeTone(0.12, 0.3, [](double t) { return Note(t, 0.0, 880.0, 28.0); });
}

std::string MakeVisitorWave() {
    return MakeTone(
        0.3, 0.3, [](double t) { return Note(t, 0.0, 659.3, 14.0) + Note(t, 0.11, 987.8, 12.0); });
}

std::string MakeAlertWave() {
    std::string wave = WaveHeader(kAlertSampleCount);
    const double length = double(kAlertSampleCount) / kAlertSampleRate;
    for (size_t i = 0; i < kAlertSampleCount; ++i) {
        const double t = double(i) / kAlertSampleRate;
        double v = Note(t, 0.0, 1318.5, 7.0) + Note(t, 0.22, 1046.5, 5.5);
        // The last 60 ms fade out completely, so the loop restarts from silence.
        v *= std::clamp((length - t) / 0.06, 0.0, 1.0);
        const auto sample =
            static_cast<int16_t>(std::lround(std::clamp(v * 0.42, -1.0, 1.0) * 32767));
        PutLe(wave, static_cast<uint16_t>(sample), 2);
    }
    return wave;
}

} // namespace olvex
