// Feeds arbitrary payloads to the engine's dispatch, as if they had come from
// the server, with every callback set and reading what it is given.
#include "agent_client.h"
#include "wire_message.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

size_t sink = 0;

void Touch(const olvex::UserRecord& u) {
    sink += size_t(u.userId) + u.host.size() + u.firstName.size() + u.lastName.size();
}
void Touch(const olvex::PageRecord& p) {
    sink += size_t(p.pageId) + p.url.size() + p.title.size() + p.referrer.size() +
            p.loadTime.size() + p.ipAddress.size();
}
void Touch(const char* text) {
    if (text)
        sink += std::string(text).size();
}

olvex::AgentClient& Client() {
    static std::unique_ptr<olvex::AgentClient> client = [] {
        auto c = std::make_unique<olvex::AgentClient>();
        olvex::AgentCallbacks cb;
        cb.OnStatusChanged = [](void*, int status) {
            if (status < 1 || status > 3)
                std::abort();
        };
        cb.OnUserLoggedIn = [](void*, const olvex::UserRecord& u) { Touch(u); };
        cb.OnUserLoggedOut = [](void*, const olvex::UserRecord& u) { Touch(u); };
        cb.OnUserStatusChanged = [](void*, const olvex::UserRecord& u) { Touch(u); };
        cb.OnPageEntered = [](void*, const olvex::PageRecord& p) { Touch(p); };
        cb.OnPageLeft = [](void*, const olvex::PageRecord& p) { Touch(p); };
        cb.OnVisitorInvited = [](void*, const olvex::PageRecord& p) { Touch(p); };
        cb.OnCallRequest = [](void*, int, int, int kind, const char* t1, const char* t2,
                              const char* t3) {
            Touch(t1);
            Touch(t2);
            Touch(t3);
            if (kind == 1 && t3 != nullptr)
                std::abort();
        };
        cb.OnServerError = [](void*, int, int) {};
        c->SetCallbacks(nullptr, cb);
        return c;
    }();
    return *client;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto& client = Client();
    olvex::WireMessage message;
    message.SetPayload(std::string(reinterpret_cast<const char*>(data), size));
    client.Dispatch(message);

    // A list never holds more entries than its answer carried fields for.
    if (message.Code() == 9001 && message.GetInt(1) == 1007 &&
        client.Pages().Count() > message.FieldCount())
        std::abort();
    // Notifications accumulate across inputs; keep memory bounded.
    if (client.Pages().Count() > 5000)
        client.Pages().Clear();
    if (client.Users().Count() > 5000)
        client.Users().Clear();
    return 0;
}
