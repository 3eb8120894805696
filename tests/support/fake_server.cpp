#include "fake_server.h"

#include "wire_message.h"

#include <arpa/inet.h>
#include <cerrno>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace olvex::test {

FakeConnection::FakeConnection(int fd, std::unique_ptr<TlsSession> tls) : fd_(fd) {
    channel_.Adopt(fd, std::move(tls));
}

FakeConnection::~FakeConnection() {
    Close();
}

std::optional<std::string> FakeConnection::Receive(std::chrono::milliseconds timeout) {
    channel_.SetTimeout(timeout);
    std::string payload;
    if (channel_.Receive(payload) <= 0)
        return std::nullopt;
    return payload;
}

::testing::AssertionResult FakeConnection::Expect(std::string_view payload,
                                                  std::chrono::milliseconds timeout) {
    auto got = Receive(timeout);
    if (!got)
        return ::testing::AssertionFailure() << "no frame arrived, expected \"" << payload << '"';
    if (*got != payload)
        return ::testing::AssertionFailure()
               << "got \"" << *got << "\", expected \"" << payload << '"';
    return ::testing::AssertionSuccess();
}

bool FakeConnection::Send(std::string_view payload) {
    return channel_.Send(payload) > 0;
}

bool FakeConnection::SendRaw(std::string_view bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            if (errno == EAGAIN) {
                pollfd p{fd_, POLLOUT, 0};
                ::poll(&p, 1, 1000);
                continue;
            }
            return false;
        }
        sent += size_t(n);
    }
    return true;
}

std::string FakeConnection::ReceiveRaw(size_t count, std::chrono::milliseconds timeout) {
    std::string out;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (out.size() < count) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, int(left.count())) <= 0)
            continue;
        char buffer[4096];
        ssize_t n = ::recv(fd_, buffer, std::min(sizeof buffer, count - out.size()), MSG_DONTWAIT);
        if (n == 0)
            break;
        if (n > 0)
            out.append(buffer, size_t(n));
    }
    return out;
}

bool FakeConnection::WaitForPeerClose(std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, int(left.count())) <= 0)
            continue;
        char buffer[4096];
        ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
            return true;
    }
}

void FakeConnection::Close() {
    channel_.Close();
}

FakeServer::FakeServer() {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0)
        throw std::runtime_error("socket");
    int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0 ||
        ::listen(listenFd_, 64) < 0)
        throw std::runtime_error("bind/listen");
    socklen_t len = sizeof addr;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
}

FakeServer::~FakeServer() {
    StopListening();
}

void FakeServer::StopListening() {
    if (listenFd_ >= 0)
        ::close(listenFd_);
    listenFd_ = -1;
}

std::unique_ptr<FakeConnection> FakeServer::Accept(std::chrono::milliseconds timeout) {
    if (listenFd_ < 0)
        return nullptr;
    pollfd p{listenFd_, POLLIN, 0};
    if (::poll(&p, 1, int(timeout.count())) <= 0)
        return nullptr;
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        return nullptr;
    return std::make_unique<FakeConnection>(fd, tls_ ? TlsSession::Server(tls_, fd) : nullptr);
}

std::string Payload(int code, std::initializer_list<std::string_view> fields) {
    WireMessage message(code);
    for (auto field : fields)
        message.AddText(field);
    return message.Payload();
}

int CountOpenFds() {
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] != '.')
                ++count;
        }
        ::closedir(dir);
    }
    return count - 1; // the directory stream itself
}

} // namespace olvex::test
