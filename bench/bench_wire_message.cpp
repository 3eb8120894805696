// Reading a 9001 answer to 1007 with 10,000 page entries: receiving it from a
// buffer and reading every field by number, against a plain memchr scan of the
// same payload.
#include "wire_message.h"

#include <benchmark/benchmark.h>
#include <cstring>
#include <string>

namespace {

std::string PageListPayload(int count) {
    olvex::WireMessage message(9001);
    message.AddInt(1007);
    message.AddInt(count);
    for (int i = 0; i < count; ++i) {
        message.AddInt(100000 + i);
        message.AddInt(i % 7);
        message.AddText("http://www.example.com/products/item" + std::to_string(i) + ".html");
        message.AddText("Product " + std::to_string(i) + " - Example Store");
        message.AddText("http://search.example.org/?q=item+" + std::to_string(i));
        message.AddText("0.42 s");
        message.AddText("192.168." + std::to_string(i % 256) + "." + std::to_string(i / 256));
        message.AddInt(5000 + i / 3);
    }
    return message.Payload();
}

const std::string& Payload() {
    static const std::string payload = PageListPayload(10000);
    return payload;
}

void BM_ReadEveryField(benchmark::State& state) {
    const std::string& payload = Payload();
    int64_t sum = 0;
    for (auto _ : state) {
        olvex::WireMessage message;
        message.SetPayload(payload);
        const int count = message.GetInt(2);
        for (int k = 0; k < count; ++k) {
            const int base = 3 + 8 * k;
            sum += message.GetInt(base) + message.GetInt(base + 1) + message.GetInt(base + 7);
            for (int f = 2; f <= 6; ++f)
                sum += static_cast<int64_t>(message.FieldView(base + f).size());
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(payload.size()));
    state.counters["fields"] = 80000;
}
BENCHMARK(BM_ReadEveryField)->Unit(benchmark::kMicrosecond);

// The physical baseline: one copy of the payload and one pass finding every '<'.
void BM_MemchrScan(benchmark::State& state) {
    const std::string& payload = Payload();
    for (auto _ : state) {
        std::string copy = payload;
        const char* p = copy.data();
        const char* end = p + copy.size();
        int64_t hits = 0;
        while ((p = static_cast<const char*>(std::memchr(p, '<', size_t(end - p)))) != nullptr) {
            ++hits;
            ++p;
        }
        benchmark::DoNotOptimize(hits);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(payload.size()));
}
BENCHMARK(BM_MemchrScan)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
