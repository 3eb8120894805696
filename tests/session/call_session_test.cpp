#include "agent_client.h"
#include "archive_reader.h"
#include "call_list.h"
#include "call_session.h"
#include "engine_log_in.h"
#include "fake_server.h"
#include "result_code.h"
#include "thread_reaper.h"
#include "transcript_archive.h"

#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

using namespace olvex;
using namespace olvex::test;
using namespace std::chrono_literals;
namespace ev = olvex::call_event;

namespace {

constexpr int32_t kOwnUserId = 7;

std::string Join(int32_t callId) {
    return Payload(2003, {std::to_string(callId), std::to_string(kOwnUserId), "0", "2"});
}

// Takes the session's events on the test's thread, as a window's pump would on its own.
class Viewer : public CallObserver {
public:
    explicit Viewer(CallSession& session) : session(session) {
        session.SetWake([this] {
            std::lock_guard lock(mutex);
            ++wakes;
            woken.notify_one();
        });
    }

    // A view closes its session when it goes: no wake-up reaches it afterwards.
    ~Viewer() override { session.Close(); }

    void OnEvent(const CallEvent& event) override { events.push_back(event); }

    // Delivers whenever the session wakes the viewer, until `done` holds or time runs out.
    template <class Done> bool Until(Done done, std::chrono::milliseconds timeout = 5s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        int seen = -1;
        for (;;) {
            session.Deliver(*this);
            if (done())
                return true;
            std::unique_lock lock(mutex);
            if (!woken.wait_until(lock, deadline, [&] { return wakes != seen; }))
                return false;
            seen = wakes;
        }
    }

    template <class Event> std::vector<Event> All() const {
        std::vector<Event> found;
        for (const CallEvent& event : events) {
            if (const auto* e = std::get_if<Event>(&event))
                found.push_back(*e);
        }
        return found;
    }
    template <class Event> bool Has() const { return !All<Event>().empty(); }

    // The transcript as the lines show it: "name: text", or the text of an event line.
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        for (const ev::Line& line : All<ev::Line>())
            lines.push_back(line.name.empty() ? line.text : line.name + ": " + line.text);
        return lines;
    }

    int Wakes() {
        std::lock_guard lock(mutex);
        return wakes;
    }

    std::vector<CallEvent> events;

private:
    CallSession& session;
    std::mutex mutex;
    std::condition_variable woken;
    int wakes = 0;
};

// What the engine and the session write to their log; it outlives the engine.
class LogCapture {
public:
    LogSink Sink() { return {Write, this, LogLevel::Info}; }
    std::vector<std::pair<LogLevel, std::string>> Lines() {
        std::lock_guard lock(mutex);
        return lines;
    }

private:
    static void Write(void* self, LogSource, LogLevel level, std::string_view message) {
        auto& capture = *static_cast<LogCapture*>(self);
        std::lock_guard lock(capture.mutex);
        capture.lines.emplace_back(level, std::string(message));
    }
    std::mutex mutex;
    std::vector<std::pair<LogLevel, std::string>> lines;
};

std::vector<std::string> ArchivedLines(const std::string& path) {
    ArchiveReader reader(path);
    std::vector<std::string> lines;
    for (const auto& conversation : reader.Conversations()) {
        for (const ArchivedLine& line : reader.Lines(conversation.id))
            lines.push_back(line.name.empty() ? line.text : line.name + ": " + line.text);
    }
    return lines;
}

