#include "tls_session.h"

#include "result_code.h"
#include "socket_channel.h"

#include <cerrno>
#include <climits>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>

namespace olvex {

namespace {

std::string LastErrorText() {
    const unsigned long error = ERR_peek_last_error();
    if (error == 0)
        return {};
    const char* reason = ERR_reason_error_string(error);
    return reason ? reason : std::string();
}

SSL_CTX* NewContext(const SSL_METHOD* method) {
    SSL_CTX* ctx = SSL_CTX_new(method);
    if (!ctx)
        return nullptr;
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    // Frames go out in pieces when the socket is full; a retry may come from a moved buffer.
    SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_CTX_set_options(ctx, SSL_OP_NO_RENEGOTIATION);
    return ctx;
}

} // namespace

// Socket I/O for OpenSSL that never blocks and never raises SIGPIPE; it also counts
// what the peer sent, to tell a server that does not speak TLS from one that refuses us.
struct TlsSocketBio {
    struct Data {
        int fd;
        TlsSession* session;
    };

    static BIO_METHOD* Method() {
        static BIO_METHOD* method = [] {
            BIO_METHOD* m =
                BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "olvex socket");
            BIO_meth_set_write(m, Write);
            BIO_meth_set_read(m, Read);
            BIO_meth_set_ctrl(m, Ctrl);
            BIO_meth_set_create(m, [](BIO* bio) {
                BIO_set_init(bio, 1);
                return 1;
            });
            BIO_meth_set_destroy(m, [](BIO* bio) {
                delete static_cast<Data*>(BIO_get_data(bio));
                BIO_set_data(bio, nullptr);
                return 1;
            });
            return m;
        }();
        return method;
    }

    static BIO* New(int fd, TlsSession* session) {
        BIO* bio = BIO_new(Method());
        if (bio)
            BIO_set_data(bio, new Data{fd, session});
        return bio;
    }

    static int Write(BIO* bio, const char* data, int length) {
        auto* d = static_cast<Data*>(BIO_get_data(bio));
        BIO_clear_retry_flags(bio);
        for (;;) {
            ssize_t n = ::send(d->fd, data, size_t(length), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n >= 0)
                return int(n);
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                BIO_set_retry_write(bio);
            return -1;
        }
    }

    static int Read(BIO* bio, char* buffer, int size) {
        auto* d = static_cast<Data*>(BIO_get_data(bio));
        BIO_clear_retry_flags(bio);
        for (;;) {
            ssize_t n = ::recv(d->fd, buffer, size_t(size), MSG_DONTWAIT);
            if (n > 0 && d->session->received_ == 0)
                d->session->firstByte_ = static_cast<unsigned char>(buffer[0]);
            if (n > 0)
                d->session->received_ += uint64_t(n);
            if (n >= 0)
                return int(n);
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                BIO_set_retry_read(bio);
            return -1;
        }
    }

    static long Ctrl(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }
};

TlsContext::~TlsContext() {
    SSL_CTX_free(ctx_);
}

std::shared_ptr<TlsContext> TlsContext::Client(const std::string& caFile, std::string& error) {
    ERR_clear_error();
    SSL_CTX* ctx = NewContext(TLS_client_method());
    if (!ctx) {
        error = LastErrorText();
        return nullptr;
    }
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    const int loaded = caFile.empty() ? SSL_CTX_set_default_verify_paths(ctx)
                                      : SSL_CTX_load_verify_locations(ctx, caFile.c_str(), nullptr);
    if (loaded != 1) {
        error = caFile + ": " + LastErrorText();
        SSL_CTX_free(ctx);
        return nullptr;
    }
    return std::shared_ptr<TlsContext>(new TlsContext(ctx));
}

