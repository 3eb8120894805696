#include "launcher_entry.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

namespace olvex {

void LauncherEntryCount::SetCount(int count) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(
        QStringLiteral("/org/olvex/Agent/LauncherEntry"),
        QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"));
    QVariantMap properties;
    properties.insert(QStringLiteral("count"), qint64(count));
    properties.insert(QStringLiteral("count-visible"), count > 0);
    signal << QStringLiteral("application://olvex.desktop") << properties;
    bus.send(signal);
}

} // namespace olvex
