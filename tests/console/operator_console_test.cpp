#include "about_dialog.h"
#include "c_explorer1.h"
#include "colour_label.h"
#include "command_line.h"
#include "console_test_helpers.h"
#include "desktop_services.h"
#include "flat_button.h"
#include "message_box.h"
#include "operator_console.h"
#include "operator_list_view.h"
#include "page_list_view.h"
#include "profile_file.h"
#include "reports_url.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace olvex {
namespace {

using Button = OperatorConsole::Button;
using View = OperatorConsole::View;

class OperatorConsoleTest : public ::testing::Test {
protected:
    void SetUp() override { test::ForgetStoredState(); }
    void TearDown() override { test::ForgetStoredState(); }
    test::UiRecorder ui;
    DesktopServices desktop;
};

TEST_F(OperatorConsoleTest, StartsNotConnectedOnTheVisitorsView) {
    OperatorConsole console(desktop, false);
    console.show();
    EXPECT_EQ(console.windowTitle(), QStringLiteral("Olvex - Not connected"));
    EXPECT_TRUE(console.ButtonOf(Button::Login).isEnabled());
    EXPECT_FALSE(console.ButtonOf(Button::Logout).isEnabled());
    EXPECT_FALSE(console.ButtonOf(Button::Status).isEnabled());
    EXPECT_FALSE(console.ButtonOf(Button::Invite).isEnabled());
    for (Button always : {Button::Options, Button::Answers, Button::Help, Button::Home,
                          Button::About, Button::Visitors, Button::Operators, Button::Reports})
        EXPECT_TRUE(console.ButtonOf(always).isEnabled());
    EXPECT_EQ(console.CurrentView(), View::Visitors);
    EXPECT_EQ(console.Caption().text(), QStringLiteral(" Website Visitors"));
    EXPECT_TRUE(console.PageList().isVisible());
    EXPECT_EQ(console.ReportBrowser().LocationUrl(), QStringLiteral("about:blank"));
    EXPECT_EQ(console.PageList().model()->headerData(0, Qt::Horizontal).toString(),
              QStringLiteral("Visitor"));
    EXPECT_EQ(console.OperatorList().headerItem()->text(2), QStringLiteral("Agent Host"));

    const QList<QAction*> status = console.ButtonOf(Button::Status).Menu()->actions();
    ASSERT_EQ(status.size(), 3);
    EXPECT_EQ(status[2]->text(), QStringLiteral("Away"));
}

// Alerts and call windows are top-level windows that use the console's settings and call
// window list; closing the console must take them along before those go.
TEST_F(OperatorConsoleTest, ClosingTheConsoleClosesItsAlertsAndCallWindows) {
    auto console = std::make_unique<OperatorConsole>(desktop, false);
    for (int id : {7, 8, 9})
        console->ShowCallAlert(id, 3, 1,
                               QStringLiteral("You have received an Olvex call request from Ann."));
    std::vector<QPointer<QWidget>> alerts;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->objectName() == QStringLiteral("callAlert"))
            alerts.emplace_back(window);
    }
    ASSERT_EQ(alerts.size(), 3u);
    QPointer<QWidget> callWindow = new QWidget;
    console->CallWindows().Add(callWindow);
    console.reset();
    for (const auto& alert : alerts)
        EXPECT_TRUE(alert.isNull()) << "every alert goes with the console, not only some";
    EXPECT_TRUE(callWindow.isNull());
}

