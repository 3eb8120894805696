// What the engine and the transport write to their log about log-ins, calls and the ends of
// connections.
#include "agent_client.h"
#include "engine_log_in.h"
#include "fake_server.h"
#include "log_sink.h"
#include "result_code.h"
#include "socket_channel.h"

#include <condition_variable>
#include <future>
#include <gtest/gtest.h>
#include <mutex>

using namespace olvex;
using namespace olvex::test;
using namespace std::chrono_literals;
using namespace std::string_literals;

namespace {

AgentOptions ShortTimeouts() {
    AgentOptions options;
    options.channelTimeout = 300ms;
    options.headerWait = 300ms;
    options.threadWait = 1s;
    return options;
}

// Collects the lines as "level: message".
class LogLines {
public:
    LogSink Sink() { return {&LogLines::Write, this, LogLevel::Debug}; }

    // True once a line holding `part` was written.
    bool WaitFor(const std::string& part, std::chrono::milliseconds timeout = 5s) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return all_.find(part) != npos; });
    }
    std::string All() {
        std::lock_guard lock(mutex_);
        return all_;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        all_.clear();
    }

private:
    static constexpr size_t npos = std::string::npos;
    static void Write(void* self, LogSource, LogLevel level, std::string_view message) {
        auto& lines = *static_cast<LogLines*>(self);
        {
            std::lock_guard lock(lines.mutex_);
            lines.all_ += LogLevelName(level) + ": "s + std::string(message) + "\n";
        }
        lines.changed_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::string all_;
};

// Every line of `said`, with PEER standing for the server's address, is in `all`.
void ExpectSaid(const std::string& all, const std::vector<std::string>& said,
                const std::string& peer) {
    for (std::string line : said) {
        if (auto at = line.find("PEER"); at != std::string::npos)
            line.replace(at, 4, peer);
        EXPECT_NE(all.find(line), std::string::npos) << line << "\n" << all;
    }
}

class EngineLog : public ::testing::Test {
protected:
    void SetUp() override { engine.logSink = lines.Sink(); }
    std::string Peer() const { return "127.0.0.1:" + std::to_string(server.Port()); }

    LogLines lines;
    FakeServer server;
    AgentClient engine{ShortTimeouts()};
};

} // namespace

TEST_F(EngineLog, EveryLostConnectionSaysWhyWithTheRefusedHeader) {
    struct Case {
        std::string bytes;
        bool thenClose;
        std::vector<std::string> said;
    };
    const Case cases[] = {
        {"XYZ\0\0\0\x05hello"s,
         false,
         {"warning: refused a frame from PEER: wrong magic bytes (header 58 59 5a 00 00 00 05)",
          "warning: connection to PEER lost: a frame was refused (-4) (reason 2, connection "
          "lost)"}},
        {"<!>\0\0\0\0"s, false, {"length 0 not above 0 (header 3c 21 3e 00 00 00 00)"}},
        {"<!>\x7f\xff\xff\xff"s,
         false,
         {"length 2147483647 above the limit of " + std::to_string(kMaxPayloadLength) +
          " (header 3c 21 3e 7f ff ff ff)"}},
        {"<!>\0\0"s,
         true,
         {"incomplete header, 5 of 7 bytes (3c 21 3e 00 00), then the server closed the "
          "connection"}},
        {"<!>\0\0\0\x64"s + "9003<~>400",
         false,
         {"payload cut short after 10 of 100 bytes (header 3c 21 3e 00 00 00 64): nothing for "
          "300 ms"}},
        {"<!>\0\0\0\x08"s + "-123<~>x",
         false,
         {"lost: a message with a negative command code was refused (code bytes 2d 31 32 33, 8 "
          "bytes) (-16)"}},
        {"",
         true,
         {"info: PEER: the server closed the connection",
          "lost: the connection ended (-5) (reason 2, connection lost)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        auto peer = LogInEngine(engine, server, 42);
        ASSERT_TRUE(peer);
        lines.Clear();
        peer->SendRaw(c.bytes);
        if (c.thenClose)
            peer->Close();
        ASSERT_TRUE(lines.WaitFor("(reason 2, connection lost)"));
        ExpectSaid(lines.All(), c.said, Peer());
    }
}

TEST_F(EngineLog, LogInsLogoutsAndCommandsSayTheirResultsButNeverThePassword) {
    const char* password = "Pw-7731-secret";
    auto login = std::async(std::launch::async, [&] {
        return engine.Login("127.0.0.1", server.Port(), "ann", password);
    });
    auto peer = server.Accept();
    ASSERT_TRUE(peer && peer->Receive());
    peer->Send(Payload(9002, {"1001", "-24"}));
    EXPECT_EQ(login.get(), ResultCode::Credentials);

    peer = LogInEngine(engine, server, 42);
    ASSERT_TRUE(peer);
    engine.Logout(1);
    EXPECT_EQ(engine.SetStatus(2), ResultCode::Connect);
    server.StopListening();
    EXPECT_EQ(engine.Login("127.0.0.1", server.Port(), "ann", password), ResultCode::Connect);

    const std::string all = lines.All();
    ExpectSaid(
        all,
        {
            "info: logging in to PEER as \"ann\"",
            "warning: log-in to PEER failed: The supplied user credentials are not valid. (-24)",
            "info: connected to PEER",
            "info: logged in to PEER as user 42, newest client version 3",
            "info: logged out from PEER (reason 1, logout)",
            "debug: command 1003 not sent: not logged in, logging out",
            "warning: connecting to PEER failed: Connection refused",
            "warning: log-in to PEER failed: There was an error while connecting to the server. "
            "(-2)",
        },
        Peer());
    EXPECT_EQ(all.find(password), std::string::npos) << all;
}

TEST_F(EngineLog, CallJoinsRefusalsAndEnds) {
    auto serverSide = LogInEngine(engine, server, 42);
    ASSERT_TRUE(serverSide);
    auto open = [&](int32_t callId, const std::string& answer) {
        auto result = std::async(std::launch::async, [&] { return engine.Calls().Open(callId); });
        auto peer = server.Accept();
        EXPECT_TRUE(peer && peer->Receive());
        if (peer)
            peer->Send(answer);
        result.wait();
        return peer;
    };
    open(6, Payload(9002, {"2003", "-27"}));
    auto call = open(5, Payload(9001, {"2003"}));
    ASSERT_TRUE(call);
    call->Send(Payload(9003, {"2003", "31", "1", "0", "Visitor", "Name"}));
    call->Close();
    ASSERT_TRUE(lines.WaitFor("call 5: connection lost"));
    engine.Calls().Remove(5);

    const std::string all = lines.All();
    ExpectSaid(all,
               {
                   "warning: call 6 not joined: The specified user is not online. (-27)",
                   "info: joined call 5",
                   "info: call 5: user 31 (kind 1) joined",
                   "warning: call 5: connection lost: the connection ended (-5)",
                   "info: call 5 closed",
               },
               Peer());
    EXPECT_EQ(all.find("Visitor"), std::string::npos) << all;
}
