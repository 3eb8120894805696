// The history's costs: what handing a line over costs the thread that shows it,
// how long until the line is on disk, and a search over a million lines.
#include "archive_reader.h"
#include "call_recorder.h"
#include "transcript_archive.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <filesystem>
#include <random>
#include <unistd.h>

using namespace olvex;
using namespace std::chrono_literals;

namespace {

namespace fs = std::filesystem;

fs::path TempDir() {
    return fs::temp_directory_path() / ("olvex-bench-" + std::to_string(::getpid()));
}

std::string TempFile(const std::string& name) {
    fs::create_directories(TempDir());
    return (TempDir() / name).string();
}

// The caller's share of one line: a copy into the writer's queue.
void BM_ArchiveLineCallerShare(benchmark::State& state) {
    auto archive = TranscriptArchive::Open(TempFile("share.sqlite"), {});
    CallRecorder call(archive, 1, "demo");
    const std::string text = "Where can I find the <b>price list</b>? Grüße";
    for (auto _ : state)
        benchmark::DoNotOptimize(call.Line(LineKind::Text, "Visitor 42", false, text));
    archive->Flush(60s); // after the timed loop
}
BENCHMARK(BM_ArchiveLineCallerShare)->Unit(benchmark::kMicrosecond)->Iterations(2000);

// From handing a line over to its commit being on disk (synchronous=FULL).
void BM_ArchiveLineCommitted(benchmark::State& state) {
    auto archive = TranscriptArchive::Open(TempFile("total.sqlite"), {});
    CallRecorder call(archive, 1, "demo");
    const std::string text = "Where can I find the <b>price list</b>? Grüße";
    for (auto _ : state) {
        const uint64_t ticket = call.Line(LineKind::Text, "Visitor 42", false, text);
        if (!archive->WaitWritten(ticket, 10s))
            state.SkipWithError("not written");
    }
}
BENCHMARK(BM_ArchiveLineCommitted)->Unit(benchmark::kMicrosecond)->Iterations(300);

const char* const kWords[] = {"order",   "delivery", "parcel",   "price",     "refund",   "invoice",
                              "account", "password", "shipping", "address",   "discount", "voucher",
                              "size",    "colour",   "return",   "warranty",  "payment",  "card",
                              "thanks",  "hello",    "please",   "tomorrow",  "today",    "week",
                              "Grüße",   "Straße",   "commande", "livraison", "напиток",  "注文",
                              "配送",    "where",    "when",     "how",       "my",       "the",
                              "is",      "can",      "you",      "help",      "with",     "a"};

// 20,000 conversations of 50 lines; built once per run.
const std::string& MillionLines() {
    static const std::string path = [] {
        const std::string file = TempFile("million.sqlite");
        auto archive = TranscriptArchive::Open(file, {});
        std::mt19937 random(7);
        std::uniform_int_distribution<size_t> word(0, std::size(kWords) - 1);
        std::uniform_int_distribution<int> length(4, 14);
        for (int c = 0; c < 20'000; ++c) {
            CallRecorder call(archive, c, "demo", [c] { return int64_t{1'600'000'000'000} + c; });
            call.Participant("Visitor " + std::to_string(c), 1);
            for (int l = 0; l < 50; ++l) {
                std::string text;
                for (int w = length(random); w > 0; --w)
                    text += std::string(kWords[word(random)]) + " ";
                text += "#" + std::to_string(c * 50 + l);
                call.Line(LineKind::Text, l % 2 ? "demo" : "Visitor " + std::to_string(c), l % 2,
                          text);
            }
            call.End();
            if (c % 1000 == 999)
                archive->Flush(600s);
        }
        archive->Flush(600s);
        return file;
    }();
    return path;
}

// Writing the million lines, and the file they make.
void BM_WriteMillionLines(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(MillionLines().size());
    std::error_code ignored;
    state.counters["file_MiB"] =
        static_cast<double>(fs::file_size(MillionLines(), ignored)) / (1024 * 1024);
}
BENCHMARK(BM_WriteMillionLines)->Unit(benchmark::kSecond)->Iterations(1);

void BM_SearchMillionLines(benchmark::State& state, const char* typed) {
    ArchiveReader reader(MillionLines());
    size_t found = 0;
    for (auto _ : state) {
        found = reader.Search(typed).size();
        benchmark::DoNotOptimize(found);
    }
    state.counters["conversations"] = static_cast<double>(found);
}
BENCHMARK_CAPTURE(BM_SearchMillionLines, rare_word, "#777777")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SearchMillionLines, prefix_common, "deliv")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SearchMillionLines, two_words, "refund vouch")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SearchMillionLines, non_ascii, "straße 注文")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SearchMillionLines, one_letter, "p")->Unit(benchmark::kMillisecond);

void BM_ListMillionLines(benchmark::State& state) {
    ArchiveReader reader(MillionLines());
    for (auto _ : state)
        benchmark::DoNotOptimize(reader.Conversations().size());
}
BENCHMARK(BM_ListMillionLines)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    fs::remove_all(TempDir(), ignored);
    return 0;
}
