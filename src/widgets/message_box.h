#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

class QWidget;

namespace olvex {

// Every message box of the program goes through ShowMessageBox, so that tests can read
// and answer them instead of blocking on a modal box.
using MessageBoxHook = std::function<QMessageBox::StandardButton(
    QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
    QMessageBox::StandardButtons buttons)>;

// An empty hook restores the real message boxes.
void SetMessageBoxHook(MessageBoxHook hook);

// Shows the text as plain text (it may come from the network) and returns the button pressed.
QMessageBox::StandardButton ShowMessageBox(QWidget* parent, const QString& text,
                                           QMessageBox::Icon icon = QMessageBox::NoIcon,
                                           QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                           const QString& title = QStringLiteral("Olvex"));

} // namespace olvex
