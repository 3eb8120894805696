#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

class QDialog;
class QWidget;

namespace olvex {

// Every message box of the program goes through ShowMessageBox, so that tests can read
// and answer them instead of blocking on a modal box.
using MessageBoxHook = std::function<QMessageBox::StandardButton(
    QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
    QMessageBox::StandardButtons buttons)>;

// An empty hook restores the real message boxes.
void SetMessageBoxHook(MessageBoxHook hook);

// Runs the dialog modal to its own parent window only, never to the whole program: call
// windows and alerts stay usable whatever dialog is open. Returns the dialog's result.
int ExecWindowModal(QDialog& dialog);

// Shows the text as plain text (it may come from the network) and returns the button pressed.
QMessageBox::StandardButton ShowMessageBox(QWidget* parent, const QString& text,
                                           QMessageBox::Icon icon = QMessageBox::NoIcon,
                                           QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                           const QString& title = QStringLiteral("Olvex"));

// Asks without waiting: the box is modal to the parent's window, and `answered` runs with the
// button pressed unless the parent goes first. With a hook set, it runs before this returns.
void AskWindowModal(QWidget* parent, const QString& text,
                    std::function<void(QMessageBox::StandardButton)> answered,
                    QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No,
                    QMessageBox::Icon icon = QMessageBox::Question,
                    const QString& title = QStringLiteral("Olvex"));

// A tooltip that shows the text literally: Qt takes any tooltip that looks like markup
// for rich text, and names and addresses from the network must never be read as markup.
QString PlainToolTip(const QString& text);

} // namespace olvex
