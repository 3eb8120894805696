// Directory refills from list answers of 10,000 entries, and page-view
// notifications dispatched into directories of 1,000 to 100,000 pages.
#include "agent_client.h"
#include "wire_message.h"

#include <benchmark/benchmark.h>
#include <string>
#include <vector>

namespace {

olvex::WireMessage Received(const olvex::WireMessage& built) {
    olvex::WireMessage message;
    message.SetPayload(built.Payload());
    return message;
}

void AddPageEntry(olvex::WireMessage& message, int i) {
    message.AddInt(100000 + i);
    message.AddInt(i % 7);
    message.AddText("http://www.example.com/products/item" + std::to_string(i) + ".html");
    message.AddText("Product " + std::to_string(i) + " - Example Store");
    message.AddText("http://search.example.org/?q=item+" + std::to_string(i));
    message.AddText("0.42 s");
    message.AddText("192.168." + std::to_string(i % 256) + "." + std::to_string(i / 256));
    message.AddInt(5000 + i / 3);
}

olvex::WireMessage PageList(int count) {
    olvex::WireMessage message(9001);
    message.AddInt(1007);
    message.AddInt(count);
    for (int i = 0; i < count; ++i)
        AddPageEntry(message, i);
    return Received(message);
}

olvex::WireMessage UserList(int count) {
    olvex::WireMessage message(9001);
    message.AddInt(1006);
    message.AddInt(count);
    for (int i = 0; i < count; ++i) {
        message.AddInt(1000 + i);
        message.AddInt(0);
        message.AddInt(2);
        message.AddInt(1 + i % 3);
        message.AddText("workstation-" + std::to_string(i) + ".support.example.com");
        message.AddText("Operator" + std::to_string(i));
        message.AddText("Surname" + std::to_string(i));
    }
    return Received(message);
}

void BM_LoadUsers(benchmark::State& state) {
    const auto message = UserList(int(state.range(0)));
    olvex::UserDirectory users;
    for (auto _ : state)
        benchmark::DoNotOptimize(users.LoadFromMessage(message));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LoadUsers)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_LoadPages(benchmark::State& state) {
    const auto message = PageList(int(state.range(0)));
    olvex::PageDirectory pages;
    for (auto _ : state)
        benchmark::DoNotOptimize(pages.LoadFromMessage(message));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LoadPages)->Arg(10000)->Unit(benchmark::kMillisecond);

// Each iteration is one visitor opening a page (9003/4001) and another one
// leaving (9003/4002) beside a directory of N pages that stay. The moving
// pages cycle through the same 2,000 ids at every N, so the messages cost
// the same and only the directory's size differs.
void BM_DispatchPageEnteredAndLeft(benchmark::State& state) {
    const int count = int(state.range(0));
    constexpr int kRing = 2000;
    olvex::AgentClient client;
    olvex::AgentCallbacks cb;
    cb.OnPageEntered = [](void*, const olvex::PageRecord& p) {
        benchmark::DoNotOptimize(p.pageId);
    };
    client.SetCallbacks(nullptr, cb);
    client.Dispatch(PageList(count));
    std::vector<olvex::WireMessage> entered, left;
    for (int k = 0; k < kRing; ++k) {
        olvex::WireMessage enter(9003);
        enter.AddInt(4001);
        AddPageEntry(enter, count + k);
        entered.push_back(Received(enter));
        olvex::WireMessage leave(9003);
        leave.AddInt(4002);
        leave.AddInt(100000 + count + k);
        left.push_back(Received(leave));
    }
    for (int k = 0; k < kRing / 2; ++k)
        client.Dispatch(entered[size_t(k)]);
    size_t k = 0;
    for (auto _ : state) {
        client.Dispatch(entered[(k + kRing / 2) % kRing]);
        client.Dispatch(left[k]);
        k = (k + 1) % kRing;
    }
    state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_DispatchPageEnteredAndLeft)->Arg(1000)->Arg(10000)->Arg(100000);

} // namespace

BENCHMARK_MAIN();
