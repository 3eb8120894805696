#include "agent_settings.h"
#include "console_test_helpers.h"
#include "desktop_services.h"
#include "login_dialog.h"
#include "options_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace olvex {
namespace {

struct FakeAutostart : SessionAutostart {
    int32_t Set(bool on) override {
        switched.push_back(on);
        return 0;
    }
    bool IsOn() const override { return !switched.empty() && switched.back(); }
    std::vector<bool> switched;
};

struct FakeIdle : IdleSource {
    std::optional<IdleSample> Sample() override { return std::nullopt; }
    QString Description() const override { return QStringLiteral("X11 screen saver extension"); }
};

// KWin's screen saver service: the lock, but GetSessionIdleTime answers NotSupported.
struct LockOnly : FakeIdle {
    QString IdleFrom() const override { return {}; }
    QString LockFrom() const override { return QStringLiteral("session screen saver"); }
};

class SettingsDialogsTest : public ::testing::Test {
protected:
    SettingsDialogsTest() {
        DesktopServices::Parts parts;
        parts.autostart = std::make_unique<FakeAutostart>();
        autostart = static_cast<FakeAutostart*>(parts.autostart.get());
        desktop = std::make_unique<DesktopServices>(std::move(parts));
    }
    void SetUp() override { test::ForgetStoredState(); }
    void TearDown() override { test::ForgetStoredState(); }

