#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <unordered_map>
#include <unordered_set>

namespace olvex {

// Notifications through the desktop's notification service on the session bus. Every call
// is asynchronous: without a session bus or a service nothing is shown and nothing waits.
// Notifications are known by handles of our own, since the service's ids arrive later.
class DesktopNotifier : public QObject {
    Q_OBJECT

public:
    static constexpr const char* kService = "org.freedesktop.Notifications";
    static constexpr const char* kPath = "/org/freedesktop/Notifications";

    struct Note {
        QString summary;
        QString body;
        // Pairs of action key and label; the key "default" is what a click on the body does.
        QStringList actions;
        // -1: the service decides; 0: stays until dismissed.
        int timeoutMs = -1;
        // 0 low, 1 normal, 2 critical.
        int urgency = 1;
    };

    explicit DesktopNotifier(QObject* parent = nullptr);

    // A handle above 0, or 0 when there is no session bus to send it to.
    int Notify(const Note& note);
    // Withdraws the notification; one whose id has not arrived yet goes as soon as it does.
    void Close(int handle);

    // The body with markup characters escaped when the service reads markup in bodies.
    QString BodyText(const QString& text) const;

signals:
    void ActionInvoked(int handle, const QString& key);
    // Dismissed, expired or withdrawn: the handle is forgotten afterwards.
    void Closed(int handle);

private slots:
    void OnActionInvoked(uint id, const QString& key);
    void OnClosed(uint id, uint reason);

private:
    void OnIdArrived(int handle, uint id);
    int HandleOf(uint id) const;

    bool connected = false;
    bool bodyMarkup = false;
    int lastHandle = 0;
    std::unordered_map<int, uint> ids; // handle -> the service's id
    std::unordered_set<int> waiting;   // handles whose id has not arrived yet
    std::unordered_set<int> toClose;   // of those, the ones already withdrawn
};

} // namespace olvex
