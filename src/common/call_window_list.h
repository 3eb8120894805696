#pragma once

#include <QPointer>
#include <QWidget>
#include <algorithm>
#include <functional>
#include <vector>

namespace olvex {

// The open call windows, in the order they joined. A call window adds itself when it is
// constructed and removes itself when destroyed; a window that went away without leaving
// is skipped. Each window also says how many lines the operator has not seen, and how far
// its chat has come.
class CallWindowList {
public:
    enum class ChatState { Connecting, InChat, Ended };

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

    // True: one more line arrived unseen; false: the operator has seen them all.
    void SetUnread(QWidget* window, bool unread) {
        Entry* entry = Find(window);
        if (!entry || (!unread && entry->unread == 0))
            return;
        entry->unread = unread ? entry->unread + 1 : 0;
        Changed();
    }
    int UnreadLines(QWidget* window) const {
        const Entry* entry = Find(window);
        return entry ? entry->unread : 0;
    }
    std::vector<QWidget*> UnreadWindows() const {
        std::vector<QWidget*> unread;
        for (const auto& entry : windows) {
            if (entry.window && entry.unread > 0)
                unread.push_back(entry.window.data());
        }
        return unread;
    }
    void SetState(QWidget* window, ChatState state) {
        Entry* entry = Find(window);
        if (!entry || entry->state == state)
            return;
        entry->state = state;
        Changed();
    }
    ChatState StateOf(QWidget* window) const {
        const Entry* entry = Find(window);
        return entry ? entry->state : ChatState::Ended;
    }
    // Called after every change of the list or of a window's unread lines or state.
    void SetChangeHandler(std::function<void()> handler) { changed = std::move(handler); }

private:
    struct Entry {
        QPointer<QWidget> window;
        int unread = 0;
        ChatState state = ChatState::Connecting;
    };
    Entry* Find(QWidget* window) {
        for (auto& entry : windows) {
            if (entry.window == window)
                return &entry;
        }
        return nullptr;
    }
    const Entry* Find(QWidget* window) const {
        return const_cast<CallWindowList*>(this)->Find(window);
    }
    void Changed() const {
        if (changed)
            changed();
    }

    std::vector<Entry> windows;
    std::function<void()> changed;
};

} // namespace olvex
