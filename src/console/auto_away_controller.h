#pragma once

#include "auto_away.h"

#include <QObject>

class QTimer;

namespace olvex {

class ConsoleEngine;
class OperatorConsole;

// Runs the automatic away for the console: samples the idle source once a second while the
// operator is logged in, and changes the status through the same command as the status menu.
class AutoAwayController : public QObject {
    Q_OBJECT

public:
    static constexpr int kPollMs = 1000;

    // `source` may be null: the feature then stays off. It must outlive the controller.
    // `clock` is for tests.
    AutoAwayController(OperatorConsole& console, ConsoleEngine& bridge, IdleSource* source,
                       AutoAway::Clock clock = {});
    ~AutoAwayController() override;

    AutoAway& Machine() { return machine; }
    void Tick();

private:
    OperatorConsole& console;
    IdleSource* source;
    AutoAway machine;
    QTimer* timer = nullptr;
    // Test runs shorten the minutes to seconds.
    int64_t overrideMs = 0;
};

} // namespace olvex
