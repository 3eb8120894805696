#include "alert_key_guard.h"

#include <QEvent>
#include <QKeyEvent>
#include <QWidget>

namespace olvex {

AlertKeyGuard::AlertKeyGuard(QWidget& widget, Clock c)
    : QObject(&widget), guarded(widget), clock(std::move(c)) {
    createdAt = shownAt = clock();
    guarded.installEventFilter(this);
    for (QWidget* child : guarded.findChildren<QWidget*>())
        child->installEventFilter(this);
}

void AlertKeyGuard::Restart(Clock newClock) {
    clock = std::move(newClock);
    createdAt = shownAt = clock();
    refused.clear();
}

bool AlertKeyGuard::Refuses(int key, bool autoRepeat) const {
    return autoRepeat || refused.contains(key) || !Elapsed();
}

bool AlertKeyGuard::LetThrough(int key, bool autoRepeat) {
    // A repeat is a key held down, never a decision; and whatever was refused stays so until
    // the operator lets go of it.
    if (Refuses(key, autoRepeat)) {
        refused.insert(key);
        return false;
    }
    return true;
}

bool AlertKeyGuard::LetReleaseThrough(int key) {
    return refused.erase(key) == 0 && Elapsed();
}

bool AlertKeyGuard::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::WindowActivate:
        if (watched == &guarded && clock() - createdAt < kLateFocusMs)
            shownAt = clock();
        break;
    case QEvent::ShortcutOverride: {
        // Claimed, so that no shortcut acts on a refused key; the press itself follows.
        auto* key = static_cast<QKeyEvent*>(event);
        if (Refuses(key->key(), key->isAutoRepeat())) {
            event->accept();
            return true;
        }
        break;
    }
    case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (!LetThrough(key->key(), key->isAutoRepeat()))
            return true;
        break;
    }
    case QEvent::KeyRelease: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->isAutoRepeat() || !LetReleaseThrough(key->key()))
            return true;
        break;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace olvex
