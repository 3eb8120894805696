#include "socket_channel.h"

#include "result_code.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace olvex {

namespace {

using Clock = std::chrono::steady_clock;

enum class WaitResult { Ready, TimedOut, Stopped };

std::string ErrorText(int error) {
    return std::generic_category().message(error);
}

std::string Millis(std::chrono::milliseconds wait) {
    return std::to_string(wait.count()) + " ms";
}

// Why a complete header was refused, with the header itself.
std::string RefusedHeader(const unsigned char* header) {
    std::string why;
    if (header[0] != '<' || header[1] != '!' || header[2] != '>') {
        why = "wrong magic bytes";
    } else {
        const auto length =
            static_cast<int32_t>((uint32_t(header[3]) << 24) | (uint32_t(header[4]) << 16) |
                                 (uint32_t(header[5]) << 8) | uint32_t(header[6]));
        why = "length " + std::to_string(length) +
              (length <= 0 ? " not above 0"
                           : " above the limit of " + std::to_string(kMaxPayloadLength));
    }
    return why + " (header " + HexBytes(header, kFrameHeaderSize) + ")";
}

} // namespace

// A connected descriptor with its own wake-up eventfd. Both are closed when the
// last holder lets go, which is after every operation using them has returned.
struct SocketChannel::Socket {
    int fd = -1;
    int wakeFd = -1;
    // Set when a frame went out in part: the peer would misread everything after it.
    std::atomic<bool> broken{false};
    std::string peer = "peer"; // "host:port" for the log
    // Present on a TLS connection. A sender and the receiver use the session at
    // the same time, so each OpenSSL call on it is made under tlsMutex; no wait is.
    std::unique_ptr<TlsSession> tls;
    mutable std::mutex tlsMutex;

    Socket(int socketFd, int eventFd) : fd(socketFd), wakeFd(eventFd) {}
    ~Socket() {
        if (fd >= 0)
            ::close(fd);
        if (wakeFd >= 0)
            ::close(wakeFd);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    void Stop() {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(wakeFd, &one, sizeof one);
        ::shutdown(fd, SHUT_RDWR);
    }

    // Bytes already decrypted wait inside the TLS session, where poll cannot see them.
    bool Pending() const {
        if (!tls)
            return false;
        std::lock_guard lock(tlsMutex);
        return tls->HasPending();
    }

    static ssize_t FromTls(TlsIo io, size_t count, short& want, int& error) {
        switch (io) {
        case TlsIo::Done:
            return ssize_t(count);
        case TlsIo::WantRead:
            want = POLLIN;
            return -1;
        case TlsIo::WantWrite:
            want = POLLOUT;
            return -1;
        case TlsIo::Closed:
            return 0;
        default:
            error = EPROTO;
            return 0;
        }
    }

    // Reads what is there without blocking: > 0 bytes, 0 closed or failed (`error`
    // then says why, 0 for an orderly end), -1 nothing yet; `want` is then what to wait for.
    ssize_t ReadSome(char* buffer, size_t size, short& want, int& error) {
        want = POLLIN;
        if (tls) {
            std::lock_guard lock(tlsMutex);
            size_t count = 0;
            const TlsIo io = tls->Read(buffer, size, count);
            return FromTls(io, count, want, error);
        }
        for (;;) {
            ssize_t n = ::recv(fd, buffer, size, MSG_DONTWAIT);
            if (n >= 0)
                return n;
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return -1;
            error = errno;
            return 0;
        }
    }

    // Writes what the socket takes without blocking: > 0 bytes, 0 failed (`error` says
    // why, 0 when nothing was taken), -1 full for now; `want` is then what to wait for.
    ssize_t WriteSome(const char* data, size_t size, short& want, int& error) {
        want = POLLOUT;
        if (tls) {
            std::lock_guard lock(tlsMutex);
            size_t count = 0;
            const TlsIo io = tls->Write(data, size, count);
            return FromTls(io, count, want, error);
        }
        for (;;) {
            ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0)
                return n;
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                return -1;
            error = n < 0 ? errno : 0;
            return 0;
        }
    }

