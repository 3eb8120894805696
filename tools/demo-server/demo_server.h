#pragma once

#include "demo_hub.h"
#include "server_options.h"
#include "tls_session.h"

#include <atomic>
#include <memory>
#include <string>
#include <unordered_map>

namespace olvex::demo {

// The demo server's socket side: one thread, one poll() loop over the
// listening socket, a wake pipe and every client connection, all
// non-blocking. Protocol and simulation live in DemoHub.
class DemoServer {
public:
    static constexpr size_t kMaxConnections = 1000;

    explicit DemoServer(ServerOptions options);
    ~DemoServer();
    DemoServer(const DemoServer&) = delete;
    DemoServer& operator=(const DemoServer&) = delete;

    // Binds and listens. Returns 0, or -1 with the reason in `error`.
    int Listen(std::string& error);
    int Port() const { return port_; }
    // Serves until Stop. Returns 0.
    int Run();
    // Safe from a signal handler and from other threads.
    void Stop();

private:
    void AcceptAll();
    void ReadFrom(ConnId id, int fd);
    void Flush(ConnId id, int fd);
    void CloseConnection(ConnId id);
    // Moves a TLS session on after `io`; false when the connection was closed.
    bool Follow(ConnId id, TlsIo io);

    ServerOptions options_;
    int listenFd_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::unique_ptr<DemoHub> hub_;
    std::unordered_map<ConnId, int> fds_;
    std::shared_ptr<TlsContext> tls_;
    std::unordered_map<ConnId, std::unique_ptr<TlsSession>> sessions_;
    std::unordered_map<ConnId, bool> wantsWrite_; // a session waits for the socket to take more
    ConnId nextId_ = 1;
};

} // namespace olvex::demo
