// Feeds arbitrary bytes to SocketChannel::Receive through TLS: a client and a
// server shake hands in memory, then the server encrypts the input (or, when the
// first byte is odd, the input goes on the wire as it is, after the handshake)
// and the client's frame reader takes it from a socket pair until the stream fails.
#include "socket_channel.h"
#include "test_pki.h"
#include "wire_message.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct Contexts {
    olvex::test::TestPki pki;
    std::shared_ptr<olvex::TlsContext> client;
    std::shared_ptr<olvex::TlsContext> server;
    Contexts() {
        std::string error;
        client = olvex::TlsContext::Client(pki.caFile, error);
        server = olvex::TlsContext::Server(pki.certFile, pki.keyFile, error);
        if (!client || !server)
            std::abort();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace std::chrono_literals;
    using olvex::TlsSession;
    static Contexts contexts;
    auto client = TlsSession::ClientInMemory(contexts.client, "127.0.0.1");
    auto server = TlsSession::ServerInMemory(contexts.server);
    if (!client || !server)
        return 0;
    // What the server sends after the client has finished (session tickets) waits
    // in `wire` for the socket.
    std::string wire;
    for (int round = 0; round < 10 && !(client->HandshakeDone() && server->HandshakeDone());
         ++round) {
        if (!client->HandshakeDone()) {
            client->Feed(wire);
            wire.clear();
            client->Handshake();
        }
        server->Feed(client->TakeOutput());
        if (!server->HandshakeDone())
            server->Handshake();
        wire += server->TakeOutput();
    }
    if (!client->HandshakeDone())
        std::abort();

    const bool raw = size > 0 && (data[0] & 1) != 0;
    if (raw) {
        wire.append(reinterpret_cast<const char*>(data) + 1, size - 1);
    } else {
        for (size_t done = 0; done < size;) {
            size_t count = 0;
            if (server->Write(reinterpret_cast<const char*>(data) + done, size - done, count) !=
                olvex::TlsIo::Done)
                break;
            done += count;
        }
        wire += server->TakeOutput();
    }

    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0)
        return 0;
    int buffer = int(wire.size()) + 65536;
    ::setsockopt(fds[1], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    ::setsockopt(fds[0], SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    size_t written = 0;
    while (written < wire.size()) {
        ssize_t n = ::send(fds[1], wire.data() + written, wire.size() - written,
                           MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n <= 0)
            break;
        written += size_t(n);
    }
    ::close(fds[1]); // the reader sees end of stream instead of waiting
    client->AttachSocket(fds[0]);
    olvex::SocketChannel channel(5ms);
    channel.SetHeaderWait(5ms);
    channel.Adopt(fds[0], std::move(client));
    olvex::WireMessage message;
    for (int i = 0; i < 10000; ++i) {
        int32_t result = message.Receive(channel);
        if (result <= 0 && result != -16)
            break;
        for (int field = 1; field <= message.FieldCount() + 1; ++field)
            (void)message.GetInt(field);
    }
    return 0;
}
