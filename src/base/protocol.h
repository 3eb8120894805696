#pragma once

#include <cstdint>

// The chat server protocol's numbers, named once for the engine, the demo
// server and the tools.
namespace olvex::protocol {

// The chat server's usual TCP port: the settings' default, and where the demo
// server listens.
inline constexpr int kDefaultServerPort = 2020;

// Message codes, the first four characters of every payload.
inline constexpr int32_t kLogIn = 1001;
inline constexpr int32_t kSetStatus = 1003;
// The operator list on the server connection, the participants on a call's.
inline constexpr int32_t kRequestUsers = 1006;
inline constexpr int32_t kRequestPages = 1007;
inline constexpr int32_t kInviteOperator = 2002;
// First message on a call's main channel (key 0) ...
inline constexpr int32_t kJoinCall = 2003;
// ... and on any other channel of the call.
inline constexpr int32_t kJoinChannel = 3001;
inline constexpr int32_t kChatItem = 3003;
inline constexpr int32_t kInviteVisitor = 4003;
inline constexpr int32_t kKeepAlive = 5001;
// The server's answers (field 1: the request code) and notifications (field 1: the event code).
inline constexpr int32_t kSucceeded = 9001;
inline constexpr int32_t kFailed = 9002;
inline constexpr int32_t kNotification = 9003;

// Never on the wire: the request code the engine reports with a message of a
// type it does not know.
inline constexpr int32_t kUnknownMessage = 9999;

// Event codes of kNotification.
inline constexpr int32_t kEventUserLoggedIn = 1001;
inline constexpr int32_t kEventUserLoggedOut = 1002;
inline constexpr int32_t kEventUserStatusChanged = 1003;
inline constexpr int32_t kEventCallRequest = 2001;
inline constexpr int32_t kEventCallTransfer = 2002;
inline constexpr int32_t kEventParticipantJoined = 2003;
inline constexpr int32_t kEventParticipantLeft = 2004;
// Two forms of a channel notice, three numbers each, passed on uninterpreted.
inline constexpr int32_t kEventChannelNoticeFirst = 3001;
inline constexpr int32_t kEventChannelNoticeSecond = 3002;
inline constexpr int32_t kEventPageEntered = 4001;
inline constexpr int32_t kEventPageLeft = 4002;

// Chat item kinds, field 1 of kChatItem.
inline constexpr int32_t kItemText = 1;
inline constexpr int32_t kItemTyping = 2;
inline constexpr int32_t kItemNotice = 3; // sent by the server only
inline constexpr int32_t kItemUrlPush = 4;

// Participant kinds in user entries and events.
inline constexpr int32_t kKindVisitor = 1;
inline constexpr int32_t kKindOperator = 2;

// Presence status numbers; 0 or less in a record: not present.
inline constexpr int32_t kStatusOnline = 1;
inline constexpr int32_t kStatusBusy = 2;
inline constexpr int32_t kStatusAway = 3;

// What a call request raised by the engine is: a visitor's request or another
// operator's transfer or invitation.
inline constexpr int32_t kCallKindRequest = 1;
inline constexpr int32_t kCallKindTransfer = 2;

} // namespace olvex::protocol