    // Runs the TLS handshake, verification included, within `timeout`.
    int32_t Handshake(std::chrono::milliseconds timeout) {
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            TlsIo io;
            {
                std::lock_guard lock(tlsMutex);
                io = tls->Handshake();
            }
            short events = POLLIN;
            if (io == TlsIo::Done)
                return ResultCode::Ok;
            if (io == TlsIo::WantWrite) {
                events = POLLOUT;
            } else if (io != TlsIo::WantRead) {
                std::lock_guard lock(tlsMutex);
                SetResultDetail(tls->FailureReason());
                return tls->FailureCode() < 0 ? tls->FailureCode() : ResultCode::TlsHandshake;
            }
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            switch (Wait(events, std::max(left, std::chrono::milliseconds(0)))) {
            case WaitResult::Ready:
                break;
            case WaitResult::TimedOut:
                // A plain server waits for a frame and never answers the greeting.
                SetResultDetail("no answer to the TLS greeting in time");
                return ResultCode::TlsNotOffered;
            case WaitResult::Stopped:
                SetResultDetail({});
                return ResultCode::Connect;
            }
        }
    }

    // Waits for `events` on the socket, for the wake-up, or for the time to run out.
    WaitResult Wait(short events, std::chrono::milliseconds timeout) const {
        if ((events & POLLIN) && Pending())
            return WaitResult::Ready;
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() < 0)
                left = std::chrono::milliseconds(0);
            pollfd fds[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
            int n = ::poll(fds, 2, static_cast<int>(left.count()));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return WaitResult::Stopped;
            }
            if (fds[1].revents != 0)
                return WaitResult::Stopped;
            if (fds[0].revents != 0)
                return WaitResult::Ready; // errors and hang-ups show in the next recv/send
            if (n == 0 && Clock::now() >= deadline)
                return WaitResult::TimedOut;
        }
    }
};

int32_t ParseFrameHeader(const unsigned char* header) {
    if (header[0] != '<' || header[1] != '!' || header[2] != '>')
        return ResultCode::BadFrame;
    uint32_t raw = (uint32_t(header[3]) << 24) | (uint32_t(header[4]) << 16) |
                   (uint32_t(header[5]) << 8) | uint32_t(header[6]);
    auto length = static_cast<int32_t>(raw);
    if (length <= 0)
        return ResultCode::BadFrame;
    if (length > kMaxPayloadLength)
        return ResultCode::MessageSize;
    return length;
}

void WriteFrameHeader(unsigned char* header, int32_t length) {
    auto raw = static_cast<uint32_t>(length);
    header[0] = '<';
    header[1] = '!';
    header[2] = '>';
    header[3] = static_cast<unsigned char>(raw >> 24);
    header[4] = static_cast<unsigned char>(raw >> 16);
    header[5] = static_cast<unsigned char>(raw >> 8);
    header[6] = static_cast<unsigned char>(raw);
}

bool ParseDottedQuad(std::string_view host, uint32_t& address) {
    uint32_t parts[4] = {};
    size_t pos = 0;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (pos >= host.size() || host[pos] != '.')
                return false;
            ++pos;
        }
        size_t start = pos;
        uint32_t value = 0;
        while (pos < host.size() && host[pos] >= '0' && host[pos] <= '9' && pos - start < 4) {
            value = value * 10 + uint32_t(host[pos] - '0');
            ++pos;
        }
        if (pos == start || value > 255)
            return false;
        parts[i] = value;
    }
    if (pos != host.size())
        return false;
    address = (parts[0] << 24) | (parts[1] << 16) | (parts[2] << 8) | parts[3];
    return true;
}

SocketChannel::SocketChannel(Milliseconds timeout) : timeout_(timeout) {}

SocketChannel::~SocketChannel() {
    Close();
}

std::shared_ptr<SocketChannel::Socket> SocketChannel::Lease() const {
    std::lock_guard lock(mutex_);
    return socket_;
}

bool SocketChannel::Install(std::shared_ptr<Socket> socket) {
    std::shared_ptr<Socket> old;
    bool installed;
    {
        std::lock_guard lock(mutex_);
        installed = !aborted_;
        old = std::move(socket_);
        socket_ = installed ? std::move(socket) : nullptr;
        open_.store(socket_ != nullptr, std::memory_order_release);
    }
    if (old)
        old->Stop();
    return installed;
}

