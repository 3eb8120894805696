#include "operator_client.h"

#include <cerrno>
#include <sys/socket.h>

namespace olvex::test {

using Clock = std::chrono::steady_clock;

OperatorClient::OperatorClient(int port) : channel_(std::chrono::seconds(5)) {
    channel_.SetHeaderWait(std::chrono::seconds(5));
    fd_ = channel_.Connect("127.0.0.1", port);
}

bool OperatorClient::Send(int code, std::initializer_list<std::string_view> fields) {
    WireMessage message(code);
    for (std::string_view field : fields)
        message.AddText(field);
    return message.Send(channel_) == message.Length();
}

bool OperatorClient::SendRaw(std::string_view bytes) {
    if (fd_ <= 0)
        return false;
    size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += size_t(n);
    }
    return true;
}

std::optional<WireMessage> OperatorClient::Next(std::chrono::milliseconds wait) {
    channel_.SetTimeout(wait);
    WireMessage message;
    if (message.Receive(channel_) <= 0)
        return std::nullopt;
    return message;
}

std::optional<WireMessage>
OperatorClient::WaitUntil(const std::function<bool(const WireMessage&)>& match,
                          std::chrono::milliseconds wait) {
    const auto deadline = Clock::now() + wait;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return std::nullopt;
        auto message = Next(left);
        if (!message)
            return std::nullopt;
        if (match(*message))
            return message;
    }
}

std::optional<WireMessage> OperatorClient::WaitFor(int code, int first,
                                                   std::chrono::milliseconds wait) {
    return WaitUntil([&](const WireMessage& m) { return m.Code() == code && m.GetInt(1) == first; },
                     wait);
}

bool OperatorClient::WaitForClose(std::chrono::milliseconds wait) {
    const auto deadline = Clock::now() + wait;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        channel_.SetTimeout(left);
        std::string payload;
        int32_t result = channel_.Receive(payload);
        if (result == -5)
            return true;
        if (result <= 0 && result != -8)
            return false;
    }
}

int32_t OperatorClient::Login(std::string_view user, std::string_view password) {
    if (!Send(1001, {user, password}))
        return -3;
    auto answer = WaitUntil([](const WireMessage& m) {
        return (m.Code() == 9001 || m.Code() == 9002) && m.GetInt(1) == 1001;
    });
    if (!answer)
        return -8;
    return answer->GetInt(2);
}

int32_t OperatorClient::JoinCall(int32_t callId, int32_t userId) {
    if (!Send(2003, {std::to_string(callId), std::to_string(userId), "0", "2"}))
        return -3;
    auto answer = Next();
    if (!answer)
        return -8;
    if (answer->Code() == 9001 && answer->GetInt(1) == 2003)
        return 0;
    return answer->Code() == 9002 ? answer->GetInt(2) : -20;
}

} // namespace olvex::test
