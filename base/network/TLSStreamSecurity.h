#pragma once

#include <memory>
#include <string>

#include "platform/Error.h"
#include "platform/net/StreamSecurity.h"

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace lumora {

// TLS (1.2 or later) over a connected, non-blocking TCP descriptor, on
// OpenSSL: the security layer GCDAsyncSocket puts into its stream pair.
//
// Guarantees: a client verifies the server's certificate chain against the
// system's trust store (or the given anchors) and, when a peer name is set,
// that the certificate names that host or address; a handshake that fails
// any check reports Failed with the reason, never Done. It is no
// substitute for checking what the peer sends once the session stands.
// Failures carry the domain "kCFStreamErrorDomainSSL".
class TLSStreamSecurity final : public StreamSecurity {
public:
    struct Settings {
        bool isServer = false;
        // Host name or address the server's certificate must name (client
        // side); empty: the chain is checked but no name.
        std::string peerName;
        // PEM files of this side's certificate (chain) and private key;
        // required for a server.
        std::string certificateFile;
        std::string privateKeyFile;
        // PEM file of the trust anchors to use instead of the system's.
        std::string trustedCertificatesFile;
        // Off: the peer's certificate is not checked at all.
        bool validatesCertificateChain = true;
    };

    // nullptr (and *err) when the settings cannot be used: a missing or
    // unreadable certificate, key or anchor file, or a server without them.
    static std::unique_ptr<TLSStreamSecurity> create(const Settings& settings, Error* err);
    ~TLSStreamSecurity() override;
    TLSStreamSecurity(const TLSStreamSecurity&) = delete;
    TLSStreamSecurity& operator=(const TLSStreamSecurity&) = delete;

    bool attach(int fd) override;
    Result handshake() override;
    Result read(uint8_t* buffer, size_t length, size_t* count) override;
    Result write(const uint8_t* buffer, size_t length, size_t* count) override;
    size_t pending() const override;
    Error error() const override { return error_; }
    void shutdown() override;

private:
    TLSStreamSecurity(SSL_CTX* ctx, Settings settings);
    // Classifies the result of an SSL call; sets error_ on failure.
    Result classify(int ret, bool duringHandshake);

    SSL_CTX* ctx_;
    SSL* ssl_ = nullptr;
    Settings settings_;
    Error error_;
};

}  // namespace lumora
