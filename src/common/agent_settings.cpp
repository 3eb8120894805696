#include "agent_settings.h"

#include "product_info.h"

#include <QSettings>
#include <memory>

namespace olvex {

namespace {

std::unique_ptr<QSettings> OpenStore(const QString& keyPath) {
    const qsizetype slash = keyPath.indexOf(QLatin1Char('/'));
    const QString organisation = slash < 0 ? keyPath : keyPath.left(slash);
    const QString application = slash < 0 ? QString() : keyPath.mid(slash + 1);
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, organisation,
                                       application);
}

// A stored text ends at its first zero character and keeps at most maxChars characters,
// never cutting a character in two.
void ReadText(const QSettings& store, const char* name, int maxChars, std::string& field) {
    const QVariant value = store.value(QLatin1String(name));
    if (!value.isValid())
        return;
    QString text = value.toString();
    const qsizetype zero = text.indexOf(QChar(0));
    if (zero >= 0)
        text.truncate(zero);
    if (text.size() > maxChars) {
        qsizetype cut = maxChars;
        if (text.at(cut - 1).isHighSurrogate())
            --cut;
        text.truncate(cut);
    }
    field = text.toStdString();
}

void ReadNumber(const QSettings& store, const char* name, int32_t& field) {
    const QVariant value = store.value(QLatin1String(name));
    if (!value.isValid())
        return;
    bool ok = false;
    const int number = value.toString().trimmed().toInt(&ok);
    if (ok)
        field = number;
}

} // namespace

AgentSettings::AgentSettings(QString path)
    : serverAddress(product::kDefaultServerAddress), keyPath(std::move(path)) {
    Load();
}

int32_t AgentSettings::Load() {
    const auto store = OpenStore(keyPath);
    // A file with junk in it still gives every value that can be read.
    if (store->status() == QSettings::AccessError)
        return -1;
    ReadText(*store, "ServerAddress", kMaxShortText, serverAddress);
    ReadText(*store, "Username", kMaxShortText, username);
    ReadText(*store, "Password", kMaxShortText, password);
    ReadText(*store, "WelcomeMsg", kMaxWelcomeText, welcomeMsg);
    ReadNumber(*store, "ServerPort", serverPort);
    ReadNumber(*store, "SaveLogin", saveLogin);
    ReadNumber(*store, "AutoLogin", autoLogin);
    ReadNumber(*store, "AutoRun", autoRun);
    ReadNumber(*store, "Reconnect", reconnect);
    ReadNumber(*store, "ShowHints", showHints);
    ReadNumber(*store, "NotifyTimeout", notifyTimeout);
    ReadNumber(*store, "NotifySound", notifySound);
    ReadNumber(*store, "AutoAwayMinutes", autoAwayMinutes);
    ReadNumber(*store, "LineSound", lineSound);
    ReadNumber(*store, "VisitorSound", visitorSound);
    ReadNumber(*store, "HistoryDays", historyDays);
    if (serverOverridden) {
        storedAddress = serverAddress;
        storedPort = serverPort;
        serverAddress = overrideAddress;
        serverPort = overridePort;
    }
    return 0;
}

int32_t AgentSettings::Save() const {
    const auto store = OpenStore(keyPath);
    // Saving over a file with junk in it rewrites it clean; only an unwritable one fails.
    if (!store->isWritable() || store->status() == QSettings::AccessError)
        return -1;
    const bool keepStoredAddress = serverOverridden && serverAddress == overrideAddress;
    const bool keepStoredPort = serverOverridden && serverPort == overridePort;
    const auto text = [](const std::string& value) { return QString::fromStdString(value); };
    store->setValue(QStringLiteral("ServerAddress"),
                    text(keepStoredAddress ? storedAddress : serverAddress));
    store->setValue(QStringLiteral("Username"), text(username));
    store->setValue(QStringLiteral("Password"), text(IsOn(saveLogin) ? password : std::string()));
    store->setValue(QStringLiteral("WelcomeMsg"), text(welcomeMsg));
    store->setValue(QStringLiteral("ServerPort"), keepStoredPort ? storedPort : serverPort);
    store->setValue(QStringLiteral("SaveLogin"), saveLogin);
    store->setValue(QStringLiteral("AutoLogin"), autoLogin);
    store->setValue(QStringLiteral("AutoRun"), autoRun);
    store->setValue(QStringLiteral("Reconnect"), reconnect);
    store->setValue(QStringLiteral("ShowHints"), showHints);
    store->setValue(QStringLiteral("NotifyTimeout"), notifyTimeout);
    store->setValue(QStringLiteral("NotifySound"), notifySound);
    store->setValue(QStringLiteral("AutoAwayMinutes"), autoAwayMinutes);
    store->setValue(QStringLiteral("LineSound"), lineSound);
    store->setValue(QStringLiteral("VisitorSound"), visitorSound);
    store->setValue(QStringLiteral("HistoryDays"), historyDays);
    store->sync();
    return store->status() == QSettings::AccessError ? -1 : 0;
}

void AgentSettings::OverrideServer(std::string address, int32_t port) {
    if (!serverOverridden) {
        storedAddress = serverAddress;
        storedPort = serverPort;
    }
    serverOverridden = true;
    overrideAddress = std::move(address);
    overridePort = port;
    serverAddress = overrideAddress;
    serverPort = overridePort;
}

} // namespace olvex
