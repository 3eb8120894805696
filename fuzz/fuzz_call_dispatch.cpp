// Feeds arbitrary payloads to a call channel's dispatch, on a main channel and
// on a secondary one, with every call slot set.
#include "agent_client.h"
#include "call_channel.h"
#include "chat_call.h"
#include "wire_message.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

using namespace olvex;

namespace {

unsigned sink = 0; // keeps the slots from being optimised away; wraps freely

CallCallbacks AllSlots() {
    CallCallbacks cb;
    cb.OnChatMessage = [](void*, const WireMessage& m) { sink += unsigned(m.Length()); };
    cb.OnMessageSent = [](void*, const WireMessage& m) { sink += unsigned(m.Length()); };
    cb.OnCallClosed = [](void*, int32_t r) { sink += unsigned(r); };
    cb.OnParticipantsReceived = [](void*) { ++sink; };
    cb.OnParticipantJoined = [](void*, const UserRecord& u) {
        sink += unsigned(u.firstName.size() + u.lastName.size());
    };
    cb.OnParticipantLeft = [](void*, const UserRecord& u) { sink += unsigned(u.userId); };
    cb.OnOperatorInvited = [](void*, const UserRecord& u) { sink += unsigned(u.host.size()); };
    cb.OnChannelNotice = [](void*, int32_t a, int32_t b, int32_t c, int32_t d) {
        sink += unsigned(a ^ b ^ c ^ d);
    };
    cb.OnCallError = [](void*, int32_t c, int32_t d) { sink += unsigned(c ^ d); };
    return cb;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static AgentClient engine;
    ChatCall call(1, engine);
    call.SetCallbacks(nullptr, AllSlots());
    auto main = std::make_shared<CallChannel>(0, call);
    auto secondary = std::make_shared<CallChannel>(5, call);

    // Several messages per input, split at 0xff bytes, so a join can meet its leave.
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    while (start <= input.size()) {
        size_t end = input.find('\xff', start);
        if (end == std::string::npos)
            end = input.size();
        WireMessage message;
        if (message.SetPayload(input.substr(start, end - start)) > 0) {
            main->Dispatch(message);
            secondary->Dispatch(message);
        }
        start = end + 1;
    }
    return 0;
}
