#include "bus_idle_source.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QVariantMap>
#include <time.h>

namespace olvex {

namespace {

const QString kScreenSaverService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kScreenSaverPath = QStringLiteral("/org/freedesktop/ScreenSaver");
const QString kLogindService = QStringLiteral("org.freedesktop.login1");
const QString kLogindSession = QStringLiteral("org.freedesktop.login1.Session");
// Probing happens once at start; a bus that does not answer quickly is treated as absent.
constexpr int kProbeTimeoutMs = 500;

QDBusMessage ScreenSaverCall(const QString& method) {
    return QDBusMessage::createMethodCall(kScreenSaverService, kScreenSaverPath,
                                          kScreenSaverService, method);
}

QDBusMessage LogindProperties(const QString& path) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        kLogindService, path, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("GetAll"));
    call << kLogindSession;
    return call;
}

bool Answered(const QDBusMessage& reply) {
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty();
}

uint64_t MonotonicUs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return uint64_t(now.tv_sec) * 1000000u + uint64_t(now.tv_nsec) / 1000u;
}

} // namespace

std::unique_ptr<BusIdleSource> BusIdleSource::Probe(std::unique_ptr<IdleSource> serverIdle) {
    std::unique_ptr<BusIdleSource> source(new BusIdleSource);
    source->serverIdle = std::move(serverIdle);

    QDBusConnection session = QDBusConnection::sessionBus();
    if (session.isConnected()) {
        const QDBusMessage active = session.call(ScreenSaverCall(QStringLiteral("GetActive")),
                                                 QDBus::Block, kProbeTimeoutMs);
        if (Answered(active)) {
            source->screenSaver = true;
            source->screenSaverLocked = active.arguments().first().toBool();
            const QDBusMessage idle =
                session.call(ScreenSaverCall(QStringLiteral("GetSessionIdleTime")), QDBus::Block,
                             kProbeTimeoutMs);
            source->screenSaverIdle = Answered(idle);
            session.connect(kScreenSaverService, kScreenSaverPath, kScreenSaverService,
                            QStringLiteral("ActiveChanged"), source.get(),
                            SLOT(OnScreenSaverActive(bool)));
        }
    }
    QDBusConnection system = QDBusConnection::systemBus();
    if (system.isConnected()) {
        // "auto" is the session of the calling process.
        const QString path = QStringLiteral("/org/freedesktop/login1/session/auto");
        const QDBusMessage properties =
            system.call(LogindProperties(path), QDBus::Block, kProbeTimeoutMs);
        if (Answered(properties))
            source->logindSession = path;
    }
    if (!source->serverIdle && !source->screenSaver && source->logindSession.isEmpty())
        return nullptr;
    source->Refresh();
    return source;
}

BusIdleSource::~BusIdleSource() = default;

QString BusIdleSource::Description() const {
    QStringList parts;
    const QString idle = IdleFrom();
    parts << QStringLiteral("idle time from %1")
                 .arg(idle.isEmpty() ? QStringLiteral("nothing") : idle);
    const QString lock = LockFrom();
    if (!lock.isEmpty())
        parts << QStringLiteral("screen lock from %1").arg(lock);
    return parts.join(QStringLiteral(", "));
}

QString BusIdleSource::IdleFrom() const {
    if (serverIdle)
        return serverIdle->Description();
    // A screen saver that answers GetActive may still refuse the idle time: not claimed.
    if (screenSaverIdle)
        return QStringLiteral("session screen saver");
    if (!logindSession.isEmpty())
        return QStringLiteral("logind idle hint");
    return {};
}

QString BusIdleSource::LockFrom() const {
    QStringList parts;
    if (screenSaver)
        parts << QStringLiteral("session screen saver");
    if (!logindSession.isEmpty())
        parts << QStringLiteral("logind");
    return parts.join(QStringLiteral(", "));
}

void BusIdleSource::SetLockHandler(std::function<void()> handler) {
    lockHandler = handler;
    if (serverIdle)
        serverIdle->SetLockHandler(std::move(handler));
}

void BusIdleSource::OnScreenSaverActive(bool active) {
    screenSaverLocked = active;
    if (lockHandler)
        lockHandler();
}

std::optional<IdleSample> BusIdleSource::Sample() {
    Refresh();
    IdleSample sample;
    sample.locked = screenSaverLocked || logindLocked;
    if (serverIdle) {
        const std::optional<IdleSample> fromServer = serverIdle->Sample();
        if (!fromServer)
            return std::nullopt;
        sample.idleMs = fromServer->idleMs;
    } else if (screenSaverIdle && screenSaverIdleMs >= 0) {
        sample.idleMs = screenSaverIdleMs;
    } else if (logindKnown) {
        const uint64_t now = MonotonicUs();
        sample.idleMs =
            logindIdle && now > logindIdleSinceUs ? int64_t((now - logindIdleSinceUs) / 1000u) : 0;
    } else if (!screenSaver) {
        return std::nullopt;
    }
    return sample;
}

// One request of each kind in flight at most; the answers update the latest values.
void BusIdleSource::Refresh() {
    if (screenSaver && screenSaverIdle && !pendingScreenSaver) {
        pendingScreenSaver = true;
        auto* watcher = new QDBusPendingCallWatcher(
            QDBusConnection::sessionBus().asyncCall(
                ScreenSaverCall(QStringLiteral("GetSessionIdleTime")), kProbeTimeoutMs),
            this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this](QDBusPendingCallWatcher* call) {
                    pendingScreenSaver = false;
                    QDBusPendingReply<uint> reply = *call;
                    if (!reply.isError())
                        screenSaverIdleMs = reply.value();
                    call->deleteLater();
                });
    }
    if (!logindSession.isEmpty() && !pendingLogind) {
        pendingLogind = true;
        auto* watcher =
            new QDBusPendingCallWatcher(QDBusConnection::systemBus().asyncCall(
                                            LogindProperties(logindSession), kProbeTimeoutMs),
                                        this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this](QDBusPendingCallWatcher* call) {
                    pendingLogind = false;
                    QDBusPendingReply<QVariantMap> reply = *call;
                    if (!reply.isError()) {
                        const QVariantMap values = reply.value();
                        logindIdle = values.value(QStringLiteral("IdleHint")).toBool();
                        logindIdleSinceUs =
                            values.value(QStringLiteral("IdleSinceHintMonotonic")).toULongLong();
                        logindLocked = values.value(QStringLiteral("LockedHint")).toBool();
                        logindKnown = true;
                    }
                    call->deleteLater();
                });
    }
}

} // namespace olvex