// Open chats and waiting requests are not thrown away by a close box or Alt+F4.
TEST_F(OperatorConsoleTest, ClosingWithRequestsWaitingAsksFirst) {
    EXPECT_EQ(QuitQuestion(0, 0), "");
    EXPECT_EQ(QuitQuestion(2, 3),
              "2 chats are open and 3 requests are waiting. Quit Olvex anyway?");
    EXPECT_EQ(QuitQuestion(1, 0), "1 chat is open. Quit Olvex anyway?");
    EXPECT_EQ(QuitQuestion(0, 1), "1 request is waiting. Quit Olvex anyway?");

    QStringList asked;
    QMessageBox::StandardButton answer = QMessageBox::No;
    SetMessageBoxHook([&](QWidget*, QMessageBox::Icon, const QString&, const QString& text,
                          QMessageBox::StandardButtons) {
        asked << text;
        return answer;
    });
    OperatorConsole console(desktop, false);
    console.show();
    QSignalSpy closed(&console, &OperatorConsole::Closed);
    console.ShowCallAlert(7, 3, 1, QStringLiteral("request"), QStringLiteral("Ann"));
    console.ShowCallAlert(8, 4, 1, QStringLiteral("request"), QStringLiteral("Bob"));
    console.close();
    EXPECT_EQ(asked, QStringList{"2 requests are waiting. Quit Olvex anyway?"});
    EXPECT_EQ(closed.count(), 0);
    EXPECT_TRUE(console.isVisible());
    answer = QMessageBox::Yes;
    console.close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return closed.count() == 1; }, 2000));
    SetMessageBoxHook({});
}

TEST(MissedRequests, OneLineCountsAndNamesThem) {
    EXPECT_EQ(MissedRequestsText({"Ann O."}), "Missed chat request from Ann O.");
    EXPECT_EQ(MissedRequestsText({"Ann O.", "Bob T.", "Cat T."}),
              "3 missed chat requests: Ann O., Bob T., Cat T.");
    QStringList many;
    for (int i = 0; i < 29; ++i)
        many << QStringLiteral("V%1").arg(i);
    EXPECT_EQ(MissedRequestsText(many), "29 missed chat requests: V0, V1, V2, V3, V4 and 24 more");
}

TEST_F(OperatorConsoleTest, OneViewIsVisibleAtATime) {
    OperatorConsole console(desktop, false);
    console.show();
    const struct {
        Button button;
        View view;
        QWidget* shown;
        const char* caption;
    } steps[] = {
        {Button::Reports, View::Reports, &console.ReportBrowser(), " Website reports"},
        {Button::Visitors, View::Visitors, &console.PageList(), " Website Visitors"},
        {Button::Operators, View::Operators, &console.OperatorList(), " Website Operators"},
        {Button::Reports, View::Reports, &console.ReportBrowser(), " Website reports"},
    };
    for (const auto& step : steps) {
        console.ButtonOf(step.button).click();
        EXPECT_EQ(console.CurrentView(), step.view);
        EXPECT_EQ(console.Caption().text(), QLatin1String(step.caption));
        int visible = 0;
        for (QWidget* view : {static_cast<QWidget*>(&console.PageList()),
                              static_cast<QWidget*>(&console.OperatorList()),
                              static_cast<QWidget*>(&console.ReportBrowser())})
            visible += view->isVisible() ? 1 : 0;
        EXPECT_EQ(visible, 1);
        EXPECT_TRUE(step.shown->isVisible());
    }
}

TEST_F(OperatorConsoleTest, TitlesButtonsAndSelection) {
    OperatorConsole console(desktop, false);
    console.Settings().serverAddress = "chat.test";
    console.SetTitleConnecting();
    EXPECT_EQ(console.windowTitle(), QStringLiteral("Olvex - Connecting [chat.test]"));
    console.SetTitleOnline();
    EXPECT_EQ(console.windowTitle(), QStringLiteral("Olvex - Online [chat.test]"));
    console.SetTitleStatus(3);
    EXPECT_EQ(console.windowTitle(), QStringLiteral("Olvex - away [chat.test]"));
    console.SetTitleStatus(7);
    EXPECT_EQ(console.windowTitle(), QStringLiteral("Olvex - online [chat.test]"));

    console.SetLoggedInButtons(true);
    EXPECT_FALSE(console.ButtonOf(Button::Login).isEnabled());
    EXPECT_TRUE(console.ButtonOf(Button::Logout).isEnabled());
    EXPECT_TRUE(console.ButtonOf(Button::Status).isEnabled());

    PageRecord page;
    page.pageId = 3;
    console.PageList().AddOrUpdate(page);
    console.SetLoggedInButtons(false);
    console.PageList().SelectPage(3);
    EXPECT_TRUE(console.ButtonOf(Button::Invite).isEnabled());
    console.PageList().clearSelection();
    EXPECT_FALSE(console.ButtonOf(Button::Invite).isEnabled());
}

