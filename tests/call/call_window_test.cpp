#include "agent_client.h"
#include "agent_settings.h"
#include "archive_reader.h"
#include "call_list.h"
#include "call_recorder.h"
#include "call_window.h"
#include "call_window_list.h"
#include "canned_search.h"
#include "chat_call.h"
#include "desktop_services.h"
#include "engine_log_in.h"
#include "event_sound.h"
#include "fake_server.h"
#include "flat_button.h"
#include "message_box.h"
#include "operator_console.h"
#include "profile_file.h"
#include "result_code.h"
#include "rtf_writer.h"
#include "transcript_archive.h"
#include "transcript_files.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QDateTime>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTreeWidget>
#include <future>
#include <gtest/gtest.h>

using namespace olvex;
using namespace olvex::test;
using namespace std::chrono_literals;

namespace {

constexpr int32_t kOwnUserId = 7;

std::string Join(int32_t callId) {
    return Payload(2003, {std::to_string(callId), std::to_string(kOwnUserId), "0", "2"});
}

// The transcript's lines, without the empty one after the last break nor the lines' times.
QStringList Lines(const CallWindow& window) {
    QStringList lines = window.Transcript()
                            .toPlainText()
                            .remove(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d "),
                                                       QRegularExpression::MultilineOption))
                            .split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.pop_back();
    return lines;
}

QColor LineColour(const CallWindow& window, int line) {
    QTextBlock block = window.Transcript().document()->findBlockByNumber(line);
    // The line's own colour, after its time.
    QTextBlock::iterator it = block.begin();
    if (!it.atEnd() && PaperColour(it.fragment().charFormat()) == kTimeColour)
        ++it;
    return it.atEnd() ? QColor() : PaperColour(it.fragment().charFormat());
}

void PressKey(QWidget& target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QCoreApplication::sendEvent(&target, &press);
}

// An engine logged in to the fake server, with short call time-outs, and the
// console's settings and call window list.
class CallWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings.username = "Op";
        settings.welcomeMsg = "Hi, it's me";
        serverSide = LogInEngine(engine, server, kOwnUserId);
        ASSERT_TRUE(serverSide);
        SetMessageBoxHook([this](QWidget*, QMessageBox::Icon, const QString&, const QString& text,
                                 QMessageBox::StandardButtons buttons) {
            boxes << text;
            return buttons & QMessageBox::Yes ? answer : QMessageBox::Ok;
        });
    }
    void TearDown() override {
        for (QWidget* window : list.Windows())
            delete window;
        SetMessageBoxHook({});
    }

    // Opens a window whose call the server accepts; checks what the window
    // sends first: the participant request, then the welcome item.
    std::unique_ptr<FakeConnection> Open(int32_t callId, QPointer<CallWindow>& window,
                                         CallWindowList* windows = nullptr,
                                         const QString& visitor = {},
                                         std::optional<std::string> welcome = {}) {
        window =
            new CallWindow(settings, callId, windows ? *windows : list, engine, archive, visitor);
        auto peer = server.Accept();
        EXPECT_TRUE(peer);
        if (!peer)
            return peer;
        EXPECT_TRUE(peer->Expect(Join(callId)));
        peer->Send(Payload(9001, {"2003"}));
        EXPECT_TRUE(QTest::qWaitFor([&] { return window->Call() != nullptr; }, 5000));
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return window->StatusLine().text() == "Connected to Olvex server."; }, 5000));
        EXPECT_TRUE(peer->Expect(Payload(1006)));
        if (!settings.welcomeMsg.empty()) {
            EXPECT_TRUE(
                peer->Expect(Payload(3003, {"1", "Op", welcome.value_or(settings.welcomeMsg)})));
        }
        return peer;
    }

    bool WaitLines(const CallWindow& window, int count) {
        return QTest::qWaitFor([&] { return Lines(window).size() >= count; }, 5000);
    }

    AgentSettings settings{QStringLiteral("OlvexTest/Agent")};
    QMessageBox::StandardButton answer = QMessageBox::Yes;
    CallWindowList list;
    FakeServer server;
    AgentClient engine{[] {
        AgentOptions o;
        o.channelTimeout = 2s;
        return o;
    }()};
    std::unique_ptr<FakeConnection> serverSide;
    std::shared_ptr<TranscriptArchive> archive;
    QStringList boxes;
};

