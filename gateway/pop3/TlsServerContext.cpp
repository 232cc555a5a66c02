#include "TlsServerContext.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

namespace {

// The first queued OpenSSL error as text; clears the queue.
std::string OpenSslReason(unsigned long code = ERR_peek_error()) {
    ERR_clear_error();
    if (code == 0) return "unknown error";
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

}  // namespace

std::unique_ptr<TlsServerContext> TlsServerContext::Load(const std::string& certificatePath,
                                                         const std::string& keyPath, std::string& error) {
    ERR_clear_error();
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    if (!context) {
        error = "TLS: " + OpenSslReason();
        return nullptr;
    }
    std::unique_ptr<TlsServerContext> result(new TlsServerContext(context));
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    // Renegotiation would let a write wait for the client's reads; nothing here needs it.
    SSL_CTX_set_options(context, SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE);
    // A send continues a record where the last partial write stopped, from a buffer that
    // may have moved; the reply is sent piece by piece under the send limit.
    SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // No resumption: a session ticket would be bytes the client may never read before it
    // closes, for a handshake that costs nothing on one machine.
    SSL_CTX_set_num_tickets(context, 0);
    SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_OFF);
    if (SSL_CTX_use_certificate_chain_file(context, certificatePath.c_str()) != 1) {
        error = "TLS certificate " + certificatePath + " cannot be used: " + OpenSslReason();
        return nullptr;
    }
    if (SSL_CTX_use_PrivateKey_file(context, keyPath.c_str(), SSL_FILETYPE_PEM) != 1) {
        const unsigned long code = ERR_peek_last_error();
        if (ERR_GET_LIB(code) == ERR_LIB_X509 && ERR_GET_REASON(code) == X509_R_KEY_VALUES_MISMATCH) {
            error = "TLS key " + keyPath + " does not belong to the certificate " + certificatePath;
            ERR_clear_error();
        } else {
            error = "TLS key " + keyPath + " cannot be used: " + OpenSslReason();
        }
        return nullptr;
    }
    if (SSL_CTX_check_private_key(context) != 1) {
        error = "TLS key " + keyPath + " does not belong to the certificate " + certificatePath;
        ERR_clear_error();
        return nullptr;
    }
    return result;
}

TlsServerContext::~TlsServerContext() { SSL_CTX_free(context_); }