TEST_F(OperatorConsoleTest, CommandsLeaveThroughSignals) {
    OperatorConsole console(desktop, false);
    QSignalSpy login(&console, &OperatorConsole::LoginRequested);
    QSignalSpy status(&console, &OperatorConsole::StatusRequested);
    QSignalSpy invite(&console, &OperatorConsole::InviteRequested);
    console.ButtonOf(Button::Login).click();
    EXPECT_EQ(login.count(), 1);
    emit console.ButtonOf(Button::Status).MenuCommand(OperatorConsole::kStatusBusy);
    ASSERT_EQ(status.count(), 1);
    EXPECT_EQ(status.at(0).at(0).toInt(), 2);

    PageRecord page;
    page.pageId = 1;
    console.PageList().AddOrUpdate(page);
    ui.answer = QMessageBox::Yes;
    emit console.PageList().doubleClicked(console.PageList().model()->index(0, 0));
    EXPECT_EQ(invite.count(), 1);

    console.ButtonOf(Button::Home).click();
    ASSERT_EQ(ui.opened.size(), 1u);
    EXPECT_TRUE(ui.opened[0].startsWith(QStringLiteral("http://")));
    console.ButtonOf(Button::Help).click();
    ASSERT_EQ(ui.opened.size(), 2u);
    EXPECT_TRUE(ui.opened[1].endsWith(QStringLiteral("Help/help.htm")));
}

TEST_F(OperatorConsoleTest, AutoLoginIsAskedForOnlyWhenSwitchedOn) {
    {
        OperatorConsole console(desktop, false);
        QSignalSpy autoLogin(&console, &OperatorConsole::AutoLoginRequested);
        EXPECT_FALSE(autoLogin.wait(100));
        console.Settings().autoLogin = 1;
        ASSERT_EQ(console.Settings().Save(), 0);
    }
    OperatorConsole console(desktop, false);
    QSignalSpy autoLogin(&console, &OperatorConsole::AutoLoginRequested);
    EXPECT_TRUE(autoLogin.wait(5000));
}

TEST_F(OperatorConsoleTest, ClosingSavesPlacementAndColumnsForTheNextStart) {
    {
        OperatorConsole console(desktop, false);
        console.setGeometry(60, 70, 700, 420);
        console.PageList().header()->resizeSection(1, 222);
        console.OperatorList().header()->resizeSection(0, 111);
        console.show();
        QSignalSpy closed(&console, &OperatorConsole::Closed);
        console.close();
        EXPECT_EQ(closed.count(), 1);
    }
    QSettings profile(ProfileFilePath(), QSettings::IniFormat);
    EXPECT_EQ(profile.value(QStringLiteral("MainWindow/Show")).toInt(), 1);
    EXPECT_EQ(profile.value(QStringLiteral("MainWindow/Right")).toInt(), 760);
    EXPECT_EQ(profile.value(QStringLiteral("PageList/NumCols")).toInt(), 7);
    EXPECT_EQ(profile.value(QStringLiteral("UserList/NumCols")).toInt(), 3);

    OperatorConsole reopened(desktop, false);
    EXPECT_EQ(reopened.geometry(), QRect(60, 70, 700, 420));
    EXPECT_EQ(reopened.PageList().header()->sectionSize(1), 222);
    EXPECT_EQ(reopened.PageList().header()->sectionSize(0),
              PageListView().header()->sectionSize(0));
    EXPECT_EQ(reopened.OperatorList().header()->sectionSize(0), 111);
}