TEST_F(CallWindowTest, ConnectsAsksForParticipantsAndWelcomesWithTheTextAsStored) {
    QPointer<CallWindow> window;
    auto peer = Open(41, window);
    ASSERT_TRUE(peer);
    EXPECT_EQ(list.Windows(), std::vector<QWidget*>{window.data()});
    EXPECT_EQ(window->windowTitle(), "Olvex Call - Connecting");
    // The apostrophe stays in the welcome, sent and echoed.
    EXPECT_EQ(Lines(*window), (QStringList{"Op:", "Hi, it's me"}));
    EXPECT_EQ(LineColour(*window, 0), QColor(255, 0, 0));
    EXPECT_EQ(LineColour(*window, 1), QColor(64, 64, 64));
    // Each line starts with its local time, muted; the text under a name is part of its line.
    const QTextBlock named = window->Transcript().document()->findBlockByNumber(0);
    EXPECT_EQ(named.begin().fragment().text(), QDateTime::currentDateTime().toString("HH:mm "));
    EXPECT_EQ(named.begin().fragment().charFormat().foreground().color(), kTimeColour);
    EXPECT_EQ(window->Transcript().document()->findBlockByNumber(1).text(), "Hi, it's me");

    // Own record and two others, one of them an operator: two lines, both in the title.
    peer->Send(
        Payload(9001, {"1006", "3", "7",        "0", "2", "1", "h", "Op", "Self", "90",  "0",  "1",
                       "1",    "",  "Guest 12", "",  "5", "0", "2", "2",  "h",    "Ann", "Lee"}));
    ASSERT_TRUE(WaitLines(*window, 4));
    EXPECT_EQ(Lines(*window).mid(2),
              (QStringList{"Guest 12 has joined this call", "Ann Lee has joined this call"}));
    EXPECT_EQ(LineColour(*window, 2), QColor(0, 128, 128));
    EXPECT_EQ(window->windowTitle(), "Olvex Call - Guest 12, Ann Lee");
    const int flashes = window->FlashRequests();
    EXPECT_EQ(flashes, 0);

    peer->Send(Payload(9003, {"2004", "5", "2"}));
    ASSERT_TRUE(WaitLines(*window, 5));
    EXPECT_EQ(Lines(*window).back(), "Ann Lee has left this call");
    EXPECT_EQ(window->windowTitle(), "Olvex Call - Guest 12");
    peer->Send(Payload(9003, {"2003", "8", "2", "0", "Bo", "Ek"}));
    ASSERT_TRUE(WaitLines(*window, 6));
    EXPECT_EQ(Lines(*window).back(), "Bo Ek has joined this call");
    EXPECT_EQ(window->windowTitle(), "Olvex Call - Guest 12, Bo Ek");
    EXPECT_EQ(window->FlashRequests(), 2);
    // The visitor leaving ends the chat.
    peer->Send(Payload(9003, {"2004", "90", "1"}));
    ASSERT_TRUE(WaitLines(*window, 8));
    EXPECT_EQ(Lines(*window).mid(6),
              (QStringList{"Guest 12 has left this call", "The visitor has left the chat."}));
    EXPECT_EQ(window->windowTitle(), "Olvex Call - Closed");
    EXPECT_EQ(window->FlashRequests(), 3);
    EXPECT_TRUE(peer->WaitForPeerClose(2s));
}