namespace {

// The server's IPv4 address: a dotted quad as it stands, a name through the resolver.
bool ResolveAddress(const std::string& host, int port, sockaddr_in& addr, std::string& why) {
    addr = sockaddr_in{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    uint32_t quad = 0;
    if (ParseDottedQuad(host, quad)) {
        addr.sin_addr.s_addr = htonl(quad);
        return true;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    const int resolved = ::getaddrinfo(host.c_str(), nullptr, &hints, &result);
    if (resolved != 0 || result == nullptr) {
        why = std::string("the name cannot be resolved: ") + ::gai_strerror(resolved);
        return false;
    }
    addr.sin_addr = reinterpret_cast<sockaddr_in*>(result->ai_addr)->sin_addr;
    ::freeaddrinfo(result);
    return true;
}

// A non-blocking socket numbered 3 or above, or -1.
int OpenStreamSocket() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0 || fd >= 3)
        return fd;
    // With a standard stream closed the socket could get number 0, which callers would take
    // for a failed connect.
    const int higher = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    ::close(fd);
    return higher;
}

} // namespace

int32_t SocketChannel::Connect(const std::string& host, int port) {
    Close();
    SetResultDetail({});
    std::shared_ptr<TlsContext> context;
    const int32_t prepared = ClientTlsContext(host, port, context);
    if (prepared < 0)
        return prepared;
    const int fd = OpenStreamSocket();
    if (fd < 0)
        return ResultCode::SocketInit;
    const int wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd < 0) {
        ::close(fd);
        return ResultCode::SocketInit;
    }
    auto socket = std::make_shared<Socket>(fd, wakeFd);
    socket->peer = host + ":" + std::to_string(port);
    if (context) {
        // In place before the socket is shared, so that nothing ever goes out in clear.
        socket->tls = TlsSession::Client(context, fd, host);
        if (!socket->tls)
            return ResultCode::TlsSetup;
    }
    if (!Install(socket))
        return ResultCode::Connect;

    std::string why;
    int32_t result = ResultCode::Connect;
    sockaddr_in addr{};
    if (ResolveAddress(host, port, addr, why))
        result = Establish(*socket, addr, why);
    if (result < 0) {
        log_.Write(LogSource::Transport, LogLevel::Warning,
                   "connecting to " + socket->peer + " failed: " + why);
        std::lock_guard lock(mutex_);
        if (socket_ == socket) {
            socket_.reset();
            open_.store(false, std::memory_order_release);
        }
        return result;
    }
    {
        std::lock_guard lock(mutex_);
        if (socket_ != socket)
            return ResultCode::Connect; // closed by another thread meanwhile
    }
    log_.Write(LogSource::Transport, LogLevel::Info, "connected to " + socket->peer);
    return fd;
}

int32_t SocketChannel::ClientTlsContext(const std::string& host, int port,
                                        std::shared_ptr<TlsContext>& context) {
    TlsConfig tls;
    {
        std::lock_guard lock(tlsMutex_);
        tls = tls_;
    }
    if (!tls.enabled)
        return ResultCode::Ok;
    std::string error;
    context = TlsContext::Client(tls.caFile, error);
    if (context)
        return ResultCode::Ok;
    log_.Write(LogSource::Transport, LogLevel::Warning,
               "connecting to " + host + ":" + std::to_string(port) +
                   " failed: the CA file cannot be used: " + error);
    SetResultDetail(std::move(error));
    return ResultCode::TlsSetup;
}

int32_t SocketChannel::Establish(Socket& socket, const sockaddr_in& addr, std::string& why) {
    int rc;
    do {
        rc = ::connect(socket.fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0 && errno != EINPROGRESS) {
        why = ErrorText(errno); // refused at once, unreachable, ...
        return ResultCode::Connect;
    }
    if (rc < 0) {
        const WaitResult waited = socket.Wait(POLLOUT, Timeout());
        if (waited != WaitResult::Ready) {
            why = waited == WaitResult::TimedOut ? "no connection within " + Millis(Timeout())
                                                 : std::string("closed while connecting");
            return ResultCode::Connect;
        }
        int error = 0;
        socklen_t len = sizeof error;
        if (::getsockopt(socket.fd, SOL_SOCKET, SO_ERROR, &error, &len) < 0 || error != 0) {
            why = ErrorText(error != 0 ? error : errno);
            return ResultCode::Connect;
        }
    }
    int one = 1;
    ::setsockopt(socket.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (socket.tls) {
        const int32_t verified = socket.Handshake(Timeout());
        if (verified < 0) {
            why = std::string("TLS: ") + ResultText(verified) + " " + ResultDetail();
            return verified;
        }
    }
    return ResultCode::Ok;
}

void SocketChannel::SetTls(TlsConfig config) {
    std::lock_guard lock(tlsMutex_);
    tls_ = std::move(config);
}

int32_t SocketChannel::Adopt(int fd, std::unique_ptr<TlsSession> tls) {
    int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0)
        return ResultCode::SocketInit;
    int wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd < 0)
        return ResultCode::SocketInit;
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    auto socket = std::make_shared<Socket>(fd, wakeFd);
    socket->tls = std::move(tls);
    if (!Install(std::move(socket)))
        return ResultCode::SocketInit;
    return fd;
}

