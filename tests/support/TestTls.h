#pragma once

// TLS for tests: a self-signed certificate for localhost and 127.0.0.1 made at test time
// (each call makes a new key), and a blocking client that trusts only such a certificate.

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace testcert {

struct Files {
    std::string certificate;
    std::string key;
};

inline bool WritePem(const std::string& path, EVP_PKEY* key, X509* certificate) {
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return false;
    bool ok = key ? PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr) == 1
                  : PEM_write_X509(f, certificate) == 1;
    return std::fclose(f) == 0 && ok;
}

// Writes <name>.crt and <name>.key into folder; empty paths on failure.
inline Files Make(const std::string& folder, const std::string& name = "server") {
    Files files;
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* certificate = X509_new();
    if (!key || !certificate) return files;
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
    X509_gmtime_adj(X509_getm_notBefore(certificate), -60);
    X509_gmtime_adj(X509_getm_notAfter(certificate), 24 * 60 * 60);
    X509_set_pubkey(certificate, key);
    X509_NAME* subject = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("localhost"), -1,
                               -1, 0);
    X509_set_issuer_name(certificate, subject);
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    if (X509_EXTENSION* names =
            X509V3_EXT_conf_nid(nullptr, &context, NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1")) {
        X509_add_ext(certificate, names, -1);
        X509_EXTENSION_free(names);
    }
    bool ok = X509_sign(certificate, key, EVP_sha256()) > 0;
    const std::string certPath = folder + "/" + name + ".crt";
    const std::string keyPath = folder + "/" + name + ".key";
    ok = ok && WritePem(certPath, nullptr, certificate) && WritePem(keyPath, key, nullptr);
    X509_free(certificate);
    EVP_PKEY_free(key);
    if (ok) files = {certPath, keyPath};
    return files;
}

// A blocking TLS client on a connected socket, which it owns.
class Client {
public:
    Client(int socket, const std::string& certificate) : socket_(socket) {
        context_ = SSL_CTX_new(TLS_client_method());
        SSL_CTX_load_verify_locations(context_, certificate.c_str(), nullptr);
        SSL_CTX_set_verify(context_, SSL_VERIFY_PEER, nullptr);
        ssl_ = SSL_new(context_);
        SSL_set_fd(ssl_, socket_);
        SSL_set1_host(ssl_, "localhost");
        timeval tv{10, 0};
        setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    }
    ~Client() {
        SSL_free(ssl_);
        SSL_CTX_free(context_);
        close(socket_);
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool Handshake() { return SSL_connect(ssl_) == 1; }
    bool Write(const std::string& text) {
        return SSL_write(ssl_, text.data(), static_cast<int>(text.size())) == static_cast<int>(text.size());
    }
    // Reads until size bytes have come or the connection ends.
    std::string Read(size_t size) {
        std::string got;
        char buffer[16384];
        while (got.size() < size) {
            int n = SSL_read(ssl_, buffer, static_cast<int>(std::min(sizeof buffer, size - got.size())));
            if (n <= 0) break;
            got.append(buffer, static_cast<size_t>(n));
        }
        return got;
    }
    // Reads until the text ends with `until` or the connection ends.
    std::string ReadUntil(const std::string& until) {
        std::string got;
        char byte;
        while (got.size() < until.size() || got.compare(got.size() - until.size(), until.size(), until) != 0) {
            if (SSL_read(ssl_, &byte, 1) != 1) break;
            got += byte;
        }
        return got;
    }

private:
    int socket_;
    SSL_CTX* context_ = nullptr;
    SSL* ssl_ = nullptr;
};

}  // namespace testcert