TEST_F(CallWindowTest, TypedTextGoesOutOnEnterWithBackquotesAndIsEchoed) {
    settings.welcomeMsg.clear();
    QPointer<CallWindow> window;
    auto peer = Open(42, window);
    ASSERT_TRUE(peer);
    EXPECT_TRUE(Lines(*window).isEmpty()) << "an empty welcome sends and writes nothing";

    int64_t now = 1000;
    window->SetClock([&now] { return now; });
    QPlainTextEdit& input = window->InputBox();
    input.setPlainText("don't <b>panic</b>");
    PressKey(input, Qt::Key_Shift); // a key: the first typing notice
    EXPECT_TRUE(peer->Expect(Payload(3003, {"2", "Op"})));
    PressKey(input, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_TRUE(peer->Expect(Payload(3003, {"1", "Op", "don`t <b>panic</b>"})));
    EXPECT_TRUE(input.toPlainText().isEmpty());
    EXPECT_EQ(Lines(*window), (QStringList{"Op:", "don`t <b>panic</b>"}));

    // Alt combinations are not typing; the next notice waits for the clock anyway.
    now += 3;
    PressKey(input, Qt::Key_A, Qt::AltModifier);
    PressKey(input, Qt::Key_B);
    EXPECT_TRUE(peer->Expect(Payload(3003, {"2", "Op"})));

    // Nothing typed: nothing sent.
    window->SendTypedText();
    EXPECT_FALSE(peer->Receive(200ms));
}

TEST_F(CallWindowTest, LinksImagesAndPushesAreCompletedAndEncoded) {
    settings.welcomeMsg.clear();
    QPointer<CallWindow> window;
    auto peer = Open(43, window);
    ASSERT_TRUE(peer);
    std::optional<std::string> typed;
    window->SetUrlPrompt([&typed](QWidget*, UrlAction action) -> std::optional<std::string> {
        if (!typed)
            return std::nullopt;
        return CompleteUrl(*typed, action);
    });

    typed = "ftp://f.example/a b";
    window->SendLink();
    EXPECT_TRUE(peer->Expect(Payload(
        3003, {"1", "Op",
               "<a href='ftp%3a%2f%2ff.example%2fa+b' target='_blank'>ftp://f.example/a b</a>"})));
    window->SendImage();
    EXPECT_TRUE(peer->Expect(
        Payload(3003, {"1", "Op", "<img src='http%3a%2f%2fftp%3a%2f%2ff.example%2fa+b'></img>"})));
    typed = "HTTP://Shop.example";
    window->PushUrl();
    EXPECT_TRUE(peer->Expect(Payload(3003, {"4", "Op", "http%3a%2f%2fHTTP%3a%2f%2fShop.example"})));
    EXPECT_EQ(Lines(*window),
              (QStringList{"Op:", "ftp://f.example/a b", "Op:", "http://ftp://f.example/a b",
                           "The http://HTTP://Shop.example URL was pushed to the visitor."}));
    EXPECT_EQ(LineColour(*window, 1), QColor(0, 0, 255));

    typed.reset(); // Cancel
    window->SendLink();
    window->SendImage();
    window->PushUrl();
    EXPECT_FALSE(peer->Receive(200ms));
    EXPECT_EQ(Lines(*window).size(), 5);
}

TEST_F(CallWindowTest, ReceivedItemsShowLiterallyAndIncompleteOnesAreDropped) {
    settings.welcomeMsg.clear();
    QPointer<CallWindow> window;
    auto peer = Open(44, window);
    ASSERT_TRUE(peer);
    int64_t now = 5000;
    window->SetClock([&now] { return now; });

    peer->Send(Payload(3003, {"1", "Bob", ""}));
    peer->Send(Payload(3003, {"1", "", "lost"}));
    peer->Send(Payload(3003, {"4", "Bob", "http%3a"}));
    peer->Send(Payload(3003, {"1", "Bob", "<b>hi</b> <img src='x'>"}));
    ASSERT_TRUE(WaitLines(*window, 2));
    EXPECT_EQ(Lines(*window), (QStringList{"Bob:", "<b>hi</b> <img src='x'>"}));
    EXPECT_EQ(LineColour(*window, 0), QColor(0, 0, 255));
    EXPECT_EQ(window->FlashRequests(), 1) << "dropped items must not flash";
    EXPECT_EQ(window->Transcript().toHtml().count("<img"), 0);

    peer->Send(Payload(3003, {"3", "", "Visitor moved to /cart"}));
    ASSERT_TRUE(WaitLines(*window, 3));
    EXPECT_EQ(LineColour(*window, 2), QColor(0, 128, 128));

    // A typing notice holds the status line until it is stale.
    peer->Send(Payload(3003, {"2", "Bob"}));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return window->StatusLine().text() == "Bob is typing a message..."; }, 5000));
    window->ClearStaleTypingNotice();
    EXPECT_EQ(window->StatusLine().text(), "Bob is typing a message...");
    now += 4;
    window->ClearStaleTypingNotice();
    EXPECT_EQ(window->StatusLine().text(), "");
}

