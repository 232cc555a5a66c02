#pragma once

#include <memory>
#include <string>

typedef struct ssl_ctx_st SSL_CTX;

// The server side of TLS: one certificate chain and its key, shared by every session.
class TlsServerContext {
public:
    // Reads the PEM certificate chain and key; null with a one-line reason when either
    // cannot be read or the key does not belong to the certificate.
    static std::unique_ptr<TlsServerContext> Load(const std::string& certificatePath, const std::string& keyPath,
                                                  std::string& error);
    ~TlsServerContext();
    TlsServerContext(const TlsServerContext&) = delete;
    TlsServerContext& operator=(const TlsServerContext&) = delete;

    SSL_CTX* Context() const { return context_; }

private:
    explicit TlsServerContext(SSL_CTX* context) : context_(context) {}
    SSL_CTX* context_;
};
