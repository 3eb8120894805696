#include "fake_server.h"
#include "result_code.h"
#include "socket_channel.h"
#include "wire_message.h"

using namespace std::string_literals;

#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <future>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace olvex;
using namespace olvex::test;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

std::string Frame(std::string_view payload) {
    unsigned char header[kFrameHeaderSize];
    WriteFrameHeader(header, static_cast<int32_t>(payload.size()));
    return std::string(reinterpret_cast<char*>(header), sizeof header) + std::string(payload);
}

size_t Filler(int i) {
    return i % 10 == 9 ? size_t(3 << 20) + size_t(i) : size_t(i % 200);
}

std::string RawHeader(const char* magic, uint32_t length) {
    std::string header(magic, 3);
    for (int shift = 24; shift >= 0; shift -= 8)
        header.push_back(static_cast<char>((length >> shift) & 0xff));
    return header;
}

// A client channel connected to the fake server, and the server's end of it.
struct Connected {
    FakeServer server;
    SocketChannel client{200ms};
    std::unique_ptr<FakeConnection> peer;

    Connected() {
        client.SetHeaderWait(200ms);
        EXPECT_GT(client.Connect("127.0.0.1", server.Port()), 0);
        peer = server.Accept();
        EXPECT_TRUE(peer);
    }
};

} // namespace

TEST(SocketChannelConnect, DottedQuadAndHostName) {
    uint32_t address = 0;
    EXPECT_TRUE(ParseDottedQuad("127.0.0.1", address));
    EXPECT_EQ(address, 0x7f000001u);
    EXPECT_FALSE(ParseDottedQuad("localhost", address));
    EXPECT_FALSE(ParseDottedQuad("1.2.3", address));
    EXPECT_FALSE(ParseDottedQuad("1.2.3.256", address));
    EXPECT_FALSE(ParseDottedQuad("1.2.3.4.5", address));

    FakeServer server;
    SocketChannel byAddress(1s), byName(1s);
    EXPECT_GT(byAddress.Connect("127.0.0.1", server.Port()), 0);
    EXPECT_GT(byName.Connect("localhost", server.Port()), 0);
    EXPECT_TRUE(byAddress.IsOpen());
    EXPECT_TRUE(byName.IsOpen());
    EXPECT_TRUE(server.Accept());
    EXPECT_TRUE(server.Accept());
}

TEST(SocketChannelConnect, RefusedFailsAtOnceSlowFailsAfterTimeout) {
    int port;
    {
        FakeServer gone;
        port = gone.Port();
    }
    SocketChannel channel(2s);
    auto start = Clock::now();
    EXPECT_EQ(channel.Connect("127.0.0.1", port), ResultCode::Connect);
    EXPECT_LT(Clock::now() - start, 1s) << "a refusal must not wait for the time-out";
    EXPECT_FALSE(channel.IsOpen());

    // A listener whose backlog is full drops further SYNs: the connect hangs.
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    socklen_t len = sizeof addr;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
    int slowPort = ntohs(addr.sin_port);
    std::vector<std::unique_ptr<SocketChannel>> fillers;
    for (int i = 0; i < 2; ++i) {
        fillers.push_back(std::make_unique<SocketChannel>(300ms));
        fillers.back()->Connect("127.0.0.1", slowPort);
    }
    SocketChannel slow(300ms);
    start = Clock::now();
    EXPECT_EQ(slow.Connect("127.0.0.1", slowPort), ResultCode::Connect);
    EXPECT_GE(Clock::now() - start, 250ms);
    EXPECT_FALSE(slow.IsOpen());

    // Close from another thread ends a hanging connect at once.
    SocketChannel hanging(10s);
    auto pending =
        std::async(std::launch::async, [&] { return hanging.Connect("127.0.0.1", slowPort); });
    std::this_thread::sleep_for(100ms);
    start = Clock::now();
    hanging.Close();
    EXPECT_EQ(pending.get(), ResultCode::Connect);
    EXPECT_LT(Clock::now() - start, 50ms);
    ::close(listener);
}

