#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct ssl_st;
struct ssl_ctx_st;
struct bio_st;

namespace olvex {

// How a connection is secured. With `enabled` the chain and the host are verified
// against `caFile` (PEM), or against the system's trusted certificates when it is empty.
struct TlsConfig {
    bool enabled = false;
    std::string caFile;
};

// Outcome of one non-blocking TLS step.
enum class TlsIo { Done, WantRead, WantWrite, Closed, Failed };

// An OpenSSL context: the client's trust settings or the server's certificate and key.
class TlsContext {
public:
    // Null with a failure reason in `error` when the CA file cannot be used.
    static std::shared_ptr<TlsContext> Client(const std::string& caFile, std::string& error);
    static std::shared_ptr<TlsContext> Server(const std::string& certFile,
                                              const std::string& keyFile, std::string& error);
    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    ssl_ctx_st* Handle() const { return ctx_; }

private:
    explicit TlsContext(ssl_ctx_st* ctx) : ctx_(ctx) {}
    ssl_ctx_st* ctx_;
};

// One TLS connection over a non-blocking socket, or over memory buffers. Never
// blocks; the caller waits for the direction a step asks for. Not thread-safe:
// callers serialise the calls on one session.
class TlsSession {
public:
    // A client that verifies the peer's chain and `host` (an IPv4 address is
    // checked against the certificate's IP entries).
    static std::unique_ptr<TlsSession> Client(std::shared_ptr<TlsContext> context, int fd,
                                              const std::string& host);
    static std::unique_ptr<TlsSession> Server(std::shared_ptr<TlsContext> context, int fd);
    // Over memory: bytes from the peer go in with Feed, bytes for it come out of TakeOutput.
    static std::unique_ptr<TlsSession> ClientInMemory(std::shared_ptr<TlsContext> context,
                                                      const std::string& host);
    static std::unique_ptr<TlsSession> ServerInMemory(std::shared_ptr<TlsContext> context);
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    TlsIo Handshake();
    // Reads or writes up to `size` bytes; `count` holds how many when Done.
    TlsIo Read(char* buffer, size_t size, size_t& count);
    TlsIo Write(const char* data, size_t size, size_t& count);
    // Decrypted bytes wait inside the session, where poll cannot see them.
    bool HasPending() const;
    bool HandshakeDone() const;

    void Feed(std::string_view bytes);
    std::string TakeOutput();
    // Moves a session made in memory onto a socket, once the memory is drained.
    void AttachSocket(int fd);

    // After a failed handshake: the ResultCode and OpenSSL's reason, if it gave one.
    int32_t FailureCode() const { return failureCode_; }
    const std::string& FailureReason() const { return failureReason_; }

private:
    TlsSession(std::shared_ptr<TlsContext> context, ssl_st* ssl);
    static std::unique_ptr<TlsSession> Make(std::shared_ptr<TlsContext> context, bool server,
                                            int fd, const std::string* host);
    TlsIo Result(int rc, bool handshake);
    void NoteFailure();

    std::shared_ptr<TlsContext> context_;
    ssl_st* ssl_;
    bio_st* memoryIn_ = nullptr;
    bio_st* memoryOut_ = nullptr;
    // Bytes the peer has sent so far: none at all means it never spoke TLS to us.
    uint64_t received_ = 0;
    int firstByte_ = -1;
    bool server_ = false;
    int fd_ = -1;
    int32_t failureCode_ = 0;
    std::string failureReason_;

    friend struct TlsSocketBio;
};

} // namespace olvex
