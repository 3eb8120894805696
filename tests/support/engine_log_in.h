#pragma once

#include "agent_client.h"
#include "fake_server.h"

#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace olvex::test {

// Logs `engine` in to `server` as the operator `userId`, the newest client version being the
// server's "3". Returns the server's side of the connection, or null after a test failure.
inline std::unique_ptr<FakeConnection> LogInEngine(AgentClient& engine, FakeServer& server,
                                                   int32_t userId) {
    auto login = std::async(std::launch::async,
                            [&] { return engine.Login("127.0.0.1", server.Port(), "op", "pw"); });
    auto peer = server.Accept();
    if (!peer || !peer->Receive()) {
        ADD_FAILURE() << "the engine sent no log-in request";
        login.wait();
        return nullptr;
    }
    peer->Send(Payload(9001, {"1001", std::to_string(userId), "3"}));
    if (const int32_t result = login.get(); result != 0) {
        ADD_FAILURE() << "log-in answered with " << result;
        return nullptr;
    }
    return peer;
}

// The server's side of a log-in as "ann" with "pw" that a program under test has started:
// answered with `version` as the newest client version and, when that is the program's own
// ("15"), followed by the two list requests. Null after a test failure.
inline std::unique_ptr<FakeConnection> AnswerLogIn(FakeServer& server, const char* version) {
    auto peer = server.Accept();
    EXPECT_TRUE(peer);
    if (!peer)
        return nullptr;
    EXPECT_TRUE(peer->Expect(Payload(1001, {"ann", "pw"})));
    peer->Send(Payload(9001, {"1001", "42", version}));
    if (std::string(version) == "15") {
        EXPECT_TRUE(peer->Expect(Payload(1006)));
        EXPECT_TRUE(peer->Expect(Payload(1007)));
    }
    return peer;
}

} // namespace olvex::test
