#include "desktop_idle_source.h"

#ifdef OLVEX_HAVE_XCB_SCREENSAVER
#include "x11_idle_source.h"
#endif

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

std::unique_ptr<DesktopIdleSource> DesktopIdleSource::Probe(bool useX11) {
    std::unique_ptr<DesktopIdleSource> source(new DesktopIdleSource);
#ifdef OLVEX_HAVE_XCB_SCREENSAVER
    if (useX11)
        source->x11 = X11IdleSource::Open();
#else
    (void)useX11;
#endif

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
    if (!source->x11 && !source->screenSaver && source->logindSession.isEmpty())
        return nullptr;
    source->Refresh();
    return source;
}

DesktopIdleSource::~DesktopIdleSource() = default;

QString DesktopIdleSource::Description() const {
    QStringList parts;
    if (x11)
        parts << QStringLiteral("X11 screen saver extension");
    if (screenSaver)
        parts << QStringLiteral("session screen saver");
    if (!logindSession.isEmpty())
        parts << QStringLiteral("logind");
    return parts.join(QStringLiteral(", "));
}

void DesktopIdleSource::OnScreenSaverActive(bool active) {
    screenSaverLocked = active;
    emit LockChanged();
}

std::optional<IdleSample> DesktopIdleSource::Sample() {
    Refresh();
    IdleSample sample;
    sample.locked = screenSaverLocked || logindLocked;
    if (x11) {
        const std::optional<IdleSample> fromX = x11->Sample();
        if (!fromX)
            return std::nullopt;
        sample.idleMs = fromX->idleMs;
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
void DesktopIdleSource::Refresh() {
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
