// Call channel latencies against a loopback peer: a queued message reaching
// the wire after Wake, a chat item's round trip through an echoing peer
// (median and 99th percentile), plain and over TLS in the same run, and Remove
// of a running call.
#include "agent_client.h"
#include "call_channel.h"
#include "call_list.h"
#include "chat_call.h"
#include "socket_channel.h"
#include "test_pki.h"
#include "wire_message.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <benchmark/benchmark.h>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace olvex;
using Clock = std::chrono::steady_clock;

namespace {

// Answers log-ins and joins; in echo mode sends every chat item straight back,
// otherwise hands what it receives to a waiting benchmark.
class LoopbackPeer {
public:
    explicit LoopbackPeer(bool echo, std::shared_ptr<TlsContext> tls = nullptr)
        : echo_(echo), tls_(std::move(tls)) {
        listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(listenFd_, 64);
        socklen_t len = sizeof addr;
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        acceptor_ = std::thread([this] { AcceptLoop(); });
    }
    ~LoopbackPeer() {
        stop_ = true;
        acceptor_.join();
        for (auto& t : workers_)
            t.join();
        ::close(listenFd_);
    }
    int Port() const { return port_; }

    // Waits for the next frame received in non-echo mode.
    void WaitReceived() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return received_ > 0; });
        --received_;
    }

private:
    void AcceptLoop() {
        while (!stop_) {
            pollfd p{listenFd_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0)
                workers_.emplace_back([this, fd] { Serve(fd); });
        }
    }

    void Serve(int fd) {
        SocketChannel channel(std::chrono::milliseconds(100));
        channel.Adopt(fd, tls_ ? TlsSession::Server(tls_, fd) : nullptr);
        WireMessage message;
        while (!stop_) {
            int32_t rc = message.Receive(channel);
            if (rc == -8)
                continue;
            if (rc <= 0)
                break;
            if (message.Code() == 1001) {
                WireMessage answer(9001);
                answer.AddInt(1001);
                answer.AddInt(7);
                answer.AddInt(1);
                answer.Send(channel);
            } else if (message.Code() == 2003) {
                WireMessage answer(9001);
                answer.AddInt(2003);
                answer.Send(channel);
            } else if (echo_) {
                message.Send(channel);
            } else {
                {
                    std::lock_guard lock(mutex_);
                    ++received_;
                }
                changed_.notify_one();
            }
        }
    }

    const bool echo_;
    const std::shared_ptr<TlsContext> tls_;
    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread acceptor_;
    std::vector<std::thread> workers_; // only the acceptor touches it until the destructor
    std::mutex mutex_;
    std::condition_variable changed_;
    int received_ = 0;
};

const test::TestPki& Pki() {
    static test::TestPki pki;
    return pki;
}

std::shared_ptr<TlsContext> ServerTls() {
    std::string error;
    auto context = TlsContext::Server(Pki().certFile, Pki().keyFile, error);
    if (!context)
        std::abort();
    return context;
}

struct Session {
    LoopbackPeer peer;
    AgentClient engine;
    explicit Session(bool echo, bool tls = false) : peer(echo, tls ? ServerTls() : nullptr) {
        engine.SetTls(TlsConfig{tls, tls ? Pki().caFile : std::string()});
        if (engine.Login("127.0.0.1", peer.Port(), "bench", "bench") != 0)
            std::abort();
    }
};

WireMessage ChatItem() {
    WireMessage item(3003);
    item.AddInt(1);
    item.AddText("Operator");
    item.AddText("Hello, how can I help you today?");
    return item;
}

void BM_PushWakeToWire(benchmark::State& state) {
    Session session(false);
    if (session.engine.Calls().Open(1) != 0)
        return state.SkipWithError("open failed");
    auto channel = session.engine.Calls().FindById(1)->Channels().Find(0);
    const WireMessage item = ChatItem();
    for (auto _ : state) {
        channel->Messages().PushCopy(item);
        channel->Wake();
        session.peer.WaitReceived();
    }
    session.engine.Calls().Remove(1);
}
BENCHMARK(BM_PushWakeToWire)->UseRealTime();

struct RoundTrip {
    std::mutex mutex;
    std::condition_variable arrived;
    int count = 0;
};

// Argument 0: plain; 1: TLS.
void BM_ChatRoundTrip(benchmark::State& state) {
    Session session(true, state.range(0) == 1);
    state.SetLabel(state.range(0) == 1 ? "tls" : "plain");
    if (session.engine.Calls().Open(2) != 0)
        return state.SkipWithError("open failed");
    auto call = session.engine.Calls().FindById(2);
    RoundTrip trip;
    CallCallbacks callbacks;
    callbacks.OnChatMessage = [](void* data, const WireMessage&) {
        auto& t = *static_cast<RoundTrip*>(data);
        {
            std::lock_guard lock(t.mutex);
            ++t.count;
        }
        t.arrived.notify_one();
    };
    call->SetCallbacks(&trip, callbacks);
    const WireMessage item = ChatItem();
    std::vector<double> samples;
    samples.reserve(100000);
    for (auto _ : state) {
        auto start = Clock::now();
        call->QueueMessage(item);
        std::unique_lock lock(trip.mutex);
        trip.arrived.wait(lock, [&] { return trip.count > 0; });
        --trip.count;
        samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    session.engine.Calls().Remove(2);
    std::sort(samples.begin(), samples.end());
    if (!samples.empty()) {
        state.counters["median_us"] = samples[samples.size() / 2];
        state.counters["p99_us"] = samples[std::min(samples.size() - 1, samples.size() * 99 / 100)];
    }
}
BENCHMARK(BM_ChatRoundTrip)->Arg(0)->Arg(1)->UseRealTime();

void BM_RemoveRunningCall(benchmark::State& state) {
    Session session(true);
    int32_t id = 100;
    for (auto _ : state) {
        state.PauseTiming();
        if (session.engine.Calls().Open(++id) != 0)
            return state.SkipWithError("open failed");
        state.ResumeTiming();
        session.engine.Calls().Remove(id);
    }
}
BENCHMARK(BM_RemoveRunningCall)->UseRealTime()->Iterations(300);

} // namespace

BENCHMARK_MAIN();