// An engine logged in to the fake server, with short call time-outs.
class CallSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        engine.logSink = log.Sink();
        serverSide = LogInEngine(engine, server, kOwnUserId);
        ASSERT_TRUE(serverSide);
        options.operatorName = "Op";
        options.rawMessages = true;
        options.dateTime = [] { return CallSession::DateTime{"8.12.26", "14:02"}; };
    }
    void TearDown() override {
        if (!folder.empty())
            std::filesystem::remove_all(folder);
    }

    std::string ArchivePath() {
        char pattern[] = "/tmp/olvex-session-XXXXXX";
        EXPECT_NE(::mkdtemp(pattern), nullptr);
        folder = pattern;
        return folder + "/history.sqlite";
    }

    // Starts `session` and has the server accept its join; checks the participant request.
    std::unique_ptr<FakeConnection> Connect(CallSession& session, Viewer& viewer) {
        session.Start();
        auto peer = server.Accept();
        EXPECT_TRUE(peer);
        if (!peer)
            return peer;
        EXPECT_TRUE(peer->Expect(Join(session.CallId())));
        peer->Send(Payload(9001, {"2003"}));
        EXPECT_TRUE(viewer.Until([&] { return viewer.Has<ev::Connected>(); }));
        EXPECT_TRUE(peer->Expect(Payload(1006)));
        return peer;
    }

    FakeServer server;
    LogCapture log;
    AgentClient engine{[] {
        AgentOptions o;
        o.channelTimeout = 2s;
        return o;
    }()};
    std::unique_ptr<FakeConnection> serverSide;
    CallSession::Options options;
    std::string folder;
};

TEST_F(CallSessionTest, JoinsWelcomesAndRecordsEveryLineInTheOrderDelivered) {
    const std::string path = ArchivePath();
    auto archive = TranscriptArchive::Open(path, {});
    options.archive = archive;
    options.welcome = "Hi {visitor}, it's {operator} at {time} {x}";
    options.visitorName = "<Ann>";
    CallSession session(engine, 61, options);
    Viewer viewer(session);
    auto peer = Connect(session, viewer);
    ASSERT_TRUE(peer);
    // Sent as stored, placeholders filled and escaped, the apostrophe kept.
    const std::string welcome = "Hi &lt;Ann&gt;, it's Op at 14:02 {x}";
    EXPECT_TRUE(peer->Expect(Payload(3003, {"1", "Op", welcome})));
    EXPECT_TRUE(std::holds_alternative<ev::Connecting>(viewer.events.at(0)));

    peer->Send(
        Payload(9001, {"1006", "3", "7",        "0", "2", "1", "h", "Op", "Self", "90",  "0",  "1",
                       "1",    "",  "Guest 12", "",  "5", "0", "2", "2",  "h",    "Ann", "Lee"}));
    // A broken UTF-8 sequence is shown and kept as U+FFFD, as the window always had it.
    peer->Send(Payload(3003, {"1", "Guest 12", "<b>Grüße</b>\xC3("}));
    peer->Send(Payload(3003, {"1", "", "lost"})); // incomplete: dropped, no flash
    peer->Send(Payload(3003, {"3", "", "Visitor moved to /cart"}));
    peer->Send(Payload(9003, {"2004", "5", "2"}));
    ASSERT_TRUE(viewer.Until([&] { return viewer.Lines().size() >= 6; }));
    const auto lists = viewer.All<ev::ParticipantsChanged>();
    ASSERT_EQ(lists.size(), 2u);
    EXPECT_EQ(lists[0].title, "Olvex Call - Guest 12, Ann Lee");
    EXPECT_EQ(lists[1].change, ev::ParticipantsChanged::Change::Left);
    EXPECT_EQ(lists[1].title, "Olvex Call - Guest 12");
    EXPECT_EQ(viewer.All<ev::ChatMessage>().size(), 3u) << "the dropped item is still reported";
    EXPECT_EQ(viewer.All<ev::Flash>().size(), 3u);

    // Typed text gets backquotes, a raw line keeps its apostrophe, a push its content.
    EXPECT_EQ(session.SendTyped("it's {operator}"), ResultCode::Ok);
    EXPECT_TRUE(peer->Expect(Payload(3003, {"1", "Op", "it`s Op"})));
    EXPECT_EQ(session.Say("don't"), ResultCode::Ok);
    EXPECT_TRUE(peer->Expect(Payload(3003, {"1", "Op", "don't"})));
    EXPECT_EQ(session.SendLink("http://a.example"), ResultCode::Ok);
    EXPECT_TRUE(peer->Expect(
        Payload(3003, {"1", "Op",
                       "<a href='http%3a%2f%2fa.example' target='_blank'>http://a.example</a>"})));
    EXPECT_EQ(session.PushUrl("http://shop.example", "pushed"), ResultCode::Ok);
    EXPECT_TRUE(peer->Expect(Payload(3003, {"4", "Op", "pushed"})));
    EXPECT_EQ(session.End(), ResultCode::Ok);
    EXPECT_TRUE(peer->WaitForPeerClose(2s));
    ASSERT_TRUE(viewer.Until([&] { return viewer.Has<ev::Closed>(); }));
    EXPECT_EQ(viewer.All<ev::Closed>().front().reason, 1);

    const std::vector<std::string> shown{"Op: " + welcome,
                                         "Guest 12 has joined this call",
                                         "Ann Lee has joined this call",
                                         "Guest 12: <b>Grüße</b>\xEF\xBF\xBD(",
                                         "Visitor moved to /cart",
                                         "Ann Lee has left this call",
                                         "Op: it`s Op",
                                         "Op: don't",
                                         "Op: http://a.example",
                                         "The http://shop.example URL was pushed to the visitor.",
                                         "You have closed this call."};
    EXPECT_EQ(viewer.Lines(), shown);
    ASSERT_TRUE(archive->Flush(5s));
    ArchiveReader reader(path);
    const auto conversations = reader.Conversations();
    ASSERT_EQ(conversations.size(), 1u);
    EXPECT_EQ(conversations[0].callId, 61);
    EXPECT_EQ(conversations[0].operatorName, "Op");
    EXPECT_EQ(conversations[0].visitors, "Guest 12");
    EXPECT_EQ(conversations[0].operators, "Ann Lee");
    EXPECT_NE(conversations[0].ended, 0);
    std::vector<std::string> recorded;
    std::vector<PartyKind> parties;
    for (const ArchivedLine& line : reader.Lines(conversations[0].id)) {
        recorded.push_back(line.name.empty() ? line.text : line.name + ": " + line.text);
        parties.push_back(line.party);
    }
    EXPECT_EQ(recorded, shown);
    EXPECT_EQ(parties[3], PartyKind::Visitor);
    EXPECT_EQ(parties[8], PartyKind::Own);
    for (const ev::Line& line : viewer.All<ev::Line>())
        EXPECT_NE(line.ticket, 0u);
}

