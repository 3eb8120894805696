#pragma once

#include "composing.h"

#include <QDialog>
#include <optional>
#include <string>

class QLineEdit;

namespace olvex {

// "Enter URL": asks for the address of a link, an image or a page to push.
// A new dialog is made for every use, so the edit always starts empty.
class CUrlDlg : public QDialog {
    Q_OBJECT
public:
    explicit CUrlDlg(QWidget* parent = nullptr);

    // The address as typed (blanks kept), set when the dialog ends with OK.
    QString Url() const { return url_; }

    // Runs a dialog and returns the address completed for the action, in
    // bytes, or nothing when the operator cancelled.
    static std::optional<std::string> Ask(QWidget* parent, UrlAction action);

public slots:
    void accept() override;

private:
    QLineEdit* edit_;
    QString url_;
};

} // namespace olvex