    template <typename T> static T* Child(QWidget& dialog, const char* name) {
        T* child = dialog.findChild<T*>(QLatin1String(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    static QPushButton* OkButton(QWidget& dialog) {
        return dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    }

    test::UiRecorder ui;
    FakeAutostart* autostart = nullptr;
    std::unique_ptr<DesktopServices> desktop;
};

TEST_F(SettingsDialogsTest, OptionsShowTheRecord) {
    AgentSettings settings;
    settings.serverPort = 3000;
    settings.reconnect = 2;   // not exactly 1: shown clear
    settings.notifySound = 5; // any non-zero sound switch is on
    OptionsDialog dialog(settings, *desktop);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Olvex Options"));
    EXPECT_EQ(Child<QLineEdit>(dialog, "serverPort")->text(), QStringLiteral("3000"));
    EXPECT_FALSE(Child<QCheckBox>(dialog, "reconnect")->isChecked());
    EXPECT_TRUE(Child<QCheckBox>(dialog, "notifySound")->isChecked());
    EXPECT_TRUE(Child<QCheckBox>(dialog, "showHints")->isChecked());
}

TEST_F(SettingsDialogsTest, OptionsKeepAutoAwayAndTheEventSounds) {
    // No idle source: the field is off, Options says why, and OK keeps the stored minutes.
    AgentSettings settings;
    settings.autoAwayMinutes = 7;
    {
        OptionsDialog dialog(settings, *desktop);
        EXPECT_FALSE(Child<QLineEdit>(dialog, "autoAwayMinutes")->isEnabled());
        EXPECT_TRUE(Child<QLabel>(dialog, "autoAwayNote")->text().contains("never changed"));
        Child<QCheckBox>(dialog, "visitorSound")->setChecked(true);
        Child<QCheckBox>(dialog, "lineSound")->setChecked(false);
        // Visitors' notifications belong to the notifications switch.
        QCheckBox* visitorHints = Child<QCheckBox>(dialog, "visitorHints");
        EXPECT_TRUE(visitorHints->isChecked());
        Child<QCheckBox>(dialog, "showHints")->setChecked(false);
        EXPECT_FALSE(visitorHints->isEnabled());
        Child<QCheckBox>(dialog, "showHints")->setChecked(true);
        visitorHints->setChecked(false);
        OkButton(dialog)->click();
    }
    AgentSettings stored;
    EXPECT_EQ(stored.visitorHints, 0);
    EXPECT_EQ(stored.showHints, 1);
    EXPECT_EQ(stored.autoAwayMinutes, 7);
    EXPECT_EQ(stored.visitorSound, 1);
    EXPECT_EQ(stored.lineSound, 0);

    DesktopServices::Parts parts;
    parts.idle = std::make_unique<FakeIdle>();
    DesktopServices withIdle(std::move(parts));
    {
        OptionsDialog dialog(settings, withIdle);
        QLineEdit* minutes = Child<QLineEdit>(dialog, "autoAwayMinutes");
        EXPECT_EQ(minutes->text(), QStringLiteral("7"));
        minutes->setText(QStringLiteral("0"));
        OkButton(dialog)->click();
    }
    EXPECT_EQ(AgentSettings().autoAwayMinutes, 0);
}

TEST_F(SettingsDialogsTest, ALockWithoutIdleTimeIsNotClaimedAsIdleTime) {
    DesktopServices::Parts parts;
    parts.idle = std::make_unique<LockOnly>();
    DesktopServices lockOnly(std::move(parts));
    AgentSettings settings;
    OptionsDialog dialog(settings, lockOnly);
    EXPECT_FALSE(Child<QLineEdit>(dialog, "autoAwayMinutes")->isEnabled());
    const QString note = Child<QLabel>(dialog, "autoAwayNote")->text();
    EXPECT_TRUE(note.contains("no idle time")) << note.toStdString();
    EXPECT_FALSE(note.startsWith("Idle time from")) << note.toStdString();
}

// Small screens and large fonts: OK and Cancel on screen, the note wrapped and whole.
TEST_F(SettingsDialogsTest, OptionsFitTheScreenWithALargeFont) {
    const QFont before = QApplication::font();
    QFont large = before;
    large.setPointSize(16);
    QApplication::setFont(large);
    AgentSettings settings;
    {
        OptionsDialog dialog(settings, *desktop);
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        const QRect screen = dialog.screen()->availableGeometry();
        EXPECT_LE(dialog.height(), screen.height());
        EXPECT_LE(dialog.width(), screen.width());
        QPushButton* ok = OkButton(dialog);
        EXPECT_TRUE(dialog.rect().contains(QRect(ok->mapTo(&dialog, QPoint()), ok->size())));
        QLabel* note = Child<QLabel>(dialog, "autoAwayNote");
        EXPECT_GE(note->height(), note->heightForWidth(note->width()));
        EXPECT_LE(note->width(), dialog.width());
    }
    QApplication::setFont(before);
}

TEST_F(SettingsDialogsTest, OptionsRefuseAPortOrTimeoutWithoutAPositiveLeadingNumber) {
    AgentSettings settings;
    struct Case {
        const char* port;
        const char* timeout;
        const char* message;
    };
    const Case refused[] = {
        {"0", "60", "The server port must be a valid number."},
        {"", "60", "The server port must be a valid number."},
        {"70000", "60", "The server port must be a valid number."},
        {"2020", "0", "The alert timeout must be a valid number."},
        {"2020", "", "The alert timeout must be a valid number."},
    };
    for (const Case& c : refused) {
        OptionsDialog dialog(settings, *desktop);
        Child<QLineEdit>(dialog, "serverAddress")->setText(QStringLiteral("changed"));
        Child<QLineEdit>(dialog, "serverPort")->setText(QLatin1String(c.port));
        Child<QLineEdit>(dialog, "notifyTimeout")->setText(QLatin1String(c.timeout));
        ui.messages.clear();
        dialog.accept();
        EXPECT_NE(dialog.result(), QDialog::Accepted) << c.port << "/" << c.timeout;
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0], QLatin1String(c.message));
        EXPECT_NE(settings.serverAddress, "changed");
    }
}

TEST_F(SettingsDialogsTest, OptionsOkStoresSavesAndSwitchesTheAutostart) {
    AgentSettings settings;
    {
        OptionsDialog dialog(settings, *desktop);
        Child<QLineEdit>(dialog, "serverAddress")->setText(QString());
        Child<QLineEdit>(dialog, "serverPort")->setText(QStringLiteral("8081abc"));
        Child<QLineEdit>(dialog, "notifyTimeout")->setText(QStringLiteral("30"));
        Child<QLineEdit>(dialog, "historyDays")->setText(QStringLiteral("14"));
        Child<QCheckBox>(dialog, "autoRun")->setChecked(true);
        Child<QCheckBox>(dialog, "reconnect")->setChecked(false);
        EXPECT_FALSE(Child<QLineEdit>(dialog, "caFile")->isEnabled());
        Child<QCheckBox>(dialog, "useTls")->setChecked(true);
        Child<QLineEdit>(dialog, "caFile")->setText(QStringLiteral(" /tmp/ca.pem "));
        Child<QPlainTextEdit>(dialog, "welcomeMsg")->setPlainText(QStringLiteral("Hi\nthere"));
        dialog.accept();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(settings.serverAddress, ""); // not validated
    EXPECT_EQ(settings.serverPort, 8081);
    EXPECT_EQ(settings.notifyTimeout, 30);
    EXPECT_EQ(settings.autoRun, 1);
    EXPECT_EQ(settings.reconnect, 0);
    const AgentSettings saved;
    EXPECT_EQ(saved.serverPort, 8081);
    EXPECT_EQ(saved.welcomeMsg, "Hi\nthere");
    EXPECT_EQ(saved.useTls, 1);
    EXPECT_EQ(saved.caFile, "/tmp/ca.pem");
    EXPECT_EQ(saved.historyDays, 14);

    EXPECT_EQ(autostart->switched, std::vector<bool>{true});

    OptionsDialog dialog(settings, *desktop);
    Child<QCheckBox>(dialog, "autoRun")->setChecked(false);
    dialog.accept();
    EXPECT_EQ(autostart->switched, (std::vector<bool>{true, false}));
}

TEST_F(SettingsDialogsTest, OptionsStayOpenWhenTheStoreCannotBeWritten) {
    AgentSettings settings;
    ASSERT_TRUE(QDir().mkpath(test::ConfigHome() + QStringLiteral("/Olvex/Agent.conf")));
    OptionsDialog dialog(settings, *desktop);
    Child<QLineEdit>(dialog, "serverPort")->setText(QStringLiteral("9999"));
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(ui.messages[0].startsWith(
        QStringLiteral("There was an error while saving the Olvex settings")));
    EXPECT_EQ(settings.serverPort, 9999); // the record already holds the new values
}

TEST_F(SettingsDialogsTest, LoginOkNeedsBothEdits) {
    AgentSettings settings;
    settings.username = "ann";
    settings.password = "kept";
    settings.saveLogin = 0;
    LoginDialog dialog(settings);
    auto* username = Child<QLineEdit>(dialog, "username");
    auto* password = Child<QLineEdit>(dialog, "password");
    EXPECT_EQ(username->text(), QStringLiteral("ann"));
    EXPECT_EQ(password->text(), QString()); // not remembered: not shown
    EXPECT_FALSE(Child<QCheckBox>(dialog, "remember")->isChecked());
    EXPECT_FALSE(OkButton(dialog)->isEnabled());
    password->setText(QStringLiteral("x"));
    EXPECT_TRUE(OkButton(dialog)->isEnabled());
    username->clear();
    EXPECT_FALSE(OkButton(dialog)->isEnabled());

    dialog.accept(); // reached through Enter even with OK disabled
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], QStringLiteral("You must type in your username and password to "
                                             "login to the Olvex server."));
    EXPECT_EQ(settings.password, "kept");
}

TEST_F(SettingsDialogsTest, LoginPasswordIsRememberedOnlyWhenTicked) {
    AgentSettings settings;
    {
        LoginDialog dialog(settings);
        Child<QLineEdit>(dialog, "username")->setText(QStringLiteral("ann"));
        Child<QLineEdit>(dialog, "password")->setText(QStringLiteral("pw&1"));
        dialog.accept();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    EXPECT_EQ(settings.password, "pw&1"); // this run logs in with it
    AgentSettings nextRun;
    EXPECT_EQ(nextRun.username, "ann");
    EXPECT_EQ(nextRun.password, "");
    {
        LoginDialog dialog(settings); // same run, box cleared: the password is not shown
        EXPECT_EQ(Child<QLineEdit>(dialog, "password")->text(), QString());
        Child<QLineEdit>(dialog, "password")->setText(QStringLiteral("pw&2"));
        Child<QCheckBox>(dialog, "remember")->setChecked(true);
        dialog.accept();
    }
    LoginDialog remembered(nextRun = AgentSettings());
    EXPECT_EQ(nextRun.password, "pw&2");
    EXPECT_EQ(Child<QLineEdit>(remembered, "password")->text(), QStringLiteral("pw&2"));
    EXPECT_TRUE(Child<QCheckBox>(remembered, "remember")->isChecked());
    EXPECT_TRUE(OkButton(remembered)->isEnabled());
}

TEST_F(SettingsDialogsTest, LoginLinkOpensTheRegistrationPage) {
    AgentSettings settings;
    LoginDialog dialog(settings);
    auto* link = Child<HyperlinkLabel>(dialog, "newAccount");
    EXPECT_EQ(link->text(), QStringLiteral("Click here to create a new Olvex account!"));
    link->Click();
    ASSERT_EQ(ui.opened.size(), 1u);
    EXPECT_TRUE(ui.opened[0].endsWith(QStringLiteral("/OlvexRegistrationFrm.asp")));
}

} // namespace
} // namespace olvex