TEST_F(CallSessionTest, LinesQueuedAreConfirmedOnceWrittenAndNothingGoesOutAfterTheEnd) {
    CallSession session(engine, 62, options);
    Viewer viewer(session);
    auto peer = Connect(session, viewer);
    ASSERT_TRUE(peer);
    EXPECT_FALSE(peer->Receive(100ms)) << "an empty welcome sends nothing";
    EXPECT_EQ(session.Say("one"), ResultCode::Ok);
    EXPECT_EQ(session.Queue(ChatItemKind::Typing), ResultCode::Ok);
    EXPECT_TRUE(peer->Expect(Payload(3003, {"1", "Op", "one"})));
    ASSERT_TRUE(viewer.Until([&] { return viewer.All<ev::MessageSent>().size() >= 3; }));
    const auto outgoing = session.Outgoing();
    ASSERT_EQ(outgoing.size(), 1u) << "a typing notice is no line";
    EXPECT_EQ(outgoing[0].text, "one");
    EXPECT_TRUE(outgoing[0].written);

    EXPECT_EQ(session.End(), ResultCode::Ok);
    EXPECT_EQ(session.End(), ResultCode::CallNotFound);
    EXPECT_EQ(session.Say("late"), ResultCode::CallNotFound);
    EXPECT_EQ(session.Outgoing().size(), 1u);
    ASSERT_TRUE(viewer.Until([&] { return viewer.Has<ev::Closed>(); }));
    EXPECT_EQ(viewer.All<ev::Closed>().size(), 1u);
    EXPECT_EQ(engine.Calls().Count(), 0);
}