TEST_F(CallWindowTest, CloseEndsTheCallOnceAndTheCloseBoxThenRemovesNothing) {
    QPointer<CallWindow> window;
    auto peer = Open(45, window);
    ASSERT_TRUE(peer);
    window->findChild<FlatButton*>("closeButton")->click();
    EXPECT_TRUE(peer->WaitForPeerClose(2s));
    EXPECT_EQ(engine.Calls().Count(), 0);
    QCoreApplication::processEvents(); // the engine's own close report
    EXPECT_EQ(window->windowTitle(), "Olvex Call - Closed");
    EXPECT_EQ(window->StatusLine().text(), "Chat closed");
    EXPECT_EQ(Lines(*window).back(), "You have closed this call.");
    EXPECT_FALSE(Lines(*window).contains("This call has been closed."));
    window->EndCall();
    EXPECT_EQ(Lines(*window).count("You have closed this call."), 1);

    // Nothing is sent once the call is over, and the box keeps what was typed.
    window->InputBox().setPlainText("late");
    window->SendTypedText();
    EXPECT_EQ(window->InputBox().toPlainText(), "late");
    EXPECT_EQ(Lines(*window).back(), "You have closed this call.");

    // Save works after the end too.
    QTemporaryDir dir;
    const QString path = dir.filePath("call.rtf");
    SetSaveFileDialogHook([&path](QWidget*, const QString&, const QString&) { return path; });
    window->findChild<FlatButton*>("saveButton")->click();
    SetSaveFileDialogHook({});
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray rtf = saved.readAll();
    EXPECT_TRUE(rtf.startsWith("{\\rtf1"));
    EXPECT_TRUE(rtf.contains("You have closed this call."));

    window->move(70, 80);
    window->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 5000));
    EXPECT_TRUE(list.Windows().empty());
    QSettings profile(ProfileFilePath(), QSettings::IniFormat);
    EXPECT_EQ(profile.value("ChatWindow/Show").toInt(), 1);
}

TEST_F(CallWindowTest, ADroppedCallKeepsTheTypedLineAndTakesNoMoreInput) {
    settings.welcomeMsg.clear();
    QPointer<CallWindow> window;
    auto peer = Open(55, window);
    ASSERT_TRUE(peer);
    window->findChild<FlatButton*>("answersButton")->click();
    QPlainTextEdit& input = window->InputBox();
    input.setPlainText("are you still there?");
    // The server goes: both connections end.
    peer->Close();
    serverSide->Close();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return window->State() == CallWindow::CallState::Closed; }, 5000));
    EXPECT_EQ(Lines(*window), QStringList{"The connection to the Olvex server was lost."});
    EXPECT_EQ(window->windowTitle(), "Olvex Call - Closed");
    EXPECT_EQ(input.toPlainText(), "are you still there?");
    EXPECT_TRUE(input.isReadOnly());
    EXPECT_TRUE(input.isEnabled()) << "a screen reader still reads the box";
    EXPECT_FALSE(window->CannedPanelShown());
    for (const char* tool :
         {"sendButton", "answersButton", "inviteButton", "pushButton", "linkButton", "imageButton"})
        EXPECT_FALSE(window->findChild<QAbstractButton*>(tool)->isEnabled()) << tool;
    for (const char* tool : {"saveButton", "printButton"})
        EXPECT_TRUE(window->findChild<QAbstractButton*>(tool)->isEnabled()) << tool;

    // Enter sends nothing and echoes nothing; the line stays and the status line says why.
    PressKey(input, Qt::Key_Return);
    EXPECT_EQ(input.toPlainText(), "are you still there?");
    EXPECT_EQ(window->StatusLine().text(), "The line could not be sent: the chat has ended.");
    window->SetUrlPrompt([](QWidget*, UrlAction) { return std::string("http://shop.example"); });
    window->PushUrl();
    EXPECT_EQ(window->StatusLine().text(), "The page could not be pushed: the chat has ended.");
    QTest::keyClicks(&input, "x");
    EXPECT_EQ(input.toPlainText(), "are you still there?");
    window->CannedTree().setCurrentItem(window->CannedTree().topLevelItem(0)->child(0));
    EXPECT_EQ(input.toPlainText(), "are you still there?") << "a canned answer replaces nothing";
    QCoreApplication::processEvents();
    EXPECT_EQ(Lines(*window).size(), 1);
}

TEST_F(CallWindowTest, TwoWindowsAreIndependentAndTheCloseBoxEndsARunningCallQuietly) {
    QPointer<CallWindow> first, second;
    auto peer1 = Open(47, first);
    auto peer2 = Open(48, second);
    ASSERT_TRUE(peer1 && peer2);
    EXPECT_EQ(list.Windows().size(), 2u);
    peer1->Send(Payload(3003, {"1", "Ann", "to one"}));
    ASSERT_TRUE(WaitLines(*first, 3));
    second->InputBox().setPlainText("to two");
    second->SendTypedText();
    EXPECT_TRUE(peer2->Expect(Payload(3003, {"1", "Op", "to two"})));
    EXPECT_EQ(Lines(*second), (QStringList{"Op:", "Hi, it's me", "Op:", "to two"}));

    // The close box asks before it ends a running chat; No keeps it.
    first->SetVisitorName("Ann");
    answer = QMessageBox::No;
    first->close();
    EXPECT_EQ(boxes.back(), "End the chat with Ann?");
    QTest::qWait(50);
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->Call());
    // Yes ends it without a message to the server.
    answer = QMessageBox::Yes;
    first->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return first.isNull(); }, 5000));
    EXPECT_FALSE(peer1->Receive(100ms));
    EXPECT_TRUE(peer1->WaitForPeerClose(2s));
    EXPECT_EQ(list.Windows(), std::vector<QWidget*>{second.data()});
    EXPECT_EQ(engine.Calls().Count(), 1);
    EXPECT_TRUE(second->Call());
}

