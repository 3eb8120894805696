#pragma once

#include "notifications.h"

#include <QString>
#include <cstdint>
#include <unordered_map>
#include <unordered_set>

namespace olvex {

// Notifications through the desktop's notification service on the session bus. Every call
// is asynchronous: without a session bus or a service nothing is shown and nothing waits.
// Our handles stand for the service's ids, which arrive later.
class FreedesktopNotifications : public Notifications {
    Q_OBJECT

public:
    static constexpr const char* kService = "org.freedesktop.Notifications";
    static constexpr const char* kPath = "/org/freedesktop/Notifications";

    explicit FreedesktopNotifications(QObject* parent = nullptr);

    bool Available() const override { return serviceAnswered; }
    // 0 when there is no session bus to send it to.
    int Notify(const Note& note) override;
    // One whose id has not arrived yet goes as soon as it does.
    void Close(int handle) override;
    QString TakeActivationToken(int handle) override;

private slots:
    // Sent just before ActionInvoked by services that hand out activation tokens.
    void OnActivationToken(uint id, const QString& token);
    void OnActionInvoked(uint id, const QString& key);
    void OnClosed(uint id, uint reason);

private:
    void OnIdArrived(int handle, uint id);
    int HandleOf(uint id) const;

    bool connected = false;
    bool bodyMarkup = false;
    bool serviceAnswered = false;
    int lastHandle = 0;
    std::unordered_map<int, uint> ids;       // handle -> the service's id
    std::unordered_set<int> waiting;         // handles whose id has not arrived yet
    std::unordered_set<int> toClose;         // of those, the ones already withdrawn
    std::unordered_map<int, QString> tokens; // handle -> the token of the click just made
};

} // namespace olvex
