#pragma once

#include "socket_channel.h"
#include "wire_message.h"

#include <chrono>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace olvex::test {

// Plays the console's side of the protocol against the demo server, one
// connection (server or call) per object.
class OperatorClient {
public:
    explicit OperatorClient(int port);

    bool Connected() const { return channel_.IsOpen(); }
    void Close() { channel_.Close(); }
    bool Send(int code, std::initializer_list<std::string_view> fields = {});
    bool SendRaw(std::string_view bytes);
    // The next message, or nothing when none came within `wait` or the connection ended.
    std::optional<WireMessage> Next(std::chrono::milliseconds wait = std::chrono::seconds(5));
    // Skips messages until one has `code` and field 1 equal to `first`.
    std::optional<WireMessage> WaitFor(int code, int first,
                                       std::chrono::milliseconds wait = std::chrono::seconds(5));
    // Skips messages until `match` accepts one.
    std::optional<WireMessage> WaitUntil(const std::function<bool(const WireMessage&)>& match,
                                         std::chrono::milliseconds wait = std::chrono::seconds(5));
    // True when the server closes the connection within `wait` (whatever it sends first).
    bool WaitForClose(std::chrono::milliseconds wait = std::chrono::seconds(5));

    // Logs in; returns the user id, or the error code of a refusal.
    int32_t Login(std::string_view user, std::string_view password);
    // Opens this connection as a call connection; returns 0 or the refusal's code.
    int32_t JoinCall(int32_t callId, int32_t userId);

private:
    SocketChannel channel_;
    int fd_ = -1;
};

} // namespace olvex::test
