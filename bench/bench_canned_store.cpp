// Loading and saving a large canned answers file: 50 categories of 40 answers
// with messages of a few hundred bytes, from memory and through a real file.
#include "canned_answer_store.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>

namespace {

olvex::CannedAnswerStore LargeStore() {
    olvex::CannedAnswerStore store;
    for (int c = 0; c < 50; ++c) {
        olvex::CannedCategory category{"Category " + std::to_string(c), {}};
        for (int a = 0; a < 40; ++a) {
            category.answers.push_back(
                {"Answer " + std::to_string(a),
                 "<p>Thank you for asking about item " + std::to_string(c * 40 + a) +
                     ".</p>\r\n<a href='http://www.example.com/items/" + std::to_string(a) +
                     "' target='_blank'>See the details</a>" + std::string(200, '.')});
        }
        store.categories.push_back(std::move(category));
    }
    return store;
}

void BM_LoadFromMemory(benchmark::State& state) {
    const std::string image = LargeStore().ToBytes();
    for (auto _ : state) {
        std::istringstream in(image, std::ios::binary);
        olvex::CannedAnswerStore store;
        store.Load(in);
        benchmark::DoNotOptimize(store.categories.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * image.size()));
}
BENCHMARK(BM_LoadFromMemory);

void BM_SaveAndLoadFile(benchmark::State& state) {
    const olvex::CannedAnswerStore store = LargeStore();
    const std::string path =
        (std::filesystem::temp_directory_path() / "olvex_bench_canned.dat").string();
    for (auto _ : state) {
        store.Save(path);
        olvex::CannedAnswerStore loaded;
        loaded.Load(path);
        benchmark::DoNotOptimize(loaded.categories.data());
    }
    std::remove(path.c_str());
}
BENCHMARK(BM_SaveAndLoadFile)->Unit(benchmark::kMillisecond);

void BM_LoadFile(benchmark::State& state) {
    const std::string path =
        (std::filesystem::temp_directory_path() / "olvex_bench_canned_load.dat").string();
    LargeStore().Save(path);
    for (auto _ : state) {
        olvex::CannedAnswerStore loaded;
        loaded.Load(path);
        benchmark::DoNotOptimize(loaded.categories.data());
    }
    std::remove(path.c_str());
}
BENCHMARK(BM_LoadFile)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