TEST_F(CallWindowTest, ARefusedJoinShowsTheErrorState) {
    QPointer<CallWindow> window = new CallWindow(settings, 50, list, engine);
    auto peer = server.Accept();
    ASSERT_TRUE(peer);
    ASSERT_TRUE(peer->Expect(Join(50)));
    peer->Send(Payload(9002, {"2003", "-27"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.isEmpty(); }, 5000));
    EXPECT_EQ(boxes.front(),
              QStringLiteral("Failed to start the chat.\r\n") + QString::fromUtf8(ResultText(-27)));
    EXPECT_EQ(window->windowTitle(), "Olvex Call - Error");
    EXPECT_EQ(window->StatusLine().text(), "Failed to conect to Olvex server.");
    EXPECT_FALSE(window->QueueChatItem(ChatItemKind::Text, "x"));
}

TEST_F(CallWindowTest, CannedAnswersFillTheInputBoxAndGoOutWithBackquotes) {
    settings.welcomeMsg.clear();
    QPointer<CallWindow> window;
    auto peer = Open(51, window);
    ASSERT_TRUE(peer);
    EXPECT_FALSE(window->CannedPanelShown());
    window->findChild<FlatButton*>("answersButton")->click();
    EXPECT_TRUE(window->CannedPanelShown());
    EXPECT_TRUE(window->CannedTree().isVisibleTo(window));

    QTreeWidget& tree = window->CannedTree();
    ASSERT_GT(tree.topLevelItemCount(), 0);
    QTreeWidgetItem* links = tree.findItems("Links", Qt::MatchExactly).value(0);
    ASSERT_TRUE(links && links->childCount() > 0);
    window->InputBox().setPlainText("typed");
    tree.setCurrentItem(links); // a category changes nothing
    EXPECT_EQ(window->InputBox().toPlainText(), "typed");
    tree.setCurrentItem(links->child(0));
    const QString answer = window->InputBox().toPlainText();
    EXPECT_TRUE(answer.startsWith("<a href='"));
    window->SendTypedText();
    const std::string sent = ReplaceApostrophes(answer.toStdString());
    EXPECT_EQ(sent.find('\''), std::string::npos);
    EXPECT_TRUE(peer->Expect(Payload(3003, {"1", "Op", sent})));

    window->findChild<FlatButton*>("cannedCloseButton")->click();
    EXPECT_FALSE(window->CannedPanelShown());
    EXPECT_FALSE(window->CannedTree().isVisibleTo(window));
}

TEST(CannedSearchFilter, CaseAndAccentsDoNotCount) {
    EXPECT_EQ(FoldForSearch(QStringLiteral("Crème BRÛLÉE")), QStringLiteral("creme brulee"));
    const QString folded = FoldForSearch(QStringLiteral("BRU  crè"));
    EXPECT_TRUE(AnswerMatches(folded, QStringLiteral("Crème brûlée"), QString()));
    EXPECT_TRUE(AnswerMatches(FoldForSearch(QStringLiteral("ete")), QStringLiteral("Summer"),
                              QStringLiteral("Open all ÉTÉ")));
    EXPECT_FALSE(AnswerMatches(FoldForSearch(QStringLiteral("brûlée tea")),
                               QStringLiteral("Crème brûlée"), QStringLiteral("dessert")));
}

