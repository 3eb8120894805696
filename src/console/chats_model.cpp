#include "chats_model.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace olvex {

void ChatsModel::AddRequest(int32_t callId, int32_t kind, std::string name, std::string question) {
    for (Request& listed : requests) {
        if (listed.callId == callId) {
            listed.kind = kind;
            listed.name = std::move(name);
            listed.question = std::move(question);
            listed.missed = false;
            return;
        }
    }
    requests.push_back({callId, kind, std::move(name), std::move(question), clock(), false});
}

void ChatsModel::MarkMissed(int32_t callId) {
    for (Request& listed : requests) {
        if (listed.callId == callId)
            listed.missed = true;
    }
}

bool ChatsModel::RemoveRequest(int32_t callId) {
    return std::erase_if(requests, [callId](const Request& r) { return r.callId == callId; }) > 0;
}

bool ChatsModel::TakeRequest(int32_t callId) {
    return RemoveRequest(callId);
}

const ChatsModel::Request* ChatsModel::FindRequest(int32_t callId) const {
    for (const Request& listed : requests) {
        if (listed.callId == callId)
            return &listed;
    }
    return nullptr;
}

int64_t ChatsModel::WaitedMs(const Request& request) const {
    // A clock that went back (or a request from the future) has waited nothing.
    return std::max<int64_t>(0, clock() - request.arrivedMs);
}

std::string ChatsModel::WaitedText(int64_t waitedMs) {
    const int64_t seconds = std::max<int64_t>(0, waitedMs) / 1000;
    char text[32];
    if (seconds < 3600) {
        std::snprintf(text, sizeof text, "%d:%02d", int(seconds / 60), int(seconds % 60));
    } else {
        std::snprintf(text, sizeof text, "%lld:%02d:%02d", static_cast<long long>(seconds / 3600),
                      int(seconds / 60 % 60), int(seconds % 60));
    }
    return text;
}

const char* ChatsModel::StateText(ChatState state) {
    switch (state) {
    case ChatState::Connecting:
        return "connecting";
    case ChatState::InChat:
        return "in chat";
    case ChatState::Ended:
        return "ended";
    }
    return "";
}

int ChatsModel::Count() const {
    const auto unread =
        std::count_if(chats.begin(), chats.end(), [](const Chat& chat) { return chat.unread > 0; });
    return int(requests.size() + unread);
}

std::string ChatsModel::ButtonText() const {
    const int count = Count();
    return count > 0 ? "Chats (" + std::to_string(count) + ")" : std::string("Chats");
}

} // namespace olvex
