#pragma once

#include "archive_types.h"
#include "records.h"

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

// What happens in a call, as a CallSession tells its view. The first group is what a window
// shows; the second is the engine's own reports, copied, for olvex-cli to print.
namespace olvex::call_event {

// The join has started: "Olvex Call - Connecting".
struct Connecting {};
// Joined: the participants are asked for and the welcome has gone out.
struct Connected {};
// The join failed: the engine's code and its text as the joining thread saw it (a TLS
// failure keeps its reason there), and what the operator is told.
struct JoinFailed {
    int32_t result = 0;
    std::string reason;
    std::string message;
};
// One line of the transcript, recorded in the history as it is delivered. Text and link
// lines carry their sender's name (`own` for the operator's); event, push and notice lines
// have none. `ticket` is the archive's, 0 when nothing was archived. `time` is when the line
// came or went, in milliseconds since the epoch.
struct Line {
    LineKind kind = LineKind::Text;
    std::string name;
    bool own = false;
    std::string text;
    uint64_t ticket = 0;
    int64_t time = 0;
};
// The other side is typing.
struct Typing {
    std::string sender;
};
// The window should flash when not in front; `unread` for a line from someone else, which
// also marks the window unread and rings.
struct Flash {
    bool unread = false;
};
// How a chat ended, and so what its last event line says.
enum class Ending {
    Here,        // the operator's End(), or the engine closing its calls: nothing more said
    ByServer,    // the server closed this call and is still there: "This call has been closed."
    Lost,        // the connection failed, or the server went
    VisitorLeft, // the visitor left; the call is let go
};
// The chat is over, once. `reason` is the engine's close reason, 0 when the chat ended
// without one (the visitor left).
struct Closed {
    int32_t reason = 0;
    Ending ending = Ending::Here;
};

// A chat message as it came or went: its code and fields.
struct RawMessage {
    int32_t code = 0;
    std::vector<std::string> fields;
};
struct ChatMessage {
    RawMessage message;
};
struct MessageSent {
    RawMessage message;
};
// Every close the engine reports, repeats included.
struct CallClosed {
    int32_t reason = 0;
};
// The list arrived (List), or someone joined or left (`user`); `participants` is the list
// as it is now and `title` the window's title for it.
struct ParticipantsChanged {
    enum class Change { List, Joined, Left };
    Change change = Change::List;
    UserRecord user;
    std::vector<UserRecord> participants;
    std::string title;
};
struct OperatorInvited {
    UserRecord user;
};
struct ChannelNotice {
    int32_t value1 = 0;
    int32_t value2 = 0;
    int32_t value3 = 0;
    int32_t form = 0;
};
struct CallError {
    int32_t code = 0;
    int32_t detail = 0;
};

} // namespace olvex::call_event

namespace olvex {

using CallEvent =
    std::variant<call_event::Connecting, call_event::Connected, call_event::JoinFailed,
                 call_event::Line, call_event::Typing, call_event::Flash, call_event::Closed,
                 call_event::ChatMessage, call_event::MessageSent, call_event::CallClosed,
                 call_event::ParticipantsChanged, call_event::OperatorInvited,
                 call_event::ChannelNotice, call_event::CallError>;

// The view of a call: handed each event in order on the thread that delivers them.
class CallObserver {
public:
    virtual ~CallObserver() = default;
    virtual void OnEvent(const CallEvent& event) = 0;
};

} // namespace olvex
