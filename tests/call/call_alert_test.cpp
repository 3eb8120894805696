#include "agent_client.h"
#include "agent_settings.h"
#include "alert_key_guard.h"
#include "alert_sound.h"
#include "alert_sound_wave.h"
#include "alert_stack.h"
#include "call_alert_dialog.h"
#include "call_window_list.h"
#include "flat_button.h"
#include "message_box.h"
#include "profile_file.h"
#include "window_placement_store.h"

#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QRegularExpression>
#include <QSettings>
#include <QTextEdit>
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
    // An accepted call fails to connect and says so in a box: answered here, never shown.
    void SetUp() override {
        SetMessageBoxHook([this](QWidget*, QMessageBox::Icon, const QString&, const QString& text,
                                 QMessageBox::StandardButtons) {
            boxes << text;
            return QMessageBox::Ok;
        });
    }
    void TearDown() override {
        SetMessageBoxHook({});
        for (QWidget* window : list.Windows())
            delete window;
        AlertSound::Shared().Stop();
    }
    CallAlertDialog* NewAlert(int32_t callId, const QString& text = "You have a call.") {
        return new CallAlertDialog(settings, text, callId, list, &engine);
    }

    QStringList boxes;
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
    // A screen reader hears it as an alert, with who is calling, not only "a call request".
    QAccessibleInterface* read = QAccessible::queryAccessibleInterface(alert.data());
    EXPECT_EQ(read->role(), QAccessible::AlertMessage);
    EXPECT_TRUE(read->text(QAccessible::Description).contains("<b>Eve</b>"));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(message)->text(QAccessible::Name),
              message->text());
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
}

// Keys as the platform delivers them to a focused window.
void Key(QWidget& target, QEvent::Type type, int key, bool autoRepeat = false) {
    QKeyEvent event(type, key, Qt::NoModifier, QString(), autoRepeat);
    QCoreApplication::sendEvent(target.focusWidget() ? target.focusWidget() : &target, &event);
}
void Tap(QWidget& target, int key) {
    Key(target, QEvent::KeyPress, key);
    Key(target, QEvent::KeyRelease, key);
}

// As on a desktop that focuses every new window: the alert has the keyboard while the
// operator goes on typing.
TEST_F(CallAlertTest, KeysCountOnlyFromASecondOnAndOnlyWhenPressedAfterItAppeared) {
    int64_t now = 5000;
    QPointer<CallAlertDialog> alert = NewAlert(20);
    alert->SetClock([&now] { return now; });
    alert->activateWindow();
    QApplication::setActiveWindow(alert);

    // The words of another program: Enter, Space and Escape do nothing for a second.
    for (int key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        Tap(*alert, key);
        now += 240;
    }
    // Held from before the second was up: neither its repeats nor its late release count.
    Key(*alert, QEvent::KeyPress, Qt::Key_Return);
    Key(*alert, QEvent::KeyPress, Qt::Key_Space);
    now = 6200;
    Key(*alert, QEvent::KeyPress, Qt::Key_Return, true);
    Key(*alert, QEvent::KeyPress, Qt::Key_Space, true);
    Key(*alert, QEvent::KeyRelease, Qt::Key_Space);
    Key(*alert, QEvent::KeyRelease, Qt::Key_Return);
    QCoreApplication::processEvents();
    ASSERT_TRUE(alert);
    EXPECT_TRUE(alert->isVisible());
    EXPECT_TRUE(list.Windows().empty());

    // Focused late (mapped late by the window system): its second starts again then.
    now = 6500;
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(alert, &activate);
    now += 900;
    Tap(*alert, Qt::Key_Return);
    QCoreApplication::processEvents();
    ASSERT_TRUE(alert);
    EXPECT_TRUE(list.Windows().empty());
    // The operator turning to it later is not the window system: keys count at once.
    now = 9000;
    QCoreApplication::sendEvent(alert, &activate);

    // A deliberate Enter: one call window, however many Enters follow.
    for (int i = 0; i < 4 && alert; ++i)
        Tap(*alert, Qt::Key_Return);
    ASSERT_TRUE(alert);
    alert->Accept();
    EXPECT_EQ(list.Windows().size(), 1u);
    ASSERT_TRUE(QTest::qWaitFor([&] { return alert.isNull(); }, 2000));
    QTest::qWait(100);
    EXPECT_EQ(list.Windows().size(), 1u);
    EXPECT_LE(boxes.size(), 1) << "one join, so at most one failure to show";
}

TEST_F(CallAlertTest, AClickCountsAtOnceAndASecondAlertOfAnOpenCallJoinsNothing) {
    QPointer<CallAlertDialog> first = NewAlert(21);
    first->findChild<FlatButton*>("acceptButton")->click();
    ASSERT_EQ(list.Windows().size(), 1u);
    QWidget* window = list.Windows().front();
    // The server asks again for the same call while its window connects.
    QPointer<CallAlertDialog> again = NewAlert(21);
    again->findChild<FlatButton*>("acceptButton")->click();
    EXPECT_EQ(list.Windows(), std::vector<QWidget*>{window});
    EXPECT_EQ(again->AcceptedWindow(), window);
    ASSERT_TRUE(QTest::qWaitFor([&] { return first.isNull() && again.isNull(); }, 2000));
}

