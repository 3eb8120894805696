#include "auto_away_controller.h"

#include "console_engine.h"
#include "log_categories.h"
#include "operator_console.h"
#include "steady_ms.h"

#include <QTimer>
#include <QtGlobal>

namespace olvex {

AutoAwayController::AutoAwayController(OperatorConsole& c, ConsoleEngine& bridge,
                                       IdleSource* idleSource, AutoAway::Clock clock)
    : QObject(&bridge), console(c), source(idleSource),
      machine(source, clock ? std::move(clock) : AutoAway::Clock(SteadyMs),
              [&bridge](int32_t status) {
                  // Said in the log so that a desktop's idle source can be checked by hand.
                  if (status == AutoAway::kAway)
                      qCInfo(lcConsole) << "automatic away: away (idle or screen locked)";
                  else
                      qCInfo(lcConsole) << "automatic away: back, status" << status;
                  bridge.SetStatus(status);
              }) {
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
    // A lock counts at once, not at the next poll.
    if (source)
        source->SetLockHandler([this] { Tick(); });
}

AutoAwayController::~AutoAwayController() {
    if (source)
        source->SetLockHandler({});
}

void AutoAwayController::Tick() {
    const int32_t minutes = console.Settings().autoAwayMinutes;
    machine.SetThresholdMs(minutes <= 0     ? 0
                           : overrideMs > 0 ? overrideMs
                                            : int64_t(minutes) * 60000);
    machine.Tick();
}

} // namespace olvex
