// An incoming chat item, end to end: from the moment the server writes it to
// the call's socket until the call window's transcript holds it. Reported as
// median, 99th percentile and worst case over the run.
#include "agent_client.h"
#include "agent_settings.h"
#include "call_window.h"
#include "call_window_list.h"
#include "fake_server.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextDocument>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <future>
#include <vector>

using namespace olvex;
using namespace olvex::test;
using Clock = std::chrono::steady_clock;

namespace {

void BM_IncomingItemToTranscript(benchmark::State& state) {
    FakeServer server;
    AgentClient engine;
    auto login = std::async(std::launch::async,
                            [&] { return engine.Login("127.0.0.1", server.Port(), "op", "pw"); });
    auto control = server.Accept();
    control->Receive();
    control->Send(Payload(9001, {"1001", "7", "1"}));
    if (login.get() != 0) {
        state.SkipWithError("log-in failed");
        return;
    }
    AgentSettings settings(QStringLiteral("OlvexBench/Agent"));
    settings.username = "Op";
    settings.welcomeMsg.clear();
    CallWindowList list;
    auto* window = new CallWindow(settings, 1, list, engine);
    auto peer = server.Accept();
    peer->Receive();
    peer->Send(Payload(9001, {"2003"}));
    while (!window->Call())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    peer->Receive(); // the participant request

    Clock::time_point shown;
    QObject::connect(window->Transcript().document(), &QTextDocument::contentsChanged,
                     [&shown] { shown = Clock::now(); });
    const std::string item = Payload(3003, {"1", "Visitor 7", "Do you ship to Norway?"});
    std::vector<double> micros;
    for (auto _ : state) {
        const int before = window->Transcript().document()->blockCount();
        const auto sent = Clock::now();
        peer->Send(item);
        while (window->Transcript().document()->blockCount() < before + 2)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        const double us = std::chrono::duration<double, std::micro>(shown - sent).count();
        micros.push_back(us);
        state.SetIterationTime(us / 1e6);
    }
    std::sort(micros.begin(), micros.end());
    if (!micros.empty()) {
        state.counters["median_us"] = micros[micros.size() / 2];
        state.counters["p99_us"] = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
        state.counters["max_us"] = micros.back();
    }
    delete window;
}
BENCHMARK(BM_IncomingItemToTranscript)
    ->UseManualTime()
    ->Iterations(2000)
    ->Unit(benchmark::kMicrosecond);

} // namespace
