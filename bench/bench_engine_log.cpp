// What the log costs the busiest path of the engine: page views coming and going.
// Each iteration is one visitor opening a page (9003/4001) and leaving it again (9003/4002)
// beside 100 pages that stay. The argument is the log: 0 none, 1 a sink at the usual level
// (the debug lines of page views dropped before they are put together), 2 a sink that takes
// debug lines.
#include "agent_client.h"
#include "log_sink.h"
#include "wire_message.h"

#include <benchmark/benchmark.h>
#include <string>

namespace {

olvex::WireMessage Received(const olvex::WireMessage& built) {
    olvex::WireMessage message;
    message.SetPayload(built.Payload());
    return message;
}

olvex::WireMessage PageEntered(int i) {
    olvex::WireMessage message(9003);
    message.AddInt(4001);
    message.AddInt(100000 + i);
    message.AddInt(0);
    message.AddText("http://www.example.com/products/item" + std::to_string(i) + ".html");
    message.AddText("Product " + std::to_string(i) + " - Example Store");
    message.AddText("http://search.example.org/?q=item+" + std::to_string(i));
    message.AddText("0.42 s");
    message.AddText("192.168.1." + std::to_string(i % 256));
    message.AddInt(5000 + i);
    return Received(message);
}

olvex::WireMessage PageLeft(int i) {
    olvex::WireMessage message(9003);
    message.AddInt(4002);
    message.AddInt(100000 + i);
    return Received(message);
}

void BM_PageChurnWithLog(benchmark::State& state) {
    olvex::AgentClient client;
    if (state.range(0) > 0) {
        client.logSink.function = [](void*, olvex::LogSource, olvex::LogLevel,
                                     std::string_view message) {
            benchmark::DoNotOptimize(message.data());
        };
        client.logSink.threshold =
            state.range(0) == 2 ? olvex::LogLevel::Debug : olvex::LogLevel::Info;
    }
    for (int i = 0; i < 100; ++i)
        client.Dispatch(PageEntered(i));
    const auto entered = PageEntered(1000);
    const auto left = PageLeft(1000);
    for (auto _ : state) {
        client.Dispatch(entered);
        client.Dispatch(left);
    }
    state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_PageChurnWithLog)->Arg(0)->Arg(1)->Arg(2);

} // namespace

BENCHMARK_MAIN();
