#pragma once

#include "socket_channel.h"

#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace olvex::test {

using namespace std::chrono_literals;

// One accepted connection of the fake server, driven step by step by a test.
class FakeConnection {
public:
    // With a TLS session, the handshake runs within the first Receive.
    explicit FakeConnection(int fd, std::unique_ptr<TlsSession> tls = nullptr);
    ~FakeConnection();

    // The next frame's payload, or nothing when none came in time or the peer closed.
    std::optional<std::string> Receive(std::chrono::milliseconds timeout = 5s);
    // Succeeds when the next frame's payload is exactly `payload`.
    ::testing::AssertionResult Expect(std::string_view payload,
                                      std::chrono::milliseconds timeout = 5s);
    // Sends one well-formed frame.
    bool Send(std::string_view payload);
    // Writes bytes as they are: broken headers, split frames, garbage.
    bool SendRaw(std::string_view bytes);
    // Reads exactly `count` raw bytes, or fewer if the peer closes or time runs out.
    std::string ReceiveRaw(size_t count, std::chrono::milliseconds timeout = 5s);
    // True when the peer has closed the connection within the time.
    bool WaitForPeerClose(std::chrono::milliseconds timeout = 5s);
    void Close();
    int Fd() const { return fd_; }

private:
    int fd_ = -1;
    SocketChannel channel_;
};

// A TCP listener on 127.0.0.1 with an ephemeral port.
class FakeServer {
public:
    FakeServer();
    ~FakeServer();
    FakeServer(const FakeServer&) = delete;
    FakeServer& operator=(const FakeServer&) = delete;

    int Port() const { return port_; }
    // The next connection, or null when none arrives in time.
    std::unique_ptr<FakeConnection> Accept(std::chrono::milliseconds timeout = 5s);
    // Stops listening; later connection attempts are refused.
    void StopListening();
    // Connections accepted from now on speak TLS with this server context.
    void UseTls(std::shared_ptr<TlsContext> context) { tls_ = std::move(context); }

private:
    int listenFd_ = -1;
    int port_ = 0;
    std::shared_ptr<TlsContext> tls_;
};

// Builds a payload: code and fields, as WireMessage writes them.
std::string Payload(int code, std::initializer_list<std::string_view> fields = {});

// Number of open descriptors of this process.
int CountOpenFds();

} // namespace olvex::test
