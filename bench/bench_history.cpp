// The history as the window thread sees it: what archiving adds to showing a
// line, and opening the History window over 10,000 conversations.
#include "call_recorder.h"
#include "history_window.h"
#include "transcript_archive.h"
#include "transcript_view.h"

#include <QApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <chrono>

using namespace olvex;
using namespace std::chrono_literals;

namespace {

QTemporaryDir& Folder() {
    static QTemporaryDir dir;
    return dir;
}

// A line shown in a call window, with and without the history behind it.
void BM_ShowLine(benchmark::State& state) {
    const bool archived = state.range(0) != 0;
    auto archive =
        archived ? TranscriptArchive::Open(Folder().filePath("lines.sqlite").toStdString(), {})
                 : nullptr;
    CallRecorder recorder(archive, 1, "demo");
    TranscriptView view;
    view.resize(600, 400);
    view.show();
    if (archived) {
        view.SetLineObserver(
            [&recorder](LineKind kind, const QString& name, bool own, const QString& text) {
                recorder.Line(kind, name.toStdString(), own, text.toStdString());
            });
    }
    const QString name = QStringLiteral("Visitor 42");
    const QString text = QStringLiteral("Where can I find the <b>price list</b>? Grüße");
    for (auto _ : state) {
        view.AppendNameLine(name, false);
        view.AppendPlain(text, kTextColour);
    }
    if (archive)
        archive->Flush(60s); // after the timed loop
}
BENCHMARK(BM_ShowLine)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->Iterations(3000);

const std::string& TenThousandConversations() {
    static const std::string path = [] {
        const std::string file = Folder().filePath("10k.sqlite").toStdString();
        auto archive = TranscriptArchive::Open(file, {});
        for (int c = 0; c < 10'000; ++c) {
            CallRecorder call(archive, c, "demo", [c] { return int64_t{1'700'000'000'000} + c; });
            call.Participant("Visitor " + std::to_string(c), 1);
            for (int l = 0; l < 6; ++l)
                call.Line(LineKind::Text, "demo", true, "Line " + std::to_string(l));
        }
        archive->Flush(600s);
        return file;
    }();
    return path;
}

// From construction to the window shown with its list and the newest conversation.
void BM_OpenHistoryWindow(benchmark::State& state) {
    const std::string& file = TenThousandConversations();
    for (auto _ : state) {
        auto* window = new HistoryWindow(file, nullptr);
        window->show();
        QApplication::processEvents();
        state.PauseTiming();
        delete window;
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenHistoryWindow)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace
