#include "agent_client.h"
#include "call_channel.h"
#include "call_list.h"
#include "chat_call.h"
#include "engine_log_in.h"
#include "fake_server.h"
#include "result_code.h"
#include "thread_reaper.h"
#include "wire_message.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace olvex;
using namespace olvex::test;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int32_t kOwnUserId = 7;

AgentOptions ShortTimeouts() {
    AgentOptions options;
    options.channelTimeout = 300ms;
    options.threadWait = 1s;
    return options;
}

struct Event {
    std::string name;
    int32_t a = 0, b = 0, c = 0, d = 0;
    std::string text; // payload of a message, or first name of a record

    Event(std::string n, int32_t a_ = 0, int32_t b_ = 0, int32_t c_ = 0, int32_t d_ = 0,
          std::string t = {})
        : name(std::move(n)), a(a_), b(b_), c(c_), d(d_), text(std::move(t)) {}
};

// Collects call events from the channel threads; tests wait on it with a time-out.
class Recorder {
public:
    CallCallbacks Callbacks() {
        CallCallbacks cb;
        cb.OnChatMessage = [](void* r, const WireMessage& m) {
            Self(r).Push({"OnChatMessage", m.Code(), 0, 0, 0, m.Payload()});
        };
        cb.OnMessageSent = [](void* r, const WireMessage& m) {
            Self(r).Push({"OnMessageSent", m.Code(), 0, 0, 0, m.Payload()});
        };
        cb.OnCallClosed = [](void* r, int32_t reason) { Self(r).Push({"OnCallClosed", reason}); };
        cb.OnParticipantsReceived = [](void* r) { Self(r).Push({"OnParticipantsReceived"}); };
        cb.OnParticipantJoined = [](void* r, const UserRecord& u) {
            Self(r).Push({"OnParticipantJoined", u.userId, u.kind, u.auxNumber, u.status,
                          u.firstName + "|" + u.lastName});
        };
        cb.OnParticipantLeft = [](void* r, const UserRecord& u) {
            Self(r).Push({"OnParticipantLeft", u.userId, u.kind, 0, 0, u.firstName});
        };
        cb.OnOperatorInvited = [](void* r, const UserRecord& u) {
            Self(r).Push({"OnOperatorInvited", u.userId, u.kind, 0, 0, u.firstName});
        };
        cb.OnChannelNotice = [](void* r, int32_t a, int32_t b, int32_t c, int32_t form) {
            Self(r).Push({"OnChannelNotice", a, b, c, form});
        };
        cb.OnCallError = [](void* r, int32_t code, int32_t detail) {
            Self(r).Push({"OnCallError", code, detail});
        };
        return cb;
    }

    void Push(Event e) {
        std::function<void()> hook;
        {
            std::lock_guard lock(mutex_);
            events_.push_back(std::move(e));
            hook = onEvent;
        }
        changed_.notify_all();
        if (hook)
            hook();
    }

    // Waits until `name` was raised `n` times; returns the events seen so far.
    bool WaitFor(const std::string& name, size_t n = 1, std::chrono::milliseconds timeout = 5s) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return CountLocked(name) >= n; });
    }
    size_t Count(const std::string& name) {
        std::lock_guard lock(mutex_);
        return CountLocked(name);
    }
    std::vector<Event> Of(const std::string& name) {
        std::lock_guard lock(mutex_);
        std::vector<Event> out;
        for (auto& e : events_)
            if (e.name == name)
                out.push_back(e);
        return out;
    }

    std::function<void()> onEvent; // set before the call runs

private:
    static Recorder& Self(void* r) { return *static_cast<Recorder*>(r); }
    size_t CountLocked(const std::string& name) const {
        size_t n = 0;
        for (auto& e : events_)
            n += e.name == name;
        return n;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Event> events_;
};

std::string JoinPayload(int32_t callId, int32_t key = 0) {
    return Payload(key == 0 ? 2003 : 3001,
                   {std::to_string(callId), std::to_string(kOwnUserId), std::to_string(key), "2"});
}

// An engine logged in to the fake server, with short call time-outs.
class CallsTest : public ::testing::Test {
protected:
    void SetUp() override {
        AgentCallbacks cb;
        cb.OnUserListReceived = [](void* promise) {
            static_cast<std::promise<void>*>(promise)->set_value();
        };
        engine.SetCallbacks(&userList, cb);
        serverSide = LogInEngine(engine, server, kOwnUserId);
        ASSERT_TRUE(serverSide);
    }

    // Starts Open(callId) and hands back the server's end after checking the join message.
    std::unique_ptr<FakeConnection> StartOpen(int32_t callId, std::future<int32_t>& result) {
        result =
            std::async(std::launch::async, [this, callId] { return engine.Calls().Open(callId); });
        auto peer = server.Accept();
        EXPECT_TRUE(peer);
        if (peer) {
            EXPECT_EQ(peer->Receive(), JoinPayload(callId));
        }
        return peer;
    }

    // Opens a call accepted by the server, with the recorder's callbacks set.
    std::unique_ptr<FakeConnection> OpenCall(int32_t callId) {
        std::future<int32_t> result;
        auto peer = StartOpen(callId, result);
        peer->Send(Payload(9001, {"2003"}));
        EXPECT_EQ(result.get(), 0);
        call = engine.Calls().FindById(callId);
        EXPECT_TRUE(call);
        call->SetCallbacks(&recorder, recorder.Callbacks());
        return peer;
    }

    int32_t OpenAnsweredWith(const std::string& answer) {
        std::future<int32_t> result;
        auto peer = StartOpen(11, result);
        peer->Send(answer);
        int32_t rc = result.get();
        EXPECT_TRUE(peer->WaitForPeerClose(2s)) << "a failed join leaves its connection open";
        return rc;
    }

    Recorder recorder; // outlives the engine, whose threads report to it
    std::promise<void> userList;
    FakeServer server;
    AgentClient engine{ShortTimeouts()};
    std::unique_ptr<FakeConnection> serverSide;
    std::shared_ptr<ChatCall> call;
};

TEST_F(CallsTest, FailedOpensKeepNoCall) {
    EXPECT_EQ(OpenAnsweredWith(Payload(9002, {"2003", "-27"})), ResultCode::UserNotOnline);
    EXPECT_EQ(OpenAnsweredWith(Payload(9001, {"3001"})), ResultCode::MessageParameters);
    EXPECT_EQ(OpenAnsweredWith(Payload(5001)), ResultCode::MessageCommand);
    // A refusal whose code does not read as a failure must not open the call.
    EXPECT_EQ(OpenAnsweredWith(Payload(9002, {"2003", "0"})), ResultCode::MessageParameters);
    EXPECT_EQ(OpenAnsweredWith(Payload(9002, {"2003"})), ResultCode::MessageFormat);

    std::future<int32_t> silent;
    auto peer = StartOpen(12, silent);
    EXPECT_EQ(silent.get(), ResultCode::Timeout);

    EXPECT_EQ(engine.Calls().Count(), 0);
    EXPECT_EQ(engine.Calls().FindById(11), nullptr);
    EXPECT_EQ(engine.Calls().Remove(11), ResultCode::CallNotFound);

    AgentClient loggedOut(ShortTimeouts());
    EXPECT_EQ(loggedOut.Calls().Open(11), ResultCode::Connect);
    EXPECT_EQ(server.Accept(100ms), nullptr);
}

TEST_F(CallsTest, SecondOpenOfAnIdIsRefusedWithoutConnecting) {
    std::future<int32_t> first;
    auto peer = StartOpen(5, first);
    // While the first Open waits for its answer, and again once the call is listed.
    EXPECT_EQ(engine.Calls().Open(5), ResultCode::CallNotFound);
    peer->Send(Payload(9001, {"2003"}));
    EXPECT_EQ(first.get(), 0);
    EXPECT_EQ(engine.Calls().Open(5), ResultCode::CallNotFound);
    EXPECT_EQ(server.Accept(200ms), nullptr);
    EXPECT_EQ(engine.Calls().Count(), 1);
}

