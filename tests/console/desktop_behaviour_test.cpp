#include "about_dialog.h"
#include "agent_client.h"
#include "c_url_dlg.h"
#include "console_engine.h"
#include "console_test_helpers.h"
#include "console_tray.h"
#include "desktop_services.h"
#include "flat_button.h"
#include "info_tips.h"
#include "invite_operator_dialog.h"
#include "message_box.h"
#include "operator_console.h"
#include "operator_list_view.h"
#include "page_list_view.h"

#include <QAccessible>
#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <gtest/gtest.h>

namespace olvex {
namespace {

using Button = OperatorConsole::Button;

// A panel that the test puts up and takes down.
struct FakeTray : TrayPresence {
    explicit FakeTray(const bool& shown) : up(shown) {}
    bool TrayAvailable() override { return up; }
    const bool& up;
};

DesktopServices::Parts WithTray(const bool& up) {
    DesktopServices::Parts parts;
    parts.tray = std::make_unique<FakeTray>(up);
    return parts;
}

struct DesktopBehaviourTest : ::testing::Test {
    DesktopBehaviourTest() {
        test::ForgetStoredState();
        bridge->SetDialogRunner([](QDialog&) { return int(QDialog::Rejected); });
    }
    ~DesktopBehaviourTest() override { test::ForgetStoredState(); }

    QStringList MenuTexts() {
        QStringList texts;
        for (QAction* action : bridge->Tray().Menu().actions()) {
            if (!action->isSeparator())
                texts << action->text();
        }
        return texts;
    }
    QAction* MenuEntry(const QString& text) {
        for (QAction* action : bridge->Tray().Menu().actions()) {
            if (action->text() == text)
                return action;
        }
        return nullptr;
    }

    bool trayUp = true;
    AgentClient engine;
    DesktopServices desktop{WithTray(trayUp)};
    OperatorConsole console{desktop, false};
    ConsoleEngine* bridge = new ConsoleEngine(console, engine);
};

// Most panels report a click as a single activation; either kind brings the console back.
TEST_F(DesktopBehaviourTest, TrayClickRestoresTheConsoleAndTheMenuCarriesItsCommands) {
    ConsoleTray& tray = bridge->Tray();
    ASSERT_TRUE(tray.Shown());
    for (auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick}) {
        console.show();
        console.showMinimized();
        ASSERT_TRUE(QTest::qWaitFor([&] { return console.isHidden(); }, 2000));
        emit tray.Icon()->activated(reason);
        EXPECT_TRUE(console.isVisible());
        EXPECT_FALSE(console.isMinimized());
    }

    EXPECT_EQ(MenuTexts(), (QStringList{"Show Olvex", "Online", "Busy", "Away", "Log in", "History",
                                        "About Olvex", "Quit"}));
    EXPECT_EQ(tray.Icon()->contextMenu(), &tray.Menu());
    emit tray.Menu().aboutToShow();
    EXPECT_FALSE(MenuEntry("Online")->isEnabled()); // as the Status button, logged out
    QSignalSpy login(&console, &OperatorConsole::LoginRequested);
    QSignalSpy logout(&console, &OperatorConsole::LogoutRequested);
    MenuEntry("Log in")->trigger();
    EXPECT_EQ(login.count(), 1);
    console.SetLoggedInButtons(true);
    emit tray.Menu().aboutToShow();
    ASSERT_TRUE(MenuEntry("Log out"));
    QSignalSpy status(&console, &OperatorConsole::StatusRequested);
    MenuEntry("Busy")->trigger();
    MenuEntry("Log out")->trigger();
    EXPECT_EQ(status.count(), 1);
    EXPECT_EQ(status.at(0).at(0).toInt(), OperatorConsole::kStatusBusy);
    EXPECT_EQ(logout.count(), 1);

