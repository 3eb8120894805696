#include "agent_settings.h"
#include "console_test_helpers.h"
#include "product_info.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace olvex {
namespace {

class AgentSettingsTest : public ::testing::Test {
protected:
    void SetUp() override { test::ForgetStoredState(); }
    void TearDown() override { test::ForgetStoredState(); }
    static QSettings Store() {
        return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Olvex"),
                         QStringLiteral("Agent"));
    }
};

TEST_F(AgentSettingsTest, FreshUserGetsTheDefaults) {
    const AgentSettings settings;
    EXPECT_EQ(settings.serverAddress, product::kDefaultServerAddress);
    EXPECT_EQ(settings.serverPort, 2020);
    EXPECT_EQ(settings.username, "");
    EXPECT_EQ(settings.password, "");
    EXPECT_EQ(settings.saveLogin, 0);
    EXPECT_EQ(settings.autoLogin, 0);
    EXPECT_EQ(settings.autoRun, 0);
    EXPECT_EQ(settings.reconnect, 1);
    EXPECT_EQ(settings.showHints, 1);
    EXPECT_EQ(settings.notifyTimeout, 60);
    EXPECT_EQ(settings.notifySound, 1);
    EXPECT_EQ(settings.welcomeMsg, "Hello, thank you for calling me. How may I help you?");
    EXPECT_EQ(settings.useTls, 0);
    EXPECT_EQ(settings.caFile, "");
    EXPECT_EQ(settings.autoAwayMinutes, 10);
    EXPECT_EQ(settings.lineSound, 1);
    EXPECT_EQ(settings.visitorSound, 0);
    EXPECT_EQ(settings.visitorHints, 1);
}

TEST_F(AgentSettingsTest, EveryFieldRoundTripsThroughTheConfigFile) {
    AgentSettings settings;
    settings.serverAddress = "chat.example.test";
    settings.serverPort = 4321;
    settings.username = "jörg";
    settings.password = "p&w#d+ x";
    settings.saveLogin = 1;
    settings.autoLogin = 1;
    settings.autoRun = 1;
    settings.reconnect = 0;
    settings.showHints = 0;
    settings.notifyTimeout = 15;
    settings.notifySound = 0;
    settings.welcomeMsg = "Hi,\nwelcome";
    settings.useTls = 1;
    settings.caFile = "/etc/olvex/ca chain.pem";
    settings.historyDays = 90;
    settings.visitorHints = 0;
    ASSERT_EQ(settings.Save(), 0);
    EXPECT_TRUE(QFile::exists(test::ConfigHome() + QStringLiteral("/Olvex/Agent.conf")));
    EXPECT_EQ(Store().value(QStringLiteral("ServerPort")).toInt(), 4321);

    const AgentSettings loaded;
    EXPECT_EQ(loaded.serverAddress, "chat.example.test");
    EXPECT_EQ(loaded.serverPort, 4321);
    EXPECT_EQ(loaded.username, "jörg");
    EXPECT_EQ(loaded.password, "p&w#d+ x");
    EXPECT_EQ(loaded.saveLogin, 1);
    EXPECT_EQ(loaded.autoLogin, 1);
    EXPECT_EQ(loaded.autoRun, 1);
    EXPECT_EQ(loaded.reconnect, 0);
    EXPECT_EQ(loaded.showHints, 0);
    EXPECT_EQ(loaded.notifyTimeout, 15);
    EXPECT_EQ(loaded.notifySound, 0);
    EXPECT_EQ(loaded.welcomeMsg, "Hi,\nwelcome");
    EXPECT_EQ(loaded.useTls, 1);
    EXPECT_EQ(loaded.caFile, "/etc/olvex/ca chain.pem");
    EXPECT_EQ(loaded.historyDays, 90);
    EXPECT_EQ(loaded.visitorHints, 0);
}

TEST_F(AgentSettingsTest, PasswordReachesTheDiskOnlyWhenRemembered) {
    AgentSettings settings;
    settings.username = "ann";
    settings.password = "secret";
    settings.saveLogin = 0;
    ASSERT_EQ(settings.Save(), 0);
    EXPECT_EQ(settings.password, "secret"); // still there for this run's logins
    EXPECT_EQ(Store().value(QStringLiteral("Password")).toString(), QString());
    EXPECT_EQ(AgentSettings().password, "");

    settings.saveLogin = 2; // only exactly 1 counts as on
    ASSERT_EQ(settings.Save(), 0);
    EXPECT_EQ(AgentSettings().password, "");

    settings.saveLogin = 1;
    ASSERT_EQ(settings.Save(), 0);
    EXPECT_EQ(AgentSettings().password, "secret");
}

