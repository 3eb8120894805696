#pragma once

#include <QElapsedTimer>
#include <QCoreApplication>
#include <QObject>
#include <QPointer>
#include <atomic>
#include <functional>

class QTimer;

namespace olvex {

// Carries a session's events to the UI thread: the one way engine threads reach a window.
// A session's event queue calls Wake from any thread once per batch; the pump then runs
// `flush` on its own (the UI) thread, where the window takes the batch and applies it. With a
// gap, flushes come at most that often, so a burst of events is applied in a few batches
// rather than one repaint per event.
class UiEventPump : public QObject {
public:
    UiEventPump(int minGapMs, std::function<void()> flush, QObject* parent);

    // Any thread; never waits.
    void Wake();
    // UI thread: no flush runs after this, even one already posted.
    void Stop();

private:
    void Schedule();
    void Run();

    const int minGapMs;
    std::function<void()> flush;
    QTimer* timer = nullptr;
    QElapsedTimer lastRun;
    std::atomic<bool> stopped{false};
};

// A single result from another thread (an archive write, say), applied on the UI thread unless
// its receiver has gone by then. Take the QPointer on the UI thread, when the work is started.
template <class Receiver, class Step> void PostToUiThread(QPointer<Receiver> receiver, Step step) {
    QMetaObject::invokeMethod(
        qApp,
        [receiver, step = std::move(step)]() mutable {
            if (receiver)
                step(*receiver);
        },
        Qt::QueuedConnection);
}

} // namespace olvex
