#include "portal_colour_scheme.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>

namespace olvex {

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString kGroup = QStringLiteral("org.freedesktop.appearance");
const QString kKey = QStringLiteral("color-scheme");
// At start, before the first window: a portal that does not answer in this time is none.
constexpr int kAnswerMs = 1000;

// Read answers a variant inside a variant, ReadOne a plain one.
QVariant Unwrapped(QVariant value) {
    for (int depth = 0; depth < 3 && value.canConvert<QDBusVariant>(); ++depth)
        value = value.value<QDBusVariant>().variant();
    if (value.canConvert<QDBusArgument>()) {
        QDBusVariant inner;
        value.value<QDBusArgument>() >> inner;
        value = inner.variant();
    }
    return value;
}

QVariant Ask(const QString& method) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    call << kGroup << kKey;
    const QDBusMessage answer = QDBusConnection::sessionBus().call(call, QDBus::Block, kAnswerMs);
    if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().isEmpty())
        return {};
    return Unwrapped(answer.arguments().first());
}

} // namespace

PortalColourScheme::PortalColourScheme(QObject* parent) : ColourSchemeSource(parent) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    bus.connect(kService, kPath, kInterface, QStringLiteral("SettingChanged"), this,
                SLOT(OnSettingChanged(QDBusMessage)));
    // ReadOne is the newer call; older portals know Read alone.
    QVariant value = Ask(QStringLiteral("ReadOne"));
    if (!value.isValid())
        value = Ask(QStringLiteral("Read"));
    current = FromValue(value);
}

ColourSchemeSource::Preference PortalColourScheme::FromValue(const QVariant& value) {
    bool ok = false;
    const uint number = Unwrapped(value).toUInt(&ok);
    if (ok && number == 1)
        return Preference::Dark;
    if (ok && number == 2)
        return Preference::Light;
    return Preference::None;
}

void PortalColourScheme::OnSettingChanged(const QDBusMessage& message) {
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() < 3 || arguments[0].toString() != kGroup ||
        arguments[1].toString() != kKey)
        return;
    const Preference now = FromValue(arguments[2]);
    if (now == current)
        return;
    current = now;
    emit Changed(current);
}

} // namespace olvex
