#pragma once

#include "sync_list.h"
#include "wire_message.h"

namespace olvex {

// Outgoing messages of a call channel, oldest first. The queue holds copies,
// so callers keep their own messages.
class MessageQueue : public SyncList<WireMessage> {
public:
    // Appends a copy of `message` and returns it; an empty message is not
    // queued and gives null.
    Pointer PushCopy(const WireMessage& message);
    // The oldest message, now owned by the caller; null when the queue is empty.
    Pointer Pop() { return PopFront(); }
};

} // namespace olvex
