#pragma once

#include "auto_away.h"

#include <QObject>
#include <QString>
#include <memory>

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

    // `source` may be null: the feature then stays off. `clock` is for tests.
    AutoAwayController(OperatorConsole& console, ConsoleEngine& bridge,
                       std::unique_ptr<IdleSource> source, AutoAway::Clock clock = {});
    ~AutoAwayController() override;

    AutoAway& Machine() { return machine; }
    void Tick();

    // What the Options dialog says: the idle sources found at start, or empty when none.
    static QString SourceDescription();
    static void SetSourceDescription(const QString& description);

private:
    OperatorConsole& console;
    std::unique_ptr<IdleSource> source;
    AutoAway machine;
    QTimer* timer = nullptr;
    // Test runs shorten the minutes to seconds.
    int64_t overrideMs = 0;
};

} // namespace olvex
