#include "message_queue.h"

namespace olvex {

MessageQueue::Pointer MessageQueue::PushCopy(const WireMessage& message) {
    if (message.Length() <= 0)
        return nullptr;
    auto copy = std::make_shared<WireMessage>(message);
    PushBack(copy);
    return copy;
}

} // namespace olvex