TEST_F(CallWindowTest, CannedAnswersFoundAndInsertedFromTheKeyboard) {
    settings.welcomeMsg.clear();
    QPointer<CallWindow> window;
    auto peer = Open(52, window);
    ASSERT_TRUE(peer);
    window->activateWindow();
    QApplication::setActiveWindow(window);
    QPlainTextEdit& input = window->InputBox();
    input.setFocus();
    input.setPlainText("Dear visitor. ");
    input.moveCursor(QTextCursor::End);
    EXPECT_TRUE(window->findChild<FlatButton*>("answersButton")
                    ->toolTip()
                    .contains(CannedSearch::Shortcut().toString(QKeySequence::NativeText)));

    QTest::keyClick(&input, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(window->CannedSearchOpen());
    EXPECT_EQ(input.toPlainText(), "Dear visitor. ") << "the shortcut types nothing";
    QLineEdit& field = window->CannedSearchField();
    EXPECT_TRUE(field.hasFocus());
    EXPECT_TRUE(window->CannedTree().isVisibleTo(window));

    // The word is in the message of "Good bye" only; moving does not touch the input box.
    QTest::keyClicks(&field, "PLÉASURE");
    QTreeWidget& tree = window->CannedTree();
    ASSERT_TRUE(tree.currentItem());
    EXPECT_EQ(tree.currentItem()->text(0), "Good bye");
    EXPECT_TRUE(tree.findItems("Links", Qt::MatchExactly).value(0)->isHidden());
    QTest::keyClick(&field, Qt::Key_Up);
    QTest::keyClick(&field, Qt::Key_Down);
    EXPECT_EQ(tree.currentItem()->text(0), "Good bye");
    EXPECT_EQ(input.toPlainText(), "Dear visitor. ");

    // Enter inserts at the cursor and hands the keyboard back; the panel goes as it came.
    QTest::keyClick(&field, Qt::Key_Return);
    EXPECT_FALSE(window->CannedSearchOpen());
    EXPECT_TRUE(input.toPlainText().startsWith("Dear visitor. It's been a pleasure"));
    EXPECT_TRUE(input.hasFocus());
    EXPECT_FALSE(window->CannedPanelShown());
    EXPECT_FALSE(tree.findItems("Links", Qt::MatchExactly).value(0)->isHidden());

    // Escape leaves the search, not the window.
    window->OpenCannedSearch();
    QTest::keyClick(&field, Qt::Key_Escape);
    QCoreApplication::processEvents();
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->CannedSearchOpen());
    EXPECT_TRUE(input.hasFocus());
}

TEST_F(CallWindowTest, PlaceholdersAreFilledWhenSent) {
    settings.welcomeMsg = "Hi {visitor}, {operator} here {x}";
    QPointer<CallWindow> window;
    auto peer = Open(53, window, nullptr, "<Ann>", "Hi &lt;Ann&gt;, Op here {x}");
    ASSERT_TRUE(peer);
    window->InputBox().setPlainText("it's {operator} at {time}");
    // Not across a minute's turn, or the time sent and the one expected differ.
    while (QTime::currentTime().second() >= 58)
        QTest::qWait(200);
    window->SendTypedText();
    const std::string time =
        QLocale::system().toString(QTime::currentTime(), QLocale::ShortFormat).toStdString();
    EXPECT_TRUE(peer->Expect(Payload(3003, {"1", "Op", "it`s Op at " + time})));
}

TEST_F(CallWindowTest, WaitingCountFollowsAlertsAndUnreadWindows) {
    settings.welcomeMsg.clear();
    DesktopServices desktop;
    OperatorConsole console(desktop, false);
    console.ShowCallAlert(60, 1, 1, "request", "<b>Ann</b> & co");
    EXPECT_EQ(console.Waiting().Count(), 1);
    // The name is the visitor's own: never markup in a tray host's tooltip.
    EXPECT_EQ(console.Waiting().ToolTipLines(),
              QStringLiteral("Waiting for an answer: \u2039b\u203AAnn\u2039/b\u203A \uFF06 co"));

    QPointer<CallWindow> window;
    auto peer = Open(54, window, &console.CallWindows());
    ASSERT_TRUE(peer);
    // Activation goes through the platform, as a window manager's would.
    const auto activate = [](QWidget& w) {
        w.activateWindow();
        return QTest::qWaitForWindowActive(&w);
    };
    console.show();
    ASSERT_TRUE(activate(console));
    const int tones = EventSound::Shared().Requests(EventSound::Kind::Line);
    settings.lineSound = 0;
    peer->Send(Payload(3003, {"1", "Guest", "hello"}));
    ASSERT_TRUE(WaitLines(*window, 2));
    EXPECT_EQ(console.Waiting().Count(), 2);
    EXPECT_EQ(console.Waiting().unread, QStringList{window->windowTitle()});
    EXPECT_EQ(EventSound::Shared().Requests(EventSound::Kind::Line), tones);

    ASSERT_TRUE(activate(*window));
    EXPECT_EQ(console.Waiting().Count(), 1) << "read once the window is in front";
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->objectName() == "callAlert")
            top->close();
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return console.Waiting().Count() == 0; }, 5000));

    settings.lineSound = 1;
    ASSERT_TRUE(activate(console));
    peer->Send(Payload(3003, {"1", "Guest", "still there?"}));
    ASSERT_TRUE(WaitLines(*window, 4));
    EXPECT_EQ(console.Waiting().Count(), 1);
    EXPECT_EQ(EventSound::Shared().Requests(EventSound::Kind::Line), tones + 1);
    delete window.data();
    EXPECT_EQ(console.Waiting().Count(), 0) << "a closed window no longer waits";
}

