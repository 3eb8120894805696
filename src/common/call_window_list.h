#pragma once

#include <QPointer>
#include <QWidget>
#include <algorithm>
#include <functional>
#include <vector>

namespace olvex {

// The open call windows, in the order they joined. A call window adds itself when it is
// constructed and removes itself when destroyed; a window that went away without leaving
// is skipped. Each window also says whether it holds lines the operator has not seen.
class CallWindowList {
public:
    void Add(QWidget* window) {
        if (!window || Find(window))
            return;
        windows.push_back({window, false});
        Changed();
    }
    void Remove(QWidget* window) {
        const auto count = windows.size();
        std::erase_if(windows,
                      [window](const Entry& e) { return e.window.isNull() || e.window == window; });
        if (windows.size() != count)
            Changed();
    }
    std::vector<QWidget*> Windows() const {
        std::vector<QWidget*> open;
        for (const auto& entry : windows) {
            if (entry.window)
                open.push_back(entry.window.data());
        }
        return open;
    }
    void ShowAll() const {
        for (QWidget* window : Windows())
            window->show();
    }

    void SetUnread(QWidget* window, bool unread) {
        Entry* entry = Find(window);
        if (!entry || entry->unread == unread)
            return;
        entry->unread = unread;
        Changed();
    }
    std::vector<QWidget*> UnreadWindows() const {
        std::vector<QWidget*> unread;
        for (const auto& entry : windows) {
            if (entry.window && entry.unread)
                unread.push_back(entry.window.data());
        }
        return unread;
    }
    // Called after every change of the list or of a window's unread state.
    void SetChangeHandler(std::function<void()> handler) { changed = std::move(handler); }

private:
    struct Entry {
        QPointer<QWidget> window;
        bool unread = false;
    };
    Entry* Find(QWidget* window) {
        for (auto& entry : windows) {
            if (entry.window == window)
                return &entry;
        }
        return nullptr;
    }
    void Changed() const {
        if (changed)
            changed();
    }

    std::vector<Entry> windows;
    std::function<void()> changed;
};

} // namespace olvex