int32_t SocketChannel::Send(const char* data, int32_t length) {
    const auto deadline = Clock::now() + Timeout();
    auto socket = Lease();
    if (!socket)
        return ResultCode::Connect;
    if (length <= 0 || length > kMaxPayloadLength) {
        log_.Write(LogSource::Transport, LogLevel::Warning,
                   "not sending a frame of " + std::to_string(length) + " bytes to " +
                       socket->peer);
        return ResultCode::SendFailed;
    }

    // Header and payload go out as one buffer under the send lock, so frames
    // of concurrent senders never interleave.
    std::string frame(kFrameHeaderSize + size_t(length), '\0');
    WriteFrameHeader(reinterpret_cast<unsigned char*>(frame.data()), length);
    std::memcpy(frame.data() + kFrameHeaderSize, data, size_t(length));

    auto failed = [&](size_t sent, const std::string& why) {
        if (sent > 0)
            socket->broken.store(true);
        log_.Write(LogSource::Transport, LogLevel::Warning,
                   "sending to " + socket->peer + " failed after " + std::to_string(sent) + " of " +
                       std::to_string(frame.size()) + " bytes: " + why);
        return ResultCode::SendFailed;
    };
    {
        std::unique_lock lock(sendMutex_);
        if (!sendDone_.wait_until(lock, deadline, [this] { return !sending_; }))
            return failed(0, "another send held the connection for " + Millis(Timeout()));
        sending_ = true;
    }
    struct Turn {
        SocketChannel& channel;
        ~Turn() {
            {
                std::lock_guard lock(channel.sendMutex_);
                channel.sending_ = false;
            }
            channel.sendDone_.notify_one();
        }
    } turn{*this};
    if (socket->broken.load())
        return ResultCode::SendFailed; // said when it broke
    size_t sent = 0;
    while (sent < frame.size()) {
        short want = POLLOUT;
        int error = 0;
        ssize_t n = socket->WriteSome(frame.data() + sent, frame.size() - sent, want, error);
        if (n > 0) {
            sent += size_t(n);
            continue;
        }
        if (n < 0) {
            const auto left = std::chrono::duration_cast<Milliseconds>(deadline - Clock::now());
            const WaitResult waited =
                left.count() > 0 ? socket->Wait(want, left) : WaitResult::TimedOut;
            if (waited == WaitResult::Ready)
                continue;
            if (waited == WaitResult::Stopped)
                return ResultCode::SendFailed; // closed here; whoever closed says why
            return failed(sent, "nothing taken for " + Millis(Timeout()));
        }
        return failed(sent, error != 0 ? ErrorText(error) : std::string("nothing sent"));
    }
    return length;
}

// One Receive's reads: how the socket wants to be waited on next, and why it ended.
struct SocketChannel::FrameRead {
    Socket& socket;
    short want = POLLIN;
    int error = 0;
    WaitResult waited = WaitResult::Ready;

    ssize_t Some(void* buffer, size_t size) {
        return socket.ReadSome(static_cast<char*>(buffer), size, want, error);
    }
    std::string Ended() const {
        return error != 0 ? "the connection failed: " + ErrorText(error)
                          : std::string("the server closed the connection");
    }
};

int32_t SocketChannel::Receive(std::string& payload) {
    payload.clear();
    auto socket = Lease();
    if (!socket)
        return ResultCode::Connect;
    FrameRead read{*socket};
    unsigned char header[kFrameHeaderSize];
    const int32_t length = ReadHeader(read, header);
    if (length < 0)
        return length;
    return ReadPayload(read, header, length, payload);
}

int32_t SocketChannel::Refuse(const Socket& socket, const std::string& why) {
    log_.Write(LogSource::Transport, LogLevel::Warning,
               "refused a frame from " + socket.peer + ": " + why);
    return ResultCode::BadFrame;
}