TEST_F(CallSessionTest, TypingNoticesGoOutAtMostEveryThreeSecondsAndGoStale) {
    int64_t now = 1000;
    options.clock = [&now] { return now; };
    CallSession session(engine, 63, options);
    Viewer viewer(session);
    auto peer = Connect(session, viewer);
    ASSERT_TRUE(peer);
    EXPECT_TRUE(session.TypingKey());
    now += 2;
    EXPECT_FALSE(session.TypingKey());
    now += 1;
    EXPECT_TRUE(session.TypingKey());
    EXPECT_TRUE(peer->Expect(Payload(3003, {"2", "Op"})));
    EXPECT_TRUE(peer->Expect(Payload(3003, {"2", "Op"})));
    EXPECT_FALSE(peer->Receive(100ms));

    EXPECT_FALSE(session.TypingNoticeStale()) << "no notice shown yet";
    peer->Send(Payload(3003, {"2", "Bob"}));
    ASSERT_TRUE(viewer.Until([&] { return viewer.Has<ev::Typing>(); }));
    EXPECT_EQ(viewer.All<ev::Typing>().front().sender, "Bob");
    EXPECT_TRUE(viewer.Lines().empty());
    now += 3;
    EXPECT_FALSE(session.TypingNoticeStale());
    now += 1;
    EXPECT_TRUE(session.TypingNoticeStale());
}

TEST_F(CallSessionTest, AServerCloseEndsTheChatOnceAndFreesTheCall) {
    CallSession session(engine, 64, options);
    Viewer viewer(session);
    auto peer = Connect(session, viewer);
    ASSERT_TRUE(peer);
    peer->Close();
    ASSERT_TRUE(viewer.Until([&] { return viewer.Has<ev::Closed>(); }));
    EXPECT_EQ(viewer.All<ev::Closed>().front().reason, 2);
    // The operator's own connection is still there: the server closed just this call.
    EXPECT_EQ(viewer.All<ev::Closed>().front().ending, ev::Ending::ByServer);
    EXPECT_EQ(viewer.Lines(), std::vector<std::string>{"This call has been closed."});
    EXPECT_EQ(viewer.All<ev::Flash>().size(), 1u);
    // Let go once delivered: the id is free for another join.
    EXPECT_EQ(engine.Calls().Count(), 0);
    EXPECT_FALSE(session.Call());
    EXPECT_EQ(session.End(), ResultCode::CallNotFound);
    viewer.Until([] { return false; }, 100ms);
    EXPECT_EQ(viewer.All<ev::Closed>().size(), 1u);
    EXPECT_EQ(viewer.Lines().size(), 1u);
}

// How a chat ends, and that it stays ended.

TEST_F(CallSessionTest, TheServerGoingSaysTheConnectionWasLostAndRefusesLaterLines) {
    CallSession session(engine, 68, options);
    Viewer viewer(session);
    auto peer = Connect(session, viewer);
    ASSERT_TRUE(peer);
    // The call's connection ends first; the operator's goes just after it.
    peer->Close();
    serverSide->Close();
    ASSERT_TRUE(viewer.Until([&] { return viewer.Has<ev::Closed>(); }));
    const ev::Closed closed = viewer.All<ev::Closed>().front();
    EXPECT_EQ(closed.reason, 2);
    EXPECT_EQ(closed.ending, ev::Ending::Lost);
    const std::vector<std::string> shown{"The connection to the Olvex server was lost."};
    EXPECT_EQ(viewer.Lines(), shown);
    EXPECT_EQ(session.CurrentState(), CallSession::State::Closed);

    EXPECT_EQ(session.SendTyped("still there?"), ResultCode::CallNotFound);
    EXPECT_EQ(session.SendLink("http://a.example"), ResultCode::CallNotFound);
    EXPECT_EQ(session.PushUrl("http://a.example", "x"), ResultCode::CallNotFound);
    viewer.Until([] { return false; }, 100ms);
    EXPECT_EQ(viewer.Lines(), shown) << "nothing echoed";
    EXPECT_TRUE(session.Outgoing().empty());
    EXPECT_EQ(engine.Calls().Count(), 0);
}

