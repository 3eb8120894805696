// Appending to the transcript of a long call: the cost of one line should not
// grow with the lines already there. Reported as time per line.
#include "transcript_view.h"

#include <QApplication>
#include <benchmark/benchmark.h>

using namespace olvex;

namespace {

void BM_TranscriptAppend(benchmark::State& state) {
    const auto lines = static_cast<int>(state.range(0));
    const QString name = QStringLiteral("Visitor 42");
    const QString text =
        QStringLiteral("Where can I find the <b>price list</b>? See www.shop.example/prices");
    for (auto _ : state) {
        TranscriptView view;
        view.resize(600, 400);
        view.show();
        for (int i = 0; i < lines; i += 2) {
            view.AppendNameLine(name, (i & 2) != 0);
            view.AppendPlain(text, kTextColour);
        }
        // Count the layout and painting that the appends left for later.
        QApplication::processEvents();
        benchmark::DoNotOptimize(view.document()->blockCount());
    }
    state.counters["per_line"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * lines,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_TranscriptAppend)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

} // namespace
