#include "login_dialog.h"

#include "agent_settings.h"
#include "hyperlink_label.h"
#include "message_box.h"
#include "product_info.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace olvex {

LoginDialog::LoginDialog(AgentSettings& record, QWidget* parent)
    : QDialog(parent), settings(record) {
    setWindowTitle(QStringLiteral("Olvex Login"));
    setWindowModality(Qt::WindowModal);

    username = new QLineEdit(this);
    username->setObjectName(QStringLiteral("username"));
    username->setMaxLength(AgentSettings::kMaxShortText);
    password = new QLineEdit(this);
    password->setObjectName(QStringLiteral("password"));
    password->setEchoMode(QLineEdit::Password);
    password->setMaxLength(AgentSettings::kMaxShortText);
    remember = new QCheckBox(QStringLiteral("Remember my username and password"), this);
    remember->setObjectName(QStringLiteral("remember"));

    auto* accountBox = new QGroupBox(this);
    auto* accountQuestion =
        new QLabel(QStringLiteral("Don't have an Olvex username and password?"), accountBox);
    newAccount =
        new HyperlinkLabel(QStringLiteral("Click here to create a new Olvex account!"), accountBox);
    newAccount->setObjectName(QStringLiteral("newAccount"));
    newAccount->SetUrl(QStringLiteral("http://") + QLatin1String(product::kVendorHost) +
                       QLatin1String(product::kRegistrationPath));
    auto* accountLayout = new QVBoxLayout(accountBox);
    accountLayout->addWidget(accountQuestion);
    accountLayout->addWidget(newAccount);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok = buttons->button(QDialogButtonBox::Ok);
    ok->setEnabled(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &LoginDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &LoginDialog::reject);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Username:"), username);
    form->addRow(QStringLiteral("Password:"), password);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        new QLabel(QStringLiteral("Please type in your Olvex username and password:"), this));
    layout->addLayout(form);
    layout->addWidget(remember);
    layout->addWidget(accountBox);
    layout->addWidget(buttons);
    newAccount->Attach();

    connect(username, &QLineEdit::textChanged, this, &LoginDialog::UpdateOk);
    connect(password, &QLineEdit::textChanged, this, &LoginDialog::UpdateOk);
    username->setText(QString::fromStdString(settings.username));
    if (AgentSettings::IsOn(settings.saveLogin)) {
        password->setText(QString::fromStdString(settings.password));
        remember->setChecked(true);
    }
    UpdateOk();
    if (!username->text().isEmpty())
        password->setFocus();
}

void LoginDialog::UpdateOk() {
    ok->setEnabled(!username->text().isEmpty() && !password->text().isEmpty());
}

void LoginDialog::accept() {
    if (username->text().isEmpty() || password->text().isEmpty()) {
        ShowMessageBox(this, QStringLiteral("You must type in your username and password to "
                                            "login to the Olvex server."));
        return;
    }
    settings.username = username->text().toStdString();
    // The typed password serves this run's logins even when it is not remembered.
    settings.password = password->text().toStdString();
    settings.saveLogin = remember->isChecked() ? 1 : 0;
    settings.Save(); // a store that cannot be written does not stop the login
    QDialog::accept();
}

} // namespace olvex