TEST(SocketChannelSend, FrameIsHeaderAndPayloadExactly) {
    Connected c;
    EXPECT_EQ(c.client.Send("hello", 5), 5);
    std::string wire = c.peer->ReceiveRaw(100, 300ms);
    ASSERT_EQ(wire.size(), 12u);
    EXPECT_EQ(wire, std::string("<!>\0\0\0\5hello", 12));

    SocketChannel closed;
    EXPECT_EQ(closed.Send("x", 1), ResultCode::Connect);
}

// A peer that reads slowly, or not at all: every Send ends within one time-out,
// a wait behind another sender included, and a frame cut off breaks the stream
// for good instead of letting the next frame follow the broken one.
TEST(SocketChannelSend, OneDeadlineAndNoFrameAfterABrokenOne) {
    Connected c;
    c.client.SetTimeout(400ms);
    std::atomic<bool> reading{true};
    std::atomic<size_t> received{0};
    auto trickle = std::async(std::launch::async, [&] {
        while (reading) {
            received += c.peer->ReceiveRaw(16 * 1024, 10ms).size();
            std::this_thread::sleep_for(40ms);
        }
    });
    const std::string big(32 * 1024 * 1024, 'x');
    const auto start = Clock::now();
    auto first = std::async(std::launch::async, [&] { return c.client.Send(big); });
    while (received == 0) // the big frame holds the send lock by now
        std::this_thread::sleep_for(5ms);
    const auto lateStart = Clock::now();
    EXPECT_EQ(c.client.Send("late", 4), ResultCode::SendFailed);
    EXPECT_LT(Clock::now() - lateStart, 1s) << "the second sender waited beyond its time-out";
    EXPECT_EQ(first.get(), ResultCode::SendFailed);
    EXPECT_LT(Clock::now() - start, 3s) << "the deadline was re-armed by partial writes";
    reading = false;
    trickle.get();

    const auto nextStart = Clock::now();
    EXPECT_EQ(c.client.Send("next", 4), ResultCode::SendFailed);
    EXPECT_LT(Clock::now() - nextStart, 100ms);
    EXPECT_TRUE(c.client.IsOpen()) << "the owner decides when to close";
}

TEST(SocketChannelSend, PeerThatClosedNeverKillsTheProcess) {
    Connected c;
    c.peer->Close();
    std::string big(1 << 20, 'x');
    int32_t result = 0;
    for (int i = 0; i < 50 && result >= 0; ++i)
        result = c.client.Send(big);
    EXPECT_EQ(result, ResultCode::SendFailed);
    EXPECT_TRUE(c.client.IsOpen()) << "the owner decides when to close";
}

TEST(SocketChannelReceive, WholeFramesAndSplitHeaders) {
    Connected c;
    c.peer->SendRaw(Frame("first") + Frame("second"));
    std::string payload;
    EXPECT_EQ(c.client.Receive(payload), 5);
    EXPECT_EQ(payload, "first");
    EXPECT_EQ(c.client.Receive(payload), 6);
    EXPECT_EQ(payload, "second");

    std::string frame = Frame("split");
    auto writer = std::async(std::launch::async, [&] {
        c.peer->SendRaw(frame.substr(0, 3));
        std::this_thread::sleep_for(50ms);
        c.peer->SendRaw(frame.substr(3, 3));
        std::this_thread::sleep_for(50ms);
        c.peer->SendRaw(frame.substr(6));
    });
    EXPECT_EQ(c.client.Receive(payload), 5);
    EXPECT_EQ(payload, "split");
    writer.get();
}

TEST(SocketChannelReceive, BrokenHeadersGiveBadFrameAndNoBuffer) {
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"wrong magic", RawHeader("<?>", 3) + "abc"},
        {"zero length", RawHeader("<!>", 0)},
        {"negative length", RawHeader("<!>", 0x80000000u)},
    };
    for (const auto& test : cases) {
        Connected c;
        c.peer->SendRaw(test.bytes);
        std::string payload = "stale";
        EXPECT_EQ(c.client.Receive(payload), ResultCode::BadFrame) << test.name;
        EXPECT_TRUE(payload.empty()) << test.name;
        EXPECT_TRUE(c.client.IsOpen()) << test.name;
    }
}