TEST_F(AgentSettingsTest, FileHoldingAPasswordIsForTheUserAlone) {
    const QString folder = test::ConfigHome() + QStringLiteral("/Olvex");
    const QString file = folder + QStringLiteral("/Agent.conf");
    const auto mode = [](const QString& path) {
        struct stat info {};
        return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 0777 : 0;
    };
    // No secret store answers here: the file keeps the password, private from the start.
    AgentSettings settings;
    settings.password = "pw";
    settings.saveLogin = 1;
    ASSERT_EQ(settings.Save(), 0);
    EXPECT_EQ(mode(file), 0600u);
    EXPECT_EQ(mode(folder), 0700u);
    EXPECT_EQ(AgentSettings().password, "pw");

    // One left readable by others is shut at start.
    ::chmod(QFile::encodeName(file).constData(), 0644);
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    EXPECT_EQ(AgentSettings().password, "pw");
    EXPECT_EQ(mode(file), 0600u);
    EXPECT_EQ(mode(folder), 0700u);
}

TEST_F(AgentSettingsTest, StoredValuesAreCheckedWhenRead) {
    {
        QSettings store = Store();
        store.setValue(QStringLiteral("Username"), QString(50, QLatin1Char('u')));
        store.setValue(QStringLiteral("WelcomeMsg"), QString(250, QLatin1Char('w')));
        // 38 letters then a character outside the basic plane: never cut in two.
        store.setValue(QStringLiteral("Password"), QString(38, QLatin1Char('p')) +
                                                       QString::fromUtf8("\xF0\x9F\x98\x80") +
                                                       QStringLiteral("tail"));
        store.setValue(QStringLiteral("ServerAddress"),
                       QStringLiteral("host") + QChar(0) + QStringLiteral("hidden"));
        store.setValue(QStringLiteral("ServerPort"), QStringLiteral("not a number"));
        store.setValue(QStringLiteral("NotifySound"), 2);
        store.setValue(QStringLiteral("Reconnect"), 2);
    }
    const AgentSettings settings;
    EXPECT_EQ(settings.username, std::string(39, 'u'));
    EXPECT_EQ(settings.welcomeMsg, std::string(199, 'w'));
    EXPECT_EQ(settings.password, std::string(38, 'p'));
    EXPECT_EQ(settings.serverAddress, "host");
    EXPECT_EQ(settings.serverPort, 2020);
    EXPECT_TRUE(settings.NotifySoundOn());
    EXPECT_FALSE(AgentSettings::IsOn(settings.reconnect));
    EXPECT_EQ(settings.notifyTimeout, 60); // missing value keeps its default
}

TEST_F(AgentSettingsTest, UnusableStoreIsReported) {
    // A directory where the file should be: neither readable nor writable as settings.
    ASSERT_TRUE(QDir().mkpath(test::ConfigHome() + QStringLiteral("/Olvex/Agent.conf")));
    AgentSettings settings;
    settings.username = "kept";
    EXPECT_EQ(settings.Save(), -1);
    EXPECT_EQ(settings.username, "kept");
    EXPECT_EQ(settings.serverPort, 2020);
}

TEST_F(AgentSettingsTest, CommandLineServerIsNotWrittenUnlessChanged) {
    AgentSettings settings;
    settings.serverAddress = "stored.example.test";
    settings.serverPort = 1111;
    ASSERT_EQ(settings.Save(), 0);

    settings.OverrideServer("127.0.0.1", 2020);
    EXPECT_EQ(settings.serverAddress, "127.0.0.1");
    settings.username = "bob";
    ASSERT_EQ(settings.Save(), 0);
    AgentSettings reloaded;
    EXPECT_EQ(reloaded.serverAddress, "stored.example.test");
    EXPECT_EQ(reloaded.serverPort, 1111);
    EXPECT_EQ(reloaded.username, "bob");

    settings.serverAddress = "typed.example.test"; // changed in the Options dialog
    ASSERT_EQ(settings.Save(), 0);
    reloaded.Load();
    EXPECT_EQ(reloaded.serverAddress, "typed.example.test");
    EXPECT_EQ(reloaded.serverPort, 1111);
}

} // namespace
} // namespace olvex
