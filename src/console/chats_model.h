#pragma once

#include "steady_ms.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace olvex {

// What the Chats view lists: the chat requests that wait for an answer, oldest first, and
// the open chats with their unread lines and state. Plain data, no widgets: the view shows
// it and the console feeds it.
//
// A request leaves when it is taken (from its alert or from the view), declined with the
// alert's Cancel or dismissed. One whose alert ran out stays, marked as missed, so that the
// operator can still take it: the visitor may well still be waiting.
class ChatsModel {
public:
    // Milliseconds on a steady scale.
    using Clock = std::function<int64_t()>;

    struct Request {
        int32_t callId = 0;
        int32_t kind = 1; // 1 a visitor's request, 2 a transfer from an operator
        std::string name;
        std::string question;
        int64_t arrivedMs = 0;
        bool missed = false; // its alert ran out
    };
    enum class ChatState { Connecting, InChat, Ended };
    struct Chat {
        const void* window = nullptr; // identifies the chat; never dereferenced
        int32_t callId = 0;
        std::string name;
        int unread = 0;
        ChatState state = ChatState::Connecting;
    };

    explicit ChatsModel(Clock clock = SteadyMs) : clock(std::move(clock)) {}

    // A new request goes last. Asked again for a call already listed, the request keeps its
    // place and waiting time and has an alert again.
    void AddRequest(int32_t callId, int32_t kind, std::string name, std::string question);
    void MarkMissed(int32_t callId);
    // Declined, dismissed or answered elsewhere: false when it was not listed.
    bool RemoveRequest(int32_t callId);
    // The operator takes the request: true only for the first taking, which removes it.
    bool TakeRequest(int32_t callId);
    const Request* FindRequest(int32_t callId) const;

    // The open chats, in the order their windows opened.
    void SetChats(std::vector<Chat> open) { chats = std::move(open); }

    const std::vector<Request>& Requests() const { return requests; }
    const std::vector<Chat>& Chats() const { return chats; }
    int64_t WaitedMs(const Request& request) const;
    // "0:42", "12:05", "1:02:03".
    static std::string WaitedText(int64_t waitedMs);
    static const char* StateText(ChatState state);

    // What asks for the operator: waiting requests and chats with unread lines.
    int Count() const;
    // "Chats", or "Chats (3)" while something asks.
    std::string ButtonText() const;

private:
    Clock clock;
    std::vector<Request> requests;
    std::vector<Chat> chats;
};

} // namespace olvex