// Resident memory of this process, in bytes.
size_t ResidentBytes() {
    long pages = 0, resident = 0;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return size_t(resident) * size_t(::sysconf(_SC_PAGESIZE));
}

TEST(SocketChannelReceive, SizeCapAndABufferThatGrowsWithTheBytes) {
    {
        Connected c;
        c.peer->SendRaw(RawHeader("<!>", uint32_t(kMaxPayloadLength) + 1));
        std::string payload = "stale";
        EXPECT_EQ(c.client.Receive(payload), ResultCode::MessageSize);
        EXPECT_TRUE(payload.empty());
    }
    {
        Connected c; // a page list of some 100,000 visitors
        c.client.SetTimeout(5s);
        const std::string big(20 * 1024 * 1024, 'p');
        auto writer = std::async(std::launch::async, [&] { c.peer->SendRaw(Frame(big)); });
        std::string payload;
        EXPECT_EQ(c.client.Receive(payload), int32_t(big.size()));
        EXPECT_TRUE(payload == big);
        c.client.Close(); // ends the writer should the frame have been refused
        writer.get();
    }
    {
        // The largest frame announced, a little of it sent, then silence: no
        // buffer of the announced size while the payload is awaited.
        Connected c;
        c.client.SetTimeout(600ms);
        c.peer->SendRaw(RawHeader("<!>", uint32_t(kMaxPayloadLength)) + std::string(1000, 'x'));
        const size_t before = ResidentBytes();
        auto receiving = std::async(std::launch::async, [&] {
            std::string payload;
            return c.client.Receive(payload);
        });
        std::this_thread::sleep_for(300ms);
        const size_t during = ResidentBytes();
        EXPECT_EQ(receiving.get(), ResultCode::BadFrame);
        EXPECT_LT(during, before + 32 * 1024 * 1024) << "grew by " << (during - before);
    }
}

// The header wait and the payload time-out are two different waits.
TEST(SocketChannelReceive, HeaderWaitAndPayloadTimeOutAreApart) {
    Connected midHeader, midPayload;
    for (Connected* c : {&midHeader, &midPayload}) {
        c->client.SetTimeout(900ms);
        c->client.SetHeaderWait(100ms);
    }
    midHeader.peer->SendRaw("<!>\0"s);
    midPayload.peer->SendRaw(RawHeader("<!>", 10) + "abc");
    auto elapsed = [](Connected& c) {
        std::string payload;
        auto start = Clock::now();
        EXPECT_EQ(c.client.Receive(payload), ResultCode::BadFrame);
        return Clock::now() - start;
    };
    const auto header = elapsed(midHeader);
    EXPECT_GE(header, 100ms);
    EXPECT_LT(header, 600ms);
    EXPECT_GE(elapsed(midPayload), 900ms);
}

TEST(SocketChannelReceive, SilenceStallsAndCloses) {
    {
        Connected c;
        std::string payload;
        for (int i = 0; i < 3; ++i) {
            auto start = Clock::now();
            EXPECT_EQ(c.client.Receive(payload), ResultCode::Timeout);
            EXPECT_GE(Clock::now() - start, 150ms);
            EXPECT_TRUE(c.client.IsOpen());
        }
    }
    {
        Connected c; // stops in the middle of a header
        c.peer->SendRaw("<!>\0"s);
        std::string payload;
        EXPECT_EQ(c.client.Receive(payload), ResultCode::BadFrame);
    }
    {
        Connected c; // stops in the middle of a payload
        c.peer->SendRaw(RawHeader("<!>", 10) + "abc");
        std::string payload;
        EXPECT_EQ(c.client.Receive(payload), ResultCode::BadFrame);
    }
    {
        Connected c; // closes before anything
        c.peer->Close();
        std::string payload;
        EXPECT_EQ(c.client.Receive(payload), ResultCode::ConnectionLost);
    }
    {
        Connected c; // closes in the middle of a payload
        c.peer->SendRaw(RawHeader("<!>", 10) + "abc");
        c.peer->Close();
        std::string payload;
        EXPECT_EQ(c.client.Receive(payload), ResultCode::ConnectionLost);
    }
}

