#pragma once

#include "log_sink.h"
#include "tls_session.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

struct sockaddr_in;

namespace olvex {

// The frame header is "<!>" followed by the payload length, 32-bit big-endian.
inline constexpr int kFrameHeaderSize = 7;
// Larger payloads are refused with -15. A page list of 250,000 visitors fits with room to spare.
inline constexpr int32_t kMaxPayloadLength = 256 * 1024 * 1024;

// Checks a 7-byte frame header. Returns the payload length (> 0), -4 for a
// wrong magic or a length not above 0, -15 for a length above kMaxPayloadLength.
int32_t ParseFrameHeader(const unsigned char* header);
// Writes the 7-byte header for a payload of `length` bytes.
void WriteFrameHeader(unsigned char* header, int32_t length);

// Reads "%d.%d.%d.%d" with every part in 0..255 into a host-order IPv4 address.
bool ParseDottedQuad(std::string_view host, uint32_t& address);

// One framed TCP connection. Sends are serialised; one thread may sit in
// Receive while others send, and Close may come from any thread: it wakes
// every wait on the connection at once. The descriptor is released only when
// the last operation using it has returned, so its number is never reused
// under a running operation.
class SocketChannel {
public:
    using Milliseconds = std::chrono::milliseconds;
    static constexpr Milliseconds kDefaultTimeout{20000};
    static constexpr Milliseconds kDefaultHeaderWait{10000};

    explicit SocketChannel(Milliseconds timeout = kDefaultTimeout);
    ~SocketChannel();
    SocketChannel(const SocketChannel&) = delete;
    SocketChannel& operator=(const SocketChannel&) = delete;

    // Returns the descriptor (> 0), -1 when no socket can be created, -2 when
    // the host cannot be resolved or the connection fails or times out. With TLS
    // on, the handshake and the verification of the server's certificate are part
    // of connecting; their failures are the TLS result codes, with OpenSSL's reason
    // in ResultDetail on this thread.
    int32_t Connect(const std::string& host, int port);
    // Takes over an already connected stream socket (the server side of a
    // connection), optionally with a TLS session that runs over it.
    int32_t Adopt(int fd, std::unique_ptr<TlsSession> tls = nullptr);
    // Applies from the next Connect on.
    void SetTls(TlsConfig config);
    // Sends one frame within one time-out in all, the wait for a concurrent
    // sender included. Returns `length`, -2 without a socket, -3 when the frame
    // could not be sent completely. After a frame went out in part, the stream
    // is broken and every later Send fails at once with -3.
    int32_t Send(const char* data, int32_t length);
    int32_t Send(std::string_view payload) {
        return Send(payload.data(), static_cast<int32_t>(payload.size()));
    }
    // Receives one frame into `payload`. Returns its length (> 0), -2 without a
    // socket, -8 when nothing arrived in time, -5 when the connection ended,
    // -4 for a broken or incomplete frame, -15 for a payload above
    // kMaxPayloadLength. The buffer grows only as the payload's bytes arrive.
    int32_t Receive(std::string& payload);
    bool IsOpen() const { return open_.load(std::memory_order_acquire); }
    int32_t Close();
    // Closes the channel for good: a Connect running now or later fails with -2.
    // Ends a connection being set up for a caller who no longer wants it.
    void Abort();

    Milliseconds Timeout() const { return timeout_.load(); }
    void SetTimeout(Milliseconds timeout) { timeout_.store(timeout); }
    // The wait for each missing piece of a header (10 s); shortened by tests.
    void SetHeaderWait(Milliseconds wait) { headerWait_.store(wait); }
    // Connects, failures and refused frames are written here; set before the first Connect.
    void SetLogSink(const LogSink& sink) { log_ = sink; }

private:
    struct Socket;
    struct FrameRead;
    // The TLS context of a connection when TLS is on; a failure is logged and returned.
    int32_t ClientTlsContext(const std::string& host, int port,
                             std::shared_ptr<TlsContext>& context);
    // Connects the installed socket and completes its TLS handshake; `why` says what failed.
    int32_t Establish(Socket& socket, const sockaddr_in& addr, std::string& why);
    // A frame's header, checked; its length or the failure.
    int32_t ReadHeader(FrameRead& read, unsigned char* header);
    int32_t ReadPayload(FrameRead& read, const unsigned char* header, int32_t length,
                        std::string& payload);
    int32_t Refuse(const Socket& socket, const std::string& why);
    std::shared_ptr<Socket> Lease() const;
    // False, with nothing installed, once the channel was aborted.
    bool Install(std::shared_ptr<Socket> socket);

    mutable std::mutex mutex_;
    std::shared_ptr<Socket> socket_;
    std::atomic<bool> open_{false};
    bool aborted_ = false; // guarded by mutex_
    // One sender at a time; the wait for the turn counts against the send's deadline.
    std::mutex sendMutex_;
    std::condition_variable sendDone_;
    bool sending_ = false;
    std::atomic<Milliseconds> timeout_;
    std::atomic<Milliseconds> headerWait_{kDefaultHeaderWait};
    std::mutex tlsMutex_;
    TlsConfig tls_;
    LogSink log_;
};

} // namespace olvex