// A server that never answers the join: Remove, Clear and the engine's end give
// the connection up at once instead of waiting out the handshake.
TEST_F(CallsTest, ConnectingCallIsGivenUpAtOnce) {
    auto patient = std::make_unique<AgentClient>(AgentOptions{20s, 10s, 1s});
    auto side = LogInEngine(*patient, server, kOwnUserId);
    ASSERT_TRUE(side);
    auto startOpen = [&](int32_t id) {
        auto opening =
            std::async(std::launch::async, [&, id] { return patient->Calls().Open(id); });
        auto peer = server.Accept();
        EXPECT_TRUE(peer && peer->Receive());
        return std::make_pair(std::move(opening), std::move(peer));
    };

    auto [removed, removedPeer] = startOpen(6);
    auto start = Clock::now();
    EXPECT_EQ(patient->Calls().Remove(6), 0);
    ASSERT_EQ(removed.wait_for(1s), std::future_status::ready);
    EXPECT_EQ(removed.get(), ResultCode::CallNotFound);
    EXPECT_TRUE(removedPeer->WaitForPeerClose(1s));
    EXPECT_EQ(patient->Calls().Remove(6), ResultCode::CallNotFound);

    auto [cleared, clearedPeer] = startOpen(7);
    patient->Calls().Clear();
    ASSERT_EQ(cleared.wait_for(1s), std::future_status::ready);
    EXPECT_EQ(cleared.get(), ResultCode::CallNotFound);

    auto [last, lastPeer] = startOpen(8);
    const auto exitStart = Clock::now();
    patient.reset();
    RecordProperty(
        "ExitWithCallConnectingMs",
        int(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - exitStart)
                .count()));
    EXPECT_EQ(last.get(), ResultCode::CallNotFound);
    EXPECT_LT(Clock::now() - start, 3s);
}

TEST_F(CallsTest, ParticipantsRefillJoinAndLeave) {
    auto peer = OpenCall(20);
    ASSERT_EQ(call->RequestParticipants(), 0);
    EXPECT_EQ(peer->Receive(), "1006");

    peer->Send(Payload(9001, {"1006", "2", "31", "0", "1", "1", "", "Ann", "", "7", "0", "2", "1",
                              "", "Op", "Erator"}));
    ASSERT_TRUE(recorder.WaitFor("OnParticipantsReceived"));
    EXPECT_EQ(call->Participants().CountByStatus(-1), 2);

    peer->Send(Payload(9003, {"2003", "31", "1", "9", "Ann", ""})); // already listed
    peer->Send(Payload(9003, {"2003", "44", "2", "9", "Bo", "Bell"}));
    ASSERT_TRUE(recorder.WaitFor("OnParticipantJoined"));
    auto joined = recorder.Of("OnParticipantJoined");
    ASSERT_EQ(joined.size(), 1u);
    EXPECT_EQ(joined[0].a, 44);
    EXPECT_EQ(joined[0].b, 2);
    EXPECT_EQ(joined[0].c, 9);
    EXPECT_EQ(joined[0].d, 1);
    EXPECT_EQ(joined[0].text, "Bo|Bell");

    peer->Send(Payload(9003, {"2004", "31", "2"})); // wrong kind: nobody leaves
    peer->Send(Payload(9003, {"2004", "31", "1"}));
    ASSERT_TRUE(recorder.WaitFor("OnParticipantLeft"));
    EXPECT_EQ(recorder.Of("OnParticipantLeft").at(0).text, "Ann");
    EXPECT_EQ(call->Participants().CountByStatus(-1), 2);
    EXPECT_EQ(call->Participants().Find(31, 1), nullptr);

    // An empty refill empties the list and is still reported.
    peer->Send(Payload(9001, {"1006", "0"}));
    ASSERT_TRUE(recorder.WaitFor("OnParticipantsReceived", 2));
    EXPECT_EQ(call->Participants().CountByStatus(-1), 0);
}

TEST_F(CallsTest, InvitedOperatorComesFromTheEnginesList) {
    serverSide->Send(Payload(9001, {"1006", "1", "42", "0", "2", "1", "host", "Olga", "Ops"}));
    ASSERT_EQ(userList.get_future().wait_for(5s), std::future_status::ready);
    ASSERT_TRUE(engine.Users().Find(42, 2));

    auto peer = OpenCall(21);
    ASSERT_EQ(call->InviteOperator(42, "invitation"), 0);
    EXPECT_EQ(peer->Receive(), Payload(2002, {"42", "invitation"}));
    peer->Send(Payload(9001, {"2002", "99"})); // not in the list: nothing
    peer->Send(Payload(9001, {"2002", "42"}));
    ASSERT_TRUE(recorder.WaitFor("OnOperatorInvited"));
    auto invited = recorder.Of("OnOperatorInvited");
    ASSERT_EQ(invited.size(), 1u);
    EXPECT_EQ(invited[0].a, 42);
    EXPECT_EQ(invited[0].text, "Olga");
}

