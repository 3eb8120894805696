#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <array>

class QSoundEffect;

namespace olvex {

// Short tones for events, one each, played once and never looped. Where there is no audio
// output (a server, an offscreen session) they stay silent. A burst of events (a hundred
// visitors arriving at once) gives one tone, not a hundred.
class EventSound {
public:
    enum class Kind { Line, Visitor };
    static constexpr int kMinGapMs = 400;

    static EventSound& Shared();

    void Play(Kind kind);
    // How often the program asked for the tone, with or without a device (tests).
    int Requests(Kind kind) const { return state[Index(kind)].requests; }

private:
    struct State {
        QPointer<QSoundEffect> effect;
        bool looked = false;
        int requests = 0;
        QElapsedTimer lastPlayed;
    };
    static size_t Index(Kind kind) { return kind == Kind::Line ? 0 : 1; }
    QSoundEffect* Effect(Kind kind);

    std::array<State, 2> state;
};

} // namespace olvex