int32_t SocketChannel::ReadHeader(FrameRead& read, unsigned char* header) {
    Socket& socket = read.socket;
    // Readiness without a byte of a frame (a TLS session ticket, say) does not end the first
    // wait: it lasts until something comes or the time-out.
    const auto firstDeadline = Clock::now() + Timeout();
    size_t have = 0;
    while (have == 0) {
        auto left = std::chrono::duration_cast<Milliseconds>(firstDeadline - Clock::now());
        switch (socket.Wait(read.want, std::max(left, Milliseconds(0)))) {
        case WaitResult::TimedOut:
            return ResultCode::Timeout;
        case WaitResult::Stopped:
            return ResultCode::ConnectionLost;
        case WaitResult::Ready:
            break;
        }
        ssize_t n = read.Some(header, kFrameHeaderSize);
        if (n == 0)
            break;
        if (n > 0)
            have = size_t(n);
    }
    while (have > 0 && have < kFrameHeaderSize) {
        if ((read.waited = socket.Wait(read.want, headerWait_.load())) != WaitResult::Ready)
            break;
        ssize_t n = read.Some(header + have, kFrameHeaderSize - have);
        if (n == 0)
            break;
        if (n > 0)
            have += size_t(n);
    }
    if (have == 0) {
        if (read.waited != WaitResult::Stopped)
            log_.Write(LogSource::Transport, LogLevel::Info, socket.peer + ": " + read.Ended());
        return ResultCode::ConnectionLost;
    }
    // A TLS record (handshake or alert) where a frame should be: the server wants TLS.
    if (!socket.tls && (header[0] == 0x15 || header[0] == 0x16) && have >= 2 &&
        header[1] == 0x03) {
        log_.Write(LogSource::Transport, LogLevel::Warning,
                   socket.peer + " answered with TLS (" + HexBytes(header, have) + ")");
        return ResultCode::TlsRequired;
    }
    if (have < kFrameHeaderSize) {
        if (read.waited == WaitResult::Stopped)
            return ResultCode::BadFrame;
        return Refuse(socket, "incomplete header, " + std::to_string(have) + " of 7 bytes (" +
                                  HexBytes(header, have) + "), then " +
                                  (read.waited == WaitResult::TimedOut
                                       ? "nothing for " + Millis(headerWait_.load())
                                       : read.Ended()));
    }
    const int32_t length = ParseFrameHeader(header);
    if (length < 0)
        Refuse(socket, RefusedHeader(header));
    return length;
}

int32_t SocketChannel::ReadPayload(FrameRead& read, const unsigned char* header, int32_t length,
                                   std::string& payload) {
    // The header's length is only a claim: the buffer doubles as bytes arrive, so a peer that
    // announces a huge frame and stalls costs nothing.
    constexpr size_t kFirstChunk = 64 * 1024;
    const size_t total = size_t(length);
    std::string buffer;
    auto cutShort = [&](size_t got, const std::string& why) {
        return "payload cut short after " + std::to_string(got) + " of " + std::to_string(length) +
               " bytes (header " + HexBytes(header, kFrameHeaderSize) + "): " + why;
    };
    size_t got = 0;
    while (got < total) {
        if (got == buffer.size()) {
            try {
                buffer.resize(std::min(total, std::max(kFirstChunk, 2 * got)));
            } catch (const std::bad_alloc&) {
                return Refuse(read.socket, "no memory for its payload (header " +
                                               HexBytes(header, kFrameHeaderSize) + ")");
            }
        }
        ssize_t n = read.Some(buffer.data() + got, buffer.size() - got);
        if (n == 0) {
            log_.Write(LogSource::Transport, LogLevel::Warning,
                       read.socket.peer + ": " + cutShort(got, read.Ended()));
            return ResultCode::ConnectionLost;
        }
        if (n > 0) {
            got += size_t(n);
            continue;
        }
        read.waited = read.socket.Wait(read.want, Timeout());
        if (read.waited == WaitResult::TimedOut)
            return Refuse(read.socket, cutShort(got, "nothing for " + Millis(Timeout())));
        if (read.waited != WaitResult::Ready)
            return ResultCode::BadFrame;
    }
    payload = std::move(buffer);
    return length;
}

void SocketChannel::Abort() {
    {
        std::lock_guard lock(mutex_);
        aborted_ = true;
    }
    Close();
}

int32_t SocketChannel::Close() {
    std::shared_ptr<Socket> socket;
    {
        std::lock_guard lock(mutex_);
        socket = std::move(socket_);
        socket_.reset();
        open_.store(false, std::memory_order_release);
    }
    if (socket)
        socket->Stop();
    return ResultCode::Ok;
}

} // namespace olvex