TEST_F(CallWindowTest, EveryLineShownGoesToTheHistoryAsShown) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("history.sqlite").toStdString();
    archive = TranscriptArchive::Open(path, {});
    QPointer<CallWindow> window;
    auto peer = Open(48, window);
    ASSERT_TRUE(peer);
    peer->Send(Payload(9001, {"1006", "2", "90", "0", "1", "1", "", "Guest 12", "", "5", "0", "2",
                              "2", "h", "Ann", "Lee"}));
    peer->Send(Payload(3003, {"1", "Guest 12", "<b>Grüße</b> &amp;"}));
    peer->Send(Payload(3003, {"3", "", "Visitor moved to /cart"}));
    ASSERT_TRUE(WaitLines(*window, 7));
    window->SetUrlPrompt([](QWidget*, UrlAction) { return std::string("http://shop.example"); });
    window->PushUrl();
    window->EndCall();
    ASSERT_TRUE(archive->Flush(5s));

    ArchiveReader reader(path);
    const auto conversations = reader.Conversations();
    ASSERT_EQ(conversations.size(), 1u);
    EXPECT_EQ(conversations[0].callId, 48);
    EXPECT_EQ(conversations[0].operatorName, "Op");
    EXPECT_EQ(conversations[0].visitors, "Guest 12");
    EXPECT_EQ(conversations[0].operators, "Ann Lee");
    EXPECT_NE(conversations[0].ended, 0);
    QStringList shown;
    std::vector<PartyKind> parties;
    for (const ArchivedLine& line : reader.Lines(conversations[0].id)) {
        if (!line.name.empty())
            shown << QString::fromStdString(line.name) + ":";
        shown << QString::fromStdString(line.text);
        parties.push_back(line.party);
    }
    EXPECT_EQ(shown, Lines(*window));
    EXPECT_EQ(parties, (std::vector<PartyKind>{PartyKind::Own, PartyKind::None, PartyKind::None,
                                               PartyKind::Visitor, PartyKind::None, PartyKind::None,
                                               PartyKind::None}));
}

} // namespace

namespace {

// An operator runs the whole chat from the keyboard: the input box has the keys at the start
// and after every tool, Tab follows the layout, and every control has a name to announce.
TEST_F(CallWindowTest, KeyboardStaysInTheInputBoxAndEveryControlIsNamed) {
    QPointer<CallWindow> window;
    auto peer = Open(51, window);
    ASSERT_TRUE(peer);
    QPlainTextEdit& input = window->InputBox();
    EXPECT_EQ(window->focusWidget(), &input);

    auto* send = window->findChild<QAbstractButton*>("sendButton");
    input.setPlainText("hello");
    QTest::mouseClick(send, Qt::LeftButton);
    EXPECT_EQ(window->focusWidget(), &input);

    QTest::mouseClick(window->findChild<QAbstractButton*>("answersButton"), Qt::LeftButton);
    QTreeWidget& tree = window->CannedTree();
    EXPECT_EQ(window->focusWidget(), &tree);
    QTreeWidgetItem* answer = tree.topLevelItem(0)->child(0);
    tree.setCurrentItem(answer);
    EXPECT_EQ(window->focusWidget(), &tree); // arrowing through only previews
    emit tree.itemActivated(answer, 0);
    EXPECT_EQ(window->focusWidget(), &input);

    QStringList order;
    QWidget* first = window->findChild<QWidget*>("answersButton");
    for (QWidget* w = first; order.size() < 20; w = w->nextInFocusChain()) {
        if (w->focusPolicy() & Qt::TabFocus && !w->objectName().isEmpty() &&
            !w->objectName().startsWith("qt_"))
            order << w->objectName();
        if (w->nextInFocusChain() == first)
            break;
    }
    EXPECT_EQ(order, (QStringList{"answersButton", "inviteButton", "pushButton", "linkButton",
                                  "imageButton", "saveButton", "closeButton", "printButton",
                                  "cannedCloseButton", "cannedSearch", "cannedTree",
                                  "earlierToggle", "earlierTranscript", "transcript", "input",
                                  "sendButton"}));
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        // Hidden ones (the visitor's context without a visitor) are out of everybody's reach.
        if (widget->focusPolicy() == Qt::NoFocus || widget->isWindow() ||
            !widget->isVisibleTo(window))
            continue;
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        ASSERT_TRUE(accessible);
        EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty())
            << widget->metaObject()->className() << " " << widget->objectName().toStdString();
    }
}

} // namespace

