#include "freedesktop_notifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace olvex {

namespace {

const QString kInterface = QString::fromLatin1(FreedesktopNotifications::kService);

QDBusMessage Call(const QString& method) {
    return QDBusMessage::createMethodCall(QString::fromLatin1(FreedesktopNotifications::kService),
                                          QString::fromLatin1(FreedesktopNotifications::kPath),
                                          kInterface, method);
}

} // namespace

FreedesktopNotifications::FreedesktopNotifications(QObject* parent) : Notifications(parent) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    connected = bus.isConnected();
    if (!connected)
        return;
    bus.connect(QString::fromLatin1(kService), QString::fromLatin1(kPath), kInterface,
                QStringLiteral("ActionInvoked"), this, SLOT(OnActionInvoked(uint, QString)));
    bus.connect(QString::fromLatin1(kService), QString::fromLatin1(kPath), kInterface,
                QStringLiteral("ActivationToken"), this, SLOT(OnActivationToken(uint, QString)));
    bus.connect(QString::fromLatin1(kService), QString::fromLatin1(kPath), kInterface,
                QStringLiteral("NotificationClosed"), this, SLOT(OnClosed(uint, uint)));
    auto* watcher =
        new QDBusPendingCallWatcher(bus.asyncCall(Call(QStringLiteral("GetCapabilities"))), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<QStringList> reply = *w;
        if (!reply.isError()) {
            serviceAnswered = true;
            bodyMarkup = reply.value().contains(QStringLiteral("body-markup"));
        }
        w->deleteLater();
    });
}

int FreedesktopNotifications::Notify(const Note& note) {
    if (!connected)
        return 0;
    const int handle = ++lastHandle;
    waiting.insert(handle);
    QDBusMessage message = Call(QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(static_cast<uchar>(note.urgency)));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("olvex"));
    // Names and texts come from the network: a service that reads markup gets them escaped.
    const QString body = bodyMarkup ? note.body.toHtmlEscaped() : note.body;
    message << QStringLiteral("Olvex") << 0u << QStringLiteral("olvex") << note.summary << body
            << note.actions << hints << static_cast<int32_t>(note.timeoutMs);
    auto* watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, handle](QDBusPendingCallWatcher* w) {
                const QDBusPendingReply<uint> reply = *w;
                waiting.erase(handle);
                if (reply.isError())
                    toClose.erase(handle);
                else
                    OnIdArrived(handle, reply.value());
                w->deleteLater();
            });
    return handle;
}

void FreedesktopNotifications::OnIdArrived(int handle, uint id) {
    if (toClose.erase(handle) > 0) {
        QDBusMessage message = Call(QStringLiteral("CloseNotification"));
        message << id;
        QDBusConnection::sessionBus().asyncCall(message);
        return;
    }
    ids[handle] = id;
}

void FreedesktopNotifications::Close(int handle) {
    if (handle <= 0)
        return;
    const auto known = ids.find(handle);
    if (known == ids.end()) {
        if (waiting.count(handle) > 0)
            toClose.insert(handle);
        return;
    }
    QDBusMessage message = Call(QStringLiteral("CloseNotification"));
    message << known->second;
    ids.erase(known);
    QDBusConnection::sessionBus().asyncCall(message);
    emit Closed(handle);
}

int FreedesktopNotifications::HandleOf(uint id) const {
    for (const auto& [handle, known] : ids) {
        if (known == id)
            return handle;
    }
    return 0;
}

void FreedesktopNotifications::OnActivationToken(uint id, const QString& token) {
    if (const int handle = HandleOf(id))
        tokens[handle] = token;
}

QString FreedesktopNotifications::TakeActivationToken(int handle) {
    const auto found = tokens.find(handle);
    if (found == tokens.end())
        return {};
    QString token = found->second;
    tokens.erase(found);
    return token;
}

void FreedesktopNotifications::OnActionInvoked(uint id, const QString& key) {
    if (const int handle = HandleOf(id)) {
        emit ActionInvoked(handle, key);
        // A token nobody took is stale after the click it came with.
        tokens.erase(handle);
    }
}

void FreedesktopNotifications::OnClosed(uint id, uint) {
    if (const int handle = HandleOf(id)) {
        ids.erase(handle);
        tokens.erase(handle);
        emit Closed(handle);
    }
}

} // namespace olvex