TEST(SocketChannelClose, WakesAWaitingReceiveAtOnce) {
    Connected c;
    c.client.SetTimeout(10s);
    std::atomic<Clock::time_point> closedAt{};
    auto receiver = std::async(std::launch::async, [&] {
        std::string payload;
        int32_t result = c.client.Receive(payload);
        return std::make_pair(result, Clock::now() - closedAt.load());
    });
    std::this_thread::sleep_for(100ms);
    closedAt = Clock::now();
    EXPECT_EQ(c.client.Close(), 0);
    EXPECT_FALSE(c.client.IsOpen());
    auto [result, delay] = receiver.get();
    EXPECT_LT(result, 0);
    EXPECT_LT(delay, 50ms);
    std::string payload;
    EXPECT_EQ(c.client.Receive(payload), ResultCode::Connect);
    EXPECT_EQ(c.client.Close(), 0) << "closing twice is harmless";
}

TEST(SocketChannelClose, ReconnectsAfterClose) {
    FakeServer server;
    SocketChannel channel(1s);
    for (int i = 0; i < 3; ++i) {
        ASSERT_GT(channel.Connect("127.0.0.1", server.Port()), 0);
        auto peer = server.Accept();
        ASSERT_TRUE(peer);
        EXPECT_EQ(channel.Send("ping", 4), 4);
        EXPECT_EQ(peer->Receive(), "ping");
        channel.Close();
        EXPECT_TRUE(peer->WaitForPeerClose(1s));
    }
}

// Two senders and a receiver on one channel, then a closer: frames arrive
// whole and in each sender's order. Every tenth frame is larger than the socket
// buffers, so it goes out in pieces, and only the send lock keeps the other
// sender's frames from landing between them.
TEST(SocketChannelStress, ConcurrentSendersNeverInterleave) {
    constexpr int kPerThread = 1000;
    FakeServer server;
    SocketChannel client(5s);
    ASSERT_GT(client.Connect("127.0.0.1", server.Port()), 0);
    auto peer = server.Accept();
    ASSERT_TRUE(peer);

    // The server echoes every frame back, so the client receives while it sends.
    std::thread echo([&] {
        SocketChannel serverSide(5s);
        serverSide.Adopt(::dup(peer->Fd()));
        std::string payload;
        while (serverSide.Receive(payload) > 0) {
            if (serverSide.Send(payload) < 0)
                break;
        }
    });

    auto sender = [&](char tag) {
        for (int i = 0; i < kPerThread; ++i) {
            WireMessage message(3003);
            message.AddText(std::string(1, tag));
            message.AddInt(i);
            message.AddText(std::string(Filler(i), tag));
            ASSERT_EQ(message.Send(client), message.Length());
        }
    };
    std::vector<int> next(2, 0);
    int received = 0;
    std::thread receiver([&] {
        WireMessage message;
        while (received < 2 * kPerThread && message.Receive(client) > 0) {
            auto tag = message.GetText(1);
            ASSERT_TRUE(tag.has_value());
            int who = *tag == "a" ? 0 : 1;
            int index = message.GetInt(2);
            ASSERT_EQ(index, next[size_t(who)]) << "out of order for sender " << who;
            ASSERT_EQ(message.FieldView(3), std::string(Filler(index), (*tag)[0]));
            ++next[size_t(who)];
            ++received;
        }
    });
    std::thread a(sender, 'a'), b(sender, 'b');
    a.join();
    b.join();
    receiver.join();
    EXPECT_EQ(received, 2 * kPerThread);
    std::thread closer([&] { client.Close(); });
    closer.join();
    peer->Close();
    echo.join();
}
