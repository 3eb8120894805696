// The remembered password against a real secret store: run under with_keyring.sh,
// which gives the test a private session bus with an unlocked gnome-keyring.
#include "agent_settings.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <gtest/gtest.h>

namespace olvex {
namespace {

QSettings Store() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Olvex"),
                     QStringLiteral("Agent"));
}

QString PasswordInFile() {
    return Store().value(QStringLiteral("Password")).toString();
}

// What a fresh start finds: the file first, then the secret store.
std::string RememberedAtStart() {
    AgentSettings settings;
    bool done = false;
    settings.ReadRememberedPassword([&done] { done = true; });
    EXPECT_FALSE(done) << "the secret store must be asked without blocking";
    EXPECT_TRUE(QTest::qWaitFor([&done] { return done; }, 5000));
    return settings.password;
}

TEST(SecretStore, PasswordMovesOutOfTheFileAndComesBackAtStart) {
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        << "run through with_keyring.sh";
    QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/Olvex"))
        .removeRecursively();

    // A password an older version left in the file moves at the next save.
    {
        QSettings store = Store();
        store.setValue(QStringLiteral("Username"), QStringLiteral("ann"));
        store.setValue(QStringLiteral("Password"), QStringLiteral("from the file"));
        store.setValue(QStringLiteral("SaveLogin"), 1);
    }
    AgentSettings settings;
    EXPECT_EQ(settings.password, "from the file");
    ASSERT_EQ(settings.Save(), 0);
    EXPECT_TRUE(QTest::qWaitFor([] { return PasswordInFile().isEmpty(); }, 5000))
        << "the file still holds the password";
    EXPECT_EQ(RememberedAtStart(), "from the file");

    // Once the store is known to hold it, a save never puts it in the file.
    settings.password = "n3w secret";
    ASSERT_EQ(settings.Save(), 0);
    EXPECT_TRUE(QTest::qWaitFor([] { return PasswordInFile().isEmpty(); }, 5000));
    EXPECT_EQ(RememberedAtStart(), "n3w secret");
    ASSERT_EQ(settings.Save(), 0);
    EXPECT_EQ(PasswordInFile(), QString());

    // Not remembered any more: the store forgets it too.
    settings.saveLogin = 0;
    ASSERT_EQ(settings.Save(), 0);
    QTest::qWait(300);
    settings.saveLogin = 1;
    settings.password.clear();
    Store().setValue(QStringLiteral("SaveLogin"), 1);
    EXPECT_EQ(RememberedAtStart(), "");
}

} // namespace
} // namespace olvex