TEST_F(CallsTest, ChatItemsNoticesAndErrors) {
    auto peer = OpenCall(22);
    peer->Send(Payload(3003, {"1", "Ann", "<b>hi</b>"}));
    peer->Send(Payload(9003, {"3001", "1", "2", "3"}));
    peer->Send(Payload(9003, {"3002", "4", "5", "6"}));
    peer->Send(Payload(5001));
    peer->Send(Payload(9002, {"2002", "-27"}));
    peer->Send(Payload(9001, {"7777"}));
    peer->Send(Payload(9003, {"2001", "1", "2"}));
    ASSERT_TRUE(recorder.WaitFor("OnCallError", 4));

    auto chat = recorder.Of("OnChatMessage");
    ASSERT_EQ(chat.size(), 1u);
    EXPECT_EQ(chat[0].text, Payload(3003, {"1", "Ann", "<b>hi</b>"}));
    auto notices = recorder.Of("OnChannelNotice");
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ((std::vector{notices[0].a, notices[0].b, notices[0].c, notices[0].d}),
              (std::vector{1, 2, 3, 0}));
    EXPECT_EQ((std::vector{notices[1].a, notices[1].b, notices[1].c, notices[1].d}),
              (std::vector{4, 5, 6, 1}));
    auto errors = recorder.Of("OnCallError");
    std::vector<std::pair<int32_t, int32_t>> pairs;
    for (auto& e : errors)
        pairs.emplace_back(e.a, e.b);
    EXPECT_EQ(pairs, (std::vector<std::pair<int32_t, int32_t>>{
                         {5001, -4}, {2002, -27}, {9001, 7777}, {9003, 2001}}));
}

TEST_F(CallsTest, QueuedMessagesGoOutInOrder) {
    auto peer = OpenCall(23);
    WireMessage first(3003), second(3003);
    first.AddInt(1);
    first.AddText("Op");
    first.AddText("one");
    second.AddInt(2);
    second.AddText("Op");
    auto main = call->Channels().Find(0);
    ASSERT_TRUE(main);
    main->Messages().PushCopy(first);
    main->Messages().PushCopy(second);
    main->Wake();
    EXPECT_EQ(peer->Receive(), first.Payload());
    EXPECT_EQ(peer->Receive(), second.Payload());
    ASSERT_TRUE(recorder.WaitFor("OnMessageSent", 2));
    auto sent = recorder.Of("OnMessageSent");
    EXPECT_EQ(sent[0].text, first.Payload());
    EXPECT_EQ(sent[1].text, second.Payload());
    EXPECT_EQ(call->QueueMessage(WireMessage()), ResultCode::MessageEmpty);
}

TEST_F(CallsTest, ServerClosingTheCallReportsOnceAndStopsSending) {
    auto peer = OpenCall(24);
    peer->Close();
    ASSERT_TRUE(recorder.WaitFor("OnCallClosed"));
    auto main = call->Channels().Find(0);
    ASSERT_TRUE(main);
    EXPECT_FALSE(main->IsRunning());
    // The call has ended: a message is refused, not queued for nobody.
    EXPECT_EQ(call->QueueMessage(WireMessage(1006)), ResultCode::SendFailed);
    EXPECT_EQ(recorder.Count("OnMessageSent"), 0u);

    EXPECT_EQ(engine.Calls().Remove(24), 0);
    auto closed = recorder.Of("OnCallClosed");
    EXPECT_EQ(closed.at(0).a, 2);
    size_t lost = 0;
    for (auto& e : closed)
        lost += e.a == 2;
    EXPECT_EQ(lost, 1u);
    EXPECT_EQ(closed.back().a, 1); // the removal itself
}

