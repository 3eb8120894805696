// The call tools on big inputs: writing a long transcript as Rich Text, and
// opening the invite dialog over a large operator directory.
#include "invite_operator_dialog.h"
#include "rtf_writer.h"
#include "transcript_view.h"
#include "user_directory.h"

#include <QApplication>
#include <QTextDocument>
#include <benchmark/benchmark.h>

using namespace olvex;

namespace {

void BM_WriteRtf(benchmark::State& state) {
    const auto lines = static_cast<int>(state.range(0));
    TranscriptView view;
    for (int i = 0; i < lines; i += 2) {
        view.AppendNameLine(QStringLiteral("Visitor 42"), (i & 2) != 0);
        view.AppendPlain(
            QStringLiteral("Price list {2024}: 12 \u20ac, caf\u00e9 at www.shop.example"),
            kTextColour);
    }
    size_t bytes = 0;
    for (auto _ : state) {
        const std::string rtf = WriteRtf(*view.document());
        bytes = rtf.size();
        benchmark::DoNotOptimize(rtf.data());
    }
    state.counters["per_line"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * lines,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_WriteRtf)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_InviteDialogOpen(benchmark::State& state) {
    UserDirectory users;
    for (int32_t id = 1; id <= state.range(0); ++id) {
        UserRecord user;
        user.userId = id;
        user.kind = 2;
        user.status = id % 4;
        user.firstName = "Operator";
        user.lastName = std::to_string(id);
        users.Add(user);
    }
    for (auto _ : state) {
        InviteOperatorDialog dialog(users, 1);
        benchmark::DoNotOptimize(&dialog);
    }
}
BENCHMARK(BM_InviteDialogOpen)->Arg(10)->Arg(1000)->Unit(benchmark::kMillisecond);

} // namespace