TEST_F(CallSessionTest, LinesLeftUnwrittenByAFailedConnectionAreReportedRecordedAndLoggedBare) {
    const std::string path = ArchivePath();
    auto archive = TranscriptArchive::Open(path, {});
    options.archive = archive;
    CallSession session(engine, 69, options);
    Viewer viewer(session);
    auto peer = Connect(session, viewer);
    ASSERT_TRUE(peer);
    // The server reads nothing more: an item far larger than the socket buffers blocks the
    // connection, and the lines wait behind it.
    EXPECT_EQ(session.Queue(ChatItemKind::Text, std::string(16 << 20, 'x')), ResultCode::Ok);
    EXPECT_EQ(session.Say("second\nline, private"), ResultCode::Ok);
    EXPECT_EQ(session.SendLink("http://b.example/secret"), ResultCode::Ok);
    peer->Close();
    ASSERT_TRUE(viewer.Until([&] { return viewer.Has<ev::Closed>(); }));
    // The operator is still logged in, but lines went nowhere: the connection failed.
    EXPECT_EQ(viewer.All<ev::Closed>().front().ending, ev::Ending::Lost);
    const std::vector<std::string> shown{"Op: second\nline, private", "Op: http://b.example/secret",
                                         "The connection to the Olvex server was lost.",
                                         "Not delivered: second line, private",
                                         "Not delivered: http://b.example/secret"};
    EXPECT_EQ(viewer.Lines(), shown);
    for (const auto& line : session.Outgoing())
        EXPECT_FALSE(line.written) << line.text;
    ASSERT_TRUE(archive->Flush(5s));
    EXPECT_EQ(ArchivedLines(path), shown);

    std::vector<std::string> warnings;
    for (const auto& [level, line] : log.Lines()) {
        EXPECT_EQ(line.find("private"), std::string::npos) << line;
        EXPECT_EQ(line.find("secret"), std::string::npos) << line;
        if (level == LogLevel::Warning && line.find("not delivered") != std::string::npos)
            warnings.push_back(line);
    }
    EXPECT_EQ(warnings, (std::vector<std::string>{"call 69: text line of 20 bytes not delivered",
                                                  "call 69: link of 23 bytes not delivered"}));
}

TEST_F(CallSessionTest, TheVisitorLeavingEndsTheChatAndLetsTheCallGo) {
    CallSession session(engine, 70, options);
    Viewer viewer(session);
    auto peer = Connect(session, viewer);
    ASSERT_TRUE(peer);
    peer->Send(
        Payload(9001, {"1006", "3", "7",        "0", "2", "1", "h", "Op", "Self", "90",  "0",  "1",
                       "1",    "",  "Guest 12", "",  "5", "0", "2", "2",  "h",    "Ann", "Lee"}));
    peer->Send(Payload(9003, {"2004", "5", "2"})); // a colleague leaving ends nothing
    peer->Send(Payload(9003, {"2004", "90", "1"}));
    ASSERT_TRUE(viewer.Until([&] { return viewer.Has<ev::Closed>(); }));
    const ev::Closed closed = viewer.All<ev::Closed>().front();
    EXPECT_EQ(closed.reason, 0);
    EXPECT_EQ(closed.ending, ev::Ending::VisitorLeft);
    EXPECT_EQ(viewer.Lines(), (std::vector<std::string>{
                                  "Guest 12 has joined this call", "Ann Lee has joined this call",
                                  "Ann Lee has left this call", "Guest 12 has left this call",
                                  "The visitor has left the chat."}));
    EXPECT_EQ(viewer.All<ev::Flash>().size(), 2u);
    EXPECT_EQ(session.Say("bye"), ResultCode::CallNotFound);
    // The call is let go: its connection closes and its id is free.
    EXPECT_TRUE(peer->WaitForPeerClose(2s));
    EXPECT_EQ(engine.Calls().Count(), 0);
    EXPECT_EQ(viewer.All<ev::Closed>().size(), 1u);
}

TEST_F(CallSessionTest, AKeptCallReportsEveryCloseUntilTheHangup) {
    options.keepClosedCall = true;
    CallSession session(engine, 65, options);
    Viewer viewer(session);
    auto peer = Connect(session, viewer);
    ASSERT_TRUE(peer);
    peer->Close();
    ASSERT_TRUE(viewer.Until([&] { return viewer.Has<ev::Closed>(); }));
    EXPECT_EQ(engine.Calls().Count(), 1);
    EXPECT_EQ(session.End(), ResultCode::Ok);
    ASSERT_TRUE(viewer.Until([&] { return viewer.All<ev::CallClosed>().size() >= 3; }));
    std::vector<int32_t> reasons;
    for (const auto& closed : viewer.All<ev::CallClosed>())
        reasons.push_back(closed.reason);
    EXPECT_EQ(reasons, (std::vector<int32_t>{2, 1, 1}));
    EXPECT_EQ(viewer.All<ev::Closed>().size(), 1u);
    EXPECT_EQ(viewer.Lines(), std::vector<std::string>{"This call has been closed."});
}

