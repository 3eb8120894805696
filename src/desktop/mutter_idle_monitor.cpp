#include "mutter_idle_monitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace olvex {

namespace {

constexpr int kTimeoutMs = 500;

QDBusMessage GetIdletime() {
    const QString service = QString::fromLatin1(MutterIdleMonitor::kService);
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, QString::fromLatin1(MutterIdleMonitor::kPath),
                                       service, QStringLiteral("GetIdletime"));
    // Asking must not start a compositor's service on a desktop that has none.
    call.setAutoStartService(false);
    return call;
}

} // namespace

std::unique_ptr<MutterIdleMonitor> MutterIdleMonitor::Probe() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return nullptr;
    const QDBusMessage reply = bus.call(GetIdletime(), QDBus::Block, kTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return nullptr;
    std::unique_ptr<MutterIdleMonitor> monitor(new MutterIdleMonitor);
    monitor->idleMs = int64_t(reply.arguments().constFirst().toULongLong());
    return monitor;
}

std::optional<IdleSample> MutterIdleMonitor::Sample() {
    if (!pending) {
        pending = true;
        auto* watcher = new QDBusPendingCallWatcher(
            QDBusConnection::sessionBus().asyncCall(GetIdletime(), kTimeoutMs), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this](QDBusPendingCallWatcher* call) {
                    pending = false;
                    const QDBusPendingReply<qulonglong> reply = *call;
                    failing = reply.isError();
                    if (!failing)
                        idleMs = int64_t(reply.value());
                    call->deleteLater();
                });
    }
    // A monitor that stopped answering (the shell restarting) says nothing until it does.
    if (failing)
        return std::nullopt;
    IdleSample sample;
    sample.idleMs = idleMs;
    return sample;
}

QString MutterIdleMonitor::Description() const {
    return QStringLiteral("GNOME idle monitor");
}

} // namespace olvex
