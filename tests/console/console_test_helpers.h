#pragma once

#include "hyperlink_label.h"
#include "message_box.h"

#include <QDir>
#include <QStandardPaths>
#include <QString>
#include <vector>

namespace olvex::test {

// Answers every message box and records every link opened, so no test blocks or starts
// a browser.
struct UiRecorder {
    UiRecorder() {
        SetMessageBoxHook([this](QWidget*, QMessageBox::Icon, const QString&, const QString& text,
                                 QMessageBox::StandardButtons) {
            messages.push_back(text);
            return answer;
        });
        HyperlinkLabel::SetOpener([this](const QString& target) {
            opened.push_back(target);
            return HyperlinkLabel::kOpenSucceeded;
        });
    }
    ~UiRecorder() {
        SetMessageBoxHook({});
        HyperlinkLabel::SetOpener({});
    }
    UiRecorder(const UiRecorder&) = delete;
    UiRecorder& operator=(const UiRecorder&) = delete;

    std::vector<QString> messages;
    std::vector<QString> opened;
    QMessageBox::StandardButton answer = QMessageBox::Ok;
};

inline QString ConfigHome() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

// Every test starts without stored settings, profile or autostart entry.
inline void ForgetStoredState() {
    QDir(ConfigHome() + QStringLiteral("/Olvex")).removeRecursively();
    QDir(ConfigHome() + QStringLiteral("/autostart")).removeRecursively();
}

} // namespace olvex::test
