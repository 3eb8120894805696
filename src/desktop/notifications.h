#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

namespace olvex {

// The desktop's notifications. Notifications are known by handles of our own; a handle
// that was never given (0) is ignored everywhere.
class Notifications : public QObject {
    Q_OBJECT

public:
    struct Note {
        QString summary;
        // Plain text: whatever the service reads as markup is escaped on the way.
        QString body;
        // Pairs of action key and label; the key "default" is what a click on the body does.
        QStringList actions;
        // -1: the service decides; 0: stays until dismissed.
        int timeoutMs = -1;
        // 0 low, 1 normal, 2 critical.
        int urgency = 1;
    };

    using QObject::QObject;

    // A notification service has answered: what is sent goes somewhere.
    virtual bool Available() const { return false; }
    // A handle above 0, or 0 when there is nothing to show it.
    virtual int Notify(const Note& note) = 0;
    // Withdraws the notification, also one the service has not acknowledged yet.
    virtual void Close(int handle) = 0;
    // The activation token the service gave with the operator's click on an action, once;
    // empty where the service gives none. Valid while ActionInvoked is handled.
    virtual QString TakeActivationToken(int handle) {
        (void)handle;
        return {};
    }

signals:
    void ActionInvoked(int handle, const QString& key);
    // Dismissed, expired or withdrawn: the handle is forgotten afterwards.
    void Closed(int handle);
};

} // namespace olvex
