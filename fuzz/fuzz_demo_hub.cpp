// Feeds arbitrary bytes to the demo server's protocol hub over several
// connections, with time moving on so that the simulation's timers run too.
// Input: one byte of set-up, then chunks of [connection byte][length byte][bytes].
#include "demo_hub.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

using olvex::demo::Clock;
using olvex::demo::ConnId;
using olvex::demo::DemoHub;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    olvex::demo::ServerOptions options;
    options.accounts = olvex::demo::BuiltInAccounts();
    options.quiet = (data[0] & 1) != 0;
    options.visitors = data[0] >> 4;
    options.requestEvery = 0.5;
    options.maxBacklog = 4096;
    Clock::time_point now{};
    DemoHub hub(options, now);
    constexpr ConnId kConnections = 4;
    for (ConnId id = 1; id <= kConnections; ++id)
        hub.Open(id, "127.0.0.1", now);

    size_t at = 1;
    while (at + 2 <= size) {
        const ConnId id = 1 + data[at] % kConnections;
        const bool closeIt = data[at] & 0x80;
        const size_t length = std::min<size_t>(data[at + 1], size - at - 2);
        at += 2;
        hub.Receive(id, std::string_view(reinterpret_cast<const char*>(data + at), length), now);
        at += length;
        now += std::chrono::milliseconds(700);
        hub.RunTimers(now);
        for (ConnId closing : hub.ToClose(now))
            hub.Close(closing);
        if (closeIt)
            hub.Close(id);
        // Half the clients read everything they are sent.
        for (ConnId reader = 1; reader <= kConnections; reader += 2)
            hub.Consume(reader, hub.Pending(reader).size());
    }
    return 0;
}