TEST_F(OperatorConsoleTest, MinimisingShowsEveryCallWindow) {
    OperatorConsole console(desktop, false);
    console.show();
    QWidget first;
    QWidget second;
    console.CallWindows().Add(&first);
    console.CallWindows().Add(&second);
    {
        QWidget gone;
        console.CallWindows().Add(&gone);
    }
    console.SetHideOnMinimise(true);
    console.setWindowState(Qt::WindowMinimized);
    EXPECT_TRUE(first.isVisible());
    EXPECT_TRUE(second.isVisible());
    EXPECT_EQ(console.CallWindows().Windows().size(), 2u);
    EXPECT_TRUE(QTest::qWaitFor([&console] { return !console.isVisible(); }, 5000));
}

TEST_F(OperatorConsoleTest, ReportsAddressEncodesTheCredentials) {
    EXPECT_EQ(ReportsUrl("ann smith", "p&w#d+ x"),
              QStringLiteral("http://www.olvex.example/OperatorReports.asp"
                             "?username=ann%20smith&password=p%26w%23d%2B%20x"));
    OperatorConsole console(desktop, false);
    console.Settings().username = "a=b";
    console.Settings().password = "c";
    console.ShowReports(); // before the browser was ever shown: kept for later
    EXPECT_EQ(console.ReportBrowser().LocationUrl(),
              QStringLiteral("http://www.olvex.example/OperatorReports.asp"
                             "?username=a%3Db&password=c"));
    EXPECT_FALSE(console.ReportBrowser().HasBrowser());
    console.ClearReports();
    EXPECT_EQ(console.ReportBrowser().LocationUrl(), QStringLiteral("about:blank"));
    console.Settings().useTls = 1; // a secured server: its reports over https too
    console.ShowReports();
    EXPECT_EQ(console.ReportBrowser().LocationUrl(),
              QStringLiteral("https://www.olvex.example/OperatorReports.asp"
                             "?username=a%3Db&password=c"));
}

TEST_F(OperatorConsoleTest, AboutShowsVersionAndLinks) {
    AboutDialog about;
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Olvex"));
    EXPECT_EQ(about.findChild<QLabel*>(QStringLiteral("version"))->text(),
              QStringLiteral("Olvex version 1.4"));
    auto* license = about.findChild<HyperlinkLabel*>(QStringLiteral("licenseLink"));
    EXPECT_EQ(license->text(), QStringLiteral("License Agreement"));
    EXPECT_TRUE(license->Url().endsWith(QStringLiteral("license.txt")));
}

TEST(CommandLineTest, ServerOptionAndItsChecks) {
    const auto parse = [](QStringList args) {
        args.prepend(QStringLiteral("olvex"));
        return ParseCommandLine(args);
    };
    CommandLine line = parse({QStringLiteral("--server"), QStringLiteral("127.0.0.1:2020")});
    EXPECT_TRUE(line.error.isEmpty());
    EXPECT_TRUE(line.serverGiven);
    EXPECT_EQ(line.serverAddress, "127.0.0.1");
    EXPECT_EQ(line.serverPort, 2020);

    line = parse({QStringLiteral("--server=[::1]:8080"), QStringLiteral("-platform"),
                  QStringLiteral("offscreen")});
    EXPECT_TRUE(line.error.isEmpty());
    EXPECT_EQ(line.serverAddress, "::1");
    EXPECT_EQ(line.serverPort, 8080);

    EXPECT_TRUE(parse({QStringLiteral("--help")}).help);
    EXPECT_TRUE(parse({QStringLiteral("--version")}).version);
    for (const char* bad : {"host", "host:", ":80", "host:0", "host:65536", "host:8o", "::1:80",
                            "ho st:80", "host:+80"})
        EXPECT_FALSE(parse({QStringLiteral("--server"), QLatin1String(bad)}).error.isEmpty())
            << bad;
    EXPECT_FALSE(parse({QStringLiteral("--server")}).error.isEmpty());
    EXPECT_FALSE(parse({QStringLiteral("--bogus")}).error.isEmpty());
}

} // namespace
} // namespace olvex