TEST_F(CallSessionTest, ARefusedJoinIsReportedWithItsReason) {
    CallSession session(engine, 66, options);
    Viewer viewer(session);
    session.Start();
    auto peer = server.Accept();
    ASSERT_TRUE(peer);
    ASSERT_TRUE(peer->Expect(Join(66)));
    peer->Send(Payload(9002, {"2003", "-27"}));
    ASSERT_TRUE(viewer.Until([&] { return viewer.Has<ev::JoinFailed>(); }));
    const ev::JoinFailed failed = viewer.All<ev::JoinFailed>().front();
    EXPECT_EQ(failed.result, -27);
    EXPECT_EQ(failed.reason, ResultText(-27));
    EXPECT_EQ(failed.message, std::string("Failed to start the chat.\r\n") + ResultText(-27));
    EXPECT_EQ(session.CurrentState(), CallSession::State::Failed);
    EXPECT_EQ(session.Queue(ChatItemKind::Text, "x"), ResultCode::CallNotFound);
    EXPECT_FALSE(viewer.Has<ev::Connected>());
}

TEST_F(CallSessionTest, ASessionClosedWhileJoiningDeliversNothingAndLeavesNoCall) {
    CallSession session(engine, 67, options);
    Viewer viewer(session);
    session.Start();
    auto peer = server.Accept();
    ASSERT_TRUE(peer);
    ASSERT_TRUE(peer->Expect(Join(67)));
    session.Close();
    const int wakes = viewer.Wakes();
    // The join is accepted only now: the worker must take the call down again.
    peer->Send(Payload(9001, {"2003"}));
    EXPECT_TRUE(peer->WaitForPeerClose(3s));
    for (int i = 0; i < 100 && engine.Calls().Count() != 0; ++i)
        std::this_thread::sleep_for(20ms);
    EXPECT_EQ(engine.Calls().Count(), 0);
    session.WaitForJoin();
    // Nothing of the first join may still run when the test (or the program) ends.
    ReapableThread::CollectFinished();
    EXPECT_EQ(viewer.Wakes(), wakes);
    session.Deliver(viewer);
    EXPECT_FALSE(viewer.Has<ev::Connected>());
    EXPECT_FALSE(viewer.Has<ev::JoinFailed>());

    // The same id joins again afterwards.
    CallSession again(engine, 67, options);
    Viewer second(again);
    EXPECT_TRUE(Connect(again, second));
}

} // namespace

TEST_F(CallSessionTest, TheRequestsWordsOpenTheTranscriptAndAreKeptOnceJoined) {
    const std::string path = ArchivePath();
    auto archive = TranscriptArchive::Open(path, {});
    options.archive = archive;
    options.opening = "I cannot <b>finish</b>\xC3(";
    CallSession session(engine, 64, options);
    Viewer viewer(session);
    auto peer = Connect(session, viewer);
    ASSERT_TRUE(peer);
    peer->Send(Payload(3003, {"1", "Guest 3", "hello"}));
    ASSERT_TRUE(viewer.Until([&] { return viewer.Lines().size() >= 2; }));
    // Shown before anything of the join, from "Visitor" while the request named nobody.
    EXPECT_TRUE(std::holds_alternative<ev::Line>(viewer.events.at(0)));
    const std::vector<std::string> shown{"Visitor: I cannot <b>finish</b>\xEF\xBF\xBD(",
                                         "Guest 3: hello"};
    EXPECT_EQ(viewer.Lines(), shown);
    session.Close();
    ASSERT_TRUE(archive->Flush(5s));
    EXPECT_EQ(ArchivedLines(path), shown);
}
