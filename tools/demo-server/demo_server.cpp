#include "demo_server.h"

#include "socket_channel.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace olvex::demo {

namespace {

constexpr size_t kReadChunk = 64 * 1024;
// At most this much is written to one client per round, so that one fast
// reader cannot keep the loop from the others.
constexpr size_t kWriteRound = 4 * 1024 * 1024;

bool Resolve(const std::string& host, in_addr& address) {
    uint32_t quad = 0;
    if (ParseDottedQuad(host, quad)) {
        address.s_addr = htonl(quad);
        return true;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found)
        return false;
    address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);
    return true;
}

} // namespace

DemoServer::DemoServer(ServerOptions options) : options_(std::move(options)) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        wakeRead_ = fds[0];
        wakeWrite_ = fds[1];
    }
}

DemoServer::~DemoServer() {
    for (auto& [id, fd] : fds_)
        ::close(fd);
    if (listenFd_ >= 0)
        ::close(listenFd_);
    if (wakeRead_ >= 0)
        ::close(wakeRead_);
    if (wakeWrite_ >= 0)
        ::close(wakeWrite_);
}

int DemoServer::Listen(std::string& error) {
    if (wakeRead_ < 0) {
        error = "cannot create the wake-up pipe";
        return -1;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(options_.port));
    if (!Resolve(options_.host, address.sin_addr)) {
        error = "cannot resolve " + options_.host;
        return -1;
    }
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, 128) != 0) {
        error = options_.host + ":" + std::to_string(options_.port) + ": " + std::strerror(errno);
        return -1;
    }
    socklen_t length = sizeof address;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    if (!options_.tlsCert.empty()) {
        tls_ = TlsContext::Server(options_.tlsCert, options_.tlsKey, error);
        if (!tls_)
            return -1;
    }
    hub_ = std::make_unique<DemoHub>(options_, Clock::now());
    return 0;
}

void DemoServer::Stop() {
    stopping_.store(true);
    char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeWrite_, &byte, 1);
}

int DemoServer::Run() {
    std::vector<pollfd> polls;
    std::vector<ConnId> ids;
    while (!stopping_.load()) {
        Clock::time_point now = Clock::now();
        Clock::time_point next = hub_->RunTimers(now);
        // Closing announces departures, which can overflow and drop others.
        for (;;) {
            std::vector<ConnId> closing = hub_->ToClose(now);
            if (closing.empty())
                break;
            for (ConnId id : closing)
                CloseConnection(id);
        }

        polls.clear();
        ids.clear();
        polls.push_back({wakeRead_, POLLIN, 0});
        polls.push_back({listenFd_, POLLIN, 0});
        for (auto& [id, fd] : fds_) {
            short events = 0;
            if (hub_->WantsInput(id))
                events |= POLLIN;
            if (!hub_->Pending(id).empty() || wantsWrite_[id])
                events |= POLLOUT;
            polls.push_back({fd, events, 0});
            ids.push_back(id);
        }
        auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now());
        int timeout = int(std::clamp<int64_t>(wait.count(), 0, 1000));
        int ready = ::poll(polls.data(), polls.size(), timeout);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (polls[0].revents)
            break;
        if (polls[1].revents & POLLIN)
            AcceptAll();
        for (size_t i = 0; i < ids.size(); ++i) {
            const short revents = polls[i + 2].revents;
            if (revents & (POLLIN | POLLHUP | POLLERR))
                ReadFrom(ids[i], polls[i + 2].fd);
        }
        // A handshake waiting for room in the socket goes on.
        for (size_t i = 0; i < ids.size(); ++i) {
            auto session = sessions_.find(ids[i]);
            if (session == sessions_.end() || !(polls[i + 2].revents & POLLOUT) ||
                session->second->HandshakeDone())
                continue;
            wantsWrite_[ids[i]] = false;
            Follow(ids[i], session->second->Handshake());
        }
        // Answers just produced go out in the same round when the socket takes them.
        for (size_t i = 0; i < ids.size(); ++i) {
            if (fds_.count(ids[i]))
                Flush(ids[i], polls[i + 2].fd);
        }
    }
    return 0;
}

void DemoServer::AcceptAll() {
    for (int i = 0; i < 64; ++i) {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &length,
                           SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        if (fds_.size() >= kMaxConnections) {
            ::close(fd);
            continue;
        }
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        char host[INET_ADDRSTRLEN] = "";
        ::inet_ntop(AF_INET, &peer.sin_addr, host, sizeof host);
        const ConnId id = nextId_++;
        if (tls_) {
            auto session = TlsSession::Server(tls_, fd);
            if (!session) {
                ::close(fd);
                continue;
            }
            sessions_[id] = std::move(session);
        }
        fds_[id] = fd;
        hub_->Open(id, host, Clock::now());
    }
}

void DemoServer::ReadFrom(ConnId id, int fd) {
    if (!hub_->WantsInput(id))
        return;
    char buffer[kReadChunk];
    if (auto session = sessions_.find(id); session != sessions_.end()) {
        // Decrypted bytes may stay in the session, out of poll's sight: read them all.
        TlsSession& tls = *session->second;
        for (int round = 0; round < 64 && hub_->WantsInput(id); ++round) {
            size_t count = 0;
            TlsIo io = tls.Read(buffer, sizeof buffer, count);
            if (io != TlsIo::Done)
                return void(Follow(id, io));
            hub_->Receive(id, std::string_view(buffer, count), Clock::now());
            if (!tls.HasPending())
                break;
        }
        return;
    }
    ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n > 0) {
        hub_->Receive(id, std::string_view(buffer, size_t(n)), Clock::now());
    } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        CloseConnection(id);
    }
}

void DemoServer::Flush(ConnId id, int fd) {
    size_t written = 0;
    while (written < kWriteRound) {
        std::string_view pending = hub_->Pending(id);
        if (pending.empty())
            return;
        if (auto session = sessions_.find(id); session != sessions_.end()) {
            if (wantsWrite_[id] && session->second->HandshakeDone())
                wantsWrite_[id] = false;
            size_t count = 0;
            TlsIo io = session->second->Write(
                pending.data(), std::min(pending.size(), kWriteRound - written), count);
            if (io != TlsIo::Done)
                return void(Follow(id, io));
            hub_->Consume(id, count);
            written += count;
            continue;
        }
        ssize_t n = ::send(fd, pending.data(), std::min(pending.size(), kWriteRound - written),
                           MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) {
            hub_->Consume(id, size_t(n));
            written += size_t(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                CloseConnection(id);
            return;
        }
    }
}

void DemoServer::CloseConnection(ConnId id) {
    auto it = fds_.find(id);
    if (it == fds_.end())
        return;
    sessions_.erase(id); // before its socket goes
    wantsWrite_.erase(id);
    ::close(it->second);
    fds_.erase(it);
    hub_->Close(id);
}

bool DemoServer::Follow(ConnId id, TlsIo io) {
    switch (io) {
    case TlsIo::Done:
    case TlsIo::WantRead:
        return true;
    case TlsIo::WantWrite:
        wantsWrite_[id] = true;
        return true;
    default:
        // A client that does not speak TLS, or refused our certificate.
        CloseConnection(id);
        return false;
    }
}

} // namespace olvex::demo
