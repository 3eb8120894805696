#include "message_box.h"

#include "accessibility.h"

#include <QDialog>
#include <QTextDocument>

namespace olvex {

namespace {
MessageBoxHook& Hook() {
    static MessageBoxHook hook;
    return hook;
}

// Screen readers read an alert's text as it opens.
void MarkAsAlert(QMessageBox& box, const QString& text) {
    SetAccessibleRole(box, QAccessible::AlertMessage);
    box.setAccessibleDescription(text);
}

} // namespace

void SetMessageBoxHook(MessageBoxHook hook) {
    Hook() = std::move(hook);
}

QMessageBox::StandardButton ShowMessageBox(QWidget* parent, const QString& text,
                                           QMessageBox::Icon icon,
                                           QMessageBox::StandardButtons buttons,
                                           const QString& title) {
    if (Hook())
        return Hook()(parent, icon, title, text, buttons);
    QMessageBox box(icon, title, text, buttons, parent);
    box.setTextFormat(Qt::PlainText);
    MarkAsAlert(box, text);
    return static_cast<QMessageBox::StandardButton>(ExecWindowModal(box));
}

void AskWindowModal(QWidget* parent, const QString& text,
                    std::function<void(QMessageBox::StandardButton)> answered,
                    QMessageBox::StandardButtons buttons, QMessageBox::Icon icon,
                    const QString& title) {
    if (Hook()) {
        answered(Hook()(parent, icon, title, text, buttons));
        return;
    }
    // A child of the parent: it goes with it, and its answer then reaches nobody.
    auto* box = new QMessageBox(icon, title, text, buttons, parent);
    box->setTextFormat(Qt::PlainText);
    MarkAsAlert(*box, text);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    QObject::connect(box, &QMessageBox::finished, box, [box, answered = std::move(answered)] {
        answered(box->standardButton(box->clickedButton()));
    });
    box->open();
}

int ExecWindowModal(QDialog& dialog) {
    // exec() makes a dialog that has no modality of its own application-modal.
    dialog.setWindowModality(Qt::WindowModal);
    return dialog.exec();
}

QString PlainToolTip(const QString& text) {
    if (text.isEmpty())
        return text;
    return Qt::convertFromPlainText(text, Qt::WhiteSpaceNoWrap);
}

} // namespace olvex
