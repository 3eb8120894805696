// Notifications per second that the demo server delivers to one logged-in
// client while 10,000 simulated visitors move between pages at a set rate
// (each move is two notifications: a page opened and a page left), and the
// time to fetch the full 10,000-entry page list.
#include "demo_server_process.h"
#include "socket_channel.h"
#include "wire_message.h"

#include <benchmark/benchmark.h>
#include <memory>
#include <string>

namespace {

using olvex::SocketChannel;
using olvex::WireMessage;
using olvex::demo::DemoServerProcess;

struct Session {
    std::unique_ptr<DemoServerProcess> server;
    SocketChannel channel{std::chrono::seconds(5)};
    WireMessage message;

    explicit Session(int churn) {
        server = std::make_unique<DemoServerProcess>(
            OLVEX_DEMO_SERVER_PATH,
            std::vector<std::string>{"--visitors", "10000", "--churn", std::to_string(churn),
                                     "--request-every", "0", "--seed", "1"});
    }
    bool LogIn() {
        if (server->Port() <= 0 || channel.Connect("127.0.0.1", server->Port()) <= 0)
            return false;
        WireMessage login(1001);
        login.AddText("demo");
        login.AddText("demo");
        login.Send(channel);
        return message.Receive(channel) > 0 && message.Code() == 9001;
    }
};

void BM_NotificationsToOneClient(benchmark::State& state) {
    Session session(int(state.range(0)));
    if (!session.LogIn()) {
        state.SkipWithError("no demo server");
        return;
    }
    int64_t notifications = 0;
    for (auto _ : state) {
        if (session.message.Receive(session.channel) <= 0) {
            state.SkipWithError("connection lost: the client fell too far behind");
            break;
        }
        notifications += session.message.Code() == 9003;
    }
    state.counters["notifications_per_s"] =
        benchmark::Counter(double(notifications), benchmark::Counter::kIsRate);
}
// Arguments: page moves per second asked of the simulation.
BENCHMARK(BM_NotificationsToOneClient)
    ->Arg(25000)
    ->Arg(50000)
    ->Arg(100000)
    ->UseRealTime()
    ->MinTime(3.0)
    ->Unit(benchmark::kMicrosecond);

void BM_PageListOf10000(benchmark::State& state) {
    Session session(0);
    if (!session.LogIn()) {
        state.SkipWithError("no demo server");
        return;
    }
    WireMessage request(1007);
    for (auto _ : state) {
        request.Send(session.channel);
        do {
            if (session.message.Receive(session.channel) <= 0) {
                state.SkipWithError("connection lost");
                return;
            }
        } while (session.message.Code() != 9001 || session.message.GetInt(1) != 1007);
        benchmark::DoNotOptimize(session.message.Length());
    }
}
BENCHMARK(BM_PageListOf10000)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
