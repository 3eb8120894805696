#include "ui_event_pump.h"

#include <QTimer>

namespace olvex {

UiEventPump::UiEventPump(int gapMs, std::function<void()> flushStep, QObject* parent)
    : QObject(parent), minGapMs(gapMs), flush(std::move(flushStep)) {
    timer = new QTimer(this);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, &UiEventPump::Run);
}

void UiEventPump::Wake() {
    if (!stopped)
        QMetaObject::invokeMethod(this, &UiEventPump::Schedule, Qt::QueuedConnection);
}

void UiEventPump::Stop() {
    stopped = true;
    timer->stop();
}

void UiEventPump::Schedule() {
    const qint64 wait = lastRun.isValid() ? minGapMs - lastRun.elapsed() : 0;
    if (wait <= 0)
        Run();
    else if (!timer->isActive())
        timer->start(static_cast<int>(wait));
}

void UiEventPump::Run() {
    if (stopped)
        return;
    lastRun.start();
    flush();
}

} // namespace olvex