    QSignalSpy closed(&console, &OperatorConsole::Closed);
    console.hide();
    MenuEntry("Quit")->trigger();
    EXPECT_EQ(closed.count(), 1);
}

// A notification service that records what it is given and hands out activation tokens.
struct FakeNotifications : Notifications {
    bool Available() const override { return true; }
    int Notify(const Note& note) override {
        notes.push_back(note);
        return int(notes.size());
    }
    void Close(int) override {}
    QString TakeActivationToken(int handle) override {
        return QStringLiteral("token-%1").arg(handle);
    }
    std::vector<Note> notes;
};

struct RecordingActivation : WindowActivation {
    using WindowActivation::BringToFront;
    void BringToFront(QWidget& window, const QString& token) override {
        brought.emplace_back(&window, token);
    }
    bool CanPlaceWindows() const override { return false; }
    std::vector<std::pair<QWidget*, QString>> brought;
};

// Tray messages bypass the tray item where a notification service answers (hosts swap the
// icon for a stock one after each), and the token of a click on a notification reaches
// the window it brings back.
TEST(DesktopTokens, TrayMessagesGoToTheServiceAndAClickCarriesItsTokenToTheConsole) {
    test::ForgetStoredState();
    bool up = true;
    DesktopServices::Parts parts = WithTray(up);
    auto notifications = std::make_unique<FakeNotifications>();
    auto activation = std::make_unique<RecordingActivation>();
    FakeNotifications& notes = *notifications;
    RecordingActivation& brought = *activation;
    parts.notifications = std::move(notifications);
    parts.windows = std::move(activation);
    DesktopServices desktop(std::move(parts));
    AgentClient engine;
    OperatorConsole console(desktop, false);
    auto* bridge = new ConsoleEngine(console, engine);
    ASSERT_TRUE(bridge->Tray().ShowMessage("Olvex Notification", "You are now logged in", 11000));
    ASSERT_EQ(notes.notes.size(), 1u);
    EXPECT_EQ(notes.notes[0].body, QStringLiteral("You are now logged in"));

    // A request that runs out while the operator is elsewhere leaves a missed notification.
    console.Settings().notifyTimeout = 1;
    console.ShowCallAlert(5, 1, 1, QStringLiteral("A request"), QStringLiteral("Ann O."));
    ASSERT_TRUE(QTest::qWaitFor([&] { return notes.notes.size() == 3; }, 5000));
    const int missed = int(notes.notes.size());
    console.showMinimized();
    emit desktop.Notifier().ActionInvoked(missed, QStringLiteral("default"));
    ASSERT_FALSE(brought.brought.empty());
    EXPECT_EQ(brought.brought.back().first, &console);
    EXPECT_EQ(brought.brought.back().second, QStringLiteral("token-%1").arg(missed));
    EXPECT_FALSE(console.isMinimized());
    test::ForgetStoredState();
}

// A panel that starts late gets the icon; one that goes away gives the console back.
TEST_F(DesktopBehaviourTest, TrayIsFollowedWhileRunning) {
    ConsoleTray& tray = bridge->Tray();
    trayUp = false;
    tray.CheckTray();
    EXPECT_FALSE(tray.Shown());
    EXPECT_FALSE(console.HidesOnMinimise());
    console.show();
    console.showMinimized();
    QTest::qWait(50);
    EXPECT_FALSE(console.isHidden());

    trayUp = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return tray.Shown(); }, 3 * ConsoleTray::kProbeMs));
    EXPECT_TRUE(console.HidesOnMinimise());
    console.showNormal();
    console.showMinimized();
    ASSERT_TRUE(QTest::qWaitFor([&] { return console.isHidden(); }, 2000));

    trayUp = false;
    tray.CheckTray();
    ASSERT_FALSE(tray.Shown());
    EXPECT_TRUE(console.isVisible());
    EXPECT_FALSE(console.HidesOnMinimise());
}

