#include "recording_relay.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace olvex::test {

namespace {

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool SendAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

} // namespace

RecordingRelay::RecordingRelay(int targetPort) : targetPort_(targetPort) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::listen(listenFd_, 16) == 0 &&
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Run(); });
}

RecordingRelay::~RecordingRelay() {
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
    thread_.join();
    ::close(listenFd_);
    ::close(wakeFd_);
}

std::string RecordingRelay::Recorded() const {
    std::lock_guard lock(mutex_);
    return recorded_;
}

void RecordingRelay::Run() {
    std::vector<int> fds; // pairs: fds[2k] the client, fds[2k+1] the target
    for (;;) {
        std::vector<pollfd> polls{{wakeFd_, POLLIN, 0}, {listenFd_, POLLIN, 0}};
        for (int fd : fds)
            polls.push_back({fd, POLLIN, 0});
        if (::poll(polls.data(), polls.size(), -1) < 0)
            continue;
        if (polls[0].revents)
            break;
        const size_t polled = fds.size();
        if (polls[1].revents & POLLIN) {
            int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            int target = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in address = Loopback(targetPort_);
            if (client >= 0 && target >= 0 &&
                ::connect(target, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
                fds.push_back(client);
                fds.push_back(target);
            } else {
                ::close(client);
                ::close(target);
            }
        }
        std::vector<size_t> ended;
        for (size_t i = 0; i < polled; ++i) {
            if (!polls[i + 2].revents)
                continue;
            char buffer[65536];
            ssize_t n = ::recv(fds[i], buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0) {
                {
                    std::lock_guard lock(mutex_);
                    recorded_.append(buffer, size_t(n));
                }
                if (SendAll(fds[i ^ 1], buffer, size_t(n)))
                    continue;
            } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                continue;
            }
            if (ended.empty() || ended.back() != (i & ~size_t(1)))
                ended.push_back(i & ~size_t(1));
        }
        for (auto it = ended.rbegin(); it != ended.rend(); ++it) {
            ::close(fds[*it]);
            ::close(fds[*it + 1]);
            fds.erase(fds.begin() + long(*it), fds.begin() + long(*it) + 2);
        }
    }
    for (int fd : fds)
        ::close(fd);
}

} // namespace olvex::test
