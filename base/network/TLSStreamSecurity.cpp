#include "base/network/TLSStreamSecurity.h"

#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>

#include <cerrno>
#include <climits>
#include <cstdint>

#include "platform/ErrorCodes.h"

namespace lumora {

namespace {

Error sslError(long code, std::string text) { return Error(errors::kStreamErrorDomainSSL, code, std::move(text)); }

// The library's last queued error, with the step that failed.
Error libraryError(const char* step) {
    unsigned long e = ERR_peek_last_error();
    char text[256] = "unknown error";
    if (e != 0) ERR_error_string_n(e, text, sizeof text);
    ERR_clear_error();
    return sslError(e != 0 ? static_cast<long>(ERR_GET_REASON(e)) : -1, std::string(step) + ": " + text);
}

// A socket BIO that sends with MSG_NOSIGNAL: a peer that went away must give
// a write error, never the broken-pipe signal.
int bioWrite(BIO* bio, const char* data, int length) {
    int fd = static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio)));
    BIO_clear_retry_flags(bio);
    ssize_t n = ::send(fd, data, static_cast<size_t>(length), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) BIO_set_retry_write(bio);
    return static_cast<int>(n);
}

int bioRead(BIO* bio, char* data, int length) {
    int fd = static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio)));
    BIO_clear_retry_flags(bio);
    ssize_t n = ::recv(fd, data, static_cast<size_t>(length), MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) BIO_set_retry_read(bio);
    return static_cast<int>(n);
}

long bioCtrl(BIO*, int cmd, long, void*) { return cmd == BIO_CTRL_FLUSH ? 1 : 0; }

int bioCreate(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

BIO_METHOD* socketBioMethod() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "lumora socket");
        BIO_meth_set_write(m, bioWrite);
        BIO_meth_set_read(m, bioRead);
        BIO_meth_set_ctrl(m, bioCtrl);
        BIO_meth_set_create(m, bioCreate);
        return m;
    }();
    return method;
}

int clampLength(size_t length) { return length > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(length); }

}  // namespace

std::unique_ptr<TLSStreamSecurity> TLSStreamSecurity::create(const Settings& settings, Error* err) {
    ERR_clear_error();
    SSL_CTX* ctx = SSL_CTX_new(TLS_method());
    if (!ctx) {
        if (err) *err = libraryError("Cannot create the TLS context");
        return nullptr;
    }
    std::unique_ptr<TLSStreamSecurity> layer(new TLSStreamSecurity(ctx, settings));
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);

    auto fail = [&](const char* step) {
        if (err) *err = libraryError(step);
        return nullptr;
    };
    if (settings.isServer && (settings.certificateFile.empty() || settings.privateKeyFile.empty())) {
        if (err) *err = sslError(-1, "A TLS server needs a certificate file and a private key file");
        return nullptr;
    }
    if (!settings.certificateFile.empty() || !settings.privateKeyFile.empty()) {
        if (SSL_CTX_use_certificate_chain_file(ctx, settings.certificateFile.c_str()) != 1) {
            return fail("Cannot load the certificate file");
        }
        if (SSL_CTX_use_PrivateKey_file(ctx, settings.privateKeyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
            return fail("Cannot load the private key file");
        }
        if (SSL_CTX_check_private_key(ctx) != 1) return fail("The private key does not match the certificate");
    }
    if (!settings.isServer && settings.validatesCertificateChain) {
        if (!settings.trustedCertificatesFile.empty()) {
            if (SSL_CTX_load_verify_locations(ctx, settings.trustedCertificatesFile.c_str(), nullptr) != 1) {
                return fail("Cannot load the trusted certificates file");
            }
        } else if (SSL_CTX_set_default_verify_paths(ctx) != 1) {
            return fail("Cannot load the system trust store");
        }
        SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    } else {
        SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
    }
    return layer;
}

TLSStreamSecurity::TLSStreamSecurity(SSL_CTX* ctx, Settings settings) : ctx_(ctx), settings_(std::move(settings)) {}

TLSStreamSecurity::~TLSStreamSecurity() {
    if (ssl_) SSL_free(ssl_);
    SSL_CTX_free(ctx_);
}