// Every dialog of the program blocks its own window only: call windows and alerts go on.
TEST_F(DesktopBehaviourTest, DialogsAreModalToTheirOwnWindowOnly) {
    std::vector<Qt::WindowModality> seen;
    int rounds = 0;
    // Closes whichever dialog is open, noting how modal it was.
    std::function<void()> answer = [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            seen.push_back(modal->windowModality());
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
        } else if (++rounds < 200) {
            QTimer::singleShot(5, answer);
        }
    };
    auto run = [&](const std::function<void()>& open) {
        rounds = 0;
        QTimer::singleShot(5, answer);
        open();
    };
    console.show();
    run([&] { console.OpenAbout(); });
    run([&] { console.ButtonOf(Button::Options).click(); });
    run([&] { ShowMessageBox(&console, QStringLiteral("A failure")); });
    QWidget callWindow;
    run([&] { CUrlDlg::Ask(&callWindow, UrlAction::Link); });
    run([&] {
        InviteOperatorDialog invite(std::vector<std::shared_ptr<UserRecord>>{}, 1, &callWindow);
        ExecWindowModal(invite);
    });
    EXPECT_EQ(seen, std::vector<Qt::WindowModality>(5, Qt::WindowModal));
}

TEST_F(DesktopBehaviourTest, CutOffCellsShowTheirWholeTextLiterally) {
    PageListView& pages = console.PageList();
    console.show();
    PageRecord page;
    page.pageId = 1;
    page.visitorNumber = 4;
    page.title = "<b>Big</b> sale on everything in the shop, today only";
    page.url = "http://shop.example/";
    pages.AddOrUpdate(page);
    pages.header()->resizeSection(PageListView::kColumnTitle, 40);
    const QPoint titleCell =
        pages.visualRect(pages.model()->index(0, PageListView::kColumnTitle)).topLeft() +
        QPoint(5, 5);
    const QString tip = InfoTipAt(pages, titleCell);
    EXPECT_TRUE(tip.contains("&lt;b&gt;Big&lt;/b&gt; sale")) << tip.toStdString();
    QHelpEvent hover(QEvent::ToolTip, titleCell, pages.viewport()->mapToGlobal(titleCell));
    QApplication::sendEvent(pages.viewport(), &hover);
    EXPECT_EQ(QToolTip::text(), tip);
    QToolTip::hideText();
    pages.header()->resizeSection(PageListView::kColumnTitle, 1200);
    EXPECT_TRUE(InfoTipAt(pages, titleCell).isEmpty());

    // The invite dialog's names follow the same rule, also when they look like markup.
    auto user = std::make_shared<UserRecord>();
    user->userId = 2;
    user->firstName = "<i>Eve</i>";
    user->lastName = "of the night shift with a very long name";
    InviteOperatorDialog invite({user}, 1);
    invite.show();
    QTreeWidget* list = invite.OperatorList();
    list->setColumnWidth(0, 30);
    const QString name = InfoTipAt(
        *list, list->visualItemRect(list->topLevelItem(0)).center() -
                   QPoint(list->visualItemRect(list->topLevelItem(0)).width() / 2 - 20, 0));
    EXPECT_TRUE(name.contains("&lt;i&gt;Eve&lt;/i&gt;")) << name.toStdString();
    EXPECT_TRUE(list->topLevelItem(0)->toolTip(0).isEmpty());
}

TEST_F(DesktopBehaviourTest, ARequestLeavesTheKeyboardToTheCallWindowBeingTypedIn) {
    QWidget callWindow;
    callWindow.show();
    console.CallWindows().Add(&callWindow);
    QApplication::setActiveWindow(&callWindow);
    ASSERT_EQ(QApplication::activeWindow(), &callWindow);
    console.ShowCallAlert(7, 3, 1,
                          QStringLiteral("You have received an Olvex call request from Ann."),
                          QStringLiteral("Ann"));
    QWidget* alert = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->objectName() == QStringLiteral("callAlert") && window->isVisible())
            alert = window;
    }
    ASSERT_TRUE(alert);
    EXPECT_TRUE(alert->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_EQ(QApplication::activeWindow(), &callWindow);
    delete alert;
}

// Every control a screen reader can land on has a name to announce.
TEST_F(DesktopBehaviourTest, EveryControlOfTheConsoleHasAnAccessibleName) {
    console.show();
    for (QWidget* widget : console.findChildren<QWidget*>()) {
        if (widget->focusPolicy() == Qt::NoFocus || !widget->isVisibleTo(&console) ||
            widget->isWindow())
            continue;
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        ASSERT_TRUE(accessible);
        EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty())
            << widget->metaObject()->className() << " " << widget->objectName().toStdString();
    }
}

} // namespace
} // namespace olvex
