#include "call_texts.h"

#include "protocol.h"

namespace olvex {

namespace {
std::string NameForTitle(const UserRecord& user) {
    return user.kind == protocol::kKindOperator ? user.firstName + " " + user.lastName
                                                : user.firstName;
}
} // namespace

std::string ParticipantEventName(const UserRecord& user) {
    switch (user.kind) {
    case protocol::kKindOperator:
        return user.firstName + " " + user.lastName;
    case protocol::kKindVisitor:
        return user.firstName;
    default:
        return {};
    }
}

namespace {
std::string EventLine(const UserRecord& user, const char* tail) {
    if (user.kind != protocol::kKindVisitor && user.kind != protocol::kKindOperator)
        return {};
    return ParticipantEventName(user) + tail;
}
} // namespace

std::string JoinedText(const UserRecord& user) {
    return EventLine(user, " has joined this call");
}

std::string LeftText(const UserRecord& user) {
    return EventLine(user, " has left this call");
}

std::string InvitedText(const UserRecord& user) {
    return EventLine(user, " has been invited to join this call");
}

std::string PushedUrlText(const std::string& url) {
    return "The " + url + " URL was pushed to the visitor.";
}

std::string NotDeliveredText(const std::string& line) {
    // Enough to recognise the line; a pasted line break would split the event line.
    constexpr size_t kShownCharacters = 40;
    std::string shown;
    size_t characters = 0;
    size_t i = 0;
    for (; i < line.size(); ++i) {
        const auto byte = static_cast<unsigned char>(line[i]);
        const bool starts = (byte & 0xC0) != 0x80;
        if (starts && characters++ == kShownCharacters)
            break;
        shown += byte == '\r' || byte == '\n' || byte == '\t' ? ' ' : line[i];
    }
    if (i < line.size())
        shown += "\xE2\x80\xA6"; // an ellipsis: there is more
    return "Not delivered: " + shown;
}

std::string TypingStatusText(const std::string& sender) {
    return sender + " is typing a message...";
}

bool IsShownParticipant(const UserRecord& user, int32_t ownUserId) {
    return user.userId != ownUserId && user.status > 0;
}

std::string CallTitle(const std::vector<UserRecord>& participants, int32_t ownUserId) {
    std::string names;
    for (const UserRecord& user : participants) {
        if (!IsShownParticipant(user, ownUserId))
            continue;
        if (!names.empty())
            names += ", ";
        names += NameForTitle(user);
    }
    return names.empty() ? std::string("Olvex Call") : "Olvex Call - " + names;
}

bool TypingNoticeStale(int64_t lastReceived, int64_t now) {
    return lastReceived != 0 && now - lastReceived > 3;
}

ReceivedChatItem DecodeChatItem(const WireMessage& item) {
    ReceivedChatItem result;
    switch (item.GetInt(1)) {
    case protocol::kItemText: {
        auto sender = item.GetText(2);
        auto text = item.GetText(3);
        if (sender && text) {
            result.action = ReceivedChatItem::Action::ShowText;
            result.sender = std::move(*sender);
            result.text = std::move(*text);
        }
        break;
    }
    case protocol::kItemTyping:
        if (auto sender = item.GetText(2)) {
            result.action = ReceivedChatItem::Action::ShowTyping;
            result.sender = std::move(*sender);
        }
        break;
    case protocol::kItemNotice:
        if (auto text = item.GetText(3)) {
            result.action = ReceivedChatItem::Action::ShowNotice;
            result.text = std::move(*text);
        }
        break;
    default:
        break;
    }
    return result;
}

} // namespace olvex
