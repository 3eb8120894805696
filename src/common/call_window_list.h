#pragma once

#include <QPointer>
#include <QWidget>
#include <algorithm>
#include <vector>

namespace olvex {

// The open call windows, in the order they joined. A call window adds itself when it is
// constructed and removes itself when destroyed; a window that went away without leaving
// is skipped.
class CallWindowList {
public:
    void Add(QWidget* window) {
        if (window && std::find(windows.begin(), windows.end(), window) == windows.end())
            windows.emplace_back(window);
    }
    void Remove(QWidget* window) {
        std::erase_if(windows, [window](const QPointer<QWidget>& w) {
            return w.isNull() || w.data() == window;
        });
    }
    std::vector<QWidget*> Windows() const {
        std::vector<QWidget*> open;
        for (const auto& window : windows) {
            if (window)
                open.push_back(window.data());
        }
        return open;
    }
    void ShowAll() const {
        for (QWidget* window : Windows())
            window->show();
    }

private:
    std::vector<QPointer<QWidget>> windows;
};

} // namespace olvex