TEST_F(CallAlertTest, SeveralAlertsStandApartOldestFirstAndOnlyTheFirstKeepsItsPlace) {
    QPointer<CallAlertDialog> a = NewAlert(31);
    a->move(200, 150);
    WindowPlacementStore().SaveWindowPlacement(*a, "AlertWindow");
    const QRect remembered = a->geometry();
    delete a.data();
    std::vector<QPointer<CallAlertDialog>> alerts;
    for (int id : {32, 33, 34})
        alerts.emplace_back(NewAlert(id));
    EXPECT_EQ(alerts[0]->geometry().topLeft(), remembered.topLeft());
    for (size_t i = 0; i < alerts.size(); ++i) {
        EXPECT_EQ(alerts[i]->Slot(), int(i));
        for (size_t j = i + 1; j < alerts.size(); ++j)
            EXPECT_FALSE(alerts[i]->geometry().intersects(alerts[j]->geometry()));
    }
    EXPECT_EQ(CallAlertDialog::OpenAlerts(),
              (std::vector<CallAlertDialog*>{alerts[0], alerts[1], alerts[2]}));
    // The first goes: a newcomer queues after the others rather than jumping ahead of them.
    alerts[0]->Cancel();
    QPointer<CallAlertDialog> late = NewAlert(35);
    EXPECT_EQ(late->Slot(), 3);
    for (auto& alert : alerts)
        delete alert.data();
    delete late.data();
    QSettings profile(ProfileFilePath(), QSettings::IniFormat);
    EXPECT_EQ(profile.value("AlertWindow/Left").toInt(), remembered.left());
}

TEST(AlertStack, SlotsFollowTheLastAndFillGapsOnlyWhenTheScreenIsFull) {
    using namespace alert_stack;
    EXPECT_EQ(NextSlot({}, 4), 0);
    EXPECT_EQ(NextSlot({0, 1}, 4), 2);
    EXPECT_EQ(NextSlot({2}, 4), 3);
    EXPECT_EQ(NextSlot({1, 3}, 4), 0);
    EXPECT_EQ(NextSlot({0, 1, 2, 3}, 4), 4);

    const QRect screen(0, 0, 1000, 700);
    // Top right: a column downwards, the next one to its left.
    const QRect topRight(700, 20, 280, 100);
    EXPECT_EQ(Capacity(topRight, screen), 6 * 3);
    EXPECT_EQ(SlotPosition(topRight, screen, 1), QPoint(700, 20 + 100 + kGap));
    EXPECT_EQ(SlotPosition(topRight, screen, 6), QPoint(700 - 280 - kGap, 20));
    // Bottom left: upwards, then to the right.
    const QRect bottomLeft(10, 580, 280, 100);
    EXPECT_EQ(SlotPosition(bottomLeft, screen, 1), QPoint(10, 580 - 100 - kGap));
    // A full screen draws over the first ones, a step further each time round.
    const QRect big(0, 0, 900, 600);
    EXPECT_EQ(Capacity(big, screen), 1);
    EXPECT_EQ(SlotPosition(big, screen, 2), QPoint(2 * kOverflowStep, 2 * kOverflowStep));
}

TEST_F(CallAlertTest, SaysHowLongTheRequestHasWaitedAfterTenSeconds) {
    EXPECT_EQ(WaitingText(10000), "");
    EXPECT_EQ(WaitingText(25400), "waiting 25 s");
    EXPECT_EQ(WaitingText(150000), "waiting 2 min");
    int64_t now = 0;
    QPointer<CallAlertDialog> alert = NewAlert(40);
    alert->SetClock([&now] { return now; });
    auto* waiting = alert->findChild<QLabel*>("waiting");
    ASSERT_TRUE(waiting);
    const QSize size = alert->size();
    now = 25000;
    alert->UpdateWaiting();
    EXPECT_EQ(waiting->text(), "waiting 25 s");
    EXPECT_EQ(alert->size(), size) << "the alert does not grow under the operator's mouse";
    delete alert.data();
}

} // namespace

TEST_F(CallAlertTest, TheVisitorsWordsStandUnderTheSentenceAndOpenTheCallWindow) {
    const QString sentence = "You have received an Olvex call request from Ann.";
    QPointer<CallAlertDialog> alert =
        new CallAlertDialog(settings, sentence, 14, list, &engine, "<b>I cannot</b> pay");
    alert->SetVisitorName("Ann");
    EXPECT_EQ(alert->findChild<QLabel*>("message")->text(), sentence);
    auto* opening = alert->findChild<QLabel*>("opening");
    ASSERT_NE(opening, nullptr);
    EXPECT_TRUE(opening->isVisible());
    EXPECT_EQ(opening->textFormat(), Qt::PlainText);
    EXPECT_TRUE(opening->text().contains("<b>I cannot</b> pay"));
    alert->findChild<FlatButton*>("acceptButton")->click();
    ASSERT_EQ(list.Windows().size(), 1u);
    auto* transcript = list.Windows().front()->findChild<QTextEdit*>("transcript");
    ASSERT_NE(transcript, nullptr);
    // The words come first, from the visitor, even though this call fails to connect.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return transcript->toPlainText().contains(
                QRegularExpression("^\\d\\d:\\d\\d Ann:\n<b>I cannot</b> pay\n"));
        },
        5000))
        << transcript->toPlainText().toStdString();

    // Without words there is no second label to read.
    QPointer<CallAlertDialog> plain = NewAlert(15);
    EXPECT_FALSE(plain->findChild<QLabel*>("opening")->isVisible());
    delete plain.data();
}
