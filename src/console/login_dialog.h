#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace olvex {

class AgentSettings;
class HyperlinkLabel;

// Asks for the credentials before a manual login. OK stores them and saves the record;
// the caller then starts the login.
class LoginDialog : public QDialog {
    Q_OBJECT

public:
    explicit LoginDialog(AgentSettings& settings, QWidget* parent = nullptr);

    void accept() override;

private:
    void UpdateOk();

    AgentSettings& settings;
    QLineEdit* username;
    QLineEdit* password;
    QCheckBox* remember;
    HyperlinkLabel* newAccount;
    QPushButton* ok;
};

} // namespace olvex