namespace {

TEST_F(CallWindowTest, TheContextPanelShowsTheVisitorsPageAndFollowsTheirMoves) {
    QPointer<CallWindow> window;
    auto peer = Open(49, window);
    ASSERT_TRUE(peer);
    auto* panel = window->findChild<QWidget*>("visitorContext");
    ASSERT_NE(panel, nullptr);
    EXPECT_FALSE(panel->isVisible()) << "nothing known of the visitor yet";

    std::vector<PageRecord> pages(1);
    pages[0].pageId = 3;
    pages[0].visitorNumber = 8;
    pages[0].url = "https://shop.example/shoes";
    pages[0].title = "Shoes <b>sale</b>";
    pages[0].referrer = "https://search.example/";
    int asked = 0;
    window->FollowVisitor(8, [&](int32_t visitor) {
        ++asked;
        EXPECT_EQ(visitor, 8);
        return pages;
    });
    auto* page = window->findChild<QLabel*>("visitorPage");
    auto* details = window->findChild<QLabel*>("visitorDetails");
    EXPECT_TRUE(panel->isVisible());
    EXPECT_TRUE(page->text().contains("Shoes &lt;b&gt;sale&lt;/b&gt;"));
    EXPECT_TRUE(details->text().startsWith("Came from https://search.example/"));

    // The visitor moves on: the new page comes, the old one goes.
    PageRecord cart = pages[0];
    cart.pageId = 4;
    cart.url = "https://shop.example/cart";
    cart.title = "Cart";
    pages = {cart};
    EXPECT_TRUE(QTest::qWaitFor([&] { return page->text().contains("Cart"); }, 3000));
    EXPECT_TRUE(page->text().contains("href=\"https://shop.example/cart\""));
    pages.clear();
    EXPECT_TRUE(QTest::qWaitFor([&] { return details->text().contains("Has left the site"); }, 3000));
    EXPECT_TRUE(page->text().contains("Cart")) << "the last page stays on show";
    const int before = asked;
    window->EndCall();
    delete window.data();
    QTest::qWait(1200);
    EXPECT_EQ(asked, before);
}

TEST_F(CallWindowTest, AnEarlierChatWithTheVisitorIsCountedAndItsLinesUnfoldOnAClick) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("history.sqlite").toStdString();
    archive = TranscriptArchive::Open(path, {});
    {
        CallRecorder earlier(archive, 30, "Op", [] { return int64_t{1'700'000'000'000}; });
        earlier.Participant("Ann", 1);
        earlier.Line(LineKind::Text, "Ann", false, "Where is my parcel?");
        earlier.End();
        ASSERT_TRUE(archive->Flush(5s));
    }
    QPointer<CallWindow> window;
    auto peer = Open(50, window, nullptr, "Ann");
    ASSERT_TRUE(peer);
    auto* label = window->findChild<QLabel*>("earlierChats");
    ASSERT_TRUE(QTest::qWaitFor([&] { return label->isVisible(); }, 5000));
    EXPECT_EQ(label->text(), "1 earlier chat, on " + QDateTime::fromMSecsSinceEpoch(1'700'000'000'000)
                                                         .toString("yyyy-MM-dd"));
    auto* lines = window->findChild<QTextEdit*>("earlierTranscript");
    EXPECT_FALSE(lines->isVisible());
    EXPECT_TRUE(lines->toPlainText().contains(
        QDateTime::fromMSecsSinceEpoch(1'700'000'000'000).toString("HH:mm ") +
        "Ann:\nWhere is my parcel?"))
        << lines->toPlainText().toStdString();
    window->findChild<QAbstractButton*>("earlierToggle")->click();
    EXPECT_TRUE(lines->isVisible());
    // This chat's own lines are not counted as earlier ones.
    EXPECT_FALSE(lines->toPlainText().contains("Hi, it's me"));
}

} // namespace