std::shared_ptr<TlsContext> TlsContext::Server(const std::string& certFile,
                                               const std::string& keyFile, std::string& error) {
    ERR_clear_error();
    SSL_CTX* ctx = NewContext(TLS_server_method());
    if (!ctx) {
        error = LastErrorText();
        return nullptr;
    }
    if (SSL_CTX_use_certificate_chain_file(ctx, certFile.c_str()) != 1) {
        error = certFile + ": " + LastErrorText();
    } else if (SSL_CTX_use_PrivateKey_file(ctx, keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
        error = keyFile + ": " + LastErrorText();
    } else if (SSL_CTX_check_private_key(ctx) != 1) {
        error = "the key does not belong to the certificate";
    } else {
        return std::shared_ptr<TlsContext>(new TlsContext(ctx));
    }
    SSL_CTX_free(ctx);
    return nullptr;
}

TlsSession::TlsSession(std::shared_ptr<TlsContext> context, SSL* ssl)
    : context_(std::move(context)), ssl_(ssl) {}

TlsSession::~TlsSession() {
    SSL_free(ssl_);
}

std::unique_ptr<TlsSession> TlsSession::Make(std::shared_ptr<TlsContext> context, bool server,
                                             int fd, const std::string* host) {
    if (!context)
        return nullptr;
    SSL* ssl = SSL_new(context->Handle());
    if (!ssl)
        return nullptr;
    std::unique_ptr<TlsSession> session(new TlsSession(std::move(context), ssl));
    session->server_ = server;
    if (server) {
        SSL_set_accept_state(ssl);
    } else {
        SSL_set_connect_state(ssl);
        uint32_t quad = 0;
        if (host && ParseDottedQuad(*host, quad)) {
            if (X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host->c_str()) != 1)
                return nullptr;
        } else if (host) {
            SSL_set_hostflags(ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
            if (SSL_set1_host(ssl, host->c_str()) != 1 ||
                SSL_set_tlsext_host_name(ssl, host->c_str()) != 1)
                return nullptr;
        }
    }
    if (fd >= 0) {
        session->AttachSocket(fd);
    } else {
        session->memoryIn_ = BIO_new(BIO_s_mem());
        session->memoryOut_ = BIO_new(BIO_s_mem());
        if (!session->memoryIn_ || !session->memoryOut_) {
            BIO_free(session->memoryIn_);
            BIO_free(session->memoryOut_);
            return nullptr;
        }
        BIO_set_mem_eof_return(session->memoryIn_, -1);
        SSL_set_bio(ssl, session->memoryIn_, session->memoryOut_);
    }
    return session;
}

std::unique_ptr<TlsSession> TlsSession::Client(std::shared_ptr<TlsContext> context, int fd,
                                               const std::string& host) {
    return Make(std::move(context), false, fd, &host);
}

std::unique_ptr<TlsSession> TlsSession::Server(std::shared_ptr<TlsContext> context, int fd) {
    return Make(std::move(context), true, fd, nullptr);
}

std::unique_ptr<TlsSession> TlsSession::ClientInMemory(std::shared_ptr<TlsContext> context,
                                                       const std::string& host) {
    return Make(std::move(context), false, -1, &host);
}

std::unique_ptr<TlsSession> TlsSession::ServerInMemory(std::shared_ptr<TlsContext> context) {
    return Make(std::move(context), true, -1, nullptr);
}

void TlsSession::AttachSocket(int fd) {
    fd_ = fd;
    BIO* bio = TlsSocketBio::New(fd, this);
    SSL_set_bio(ssl_, bio, bio); // frees the memory buffers, if any
    memoryIn_ = memoryOut_ = nullptr;
}

void TlsSession::Feed(std::string_view bytes) {
    if (!memoryIn_ || bytes.empty())
        return;
    received_ += bytes.size();
    BIO_write(memoryIn_, bytes.data(), int(bytes.size()));
}

std::string TlsSession::TakeOutput() {
    std::string out;
    if (!memoryOut_)
        return out;
    char buffer[16384];
    int n;
    while ((n = BIO_read(memoryOut_, buffer, sizeof buffer)) > 0)
        out.append(buffer, size_t(n));
    return out;
}

bool TlsSession::HasPending() const {
    return SSL_pending(ssl_) > 0;
}

bool TlsSession::HandshakeDone() const {
    return SSL_is_init_finished(ssl_) == 1;
}

TlsIo TlsSession::Handshake() {
    ERR_clear_error();
    return Result(SSL_do_handshake(ssl_), true);
}

TlsIo TlsSession::Read(char* buffer, size_t size, size_t& count) {
    count = 0;
    ERR_clear_error();
    const bool wasDone = HandshakeDone();
    int rc = SSL_read(ssl_, buffer, int(std::min<size_t>(size, INT_MAX)));
    if (rc > 0) {
        count = size_t(rc);
        return TlsIo::Done;
    }
    return Result(rc, !wasDone);
}

TlsIo TlsSession::Write(const char* data, size_t size, size_t& count) {
    count = 0;
    ERR_clear_error();
    const bool wasDone = HandshakeDone();
    int rc = SSL_write(ssl_, data, int(std::min<size_t>(size, INT_MAX)));
    if (rc > 0) {
        count = size_t(rc);
        return TlsIo::Done;
    }
    return Result(rc, !wasDone);
}

TlsIo TlsSession::Result(int rc, bool handshake) {
    if (rc == 1 && handshake)
        return TlsIo::Done;
    const int error = SSL_get_error(ssl_, rc);
    switch (error) {
    case SSL_ERROR_WANT_READ:
        return TlsIo::WantRead;
    case SSL_ERROR_WANT_WRITE:
        return TlsIo::WantWrite;
    case SSL_ERROR_ZERO_RETURN:
        if (!handshake)
            return TlsIo::Closed;
        break;
    case SSL_ERROR_SYSCALL:
        // End of stream without close_notify: the peer went away.
        if (!handshake && ERR_peek_error() == 0)
            return TlsIo::Closed;
        break;
    default:
        break;
    }
    if (handshake)
        NoteFailure();
    return TlsIo::Failed;
}

void TlsSession::NoteFailure() {
    if (server_) {
        // OpenSSL hangs up on a client that sends no TLS at all without a word. A
        // protocol_version alert lets such a client say that TLS is expected.
        if (fd_ >= 0 && received_ > 0 && firstByte_ != 0x16) {
            static const char alert[] = {0x15, 0x03, 0x03, 0x00, 0x02, 0x02, 0x46};
            [[maybe_unused]] ssize_t n =
                ::send(fd_, alert, sizeof alert, MSG_NOSIGNAL | MSG_DONTWAIT);
        }
        failureCode_ = ResultCode::TlsHandshake;
        failureReason_ = LastErrorText();
        return;
    }
    const long verify = SSL_get_verify_result(ssl_);
    const unsigned long error = ERR_peek_last_error();
    const int reason = ERR_GET_LIB(error) == ERR_LIB_SSL ? ERR_GET_REASON(error) : 0;
    if (verify != X509_V_OK) {
        failureReason_ = X509_verify_cert_error_string(verify);
        switch (verify) {
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            failureCode_ = ResultCode::TlsHostName;
            break;
        case X509_V_ERR_CERT_HAS_EXPIRED:
        case X509_V_ERR_CERT_NOT_YET_VALID:
            failureCode_ = ResultCode::TlsExpired;
            break;
        default:
            failureCode_ = ResultCode::TlsCertificate;
            break;
        }
        return;
    }
    failureReason_ = LastErrorText();
    if (received_ == 0) {
        failureCode_ = ResultCode::TlsNotOffered;
        if (failureReason_.empty())
            failureReason_ = "the server closed the connection";
    } else if (reason == SSL_R_WRONG_VERSION_NUMBER || reason == SSL_R_PACKET_LENGTH_TOO_LONG ||
               reason == SSL_R_UNKNOWN_PROTOCOL || reason == SSL_R_HTTP_REQUEST) {
        failureCode_ = ResultCode::TlsNotOffered;
    } else {
        failureCode_ = ResultCode::TlsHandshake;
    }
}

} // namespace olvex