bool TLSStreamSecurity::attach(int fd) {
    if (ssl_ || fd < 0) return false;
    ERR_clear_error();
    ssl_ = SSL_new(ctx_);
    if (!ssl_) {
        error_ = libraryError("Cannot create the TLS session");
        return false;
    }
    BIO* bio = BIO_new(socketBioMethod());
    if (!bio) {
        error_ = libraryError("Cannot create the TLS transport");
        return false;
    }
    BIO_set_data(bio, reinterpret_cast<void*>(static_cast<intptr_t>(fd)));
    SSL_set_bio(ssl_, bio, bio);
    SSL_set_mode(ssl_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    if (settings_.isServer) {
        SSL_set_accept_state(ssl_);
        return true;
    }
    SSL_set_connect_state(ssl_);
    const std::string& name = settings_.peerName;
    if (!name.empty()) {
        in6_addr probe;
        bool isAddress = ::inet_pton(AF_INET, name.c_str(), &probe) == 1 || ::inet_pton(AF_INET6, name.c_str(), &probe) == 1;
        if (isAddress) {
            if (X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), name.c_str()) != 1) {
                error_ = libraryError("Bad peer address");
                return false;
            }
        } else {
            SSL_set_tlsext_host_name(ssl_, name.c_str());
            if (SSL_set1_host(ssl_, name.c_str()) != 1) {
                error_ = libraryError("Bad peer name");
                return false;
            }
        }
    }
    return true;
}

TLSStreamSecurity::Result TLSStreamSecurity::classify(int ret, bool duringHandshake) {
    int savedErrno = errno;
    int e = SSL_get_error(ssl_, ret);
    switch (e) {
        case SSL_ERROR_WANT_READ: return Result::WantRead;
        case SSL_ERROR_WANT_WRITE: return Result::WantWrite;
        case SSL_ERROR_ZERO_RETURN:
            if (!duringHandshake) return Result::Closed;
            error_ = sslError(e, "The peer closed the connection during the TLS handshake");
            return Result::Failed;
        case SSL_ERROR_SYSCALL:
            if (ERR_peek_last_error() == 0) {
                if (savedErrno != 0 && ret < 0) {
                    error_ = Error::posix(savedErrno);
                    return Result::Failed;
                }
                // The descriptor reached its end without a TLS goodbye.
                if (!duringHandshake) return Result::Closed;
                error_ = sslError(e, "The peer closed the connection during the TLS handshake");
                return Result::Failed;
            }
            break;
        default: break;
    }
    long verify = SSL_get_verify_result(ssl_);
    if (duringHandshake && verify != X509_V_OK) {
        ERR_clear_error();
        error_ = sslError(verify, std::string("The peer's certificate was refused: ") +
                                      X509_verify_cert_error_string(verify));
        return Result::Failed;
    }
    if (!duringHandshake && ERR_GET_REASON(ERR_peek_last_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING) {
        // A peer that drops the connection without a TLS goodbye ends the
        // stream, as it would on a plain connection.
        ERR_clear_error();
        return Result::Closed;
    }
    error_ = libraryError(duringHandshake ? "TLS handshake failed" : "TLS transfer failed");
    return Result::Failed;
}

TLSStreamSecurity::Result TLSStreamSecurity::handshake() {
    if (!ssl_) return Result::Failed;
    ERR_clear_error();
    errno = 0;
    int ret = SSL_do_handshake(ssl_);
    if (ret == 1) return Result::Done;
    return classify(ret, true);
}

TLSStreamSecurity::Result TLSStreamSecurity::read(uint8_t* buffer, size_t length, size_t* count) {
    *count = 0;
    if (!ssl_) return Result::Failed;
    ERR_clear_error();
    errno = 0;
    int ret = SSL_read(ssl_, buffer, clampLength(length));
    if (ret > 0) {
        *count = static_cast<size_t>(ret);
        return Result::Done;
    }
    return classify(ret, false);
}

TLSStreamSecurity::Result TLSStreamSecurity::write(const uint8_t* buffer, size_t length, size_t* count) {
    *count = 0;
    if (!ssl_) return Result::Failed;
    ERR_clear_error();
    errno = 0;
    int ret = SSL_write(ssl_, buffer, clampLength(length));
    if (ret > 0) {
        *count = static_cast<size_t>(ret);
        return Result::Done;
    }
    Result r = classify(ret, false);
    if (r != Result::Closed) return r;
    error_ = Error::posix(EPIPE);  // the session ended under the write
    return Result::Failed;
}

size_t TLSStreamSecurity::pending() const {
    if (!ssl_) return 0;
    // Decrypted bytes of the current record only: raw bytes the library
    // buffered may be a record's first part, which cannot be read yet (the
    // library reads no further ahead than one record).
    int n = SSL_pending(ssl_);
    return n > 0 ? static_cast<size_t>(n) : 0;
}

void TLSStreamSecurity::shutdown() {
    if (!ssl_) return;
    ERR_clear_error();
    SSL_shutdown(ssl_);
    ERR_clear_error();
}

}  // namespace lumora
