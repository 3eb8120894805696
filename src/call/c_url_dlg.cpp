#include "c_url_dlg.h"

#include "message_box.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace olvex {

CUrlDlg::CUrlDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Enter URL"));
    auto* prompt = new QLabel(
        QStringLiteral(
            "Please type in the URL of the image or page you want to send to the visitor:"),
        this);
    prompt->setTextFormat(Qt::PlainText);
    prompt->setWordWrap(true);
    edit_ = new QLineEdit(this);
    edit_->setObjectName(QStringLiteral("url"));
    edit_->setAccessibleName(QStringLiteral("URL"));
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &CUrlDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CUrlDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(prompt);
    layout->addWidget(edit_);
    layout->addWidget(buttons);
    edit_->setFocus();
}

void CUrlDlg::accept() {
    const QString text = edit_->text();
    if (text.isEmpty()) {
        QMessageBox box(
            QMessageBox::Warning, QStringLiteral("Olvex"),
            QStringLiteral(
                "You must type in the URL of the image or page you want to send to the visitor."),
            QMessageBox::Ok, this);
        ExecWindowModal(box);
        edit_->setFocus();
        return;
    }
    url_ = text;
    QDialog::accept();
}

std::optional<std::string> CUrlDlg::Ask(QWidget* parent, UrlAction action) {
    CUrlDlg dialog(parent);
    if (ExecWindowModal(dialog) != QDialog::Accepted)
        return std::nullopt;
    return CompleteUrl(dialog.Url().toStdString(), action);
}

} // namespace olvex
