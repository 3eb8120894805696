#include "fake_server.h"
#include "result_code.h"
#include "socket_channel.h"
#include "test_pki.h"

#include <future>
#include <gtest/gtest.h>
#include <poll.h>
#include <thread>

using namespace olvex;
using namespace olvex::test;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

const TestPki& Pki() {
    static TestPki pki;
    return pki;
}

std::shared_ptr<TlsContext> ServerContext(const std::string& certFile) {
    std::string error;
    auto context = TlsContext::Server(certFile, Pki().keyFile, error);
    EXPECT_TRUE(context) << error;
    return context;
}

TlsConfig Trusting(const std::string& caFile) {
    return TlsConfig{true, caFile};
}

struct Attempt {
    int32_t rc;
    std::string detail; // the connecting thread's ResultDetail
    std::optional<std::string> got;
};

// Connects `client` to `server` and sends a log-in while the server's side runs
// its first Receive. Returns what the server received, if anything.
Attempt ConnectAndSend(SocketChannel& client, FakeServer& server, const std::string& host) {
    auto connecting = std::async(std::launch::async, [&] {
        int32_t rc = client.Connect(host, server.Port());
        if (rc > 0)
            client.Send("1001secret<~>");
        return std::pair(rc, ResultDetail());
    });
    auto peer = server.Accept();
    std::optional<std::string> got;
    if (peer)
        got = peer->Receive(2s);
    auto [rc, detail] = connecting.get();
    return {rc, detail, got};
}

} // namespace

TEST(TlsChannel, FramesCrossUnchangedBothWaysByNameAndByAddress) {
    FakeServer server;
    server.UseTls(ServerContext(Pki().certFile));
    for (const char* host : {"127.0.0.1", "localhost"}) {
        SocketChannel client(2s);
        client.SetTls(Trusting(Pki().caFile));
        auto [rc, detail, got] = ConnectAndSend(client, server, host);
        ASSERT_GT(rc, 0) << host << ": " << detail;
        EXPECT_EQ(got, "1001secret<~>");
    }
    // A frame far larger than one TLS record, and one each way after it.
    SocketChannel client(2s);
    client.SetTls(Trusting(Pki().caFile));
    auto connecting =
        std::async(std::launch::async, [&] { return client.Connect("127.0.0.1", server.Port()); });
    auto peer = server.Accept();
    ASSERT_TRUE(peer);
    const std::string big(3 << 20, 'x');
    auto sending = std::async(std::launch::async, [&] {
        if (connecting.get() <= 0)
            return -1;
        return client.Send(big);
    });
    EXPECT_EQ(peer->Receive(5s), big);
    EXPECT_EQ(sending.get(), int32_t(big.size()));
    ASSERT_TRUE(peer->Send("9001<~>1001<~>"));
    std::string payload;
    EXPECT_EQ(client.Receive(payload), 14);
    EXPECT_EQ(payload, "9001<~>1001<~>");
    // One session, a sender and a receiver at once on each side.
    constexpr int kFrames = 200;
    auto clientSends = std::async(std::launch::async, [&] {
        int sent = 0;
        for (int i = 0; i < kFrames; ++i)
            sent += client.Send("3003" + std::to_string(i)) > 0;
        return sent;
    });
    auto peerSends = std::async(std::launch::async, [&] {
        int sent = 0;
        for (int i = 0; i < kFrames; ++i)
            sent += peer->Send("3003" + std::to_string(i));
        return sent;
    });
    for (int i = 0; i < kFrames; ++i) {
        ASSERT_EQ(client.Receive(payload), int32_t(4 + std::to_string(i).size())) << i;
        EXPECT_EQ(payload, "3003" + std::to_string(i));
    }
    for (int i = 0; i < kFrames; ++i)
        EXPECT_EQ(peer->Receive(2s), "3003" + std::to_string(i));
    EXPECT_EQ(clientSends.get(), kFrames);
    EXPECT_EQ(peerSends.get(), kFrames);
}

