#pragma once

#include "records.h"
#include "wire_message.h"

#include <cstdint>
#include <string>
#include <vector>

// What the call window writes for the events of a call, without Qt, so that
// olvex-cli keeps the same lines in the history.
namespace olvex {

// Event texts. Names follow the participant's kind: "first last" for an
// operator, the first name for a visitor; any other kind gives an empty line.
std::string ParticipantEventName(const UserRecord& user);
std::string JoinedText(const UserRecord& user);
std::string LeftText(const UserRecord& user);
std::string InvitedText(const UserRecord& user);
std::string PushedUrlText(const std::string& url);
std::string TypingStatusText(const std::string& sender);
inline constexpr const char* kCallClosedText = "This call has been closed.";
inline constexpr const char* kYouClosedText = "You have closed this call.";
inline constexpr const char* kConnectionLostText = "The connection to the Olvex server was lost.";
inline constexpr const char* kVisitorLeftText = "The visitor has left the chat.";
// "Not delivered: " and the start of a line that never went out, on one line.
std::string NotDeliveredText(const std::string& line);

// Participants named in the title and announced when the list arrives: all
// but the operator, and only those present.
bool IsShownParticipant(const UserRecord& user, int32_t ownUserId);
// "Olvex Call - " and the shown participants' names, or "Olvex Call".
std::string CallTitle(const std::vector<UserRecord>& participants, int32_t ownUserId);

// A typing notice in the status line is cleared once it is more than 3 s old.
bool TypingNoticeStale(int64_t lastReceived, int64_t now);

// What a received chat item asks of the window; copied out of the message on
// the engine's thread so the window can apply it on its own.
struct ReceivedChatItem {
    enum class Action { Drop, ShowText, ShowTyping, ShowNotice };
    Action action = Action::Drop;
    std::string sender; // ShowText, ShowTyping
    std::string text;   // ShowText, ShowNotice
    // Text and notice lines flash a window that is not in front.
    bool Flashes() const { return action == Action::ShowText || action == Action::ShowNotice; }
};
ReceivedChatItem DecodeChatItem(const WireMessage& item);

} // namespace olvex
