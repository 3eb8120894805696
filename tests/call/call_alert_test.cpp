#include "agent_client.h"
#include "agent_settings.h"
#include "alert_sound.h"
#include "alert_sound_wave.h"
#include "call_alert_dialog.h"
#include "call_window_list.h"
#include "flat_button.h"
#include "message_box.h"
#include "profile_file.h"

#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QSettings>
#include <QTest>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>

using namespace olvex;

namespace {

uint32_t Le(const QByteArray& bytes, int at, int size) {
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | static_cast<uint8_t>(bytes[at + i]);
    return value;
}

class CallAlertTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (QWidget* window : list.Windows())
            delete window;
        AlertSound::Shared().Stop();
    }
    CallAlertDialog* NewAlert(int32_t callId, const QString& text = "You have a call.") {
        return new CallAlertDialog(settings, text, callId, list, &engine);
    }

    AgentSettings settings{QStringLiteral("OlvexTest/Alert")};
    CallWindowList list;
    AgentClient engine; // not logged in: an accepted call fails to connect
};

TEST(AlertSoundWave, IsTheCompiledInChimeInTheAgreedFormat) {
    QFile file(":/call/alert.wav");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray wave = file.readAll();
    EXPECT_EQ(wave.size(), 44 + 38886);
    EXPECT_EQ(wave.left(4), "RIFF");
    EXPECT_EQ(Le(wave, 4, 4), uint32_t(wave.size() - 8));
    EXPECT_EQ(wave.mid(8, 8), "WAVEfmt ");
    EXPECT_EQ(Le(wave, 20, 2), 1u);     // PCM
    EXPECT_EQ(Le(wave, 22, 2), 1u);     // mono
    EXPECT_EQ(Le(wave, 24, 4), 22050u); // samples per second
    EXPECT_EQ(Le(wave, 34, 2), 16u);    // bits
    EXPECT_EQ(wave.mid(36, 4), "data");
    EXPECT_EQ(Le(wave, 40, 4), 38886u);
    EXPECT_EQ(QByteArray::fromStdString(MakeAlertWave()), wave);

    // Loud in the middle, silent at both ends so the loop does not click.
    auto sample = [&](size_t i) { return int16_t(Le(wave, int(44 + 2 * i), 2)); };
    int peak = 0;
    for (size_t i = 0; i < kAlertSampleCount; ++i)
        peak = std::max(peak, std::abs(int(sample(i))));
    EXPECT_GT(peak, 8000);
    EXPECT_EQ(sample(0), 0);
    EXPECT_LT(std::abs(int(sample(kAlertSampleCount - 1))), 50);
}

TEST_F(CallAlertTest, ShowsTheTextInATopmostToolWindowWithoutASystemMenu) {
    QPointer<CallAlertDialog> alert =
        NewAlert(5, "You have received an Olvex call request from <b>Eve</b>.");
    EXPECT_TRUE(alert->isVisible());
    EXPECT_EQ(alert->windowTitle(), "Olvex Call");
    EXPECT_TRUE(alert->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(alert->windowFlags() & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_FALSE(alert->windowFlags() & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(alert->windowIcon().isNull());
    auto* message = alert->findChild<QLabel*>("message");
    ASSERT_TRUE(message);
    EXPECT_EQ(message->textFormat(), Qt::PlainText);
    EXPECT_EQ(message->text(), "You have received an Olvex call request from <b>Eve</b>.");
    EXPECT_TRUE(alert->findChild<FlatButton*>("acceptButton")->isDefault());
    alert->Cancel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return alert.isNull(); }, 2000));
    EXPECT_TRUE(list.Windows().empty());
}

TEST_F(CallAlertTest, OneSoundForAllAlertsAndOnlyWhileTheSwitchIsOn) {
    settings.notifySound = 2; // any value but 0 rings
    QPointer<CallAlertDialog> first = NewAlert(1);
    QPointer<CallAlertDialog> second = NewAlert(2);
    EXPECT_TRUE(AlertSound::Shared().IsPlaying());
    first->Cancel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return first.isNull(); }, 2000));
    EXPECT_FALSE(AlertSound::Shared().IsPlaying()) << "closing one alert silences all";

    settings.notifySound = 0;
    QPointer<CallAlertDialog> quiet = NewAlert(3);
    EXPECT_FALSE(AlertSound::Shared().IsPlaying());
    AlertSound::Shared().Play(); // as if a ringing alert were still open
    quiet->Cancel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return quiet.isNull(); }, 2000));
    EXPECT_TRUE(AlertSound::Shared().IsPlaying()) << "a silent alert stops no sound";
    delete second.data();
}

TEST_F(CallAlertTest, TimesOutAndSavesItsPlacement) {
    settings.notifyTimeout = 1;
    QPointer<CallAlertDialog> alert = NewAlert(9);
    EXPECT_EQ(alert->TimeoutMs(), 1000);
    alert->move(33, 44);
    const QRect where = alert->geometry();
    ASSERT_TRUE(QTest::qWaitFor([&] { return alert.isNull(); }, 4000));
    QSettings profile(ProfileFilePath(), QSettings::IniFormat);
    EXPECT_EQ(profile.value("AlertWindow/Show").toInt(), 1);
    EXPECT_EQ(profile.value("AlertWindow/Left").toInt(), where.left());
    EXPECT_EQ(profile.value("AlertWindow/Top").toInt(), where.top());

    // The next alert opens where the last one was.
    QPointer<CallAlertDialog> next = NewAlert(10);
    EXPECT_EQ(next->geometry().topLeft(), where.topLeft());
    delete next.data();
}

TEST_F(CallAlertTest, UnusableTimeoutsFallBackOrAreCut) {
    QPointer<CallAlertDialog> alert = NewAlert(11);
    settings.notifyTimeout = 0;
    EXPECT_EQ(alert->TimeoutMs(), 60000);
    settings.notifyTimeout = -5;
    EXPECT_EQ(alert->TimeoutMs(), 60000);
    settings.notifyTimeout = std::numeric_limits<int32_t>::max();
    EXPECT_EQ(alert->TimeoutMs(), std::numeric_limits<int>::max());
    delete alert.data();
}

TEST_F(CallAlertTest, AcceptOpensTheCallWindowInTheList) {
    QStringList boxes;
    SetMessageBoxHook([&boxes](QWidget*, QMessageBox::Icon, const QString&, const QString& text,
                               QMessageBox::StandardButtons) {
        boxes << text;
        return QMessageBox::Ok;
    });
    QPointer<CallAlertDialog> alert = NewAlert(12);
    alert->findChild<FlatButton*>("acceptButton")->click();
    ASSERT_EQ(list.Windows().size(), 1u);
    QWidget* window = list.Windows().front();
    ASSERT_TRUE(QTest::qWaitFor([&] { return alert.isNull(); }, 2000));
    // Not logged in: the window shows why it could not connect.
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return window->windowTitle() == "Olvex Call - Error"; }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !boxes.isEmpty(); }, 2000));
    EXPECT_TRUE(boxes.value(0).startsWith("Failed to start the chat.\r\n"));
    SetMessageBoxHook({});
}

} // namespace