TEST(TlsChannel, RefusalsHaveTheirOwnCodeAndNothingIsSent) {
    struct Case {
        const char* name;
        std::string serverCert;
        std::string caFile;
        int32_t expected;
    };
    const Case cases[] = {
        {"unknown authority", Pki().certFile, Pki().otherCaFile, ResultCode::TlsCertificate},
        {"wrong host", Pki().otherHostCertFile, Pki().caFile, ResultCode::TlsHostName},
        {"expired", Pki().expiredCertFile, Pki().caFile, ResultCode::TlsExpired},
    };
    for (const Case& c : cases) {
        FakeServer server;
        server.UseTls(ServerContext(c.serverCert));
        SocketChannel client(2s);
        client.SetTls(Trusting(c.caFile));
        auto [rc, detail, got] = ConnectAndSend(client, server, "127.0.0.1");
        EXPECT_EQ(rc, c.expected) << c.name << ": " << detail;
        EXPECT_FALSE(got) << c.name;
        EXPECT_FALSE(client.IsOpen()) << c.name;
        EXPECT_FALSE(detail.empty()) << c.name;
        SetResultDetail(detail);
        EXPECT_EQ(ResultMessage(rc), std::string(ResultText(rc)) + " (" + detail + ")");
    }

    // A CA file that cannot be read: nothing is even connected.
    SocketChannel noCa(2s);
    noCa.SetTls(Trusting(Pki().dir + "/missing.pem"));
    FakeServer unused;
    EXPECT_EQ(noCa.Connect("127.0.0.1", unused.Port()), ResultCode::TlsSetup);
    EXPECT_FALSE(unused.Accept(50ms));

    // A plain server with TLS on: whether it hangs up or stays silent, no hang.
    for (bool hangUp : {true, false}) {
        FakeServer plain;
        SocketChannel client(300ms);
        client.SetTls(Trusting(Pki().caFile));
        auto connecting = std::async(std::launch::async,
                                     [&] { return client.Connect("127.0.0.1", plain.Port()); });
        auto peer = plain.Accept();
        ASSERT_TRUE(peer);
        if (hangUp) {
            EXPECT_FALSE(peer->Receive(1s)); // a ClientHello is no frame
            peer->Close();
        }
        EXPECT_EQ(connecting.get(), ResultCode::TlsNotOffered) << hangUp;
    }

    // A TLS server with TLS off: its alert is recognised.
    FakeServer secure;
    secure.UseTls(ServerContext(Pki().certFile));
    SocketChannel client(2s);
    auto [rc, detail, got] = ConnectAndSend(client, secure, "127.0.0.1");
    ASSERT_GT(rc, 0);
    EXPECT_FALSE(got);
    std::string payload;
    EXPECT_EQ(client.Receive(payload), ResultCode::TlsRequired);
}

TEST(TlsChannel, CloseEndsAHandshakeAtOnce) {
    FakeServer silent; // accepts and never answers the greeting
    SocketChannel client(20s);
    client.SetTls(Trusting(Pki().caFile));
    auto connecting =
        std::async(std::launch::async, [&] { return client.Connect("127.0.0.1", silent.Port()); });
    auto peer = silent.Accept();
    ASSERT_TRUE(peer);
    std::this_thread::sleep_for(50ms); // well into the wait for the server's answer
    const auto start = Clock::now();
    client.Close();
    EXPECT_LT(connecting.get(), 0);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    RecordProperty("close_to_connect_end_ms", int(took.count()));
    EXPECT_LT(took, 1s); // woken, not timed out (measured figure in the report)
}

TEST(TlsChannel, TimeOutSizeCapAndClosedPeerHoldOverTls) {
    FakeServer server; // plain: the test runs the server's TLS by hand to write raw bytes
    SocketChannel client(200ms);
    client.SetTls(Trusting(Pki().caFile));
    auto connecting =
        std::async(std::launch::async, [&] { return client.Connect("127.0.0.1", server.Port()); });
    auto peer = server.Accept();
    ASSERT_TRUE(peer);
    auto tls = TlsSession::Server(ServerContext(Pki().certFile), peer->Fd());
    auto sendRaw = [&](std::string_view bytes) {
        size_t done = 0;
        for (int round = 0; round < 1000 && done < bytes.size(); ++round) {
            size_t count = 0;
            TlsIo io = tls->HandshakeDone()
                           ? tls->Write(bytes.data() + done, bytes.size() - done, count)
                           : tls->Handshake();
            done += count;
            if (io == TlsIo::WantRead || io == TlsIo::WantWrite) {
                pollfd p{peer->Fd(), short(io == TlsIo::WantRead ? POLLIN : POLLOUT), 0};
                ::poll(&p, 1, 100);
            } else if (io != TlsIo::Done) {
                return false;
            }
        }
        return done == bytes.size();
    };
    ASSERT_TRUE(sendRaw(std::string_view("<!>\0\0\0\4ping", 11)));
    ASSERT_GT(connecting.get(), 0);
    std::string payload;
    ASSERT_EQ(client.Receive(payload), 4);
    EXPECT_EQ(client.Receive(payload), ResultCode::Timeout);
    EXPECT_TRUE(client.IsOpen());

    unsigned char header[kFrameHeaderSize];
    WriteFrameHeader(header, kMaxPayloadLength);
    header[6] += 1; // one byte over the cap
    ASSERT_TRUE(sendRaw(std::string_view(reinterpret_cast<char*>(header), sizeof header)));
    EXPECT_EQ(client.Receive(payload), ResultCode::MessageSize);
    EXPECT_TRUE(payload.empty());

    // The server goes away: sends fail with a code, never a signal.
    tls.reset();
    peer.reset();
    const std::string chunk(64 << 10, 'y');
    int32_t last = 0;
    for (int i = 0; i < 64 && last >= 0; ++i)
        last = client.Send(chunk);
    EXPECT_EQ(last, ResultCode::SendFailed);
}
