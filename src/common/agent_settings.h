#pragma once

#include "protocol.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace olvex {

// The program's one settings record. It lives in the native settings store under
// "<organisation>/<application>" (on Linux $XDG_CONFIG_HOME/Olvex/Agent.conf), one value per
// field. Only the UI thread writes it; workers read it.
class AgentSettings {
public:
    static constexpr const char* kDefaultKeyPath = "Olvex/Agent";
    static constexpr int kMaxShortText = 39;
    static constexpr int kMaxWelcomeText = 199;
    static constexpr int kMaxPathText = 4095;

    // Sets the defaults, then loads what is stored under keyPath ("organisation/application").
    explicit AgentSettings(QString keyPath = QString::fromLatin1(kDefaultKeyPath));

    // 0, or -1 when the store cannot be read (the fields then keep their values).
    int32_t Load();
    // 0, or -1 when the store cannot be written. The password is remembered only while
    // saveLogin is 1, in the desktop's secret store; the file keeps it (mode 0600, folder
    // 0700) only until the secret store has taken it, or for good where there is none.
    // With saveLogin off the secret store forgets it and the typed one stays in memory.
    int32_t Save() const;

    // With saveLogin on and no password in the file, asks the secret store for it without
    // blocking. `then` runs on the UI thread once the password is in place or known to be
    // missing (a locked or absent store); at once when there is nothing to ask.
    void ReadRememberedPassword(std::function<void()> then);

    // The secret store's entry: service and key.
    QString SecretService() const { return keyPath; }
    static QString SecretKey() { return QStringLiteral("Password"); }

    // A server given on the command line: used for this run, never written by Save
    // unless the operator changes it.
    void OverrideServer(std::string address, int32_t port);

    // Switches count as on only when exactly 1; the sound switch whenever it is not 0.
    static bool IsOn(int32_t value) { return value == 1; }
    bool NotifySoundOn() const { return notifySound != 0; }

    std::string serverAddress;
    int32_t serverPort = protocol::kDefaultServerPort;
    std::string username;
    std::string password;
    int32_t saveLogin = 0;
    int32_t autoLogin = 0;
    int32_t autoRun = 0;
    int32_t reconnect = 1;
    int32_t showHints = 1;
    // With showHints: a notification for each visitor entering a page.
    int32_t visitorHints = 1;
    int32_t notifyTimeout = 60;
    int32_t notifySound = 1;
    std::string welcomeMsg = "Hello, thank you for calling me. How may I help you?";
    int32_t useTls = 0;
    std::string caFile; // PEM; empty: the system's trusted certificates
    // Minutes without input before an online operator is set away; 0: never.
    int32_t autoAwayMinutes = 10;
    // A short tone for a new line in a call window in the background, and for a visitor
    // entering the site.
    int32_t lineSound = 1;
    int32_t visitorSound = 0;
    // Days the chat history keeps a conversation; 0 keeps it for ever.
    int32_t historyDays = 0;

    const QString& KeyPath() const { return keyPath; }

private:
    struct Secret;
    // False once this very record is gone; a copy gets a flag of its own.
    struct Lifetime {
        std::shared_ptr<bool> alive = std::make_shared<bool>(true);
        Lifetime() = default;
        Lifetime(const Lifetime&) : Lifetime() {}
        Lifetime& operator=(const Lifetime&) { return *this; }
        ~Lifetime() { *alive = false; }
    };
    QString keyPath;
    bool serverOverridden = false;
    std::string overrideAddress;
    int32_t overridePort = 0;
    std::string storedAddress;
    int32_t storedPort = 0;
    // Shared with the secret store's jobs, which may finish after this record is gone.
    std::shared_ptr<Secret> secret;
    Lifetime lifetime;
};

} // namespace olvex
