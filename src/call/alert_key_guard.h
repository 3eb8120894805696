#pragma once

#include "steady_ms.h"

#include <QObject>
#include <cstdint>
#include <functional>
#include <set>

class QWidget;

namespace olvex {

// Keeps the keyboard from answering a popup that the platform focused on its own while the
// operator was typing elsewhere. Nothing typed counts for the first second, nor any key that
// was already down then (held, or repeating), until it has been let go. The second starts
// again when the popup gets the keyboard soon after it was shown: a window system may map
// and focus it well after that. Later the operator turns to it on purpose, and a key after
// that counts. Mouse clicks are not guarded.
class AlertKeyGuard : public QObject {
public:
    static constexpr int64_t kGuardMs = 1000;
    // Focus that comes this soon after showing is the window system's, not the operator's.
    static constexpr int64_t kLateFocusMs = 2000;
    // Milliseconds on any steady scale.
    using Clock = std::function<int64_t()>;

    // Guards the widget and the children it has now; the guard time starts at once.
    explicit AlertKeyGuard(QWidget& guarded, Clock clock = SteadyMs);

    // The guard time starts again from now (a new clock, say).
    void Restart(Clock newClock);
    // Whether a key press with these properties would reach the widget; a refused key stays
    // refused until it is released. The event filter asks this for every key press.
    bool LetThrough(int key, bool autoRepeat);
    bool LetReleaseThrough(int key);
    // A repeat, a key refused before and not yet released, or any key in the first second.
    bool Refuses(int key, bool autoRepeat) const;
    bool Elapsed() const { return clock() - shownAt >= kGuardMs; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& guarded;
    Clock clock;
    int64_t createdAt = 0;
    int64_t shownAt = 0;
    std::set<int> refused; // keys down that count for nothing until released
};

} // namespace olvex
