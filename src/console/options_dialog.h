#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;

namespace olvex {

class AgentSettings;

// Server and behaviour settings. OK checks the port and the alert time-out, stores and
// saves the record and updates the autostart entry; Cancel changes nothing.
class OptionsDialog : public QDialog {
    Q_OBJECT

public:
    explicit OptionsDialog(AgentSettings& settings, QWidget* parent = nullptr);

    void accept() override;

private:
    AgentSettings& settings;
    QLineEdit* serverAddress;
    QLineEdit* serverPort;
    QCheckBox* useTls;
    QLineEdit* caFile;
    QCheckBox* autoRun;
    QCheckBox* autoLogin;
    QCheckBox* reconnect;
    QCheckBox* showHints;
    QLineEdit* notifyTimeout;
    QLineEdit* historyDays;
    QCheckBox* notifySound;
    QCheckBox* lineSound;
    QCheckBox* visitorSound;
    QLineEdit* autoAwayMinutes;
    QPlainTextEdit* welcomeMsg;
};

} // namespace olvex