TEST_F(CallsTest, RemovingACallDropsItsQueueSilently) {
    auto peer = OpenCall(25);
    // The peer reads nothing, so the first message blocks the send thread.
    WireMessage big(3003);
    big.AddInt(1);
    big.AddText("Op");
    big.AddText(std::string(15 * 1024 * 1024, 'x'));
    ASSERT_EQ(call->QueueMessage(big), 0);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(call->QueueMessage(WireMessage(1006)), 0);

    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(engine.Calls().Remove(25), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
    EXPECT_EQ(recorder.Count("OnMessageSent"), 0u);
    EXPECT_EQ(recorder.Count("OnCallError"), 0u);
    EXPECT_GE(recorder.Count("OnCallClosed"), 1u);
    EXPECT_EQ(engine.Calls().Remove(25), ResultCode::CallNotFound);
}

// The server ends the call right after accepting the join, before the window
// has installed its callbacks: the end reaches them when they come.
TEST_F(CallsTest, EndBeforeTheCallbacksReachesThemWhenSet) {
    std::future<int32_t> result;
    auto peer = StartOpen(28, result);
    peer->Send(Payload(9001, {"2003"}));
    peer->Close();
    ASSERT_EQ(result.get(), 0);
    call = engine.Calls().FindById(28);
    ASSERT_TRUE(call);
    auto main = call->Channels().Find(0);
    for (int i = 0; i < 200 && main->IsRunning(); ++i)
        std::this_thread::sleep_for(5ms);
    ASSERT_FALSE(main->IsRunning());

    // The channel stops before its end is recorded: the report comes from SetCallbacks
    // or, a moment later, from the ending thread, but always once.
    call->SetCallbacks(&recorder, recorder.Callbacks());
    ASSERT_TRUE(recorder.WaitFor("OnCallClosed"));
    EXPECT_EQ(recorder.Of("OnCallClosed")[0].a, CallChannel::kConnectionLost);
    EXPECT_EQ(call->QueueMessage(WireMessage(1006)), ResultCode::SendFailed);
    call->SetCallbacks(&recorder, recorder.Callbacks());
    EXPECT_EQ(recorder.Count("OnCallClosed"), 1u) << "reported once";
}

// A send cut off half-way leaves a broken frame on the connection: the call
// ends there, and what was still queued is reported as not sent.
TEST_F(CallsTest, FailedSendEndsTheCallAndFailsTheRest) {
    auto peer = OpenCall(29); // the peer reads nothing from now on
    WireMessage big(3003);
    big.AddInt(1);
    big.AddText("Op");
    big.AddText(std::string(32 * 1024 * 1024, 'x'));
    ASSERT_EQ(call->QueueMessage(big), 0);
    ASSERT_EQ(call->QueueMessage(WireMessage(1006)), 0);
    ASSERT_TRUE(recorder.WaitFor("OnCallClosed"));
    EXPECT_EQ(recorder.Of("OnCallClosed")[0].a, CallChannel::kConnectionLost);
    auto errors = recorder.Of("OnCallError");
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ((std::pair{errors[0].a, errors[0].b}), (std::pair{3003, ResultCode::SendFailed}));
    EXPECT_EQ((std::pair{errors[1].a, errors[1].b}), (std::pair{1006, ResultCode::SendFailed}));
    EXPECT_EQ(recorder.Count("OnMessageSent"), 0u);
    EXPECT_TRUE(peer->WaitForPeerClose(2s));
}

// A window thread busy in a callback holds Remove for about a second, not for
// good; the thread is reaped once it returns, and the call id opens again.
TEST_F(CallsTest, RemoveWaitsABoundedTimeForABusyCallback) {
    auto peer = OpenCall(30);
    std::promise<void> entered;
    std::promise<void> release;
    auto released = release.get_future().share();
    std::atomic<bool> first{true};
    recorder.onEvent = [&, released] {
        if (first.exchange(false)) {
            entered.set_value();
            released.wait();
        }
    };
    peer->Send(Payload(3003, {"1", "Ann", "hi"}));
    entered.get_future().wait();
    std::promise<void> removed;
    auto unblock = std::async(std::launch::async, [&] {
        removed.get_future().wait_for(4s); // a Remove that waits for good gets out after all
        release.set_value();
    });

    auto start = Clock::now();
    EXPECT_EQ(engine.Calls().Remove(30), 0);
    const auto took = Clock::now() - start;
    removed.set_value();
    EXPECT_LT(took, 2s);
    RecordProperty("RemoveWithBusyCallbackMs",
                   int(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
    EXPECT_TRUE(peer->WaitForPeerClose(1s));

    recorder.onEvent = nullptr;
    auto again = OpenCall(30);
    EXPECT_TRUE(again);
    EXPECT_EQ(engine.Calls().Count(), 1);
    unblock.get();
    // The let-go thread returns by itself; what it uses here must outlive it.
    for (int i = 0; i < 400 && ReapableThread::PendingCount() > 0; ++i)
        std::this_thread::sleep_for(5ms);
    EXPECT_EQ(ReapableThread::PendingCount(), 0);
}

TEST_F(CallsTest, CallbackMayRemoveItsOwnCall) {
    auto peer = OpenCall(26);
    std::promise<int32_t> removed;
    recorder.onEvent = [&] {
        if (recorder.Count("OnChatMessage") == 1 && recorder.Count("OnCallClosed") == 0)
            removed.set_value(engine.Calls().Remove(26)); // on the call's receive thread
    };
    peer->Send(Payload(3003, {"2", "Ann"}));
    auto result = removed.get_future();
    ASSERT_EQ(result.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(result.get(), 0);
    EXPECT_TRUE(peer->WaitForPeerClose(2s));
    EXPECT_EQ(engine.Calls().Count(), 0);
    recorder.onEvent = nullptr;
}

TEST_F(CallsTest, EngineDestructionClosesEveryCall) {
    auto engine2 = std::make_unique<AgentClient>(ShortTimeouts());
    {
        auto login = std::async(std::launch::async, [&] {
            return engine2->Login("127.0.0.1", server.Port(), "a", "b");
        });
        auto side = server.Accept();
        ASSERT_TRUE(side && side->Receive());
        side->Send(Payload(9001, {"1001", std::to_string(kOwnUserId), "3"}));
        ASSERT_EQ(login.get(), 0);

        std::vector<std::unique_ptr<FakeConnection>> peers;
        for (int32_t id : {30, 31}) {
            auto opening =
                std::async(std::launch::async, [&, id] { return engine2->Calls().Open(id); });
            peers.push_back(server.Accept());
            ASSERT_TRUE(peers.back() && peers.back()->Receive());
            peers.back()->Send(Payload(9001, {"2003"}));
            ASSERT_EQ(opening.get(), 0);
        }
        engine2->Calls().FindById(30)->SetCallbacks(&recorder, recorder.Callbacks());
        engine2.reset();
        for (auto& p : peers)
            EXPECT_TRUE(p->WaitForPeerClose(2s));
        EXPECT_GE(recorder.Count("OnCallClosed"), 1u);
    }
}

TEST_F(CallsTest, SecondaryChannelUsesItsOwnSlots) {
    auto peer = OpenCall(27);
    CallEndpoint endpoint{"127.0.0.1", server.Port(), kOwnUserId, 300ms, {}};
    auto opening =
        std::async(std::launch::async, [&] { return call->Channels().Open(3, *call, endpoint); });
    auto side = server.Accept();
    ASSERT_TRUE(side);
    EXPECT_EQ(side->Receive(), JoinPayload(27, 3));
    side->Send(Payload(9001, {"3001"}));
    ASSERT_EQ(opening.get(), 0);
    EXPECT_EQ(call->Channels().Open(3, *call, endpoint), ResultCode::ChannelNotFound);

    Recorder own;
    ChannelCallbacks slots;
    slots.OnChatItem = [](void* r, const WireMessage& m) {
        static_cast<Recorder*>(r)->Push({"item", m.Code()});
    };
    slots.OnError = [](void* r, int32_t code, int32_t detail) {
        static_cast<Recorder*>(r)->Push({"error", code, detail});
    };
    call->Channels().Find(3)->SetCallbacks(&own, slots);
    side->Send(Payload(3003, {"1", "x", "y"}));
    side->Send(Payload(5001));
    side->Send(Payload(9003, {"3001", "1", "1", "1"})); // notices still go to the call
    ASSERT_TRUE(own.WaitFor("error"));
    ASSERT_TRUE(recorder.WaitFor("OnChannelNotice"));
    EXPECT_EQ(own.Count("item"), 1u);
    EXPECT_EQ(own.Of("error").at(0).a, 5001);
    EXPECT_EQ(recorder.Count("OnChatMessage"), 0u);
    EXPECT_EQ(recorder.Count("OnCallError"), 0u);
}

// Many short calls: descriptors and threads must not pile up.
TEST_F(CallsTest, ThousandCallsLeakNothing) {
    const int before = CountOpenFds();
    for (int i = 0; i < 1000; ++i) {
        auto peer = OpenCall(1000 + i);
        ASSERT_TRUE(peer);
        peer->Send(Payload(3003, {"1", "Ann", "hello"}));
        WireMessage reply(3003);
        reply.AddInt(1);
        reply.AddText("Op");
        reply.AddText("hi");
        ASSERT_EQ(call->QueueMessage(reply), 0);
        ASSERT_EQ(peer->Receive(), reply.Payload());
        if (i % 2)
            peer->Close(); // half of them end from the server's side
        ASSERT_EQ(engine.Calls().Remove(1000 + i), 0);
        call.reset();
    }
    EXPECT_EQ(engine.Calls().Count(), 0);
    EXPECT_EQ(CountOpenFds(), before);
}

} // namespace
