#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QScrollArea;

namespace olvex {

class AgentSettings;
class DesktopServices;
class IdleSource;

// What Options says about the automatic away on this desktop.
QString AutoAwayNote(const IdleSource* idle);

// Server and behaviour settings. OK checks the port and the alert time-out, stores and
// saves the record and switches the start with the desktop session; Cancel changes nothing.
class OptionsDialog : public QDialog {
    Q_OBJECT

public:
    OptionsDialog(AgentSettings& settings, DesktopServices& desktop, QWidget* parent = nullptr);

    void accept() override;

private:
    void FitScreen(QWidget& groups, QScrollArea& scroll, QWidget& buttons);
    QWidget* BuildServerGroup();
    QWidget* BuildGeneralGroup();
    QWidget* BuildCallGroup();
    QWidget* BuildWelcomeGroup();

    AgentSettings& settings;
    DesktopServices& desktop;
    QLineEdit* serverAddress;
    QLineEdit* serverPort;
    QCheckBox* useTls;
    QLineEdit* caFile;
    QCheckBox* autoRun;
    QCheckBox* autoLogin;
    QCheckBox* reconnect;
    QCheckBox* showHints;
    QCheckBox* visitorHints;
    QLineEdit* notifyTimeout;
    QLineEdit* historyDays;
    QCheckBox* notifySound;
    QCheckBox* lineSound;
    QCheckBox* visitorSound;
    QLineEdit* autoAwayMinutes;
    QPlainTextEdit* welcomeMsg;
};

} // namespace olvex
