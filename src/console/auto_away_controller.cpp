#include "auto_away_controller.h"

#include "console_engine.h"
#include "desktop_idle_source.h"
#include "operator_console.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QtGlobal>

namespace olvex {

namespace {

QString& Description() {
    static QString description;
    return description;
}

int64_t MonotonicMs() {
    static QElapsedTimer started = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return started.elapsed();
}

} // namespace

QString AutoAwayController::SourceDescription() {
    return Description();
}

void AutoAwayController::SetSourceDescription(const QString& description) {
    Description() = description;
}

AutoAwayController::AutoAwayController(OperatorConsole& c, ConsoleEngine& bridge,
                                       std::unique_ptr<IdleSource> idleSource,
                                       AutoAway::Clock clock)
    : QObject(&bridge), console(c), source(std::move(idleSource)),
      machine(source.get(), clock ? std::move(clock) : AutoAway::Clock(MonotonicMs),
              [&bridge](int32_t status) { bridge.SetStatus(status); }) {
    const int seconds = qEnvironmentVariableIntValue("OLVEX_AUTO_AWAY_SECONDS");
    if (seconds > 0)
        overrideMs = int64_t(seconds) * 1000;

    timer = new QTimer(this);
    timer->setInterval(kPollMs);
    connect(timer, &QTimer::timeout, this, &AutoAwayController::Tick);
    connect(&console, &OperatorConsole::StatusRequested, this,
            [this](int32_t status) { machine.StatusChosen(status); });
    connect(&bridge, &ConsoleEngine::StatusShown, this, [this](int32_t status) {
        machine.StatusConfirmed(status);
        if (status > 0 && this->source)
            timer->start();
        else
            timer->stop();
    });
    if (auto* desktop = dynamic_cast<DesktopIdleSource*>(source.get()))
        connect(desktop, &DesktopIdleSource::LockChanged, this, &AutoAwayController::Tick);
}

AutoAwayController::~AutoAwayController() = default;

void AutoAwayController::Tick() {
    const int32_t minutes = console.Settings().autoAwayMinutes;
    machine.SetThresholdMs(minutes <= 0     ? 0
                           : overrideMs > 0 ? overrideMs
                                            : int64_t(minutes) * 60000);
    machine.Tick();
}

} // namespace olvex
